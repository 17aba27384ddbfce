#include "device/link.h"

namespace zd {

bool write_command(DeviceLink& link, const std::string& text) {
    const bool sent = link.port && link.port->write_bytes(text);
    if (link.writes) {
        if (sent) {
            ++link.writes->sent_in_a_row;
        } else {
            ++link.writes->failed;
            link.writes->sent_in_a_row = 0;
        }
    }
    return sent;
}

namespace {

bool cancelled(const DeviceLink& link) { return link.cancel && link.cancel->load(); }

// Takes the bytes that were waiting when it began, so a streaming device
// cannot keep the reader from pausing; true when a line feed came.
bool take_waiting(DeviceLink& link, std::string& text) {
    bool line_end = false;
    int waiting = link.port->bytes_waiting();
    while (waiting-- > 0) {
        unsigned char byte = 0;
        if (!link.port->read_byte(byte)) break;
        if (byte == '\n') {
            line_end = true;
        } else if (byte != '\r' && byte != 0 && text.size() < kMaxReplyBytes) {
            text.push_back(static_cast<char>(byte));
        }
    }
    return line_end;
}

std::string read_reply_line_waiting(DeviceLink& link, int limit_ms) {
    std::string text;
    const long long deadline = link.clock->now_ms() + limit_ms;
    for (;;) {
        if (take_waiting(link, text)) return text;
        const long long left = deadline - link.clock->now_ms();
        if (left <= 0 || link.port->is_gone() || cancelled(link)) return text;
        link.port->wait_readable(static_cast<int>(left < 100 ? left : 100));
    }
}

}  // namespace

std::string read_reply_line(DeviceLink& link, int limit_ms) {
    if (limit_ms <= 0 || (link.writes && link.writes->last_failed())) return {};
    if (link.wait_on_port && link.port && link.clock) return read_reply_line_waiting(link, limit_ms);
    std::string text;
    // Whole pauses, counted up front: adding up the time spent overflowed
    // for limits near the top of the int range.
    const int polls = (limit_ms - 1) / 100 + 1;
    for (int poll = 0; poll < polls; ++poll) {
        const bool line_end = link.port && take_waiting(link, text);
        if (link.clock) link.clock->pause_ms(100);
        if (line_end || cancelled(link)) break;
    }
    return text;
}

void discard_input(DeviceLink& link) {
    if (!link.port) return;
    // Bounded like a poll: a device that never stops sending cannot hold us here.
    for (int round = 0; round < 64; ++round) {
        int waiting = link.port->bytes_waiting();
        if (waiting <= 0) return;
        while (waiting-- > 0) {
            unsigned char byte = 0;
            if (!link.port->read_byte(byte)) return;
        }
    }
}

void discard_until_quiet(DeviceLink& link, int quiet_ms, int limit_ms) {
    int quiet = 0;
    for (int spent = 0; spent < limit_ms && quiet < quiet_ms && !cancelled(link); spent += 100) {
        if (link.clock) link.clock->pause_ms(100);
        if (link.port && link.port->bytes_waiting() > 0) {
            discard_input(link);
            quiet = 0;
        } else {
            quiet += 100;
        }
    }
}

void close_device_link(DeviceLink& link) {
    if (link.port) link.port->close();
    link.port = nullptr;
}

}  // namespace zd
