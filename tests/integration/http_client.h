#pragma once
// A small HTTP/1.1 client on raw loopback sockets for the web page's tests.
// It sends exactly the bytes it is given (any method, header, size or
// framing, so hostile requests are possible) and reads status, headers and
// body; an event stream it reads as it comes. Every wait has a deadline.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace zd::test {

struct HttpReply {
    int status = 0;  // 0: no whole answer (the server closed, or the time was up)
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
    std::string body;
    std::chrono::steady_clock::time_point at;  // when it was whole

    // The first header of that name (any case), or "".
    std::string header(std::string name) const {
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        for (const auto& [n, v] : headers)
            if (n == name) return v;
        return "";
    }
};

// Moves the whole chunks at the front of `in` (chunked transfer coding) to
// `out`; true once the last chunk is taken.
inline bool take_chunks(std::string& in, std::string& out) {
    for (;;) {
        const auto eol = in.find("\r\n");
        if (eol == std::string::npos) return false;
        const std::size_t size = std::strtoul(in.c_str(), nullptr, 16);
        if (in.size() < eol + 2 + size + 2) return false;
        out.append(in, eol + 2, size);
        in.erase(0, eol + 2 + size + 2);  // a last chunk has no trailer here
        if (size == 0) return true;
    }
}

// Takes one reply from the front of `in`: false while it is not whole.
// `closed`: nothing more comes, so a body without a length ends here.
// `head_only`: the head is enough, the body stays in `in`.
inline bool take_reply(std::string& in, bool closed, bool head_only, HttpReply& reply) {
    const auto head_end = in.find("\r\n\r\n");
    if (head_end == std::string::npos) return false;
    HttpReply r;
    std::istringstream head(in.substr(0, head_end));
    std::string line;
    std::getline(head, line);
    if (line.rfind("HTTP/1.", 0) == 0 && line.size() >= 12) r.status = std::atoi(line.c_str() + 9);
    while (std::getline(head, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        r.headers.push_back({name, value});
    }
    std::string rest = in.substr(head_end + 4);
    const std::string length = r.header("Content-Length");
    if (head_only || r.status == 204 || r.status == 304) {
    } else if (r.header("Transfer-Encoding") == "chunked") {
        if (!take_chunks(rest, r.body)) return false;
    } else if (!length.empty()) {
        const std::size_t n = std::strtoul(length.c_str(), nullptr, 10);
        if (rest.size() < n) return false;
        r.body = rest.substr(0, n);
        rest.erase(0, n);
    } else {
        if (!closed) return false;
        r.body.swap(rest);
    }
    in.swap(rest);
    reply = std::move(r);
    return true;
}

// One connection to 127.0.0.1:`port`; several requests may follow each other on it.
class HttpConnection {
public:
    using Steady = std::chrono::steady_clock;

    explicit HttpConnection(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd_);
            fd_ = -1;
            return;
        }
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    }
    ~HttpConnection() {
        if (fd_ >= 0) close(fd_);
    }
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    // Sends `bytes`, reading whatever comes back meanwhile (a server may
    // answer before it has read everything), until one reply is whole: that
    // reply, or status 0.
    HttpReply exchange(const std::string& bytes, std::chrono::milliseconds limit, bool head_only = false) {
        const auto until = Steady::now() + limit;
        std::size_t sent = 0;
        bool can_send = true;
        HttpReply r;
        while (fd_ >= 0) {
            if (take_reply(in_, closed_, head_only, r)) {
                r.at = Steady::now();
                return r;
            }
            if (closed_) break;
            const bool sending = can_send && sent < bytes.size();
            if (!wait(sending, until)) break;
            if (sending) {
                const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (n > 0) sent += static_cast<std::size_t>(n);
                else if (errno != EAGAIN && errno != EWOULDBLOCK) can_send = false;  // the server closed
            }
        }
        return {};
    }

    // Reads what has come by `until`; false once the server closed or the time is up.
    bool read_more(Steady::time_point until) { return !closed_ && wait(false, until) && !closed_; }
    std::string& input() { return in_; }
    bool closed() const { return closed_; }

private:
    // Waits for input (or room to send) and reads it in; false when the time is up.
    bool wait(bool sending, Steady::time_point until) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Steady::now()).count();
        if (left <= 0) return false;
        pollfd p{fd_, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return Steady::now() < until;
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[16384];
            const ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n > 0) in_.append(buf, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) closed_ = true;
        }
        return true;
    }

    int fd_ = -1;
    std::string in_;  // received, not yet taken
    bool closed_ = false;
};

struct ServerEvent {
    std::string event, data;
};

// A Server-Sent Events stream: the request is sent and the head read at
// once; the events are read as they come, while a test waits for them.
class EventStream {
public:
    EventStream(int port, const std::string& request, std::chrono::milliseconds limit) : connection_(port) {
        head_ = connection_.exchange(request, limit, true);
    }
    const HttpReply& head() const { return head_; }
    const std::vector<ServerEvent>& events() const { return events_; }

    // Reads on until `done(every event so far)` holds, at most `limit`.
    bool wait(const std::function<bool(const std::vector<ServerEvent>&)>& done, std::chrono::milliseconds limit) {
        const auto until = HttpConnection::Steady::now() + limit;
        for (;;) {
            take_events();
            if (done(events_)) return true;
            if (!connection_.read_more(until)) {
                take_events();
                return done(events_);
            }
        }
    }

private:
    void take_events() {
        std::string& in = connection_.input();
        if (head_.header("Transfer-Encoding") == "chunked") {
            take_chunks(in, text_);
        } else {
            text_ += in;
            in.clear();
        }
        for (auto end = text_.find("\n\n"); end != std::string::npos; end = text_.find("\n\n")) {
            ServerEvent e;
            std::istringstream lines(text_.substr(0, end));
            std::string line;
            while (std::getline(lines, line)) {
                if (line.rfind("event: ", 0) == 0) e.event = line.substr(7);
                if (line.rfind("data: ", 0) == 0) e.data += (e.data.empty() ? "" : "\n") + line.substr(6);
            }
            if (!e.event.empty() || !e.data.empty()) events_.push_back(e);  // not a comment or retry
            text_.erase(0, end + 2);
        }
    }

    HttpConnection connection_;
    HttpReply head_;
    std::string text_;  // the decoded stream, not yet taken
    std::vector<ServerEvent> events_;
};

}  // namespace zd::test
