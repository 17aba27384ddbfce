// Any bytes at any arrival times: a reply read polls no more often than its
// limit allows, stops after the poll that brought a line feed, and keeps
// exactly the first 4096 bytes read that are not CR, LF or NUL.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "device/link.h"

// The fake and the checks carry no coverage: floods pass through them byte
// by byte, and the fuzzer should spend its attention on the reader.
#define NOT_EXPLORED __attribute__((no_sanitize("coverage")))

namespace {

// Virtual time that only the reader's pauses advance.
class Clock : public zd::Clock {
public:
    NOT_EXPLORED void pause_ms(int ms) override {
        if (ms != 100) __builtin_trap();
        now += ms;
        ++pauses;
    }
    NOT_EXPLORED long long now_ms() override { return now; }
    long long now = 0;
    long long pauses = 0;
};

struct Arrival {
    long long at;
    std::string bytes;
};

// Arrivals become readable once the clock has reached them.
class Port : public zd::SerialPort {
public:
    NOT_EXPLORED Port(const Clock& clock, std::vector<Arrival> arrivals, bool fail_reads)
        : clock_(clock), arrivals_(std::move(arrivals)), fail_reads_(fail_reads) {
        std::stable_sort(arrivals_.begin(), arrivals_.end(), earlier);
    }
    NOT_EXPLORED int bytes_waiting() override {
        check_last_poll();
        while (next_ < arrivals_.size() && arrivals_[next_].at <= clock_.now) queue_ += arrivals_[next_++].bytes;
        const auto waiting = static_cast<int>(queue_.size() - head_);
        polls_.push_back({head_, waiting});
        end_ = fail_reads_ ? head_ : queue_.size();
        return waiting;
    }
    NOT_EXPLORED bool read_byte(unsigned char& b) override {
        if (head_ == end_) return false;
        b = static_cast<unsigned char>(queue_[head_++]);
        return true;
    }
    bool write_bytes(const std::string&) override { return true; }
    void close() override {}

    // A poll takes no more than was waiting when it began.
    NOT_EXPLORED void check_last_poll() const {
        if (!polls_.empty() && head_ - polls_.back().start > static_cast<std::size_t>(polls_.back().waiting))
            __builtin_trap();
    }
    NOT_EXPLORED long long polls() const { return static_cast<long long>(polls_.size()); }
    // 1-based poll that took the first line feed; 0 without one.
    NOT_EXPLORED long long line_feed_poll() const {
        const auto lf = queue_.find('\n');
        if (lf == std::string::npos || lf >= head_) return 0;
        long long poll = 0;
        while (poll < polls() && polls_[static_cast<std::size_t>(poll)].start <= lf) ++poll;
        return poll;
    }
    // What a reader keeps of the bytes it took.
    NOT_EXPLORED std::string kept() const {
        std::string text;
        for (std::size_t i = 0; i < head_ && text.size() < zd::kMaxReplyBytes; ++i) {
            const char c = queue_[i];
            if (c != '\r' && c != '\n' && c != '\0') text.push_back(c);
        }
        return text;
    }

private:
    NOT_EXPLORED static bool earlier(const Arrival& a, const Arrival& b) { return a.at < b.at; }
    struct Poll {
        std::size_t start;
        int waiting;
    };
    const Clock& clock_;
    std::vector<Arrival> arrivals_;
    bool fail_reads_;
    std::size_t next_ = 0;
    std::string queue_;
    std::size_t head_ = 0;
    std::size_t end_ = 0;
    std::vector<Poll> polls_;
};

// A huge limit would cost millions of empty polls; such a read gets a
// line feed after its last arrival.
constexpr long long kPollsWithoutLineEnd = 100;
// Past the cap, so floods are part of the game.
constexpr std::size_t kMaxArriving = zd::kMaxReplyBytes + 256;
constexpr std::size_t kFloodBytes = zd::kMaxReplyBytes + 16;

NOT_EXPLORED void check_read(const Port& port, const Clock& clock, long long max_polls, const std::string& text) {
    port.check_last_poll();
    if (port.polls() > max_polls) __builtin_trap();
    if (clock.pauses != port.polls()) __builtin_trap();
    // Silence or no line feed: the whole limit; a line feed: its poll is the last.
    const long long lf_poll = port.line_feed_poll();
    if (port.polls() != (lf_poll ? lf_poll : max_polls)) __builtin_trap();
    if (text != port.kept()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // [limit: 4 bytes, any int][flags], then arrivals [ms: 2 bytes][length][bytes];
    // length 0xFF is a flood, past the cap, of the one byte that follows.
    if (size < 5) return 0;
    const auto raw = static_cast<uint32_t>(data[0]) << 24 | static_cast<uint32_t>(data[1]) << 16 |
                     static_cast<uint32_t>(data[2]) << 8 | data[3];
    const auto limit = static_cast<int>(raw);
    const bool fail_reads = (data[4] & 1) != 0;

    std::vector<Arrival> arrivals;
    std::size_t arriving = 0;
    long long last_at = 0;
    size_t i = 5;
    const auto next = [&]() -> unsigned { return i < size ? data[i++] : 0u; };
    while (i < size && arriving < kMaxArriving) {
        const unsigned hi = next();
        const unsigned lo = next();
        const long long at = (hi << 8 | lo) & 0x1fff;
        const size_t len = next();
        std::string bytes;
        if (len == 0xff) {
            bytes.assign(kFloodBytes, static_cast<char>(next()));
        } else {
            const size_t take = std::min(len, size - i);
            bytes.assign(reinterpret_cast<const char*>(data) + i, take);
            i += take;
        }
        bytes.resize(std::min(bytes.size(), kMaxArriving - arriving));
        arriving += bytes.size();
        last_at = std::max(last_at, at);
        arrivals.push_back({at, std::move(bytes)});
    }
    const long long max_polls = limit <= 0 ? 0 : (static_cast<long long>(limit) + 99) / 100;
    if (max_polls > kPollsWithoutLineEnd) {
        if (fail_reads) return 0;
        arrivals.push_back({last_at, "\n"});
    }

    Clock clock;
    Port port(clock, std::move(arrivals), fail_reads);
    zd::DeviceLink link{&port, &clock};
    check_read(port, clock, max_polls, zd::read_reply_line(link, limit));
    return 0;
}
