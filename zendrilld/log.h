#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/serial_port.h"

namespace zd::daemon {

// One line per event on stderr (journald), UTF-8. Texts come in as
// Windows-1252 like every text inside. Any thread.
class Log {
public:
    explicit Log(bool verbose) : verbose_(verbose) {}
    // Lines go to `sink` instead, one at a time (tests).
    using Sink = std::function<void(const std::string&)>;
    explicit Log(Sink sink) : verbose_(false), sink_(std::move(sink)) {}
    void line(const std::string& text_1252);
    bool verbose() const { return verbose_; }

private:
    bool verbose_;
    Sink sink_;
    std::mutex m_;
};

// Control bytes (C0, DEL, C1) as \xNN, CR and LF as \r and \n.
std::string visible(const std::string& bytes_1252);

// With --verbose every exchange: each command written and each line read.
std::unique_ptr<SerialPort> logging_port(std::unique_ptr<SerialPort> port, Log& log);

}  // namespace zd::daemon
