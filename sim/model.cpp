#include "sim/model.h"

#include "sim/calendar.h"

namespace zd::sim {

namespace {

const std::string kBel = "\x07";
const std::string kNone;

bool is_flags(const std::string& text, std::size_t from, std::size_t n) {
    for (std::size_t i = from; i < from + n; ++i) {
        if (text[i] != '0' && text[i] != '1') return false;
    }
    return true;
}

// The 19 characters from the source on, shared by both record kinds.
bool is_valid_tail(const std::string& tail) {
    if (tail.size() != 19) return false;
    if (tail[0] < '0' || tail[0] > '4') return false;
    const std::string station = tail.substr(1, 2);
    if (!is_digits(station, 2) || station > "29") return false;
    return is_flags(tail, 3, 4) && is_valid_hhmm(tail.substr(7, 4)) && tail.substr(11, 2) == "00" &&
           is_valid_hhmm(tail.substr(13, 4)) && tail.substr(17, 2) == "00";
}

int timer_digit(char c) { return c >= '1' && c <= '5' ? c - '0' : 0; }

Answer line(const std::string& text) {
    Answer a;
    a.has_line = true;
    a.line = text;
    return a;
}

}  // namespace

bool is_valid_settings(const std::string& s) {
    return is_digits(s, 4) && s[0] <= '2' && s[1] <= '2' && s[2] <= '1' && s[3] <= '4';
}

bool is_valid_timer_record(const std::string& r) {
    if (r.size() == 27 && r[0] == 'W') return is_flags(r, 1, 7) && is_valid_tail(r.substr(8));
    if (r.size() == 26 && r[0] == 'D') return is_valid_date(r.substr(1, 6)) && is_valid_tail(r.substr(7));
    return false;
}

Model::Model(TimeSource& time, ModelOptions options) : time_(time), options_(std::move(options)) {
    ref_ms_ = time_.now_ms();
}

long long Model::now_device_ms() { return base_ms_ + (time_.now_ms() - ref_ms_); }

void Model::set_device_ms(long long ms) {
    ref_ms_ = time_.now_ms();
    base_ms_ = ms;
}

std::string Model::date() { return date_of(now_device_ms()); }
std::string Model::time() { return time_of(now_device_ms()); }

std::string Model::status_record() {
    const long long now = now_device_ms();
    return "0X:" + date_of(now) + time_of(now) + settings_ + std::string(1, ir_);
}

const std::string& Model::timer(int number) const {
    return number >= 1 && number <= kTimerCount ? timers_[number - 1] : kNone;
}

const std::string& Model::device(int address) const {
    return address >= 0 && address < kAddressCount ? devices_[address] : kNone;
}

Snapshot Model::snapshot() {
    Snapshot s;
    const long long now = now_device_ms();
    s.date = date_of(now);
    s.time = time_of(now);
    s.settings = settings_;
    s.ir = std::string(1, ir_);
    for (int i = 0; i < kTimerCount; ++i) s.timers[i] = timers_[i].empty() ? "E" : timers_[i];
    s.devices = devices_;
    return s;
}

bool Model::set_date(const std::string& ddmmyy) {
    if (!is_valid_date(ddmmyy)) return false;
    const long long now = now_device_ms();
    const long long within_day = ((now % kMsPerDay) + kMsPerDay) % kMsPerDay;
    set_device_ms(day_number(ddmmyy) * kMsPerDay + within_day);
    return true;
}

bool Model::set_time(const std::string& hhmmss) {
    if (!is_valid_time(hhmmss)) return false;
    set_device_ms(moment_ms(date_of(now_device_ms()), hhmmss));
    return true;
}

bool Model::set_settings(const std::string& settings) {
    if (!is_valid_settings(settings)) return false;
    settings_ = settings;
    return true;
}

bool Model::set_ir(const std::string& ir) {
    if (ir != "0" && ir != "1") return false;
    ir_ = ir[0];
    return true;
}

bool Model::set_timer(int number, const std::string& record_or_e) {
    if (number < 1 || number > kTimerCount) return false;
    if (record_or_e == "E") {
        timers_[number - 1].clear();
        return true;
    }
    if (!is_valid_timer_record(record_or_e)) return false;
    timers_[number - 1] = record_or_e;
    return true;
}

bool Model::set_device(int address, const std::string& code) {
    if (address < 1 || address >= kAddressCount) return false;
    if (!code.empty()) {
        if (code.size() != 2) return false;
        for (char c : code) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7f) return false;
        }
    }
    devices_[address] = code;
    return true;
}

Answer Model::ack() const {
    if (options_.ack.empty()) return {};
    return line(options_.ack);
}

Answer Model::handle_line(const std::string& text) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return {};
    if (text[0] == '0') return b203(text);
    const int address = text[0] - '0';
    if (text.size() == 2 && text[1] == 'X' && !devices_[address].empty()) {
        return line(text.substr(0, 1) + devices_[address]);
    }
    return {};
}

Answer Model::b203(const std::string& text) {
    if (text == "0X") return line(status_record());
    const std::string head = text.substr(0, 2);
    const std::string arg = text.size() > 2 ? text.substr(2) : std::string();
    // Set commands with an invalid argument are ignored without an answer.
    if (head == "0S") return set_settings(arg) ? ack() : Answer{};
    if (head == "0T") return set_time(arg) ? ack() : Answer{};
    if (head == "0D") return set_date(arg) ? ack() : Answer{};
    if (text == "0R0" || text == "0R1") {
        set_ir(text.substr(2));
        return ack();
    }
    if (text.size() == 4 && text.compare(0, 3, "0C0") == 0 && timer_digit(text[3])) {
        const std::string& record = timers_[timer_digit(text[3]) - 1];
        return line(text + text.substr(3, 1) + (record.empty() ? "E" : record));
    }
    if (text.compare(0, 3, "0E0") == 0) return timer_write(text);
    if (text.compare(0, 3, "0V0") == 0) return timer_test(text);
    return {};
}

Answer Model::timer_write(const std::string& text) {
    const int number = text.size() > 4 ? timer_digit(text[3]) : 0;
    const std::string arg = text.size() > 4 ? text.substr(4) : std::string();
    if (number == 0 || options_.refuse_writes || (arg != "E" && !is_valid_timer_record(arg))) {
        return line(kBel);
    }
    set_timer(number, arg);
    return ack();
}

Answer Model::timer_test(const std::string& text) {
    const int number = text.size() > 4 ? timer_digit(text[3]) : 0;
    const std::string record = text.size() > 4 ? text.substr(4) : std::string();
    if (number == 0 || !is_valid_timer_record(record)) return line(kBel);
    tests_run_.push_back(text.substr(3, 1) + ":" + record);
    Answer a = ack();
    a.event = "test timer " + text.substr(3, 1) + " " + record;
    return a;
}

}  // namespace zd::sim
