#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "tests/fakes/virtual_clock.h"

namespace zd::test {

// A serial port whose incoming bytes arrive at chosen virtual times and
// which records every write with its virtual time.
class FakePort : public SerialPort {
public:
    explicit FakePort(VirtualClock& clock) : clock_(clock) {}

    // Bytes that become readable at virtual time `at_ms`.
    void arrive(long long at_ms, const std::string& bytes) { pending_.push_back({at_ms, bytes}); }
    // Bytes that become readable `delay_ms` after the current virtual time.
    void arrive_after(long long delay_ms, const std::string& bytes) { arrive(clock_.now + delay_ms, bytes); }

    int bytes_waiting() override {
        ++status_calls;
        move_arrived();
        return static_cast<int>(queue_.size());
    }
    bool read_byte(unsigned char& b) override {
        move_arrived();
        if (queue_.empty() || fail_reads) return false;
        b = static_cast<unsigned char>(queue_.front());
        queue_.pop_front();
        ++bytes_read;
        return true;
    }
    bool write_bytes(const std::string& bytes) override {
        if (held) {
            // As the real ports do: the write runs into its deadline, what
            // was not sent is dropped and the hold lifted.
            held = false;
            clock_.pause_ms(static_cast<int>(write_deadline_ms(bytes.size())));
            unsent.push_back(bytes);
            return false;
        }
        writes.push_back(bytes);
        write_times.push_back(clock_.now);
        if (on_write) on_write(bytes);
        return true;
    }
    void close() override { closed = true; }
    // Virtual time runs on to the next arrival, at most `ms`.
    void wait_readable(int ms) override {
        ++waits;
        move_arrived();
        if (!queue_.empty() || gone) return;
        long long until = clock_.now + ms;
        for (const auto& a : pending_)
            if (a.at < until) until = a.at;
        if (until > clock_.now) clock_.pause_ms(static_cast<int>(until - clock_.now));
    }
    bool is_gone() override { return gone; }

    // All writes joined.
    std::string written() const {
        std::string all;
        for (const auto& w : writes) all += w;
        return all;
    }
    std::size_t queued() { move_arrived(); return queue_.size(); }

    std::vector<std::string> writes;
    std::vector<std::string> unsent;  // writes that met a held line
    std::vector<long long> write_times;
    std::function<void(const std::string&)> on_write;  // e.g. to script device answers
    bool closed = false;
    bool fail_reads = false;  // bytes reported waiting but reads return nothing
    bool gone = false;        // the line hung up
    bool held = false;        // the device sent XOFF: the next write does not go out
    int waits = 0;
    int status_calls = 0;
    long long bytes_read = 0;

private:
    struct Arrival {
        long long at;
        std::string bytes;
    };
    void move_arrived() {
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->at <= clock_.now) {
                queue_.insert(queue_.end(), it->bytes.begin(), it->bytes.end());
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
    }
    VirtualClock& clock_;
    std::vector<Arrival> pending_;
    std::deque<char> queue_;
};

// Hands code that takes ownership of its port a FakePort the test keeps.
class PortProxy : public SerialPort {
public:
    explicit PortProxy(FakePort& p) : p_(p) {}
    int bytes_waiting() override { return p_.bytes_waiting(); }
    bool read_byte(unsigned char& b) override { return p_.read_byte(b); }
    bool write_bytes(const std::string& b) override { return p_.write_bytes(b); }
    void close() override { p_.close(); }
    void wait_readable(int ms) override { p_.wait_readable(ms); }
    bool is_gone() override { return p_.is_gone(); }

private:
    FakePort& p_;
};

}  // namespace zd::test
