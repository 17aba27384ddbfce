#include "sim/reply_shaper.h"

namespace zd::sim {

std::string Transmission::bytes() const {
    std::string all;
    for (const auto& s : segments) all += s.bytes;
    return all;
}

std::string ReplyShaper::garbage_line() {
    // Deterministic, so a failing run can be repeated. Never a line end,
    // zero byte or flow-control byte: those would change the framing.
    auto next = [this] {
        garbage_seed_ = garbage_seed_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(garbage_seed_ >> 33);
    };
    const unsigned length = 1 + next() % 40;
    std::string text;
    for (unsigned i = 0; i < length; ++i) {
        const unsigned v = next() % 190;  // 0x21..0x7e and 0xa0..0xff
        const unsigned c = v < 94 ? 0x21 + v : 0xa0 + (v - 94);
        text.push_back(static_cast<char>(c));
    }
    return text;
}

std::optional<Transmission> ReplyShaper::shape(int address, const std::string& line) {
    if (hung_up_ || options_.silent) return std::nullopt;
    if (address >= 0 && address < kAddressCount && options_.silent_addresses[address]) return std::nullopt;
    ++replies_;
    std::string bytes = options_.stray + (options_.garbage ? garbage_line() : line) + options_.extra + "\r\n";
    Transmission t;
    if (options_.hangup_after > 0 && replies_ == options_.hangup_after) {
        bytes.resize(bytes.size() / 2);
        t.hangup = true;
        hung_up_ = true;
    }
    const int first_delay = options_.turnaround_ms + options_.late_ms;
    if (options_.burst_gap_ms > 0 && options_.burst_size > 0) {
        const auto size = static_cast<std::size_t>(options_.burst_size);
        for (std::size_t at = 0; at < bytes.size(); at += size) {
            t.segments.push_back({at == 0 ? first_delay : options_.burst_gap_ms, bytes.substr(at, size)});
        }
    }
    if (t.segments.empty()) t.segments.push_back({first_delay, bytes});
    return t;
}

}  // namespace zd::sim
