#include "zendrilld/log.h"

#include "core/utf8.h"
#include "platform/console.h"

namespace zd::daemon {

// Control characters as escapes, so a log line stays one line and nothing
// from outside can steer the terminal.
std::string visible(const std::string& bytes) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (u < 0x20 || u == 0x7F || u == 0x81 || u == 0x8D || u == 0x8F || u == 0x90 || u == 0x9D) {
            out += std::string("\\x") + kHex[u >> 4] + kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

class LoggingPort : public SerialPort {
public:
    LoggingPort(std::unique_ptr<SerialPort> port, Log& log) : port_(std::move(port)), log_(log) {}
    int bytes_waiting() override { return port_->bytes_waiting(); }
    bool read_byte(unsigned char& byte) override {
        if (!port_->read_byte(byte)) return false;
        incoming_ += static_cast<char>(byte);
        if (byte == '\n' || incoming_.size() >= 256) {
            log_.line("<- " + incoming_);
            incoming_.clear();
        }
        return true;
    }
    bool write_bytes(const std::string& bytes) override {
        if (!incoming_.empty()) {
            log_.line("<- " + incoming_);
            incoming_.clear();
        }
        log_.line("-> " + bytes);
        return port_->write_bytes(bytes);
    }
    void close() override { port_->close(); }
    void wait_readable(int ms) override { port_->wait_readable(ms); }
    bool is_gone() override { return port_->is_gone(); }

private:
    std::unique_ptr<SerialPort> port_;
    Log& log_;
    std::string incoming_;
};

}  // namespace

void Log::line(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_);
    if (sink_) return sink_(text);
    write_console_text(ConsoleStream::Err, utf8_from_1252(visible(text)) + "\n");
}

std::unique_ptr<SerialPort> logging_port(std::unique_ptr<SerialPort> port, Log& log) {
    return std::make_unique<LoggingPort>(std::move(port), log);
}

}  // namespace zd::daemon
