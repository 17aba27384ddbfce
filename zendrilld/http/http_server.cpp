#include "zendrilld/http/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

#include "platform/posix/random_token.h"
#include "zendrilld/http/http_gates.h"

namespace zd::daemon {

namespace {

// A request waiting for its answer longer than this gets 504.
constexpr std::chrono::seconds kAnswerLimit{150};
// The longest pause between two listen attempts.
constexpr std::chrono::seconds kLongestRetry{60};

std::string header(MHD_Connection* c, MHD_ValueKind kind, const char* name) {
    const char* v = MHD_lookup_connection_value(c, kind, name);
    return v ? v : "";
}

std::string address_text(const sockaddr* a) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (!a) return text;
    if (a->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
    else if (a->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text, sizeof text);
    return text;
}

std::string client_address(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return "?";
    return address_text(info->client_addr);
}

// The address a connection arrived on.
std::string local_address(int fd) {
    sockaddr_storage a{};
    socklen_t size = sizeof a;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0) return "";
    return address_text(reinterpret_cast<const sockaddr*>(&a));
}

HttpResponse stopping_answer() { return json_error(503, "zendrilld wird beendet"); }

// Beyond an address's share of connections or of held logins.
HttpResponse too_many() {
    HttpResponse r = json_error(503, "Zu viele Anfragen von dieser Adresse");
    r.headers.push_back({"Retry-After", "10"});
    return r;
}

// An answer as the library would write it, for the one moment it cannot:
// in the middle of a body.
std::string raw_answer(const HttpResponse& r) {
    char date[64] = "";
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    std::string text = "HTTP/1.1 " + std::to_string(r.status) + " " + MHD_get_reason_phrase_for(static_cast<unsigned>(r.status)) +
                       "\r\nConnection: close\r\nContent-Length: " + std::to_string(r.body.size()) +
                       "\r\nDate: " + date + "\r\nContent-Type: " + r.content_type +
                       "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: DENY"
                       "\r\nReferrer-Policy: no-referrer\r\n";
    for (const auto& [name, value] : r.headers) text += name + ": " + value + "\r\n";
    return text + "\r\n" + r.body;
}

MHD_Result collect_query(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto* q = static_cast<std::map<std::string, std::string>*>(cls);
    if (key && q->size() < 32) (*q)[key] = value ? value : "";
    return MHD_YES;
}

std::string listen_error(int err, const std::string& where) {
    switch (err) {
        case EADDRINUSE: return "http_listen " + where + ": die Adresse ist schon belegt";
        case EADDRNOTAVAIL: return "http_listen " + where + ": diese Adresse hat der Rechner nicht";
        case EACCES: return "http_listen " + where + ": Ports unter 1024 brauchen Rechte";
        default: return "http_listen " + where + ": " + std::strerror(err);
    }
}

HttpResponse too_large() {
    return json_error(413, "Zu groß: höchstens " + std::to_string(HttpServer::kMaxBody / 1024) + " KiB");
}

// A pause for poll(): whole milliseconds, rounded up so that the loop does
// not wake just before what it waits for.
int poll_ms(Steady::duration wait) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 60000));
}

}  // namespace

// One request from its headers to its answer, or one open event stream.
// HTTP thread only.
struct HttpServer::Exchange {
    HttpServer* server = nullptr;
    unsigned long long id = 0;
    MHD_Connection* connection = nullptr;
    int fd = -1;  // the connection's socket
    HttpRequest request;
    std::size_t discarded = 0;  // body bytes beyond the limit
    bool suspended = false;
    bool waiting = false;  // for a responder
    Steady::time_point waiting_since{};
    std::shared_ptr<Claim> claim;  // the request it waits for, when the line has one
    std::optional<Steady::time_point> hold_until;  // a login held after a wrong password
    std::optional<HttpResponse> answer;            // ready to go out
    EventStream* stream = nullptr;                 // owned by streams_
    bool refused = false;                          // its answer is queued; what still comes is dropped
    bool answered_raw = false;                     // written past the library (a body too large midway)
};

// One connection, from accept to close. HTTP thread only.
struct HttpServer::Connection {
    int fd = -1;
    std::string group;  // client_group() of its peer
    bool head_done = false;
    bool cut = false;
    Steady::time_point head_by{};
};

// Made on the HTTP thread for one request; answered and dropped on any.
class HttpServer::Responder : public HttpResponder {
public:
    Responder(HttpServer& server, unsigned long long id)
        : server_(&server), inbox_(server.inbox_), http_thread_(std::this_thread::get_id()), id_(id) {}
    ~Responder() override {
        if (!answered_) deliver(json_error(500, "Keine Antwort erhalten"));
    }
    void answer(HttpResponse response) override {
        if (answered_) return;
        answered_ = true;
        deliver(std::move(response));
    }
    // Called while the request is handled, so on the HTTP thread.
    void answers_for(std::shared_ptr<Claim> claim) override {
        const auto it = server_->exchanges_.find(id_);
        if (std::this_thread::get_id() == http_thread_ && it != server_->exchanges_.end())
            it->second->claim = std::move(claim);
    }

private:
    void deliver(HttpResponse response) {
        HttpServer* server = server_;
        const unsigned long long id = id_;
        auto apply = [server, id](HttpResponse& r) {
            const auto it = server->exchanges_.find(id);
            if (it == server->exchanges_.end() || !it->second->waiting) return;
            it->second->waiting = false;
            it->second->answer = std::move(r);
            server->resume(*it->second);
        };
        // An answer given while the request is being handled goes out at once.
        if (std::this_thread::get_id() == http_thread_) {
            apply(response);
            return;
        }
        inbox_->post([apply, response = std::move(response)]() mutable { apply(response); });
    }
    HttpServer* server_;
    std::shared_ptr<Inbox> inbox_;
    std::thread::id http_thread_;
    unsigned long long id_;
    bool answered_ = false;
};

HttpServer::HttpServer(Settings settings, HttpHandler& handler, std::function<void(const std::string&)> log)
    : settings_(std::move(settings)),
      handler_(handler),
      log_(std::move(log)),
      auth_(settings_.password, [] { return posix::random_token(32); }) {}

HttpServer::~HttpServer() {
    stop();
    if (listen_fd_ >= 0) ::close(listen_fd_);
}

void HttpServer::log(const std::string& line) {
    if (log_) log_(line);
}

namespace {

MHD_Result access_trampoline(void* cls, MHD_Connection* c, const char* url, const char* method, const char*,
                             const char* upload, size_t* size, void** context) {
    return static_cast<HttpServer*>(cls)->on_request(c, url, method, upload, size, context) ? MHD_YES : MHD_NO;
}

void completed_trampoline(void* cls, MHD_Connection* c, void** context, MHD_RequestTerminationCode) {
    static_cast<HttpServer*>(cls)->on_completed(c, context);
}

MHD_Result accept_trampoline(void* cls, const sockaddr* addr, socklen_t) {
    return static_cast<HttpServer*>(cls)->on_accept(client_group(address_text(addr))) ? MHD_YES : MHD_NO;
}

void connection_trampoline(void* cls, MHD_Connection* c, void** context, MHD_ConnectionNotificationCode code) {
    static_cast<HttpServer*>(cls)->on_connection(c, context, code == MHD_CONNECTION_NOTIFY_STARTED);
}

ssize_t stream_trampoline(void* cls, uint64_t, char* buf, size_t max) {
    auto* e = static_cast<HttpServer::Exchange*>(cls);
    return e->server->on_stream_read(*e, buf, max);
}

void log_trampoline(void* cls, const char* format, va_list ap) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, ap);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    auto* log = static_cast<std::function<void(const std::string&)>*>(cls);
    if (*log) (*log)("HTTP: " + line);
}

}  // namespace

bool HttpServer::open(std::string& error) {
    const ListenAddress& l = settings_.listen;
    listen_fd_ = ::socket(l.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listen_fd_ < 0) {
        error = listen_error(errno, l.shown());
        return false;
    }
    const int one = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage addr{};
    socklen_t size = 0;
    if (l.ipv6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&addr);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(static_cast<uint16_t>(l.port));
        inet_pton(AF_INET6, l.host.c_str(), &a->sin6_addr);
        size = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&addr);
        a->sin_family = AF_INET;
        a->sin_port = htons(static_cast<uint16_t>(l.port));
        inet_pton(AF_INET, l.host.c_str(), &a->sin_addr);
        size = sizeof *a;
    }
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), size) != 0 || ::listen(listen_fd_, 64) != 0) {
        error = listen_error(errno, l.shown());
        ::close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    daemon_ = MHD_start_daemon(
        MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG, 0, &accept_trampoline, this,
        &access_trampoline, this,
        MHD_OPTION_EXTERNAL_LOGGER, &log_trampoline, &log_,
        MHD_OPTION_LISTEN_SOCKET, listen_fd_,
        MHD_OPTION_CONNECTION_LIMIT, kMaxConnections,
        // One address's share is counted by client_group(), in on_accept().
        MHD_OPTION_NOTIFY_CONNECTION, &connection_trampoline, this,
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(60),
        // The request line and headers must fit here; beyond it the library refuses them.
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(32 * 1024),
        MHD_OPTION_NOTIFY_COMPLETED, &completed_trampoline, this,
        MHD_OPTION_END);
    if (!daemon_) {
        error = "http_listen " + l.shown() + ": der HTTP-Server startet nicht";
        ::close(listen_fd_);
        listen_fd_ = -1;
        return false;
    }
    return true;
}

void HttpServer::start() { thread_ = std::thread([this] { run(); }); }

void HttpServer::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        inbox_->post([] {});  // only to wake the thread
        thread_.join();
    }
    inbox_->close();
    if (daemon_) {
        MHD_stop_daemon(daemon_);
        daemon_ = nullptr;
    }
}

void HttpServer::broadcast(const std::string& event, const std::string& data) {
    inbox_->post([this, event, data] { streams_.broadcast(event, data, [this](EventStreams::Id id) { wake(id); }); });
}

void HttpServer::run_posted() {
    for (auto& w : inbox_->take()) w();
}

void HttpServer::suspend(Exchange& e) {
    if (e.suspended) return;
    e.suspended = true;
    MHD_suspend_connection(e.connection);
}

void HttpServer::resume(Exchange& e) {
    if (!e.suspended) return;
    e.suspended = false;
    MHD_resume_connection(e.connection);
}

void HttpServer::wake(EventStreams::Id id) {
    const auto it = exchanges_.find(id);
    if (it != exchanges_.end()) resume(*it->second);
}

Steady::time_point HttpServer::next_timer() const {
    Steady::time_point next = streams_.next_keep_alive();
    for (const auto& [id, e] : exchanges_) {
        if (e->hold_until) next = std::min(next, *e->hold_until);
        if (e->waiting) next = std::min(next, e->waiting_since + kAnswerLimit);
    }
    for (const auto& [c, k] : connections_)
        if (!k->head_done && !k->cut) next = std::min(next, k->head_by);
    return std::min(next, auth_.next_summary());
}

void HttpServer::end_streams_of_gone_sessions(Steady::time_point now) {
    streams_.end_sessions([&](const std::string& session) { return auth_.session_valid(session, now); },
                          [this](EventStreams::Id id) { wake(id); });
}

void HttpServer::run_timers(Steady::time_point now) {
    if (now >= streams_.next_keep_alive()) end_streams_of_gone_sessions(now);
    streams_.keep_alive(now, [this](EventStreams::Id id) { wake(id); });
    if (const std::string summary = auth_.wrong_summary(now); !summary.empty()) log(summary);
    for (auto& [c, k] : connections_) {
        if (k->head_done || k->cut || now < k->head_by) continue;
        // No whole request head in time: however slowly it trickles, the
        // connection goes; the library sees it closed and lets it go.
        k->cut = true;
        ::shutdown(k->fd, SHUT_RDWR);
    }
    for (auto& [id, e] : exchanges_) {
        if (e->hold_until && now >= *e->hold_until) resume(*e);
        if (e->waiting && now >= e->waiting_since + kAnswerLimit) {
            // Once the line has it, the device may be changing: its own answer follows.
            if (e->claim && !e->claim->withdraw()) {
                e->waiting_since = now;
                continue;
            }
            e->waiting = false;
            e->answer = json_error(504, "Keine Antwort in der Zeit");
            resume(*e);
        }
    }
}

bool HttpServer::open_when_due(Steady::time_point& next_try, std::chrono::milliseconds& retry,
                               std::string& last_error) {
    const Steady::time_point now = Steady::now();
    if (now >= next_try) {
        std::string error;
        if (open(error)) {
            std::string shown;
            for (const std::string& u : urls(settings_.listen)) shown += (shown.empty() ? "" : ", ") + u;
            log("Web-Seite auf " + shown);
            load_sessions();
            return true;
        }
        // The page is a door of its own: without it the line, the clock
        // and MQTT go on, and the address is tried again.
        if (error != last_error) log(error + "; neuer Versuch mit wachsendem Abstand bis 60 s");
        last_error = error;
        next_try = now + retry;
        retry = std::min<std::chrono::milliseconds>(retry * 2, kLongestRetry);
    }
    pollfd p{inbox_->fd(), POLLIN, 0};
    ::poll(&p, 1, poll_ms(next_try - Steady::now()));
    run_posted();
    return false;
}

void HttpServer::run() {
    Steady::time_point next_try{};
    std::chrono::milliseconds retry{1000};
    std::string last_error;
    while (!daemon_ && !stopping_) open_when_due(next_try, retry, last_error);
    if (!daemon_) return;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
    const int epoll_fd = info ? info->epoll_fd : -1;
    streams_.start_keep_alive(Steady::now());
    while (!stopping_) {
        run_timers(Steady::now());
        MHD_run(daemon_);
        Steady::duration wait = next_timer() - Steady::now();
        MHD_UNSIGNED_LONG_LONG mhd_wait = 0;
        if (MHD_get_timeout(daemon_, &mhd_wait) == MHD_YES)
            wait = std::min<Steady::duration>(wait, std::chrono::milliseconds(static_cast<long long>(mhd_wait)));
        std::vector<pollfd> fds = {{inbox_->fd(), POLLIN, 0}, {epoll_fd, POLLIN, 0}};
        // The library does not watch a suspended connection: a reader that
        // leaves an idle stream shows here, and its place is free at once.
        std::vector<Exchange*> idle;
        for (auto& [id, e] : exchanges_) {
            if (!e->stream || !e->suspended || e->stream->ended || e->fd < 0) continue;
            fds.push_back({e->fd, POLLRDHUP, 0});
            idle.push_back(e);
        }
        if (::poll(fds.data(), fds.size(), poll_ms(wait)) > 0) {
            for (std::size_t i = 0; i < idle.size(); ++i) {
                if (!(fds[i + 2].revents & (POLLRDHUP | POLLHUP | POLLERR))) continue;
                idle[i]->stream->ended = true;
                resume(*idle[i]);
            }
        }
        run_posted();
    }
    if (const std::string summary = auth_.wrong_summary(Steady::time_point::max()); !summary.empty()) log(summary);
    // The library must not be stopped with connections suspended: every
    // held request (a login in its wait among them) gets its answer and
    // every stream its end first; respond() answers what comes meanwhile.
    streams_.end_all([](EventStreams::Id) {});
    for (int round = 0; round < 50; ++round) {
        bool any_suspended = false;
        for (auto& [id, e] : exchanges_) {
            if (!e->suspended) continue;
            any_suspended = true;
            if (!e->stream) {
                e->hold_until.reset();
                e->waiting = false;
                e->answer = stopping_answer();
            }
            resume(*e);
        }
        if (!any_suspended && round > 0) break;
        MHD_run(daemon_);
        pollfd p{epoll_fd, POLLIN, 0};
        ::poll(&p, 1, 10);
    }
    // Still asleep after that (a stream that took no end): woken for the
    // library's stop, which closes them.
    for (auto& [id, e] : exchanges_) resume(*e);
    MHD_run(daemon_);
}

bool HttpServer::queue(Exchange& e, const HttpResponse& r) {
    MHD_Response* response =
        MHD_create_response_from_buffer(r.body.size(), const_cast<char*>(r.body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response) return false;
    // A 304 only confirms what the browser keeps, with the headers it kept:
    // every byte counts on a phone's warm load.
    if (r.status != 304) {
        MHD_add_response_header(response, "Content-Type", r.content_type.c_str());
        // The API's answers are never kept; the page's files say how they are.
        const bool cache_said = std::any_of(r.headers.begin(), r.headers.end(),
                                            [](const auto& h) { return h.first == "Cache-Control"; });
        if (!cache_said) MHD_add_response_header(response, "Cache-Control", "no-store");
        MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
        MHD_add_response_header(response, "X-Frame-Options", "DENY");
        MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    }
    for (const auto& [name, value] : r.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
    const MHD_Result ok = MHD_queue_response(e.connection, static_cast<unsigned>(r.status), response);
    MHD_destroy_response(response);
    return ok == MHD_YES;
}

long HttpServer::on_stream_read(Exchange& e, char* buf, std::size_t max) {
    if (const std::size_t n = e.stream->take(buf, max)) return static_cast<long>(n);
    if (e.stream->ended || stopping_) return MHD_CONTENT_READER_END_OF_STREAM;
    // Nothing to send: asleep until the next event or keep-alive.
    suspend(e);
    return 0;
}

int HttpServer::on_request(MHD_Connection* c, const char* url, const char* method, const char* upload,
                           std::size_t* size, void** context) {
    auto* e = static_cast<Exchange*>(*context);
    if (!e) {
        e = new Exchange;
        e->server = this;
        e->id = next_id_++;
        e->connection = c;
        if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD))
            e->fd = info->connect_fd;
        e->request.method = method ? method : "";
        e->request.path = url ? url : "";
        e->request.client = client_address(c);
        e->request.local = local_address(e->fd);
        MHD_get_connection_values(c, MHD_GET_ARGUMENT_KIND, &collect_query, &e->request.query);
        exchanges_[e->id] = e;
        *context = e;
        if (const auto k = connections_.find(c); k != connections_.end()) {
            k->second->head_done = true;
            // Beyond its address's share: told at once, and the place is freed.
            if (per_group_[k->second->group] > kShare) {
                e->refused = true;
                HttpResponse busy = too_many();
                busy.headers.push_back({"Connection", "close"});
                return queue(*e, busy);
            }
        }
        if (stopping_) {
            e->refused = true;
            return queue(*e, stopping_answer());
        }
        // A body announced beyond the limit is refused before it is read.
        const std::string length = header(c, MHD_HEADER_KIND, "Content-Length");
        if (!length.empty() && (length.size() > 12 || length.find_first_not_of("0123456789") != std::string::npos ||
                                std::stoull(length) > kMaxBody))
            return queue(*e, too_large());
        return MHD_YES;
    }
    if (*size > 0) {
        if (e->refused) {
            e->discarded += *size;
            *size = 0;
            return e->discarded > 16 * kMaxBody ? MHD_NO : MHD_YES;
        }
        if (e->request.body.size() + *size > kMaxBody) {
            // Told no length, it passes the limit: answered now, however
            // long it goes on. The library takes no answer in the middle of a
            // body, so the answer goes out here, the connection is closed for
            // writing, and what still comes is read and dropped up to a point.
            e->discarded += *size;
            *size = 0;
            e->request.body.clear();
            if (!e->refused) {
                e->refused = true;
                e->answered_raw = true;
                const std::string raw = raw_answer(too_large());
                (void)!::send(e->fd, raw.data(), raw.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                ::shutdown(e->fd, SHUT_WR);
            }
            return e->discarded > 16 * kMaxBody ? MHD_NO : MHD_YES;
        } else {
            e->request.body.append(upload, *size);
        }
        *size = 0;
        return MHD_YES;
    }
    if (e->answered_raw) return MHD_NO;  // its answer is out; the connection goes
    if (e->discarded > 0 && !e->answer) e->answer = too_large();
    return respond(*e);
}

bool HttpServer::on_accept(const std::string& group) {
    const auto it = per_group_.find(group);
    return it == per_group_.end() || it->second < 2 * kShare;
}

void HttpServer::on_connection(MHD_Connection* c, void** context, bool started) {
    if (started) {
        auto* k = new Connection;
        if (const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD))
            k->fd = info->connect_fd;
        k->group = client_group(client_address(c));
        k->head_by = Steady::now() + kHeadLimit;
        ++per_group_[k->group];
        connections_[c] = k;
        *context = k;
        return;
    }
    auto* k = static_cast<Connection*>(*context);
    if (!k) return;
    if (--per_group_[k->group] == 0) per_group_.erase(k->group);
    connections_.erase(c);
    delete k;
    *context = nullptr;
}

std::size_t HttpServer::held_from(const std::string& group) const {
    std::size_t n = 0;
    for (const auto& [id, e] : exchanges_) n += e->hold_until && client_group(e->request.client) == group ? 1 : 0;
    return n;
}

void HttpServer::on_completed(MHD_Connection* c, void** context) {
    // The next request's head is due as long after this one as the first after the connect.
    if (const auto k = connections_.find(c); k != connections_.end()) {
        k->second->head_done = false;
        k->second->head_by = Steady::now() + kHeadLimit;
    }
    auto* e = static_cast<Exchange*>(*context);
    if (!e) return;
    exchanges_.erase(e->id);
    if (e->stream) streams_.forget(e->id);
    delete e;
    *context = nullptr;
}

int HttpServer::respond(Exchange& e) {
    if (e.answer) {
        const bool ok = queue(e, *e.answer);
        e.answer.reset();
        return ok;
    }
    if (e.waiting || e.stream) return MHD_YES;
    if (stopping_) return queue(e, stopping_answer());
    const Steady::time_point now = Steady::now();
    const GateHeaders headers{header(e.connection, MHD_HEADER_KIND, "Host"),
                              header(e.connection, MHD_HEADER_KIND, "Origin"),
                              header(e.connection, MHD_COOKIE_KIND, kSessionCookie),
                              header(e.connection, MHD_HEADER_KIND, "Authorization"),
                              header(e.connection, MHD_HEADER_KIND, "Accept-Encoding"),
                              header(e.connection, MHD_HEADER_KIND, "If-None-Match")};
    GateDecision d = pass_gates(e.request, headers, settings_, auth_, now);
    if (!d.log.empty()) log(d.log);
    if (auth_.sessions_changed()) save_sessions();
    e.hold_until.reset();
    switch (d.kind) {
        case GateDecision::Kind::LoggedOut:
            // Its streams end with it.
            streams_.end_sessions([&](const std::string& session) { return session != d.session; },
                                  [this](EventStreams::Id id) { wake(id); });
            return queue(e, d.response);
        case GateDecision::Kind::Page:
        case GateDecision::Kind::Refuse:
        case GateDecision::Kind::LoggedIn: return queue(e, d.response);
        case GateDecision::Kind::Hold:
            // One address holds only so many logins in their wait.
            if (held_from(client_group(e.request.client)) >= kMaxHeld) return queue(e, too_many());
            // Asked again once the wait is over.
            e.hold_until = d.hold_until;
            suspend(e);
            return MHD_YES;
        case GateDecision::Kind::Stream: return start_stream(e, d.session);
        case GateDecision::Kind::Api: break;
    }
    e.waiting = true;
    e.waiting_since = now;
    handler_.handle(e.request, std::make_shared<Responder>(*this, e.id));
    if (e.answer) return respond(e);
    // The answer comes from another thread; until then the connection sleeps.
    if (e.waiting) suspend(e);
    return MHD_YES;
}

int HttpServer::start_stream(Exchange& e, const std::string& session) {
    e.stream = streams_.open(e.id, handler_.stream_start(), session);
    if (!e.stream) return queue(e, json_error(503, "Zu viele offene Ereignisströme"));
    MHD_Response* response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &stream_trampoline, &e, nullptr);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, "Content-Type", "text/event-stream; charset=utf-8");
    MHD_add_response_header(response, "Cache-Control", "no-store");
    MHD_add_response_header(response, "X-Accel-Buffering", "no");
    const MHD_Result ok = MHD_queue_response(e.connection, 200, response);
    MHD_destroy_response(response);
    return ok == MHD_YES;
}

}  // namespace zd::daemon

namespace zd::daemon {

std::vector<std::string> HttpServer::urls(const ListenAddress& listen) {
    std::vector<std::string> interfaces;
    ifaddrs* list = nullptr;
    if (listen.any() && ::getifaddrs(&list) == 0) {
        for (const ifaddrs* i = list; i; i = i->ifa_next)
            if (i->ifa_addr && (i->ifa_addr->sa_family == AF_INET || i->ifa_addr->sa_family == AF_INET6))
                interfaces.push_back(address_text(i->ifa_addr));
        ::freeifaddrs(list);
    }
    return page_urls(listen, interfaces);
}

namespace {

std::int64_t wall_seconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Written beside it and renamed over it: a reader sees the old file or the
// new, never half. A name planted at the temporary path is removed, not
// followed (a symlink at the path itself is replaced, not followed).
bool write_private(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".neu";
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool ok = done == text.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        errno = err;
        return false;
    }
    return true;
}

}  // namespace

void HttpServer::save_sessions() {
    const std::string& path = settings_.session_file;
    if (path.empty() || !auth_.required()) return;
    if (write_private(path, auth_.saved_sessions(Steady::now(), wall_seconds()))) {
        session_file_error_.clear();
        return;
    }
    const std::string error = "http_session_file " + path + ": " + std::strerror(errno) +
                              "; Anmeldungen überdauern keinen Neustart";
    if (error != session_file_error_) log(error);
    session_file_error_ = error;
}

void HttpServer::load_sessions() {
    const std::string& path = settings_.session_file;
    if (path.empty() || !auth_.required()) return;
    // Not followed when it is a link, not read when it is no plain file
    // or too big: then there are no sessions from before, nothing worse.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT) log("http_session_file " + path + ": " + std::strerror(errno) + "; keine Anmeldungen von vorher");
        return;
    }
    struct stat st {};
    std::string text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= 64 * 1024) {
        char buf[4096];
        ssize_t n = 0;
        while (text.size() <= 64 * 1024 && (n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    auth_.restore_sessions(text, Steady::now(), wall_seconds());
}

}  // namespace zd::daemon
