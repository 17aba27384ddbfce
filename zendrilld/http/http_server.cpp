#include "zendrilld/http/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

#include "core/json_objects.h"
#include "core/utf8.h"
#include "platform/posix/random_token.h"
#include "zendrilld/http/web_assets.h"

namespace zd::daemon {

namespace {

constexpr const char* kCookie = "zendrill_session";
constexpr long long kKeepaliveMs = 15000;
// A stream whose reader does not keep up is closed rather than buffered.
constexpr std::size_t kMaxStreamBacklog = 256 * 1024;
// A request waiting for its answer longer than this gets 504.
constexpr long long kAnswerLimitMs = 150000;

long long ms_of(Steady::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

long long now_ms() { return ms_of(Steady::now()); }

std::string header(MHD_Connection* c, MHD_ValueKind kind, const char* name) {
    const char* v = MHD_lookup_connection_value(c, kind, name);
    return v ? v : "";
}

std::string client_address(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return "?";
    char text[INET6_ADDRSTRLEN] = "?";
    const sockaddr* a = info->client_addr;
    if (a->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
    else if (a->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text, sizeof text);
    return text;
}

MHD_Result collect_query(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto* q = static_cast<std::map<std::string, std::string>*>(cls);
    if (key && q->size() < 32) (*q)[key] = value ? value : "";
    return MHD_YES;
}

bool changes_something(const std::string& method) { return method == "POST" || method == "PUT" || method == "DELETE"; }

std::string listen_error(int err, const std::string& where) {
    switch (err) {
        case EADDRINUSE: return "http_listen " + where + ": die Adresse ist schon belegt";
        case EADDRNOTAVAIL: return "http_listen " + where + ": diese Adresse hat der Rechner nicht";
        case EACCES: return "http_listen " + where + ": Ports unter 1024 brauchen Rechte";
        default: return "http_listen " + where + ": " + std::strerror(err);
    }
}

}  // namespace

JsonObject error_object(const std::string& error) {
    JsonObject j;
    j["ok"] = false;
    j["error"] = utf8_from_1252(error);
    return j;
}

HttpResponse json_error(int status, const std::string& error) {
    HttpResponse r;
    r.status = status;
    r.body = error_object(error).dump();
    return r;
}

HttpResponse not_found() { return json_error(404, "Nicht gefunden"); }

HttpResponse wrong_method(const std::vector<std::string>& allowed) {
    HttpResponse r = json_error(405, "Diese Methode gibt es hier nicht");
    std::string list;
    for (const std::string& m : allowed) list += (list.empty() ? "" : ", ") + m;
    r.headers.push_back({"Allow", list});
    return r;
}

HttpResponse too_large() {
    return json_error(413, "Zu groß: höchstens " + std::to_string(HttpServer::kMaxBody / 1024) + " KiB");
}

// One request from its headers to its answer, or one open event stream.
struct HttpServer::Exchange {
    HttpServer* server = nullptr;
    unsigned long long id = 0;
    MHD_Connection* connection = nullptr;
    int fd = -1;  // the connection's socket
    HttpRequest request;
    std::size_t discarded = 0;               // body bytes beyond the limit
    bool suspended = false;
    bool waiting = false;                    // for a responder
    long long waiting_since_ms = 0;
    long long hold_until_ms = 0;             // a login held after a wrong password
    std::optional<HttpResponse> answer;      // ready to go out
    bool stream = false;
    bool stream_ended = false;
    std::string backlog;                     // events not yet sent
};

void HttpServer::Inbox::post(std::function<void()> w) {
    {
        std::lock_guard<std::mutex> lock(m);
        if (closed) return;
        work.push_back(std::move(w));
    }
    wake.signal();
}

class HttpServer::Responder : public HttpResponder {
public:
    Responder(HttpServer& server, unsigned long long id) : server_(&server), inbox_(server.inbox_), id_(id) {}
    ~Responder() override {
        if (!answered_) deliver(json_error(500, "Keine Antwort erhalten"));
    }
    void answer(HttpResponse response) override {
        if (answered_) return;
        answered_ = true;
        deliver(std::move(response));
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
        if (std::this_thread::get_id() == inbox_->thread) {
            apply(response);
            return;
        }
        inbox_->post([apply, response = std::move(response)]() mutable { apply(response); });
    }
    HttpServer* server_;
    std::shared_ptr<Inbox> inbox_;
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

void completed_trampoline(void* cls, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
    static_cast<HttpServer*>(cls)->on_completed(context);
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
        MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG, 0, nullptr, nullptr, &access_trampoline, this,
        MHD_OPTION_EXTERNAL_LOGGER, &log_trampoline, &log_,
        MHD_OPTION_LISTEN_SOCKET, listen_fd_,
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(200),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<unsigned>(100),
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

void HttpServer::start() {
    thread_ = std::thread([this] { run(); });
    inbox_->thread = thread_.get_id();
}

void HttpServer::stop() {
    if (thread_.joinable()) {
        inbox_->post([this] { stopping_ = true; });
        thread_.join();
    }
    {
        std::lock_guard<std::mutex> lock(inbox_->m);
        inbox_->closed = true;
        inbox_->work.clear();
    }
    if (daemon_) {
        MHD_stop_daemon(daemon_);
        daemon_ = nullptr;
    }
}

void HttpServer::broadcast(const std::string& event, const std::string& data) {
    std::string text = "event: " + event + "\ndata: " + data + "\n\n";
    inbox_->post([this, text = std::move(text)] {
        for (auto& [id, e] : exchanges_) {
            if (!e->stream || e->stream_ended) continue;
            if (e->backlog.size() + text.size() > kMaxStreamBacklog)
                e->stream_ended = true;  // a reader that does not read is let go
            else
                e->backlog += text;
            resume(*e);
        }
    });
}

void HttpServer::run_posted() {
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(inbox_->m);
        work.swap(inbox_->work);
    }
    for (auto& w : work) w();
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

long long HttpServer::next_timer_ms() const {
    long long next = next_keepalive_ms_;
    for (const auto& [id, e] : exchanges_) {
        if (e->hold_until_ms > 0) next = std::min(next, e->hold_until_ms);
        if (e->waiting) next = std::min(next, e->waiting_since_ms + kAnswerLimitMs);
    }
    return next;
}

void HttpServer::run_timers(long long now) {
    if (now >= next_keepalive_ms_) {
        next_keepalive_ms_ = now + kKeepaliveMs;
        for (auto& [id, e] : exchanges_) {
            if (!e->stream || e->stream_ended) continue;
            // A comment: proxies keep the stream open, and a closed one shows.
            e->backlog += ":\n\n";
            resume(*e);
        }
    }
    for (auto& [id, e] : exchanges_) {
        if (e->hold_until_ms > 0 && now >= e->hold_until_ms) resume(*e);
        if (e->waiting && now >= e->waiting_since_ms + kAnswerLimitMs) {
            e->waiting = false;
            e->answer = json_error(504, "Keine Antwort in der Zeit");
            resume(*e);
        }
    }
}

bool HttpServer::open_when_due(long long& next_try_ms, long long& retry_ms, std::string& last_error) {
    const long long now = now_ms();
    if (now >= next_try_ms) {
        std::string error;
        if (open(error)) {
            log("Web-Seite auf http://" + settings_.listen.shown() + "/");
            return true;
        }
        // The page is a door of its own: without it the line, the clock
        // and MQTT go on, and the address is tried again.
        if (error != last_error) log(error + "; neuer Versuch mit wachsendem Abstand bis 60 s");
        last_error = error;
        next_try_ms = now + retry_ms;
        retry_ms = std::min<long long>(retry_ms * 2, 60000);
    }
    pollfd p{inbox_->wake.fd(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::max<long long>(0, next_try_ms - now_ms()))) > 0) inbox_->wake.drain();
    run_posted();
    return false;
}

void HttpServer::run() {
    long long next_try_ms = 0, retry_ms = 1000;
    std::string last_error;
    while (!daemon_ && !stopping_) open_when_due(next_try_ms, retry_ms, last_error);
    if (!daemon_) return;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
    const int epoll_fd = info ? info->epoll_fd : -1;
    next_keepalive_ms_ = now_ms() + kKeepaliveMs;
    while (!stopping_) {
        run_timers(now_ms());
        MHD_run(daemon_);
        long long wait = next_timer_ms() - now_ms();
        MHD_UNSIGNED_LONG_LONG mhd_wait = 0;
        if (MHD_get_timeout(daemon_, &mhd_wait) == MHD_YES)
            wait = std::min<long long>(wait, static_cast<long long>(mhd_wait));
        wait = std::max<long long>(0, std::min<long long>(wait, 60000));
        std::vector<pollfd> fds = {{inbox_->wake.fd(), POLLIN, 0}, {epoll_fd, POLLIN, 0}};
        // The library does not watch a suspended connection: a reader that
        // leaves an idle stream shows here, and its place is free at once.
        std::vector<Exchange*> idle;
        for (auto& [id, e] : exchanges_) {
            if (!e->stream || !e->suspended || e->stream_ended || e->fd < 0) continue;
            fds.push_back({e->fd, POLLRDHUP, 0});
            idle.push_back(e);
        }
        if (::poll(fds.data(), fds.size(), static_cast<int>(wait)) > 0) {
            if (fds[0].revents & POLLIN) inbox_->wake.drain();
            for (std::size_t i = 0; i < idle.size(); ++i) {
                if (!(fds[i + 2].revents & (POLLRDHUP | POLLHUP | POLLERR))) continue;
                idle[i]->stream_ended = true;
                resume(*idle[i]);
            }
        }
        run_posted();
    }
    // The library must not be stopped with connections suspended: every
    // held request gets its answer and every stream its end first.
    for (auto& [id, e] : exchanges_) {
        e->hold_until_ms = 0;
        if (e->waiting) {
            e->waiting = false;
            e->answer = json_error(503, "zendrilld wird beendet");
        }
        e->stream_ended = true;
        resume(*e);
    }
    for (int round = 0; round < 20; ++round) {
        MHD_run(daemon_);
        bool any_suspended = false;
        for (auto& [id, e] : exchanges_) any_suspended = any_suspended || e->suspended;
        if (!any_suspended) break;
        pollfd p{epoll_fd, POLLIN, 0};
        ::poll(&p, 1, 10);
    }
}

bool HttpServer::queue(Exchange& e, const HttpResponse& r) {
    MHD_Response* response =
        MHD_create_response_from_buffer(r.body.size(), const_cast<char*>(r.body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response) return false;
    MHD_add_response_header(response, "Content-Type", r.content_type.c_str());
    MHD_add_response_header(response, "Cache-Control", "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    for (const auto& [name, value] : r.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
    const MHD_Result ok = MHD_queue_response(e.connection, static_cast<unsigned>(r.status), response);
    MHD_destroy_response(response);
    return ok == MHD_YES;
}

long HttpServer::on_stream_read(Exchange& e, char* buf, std::size_t max) {
    if (!e.backlog.empty()) {
        const std::size_t n = std::min(max, e.backlog.size());
        std::memcpy(buf, e.backlog.data(), n);
        e.backlog.erase(0, n);
        return static_cast<long>(n);
    }
    if (e.stream_ended) return MHD_CONTENT_READER_END_OF_STREAM;
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
        MHD_get_connection_values(c, MHD_GET_ARGUMENT_KIND, &collect_query, &e->request.query);
        exchanges_[e->id] = e;
        *context = e;
        // A body announced beyond the limit is refused before it is read.
        const std::string length = header(c, MHD_HEADER_KIND, "Content-Length");
        if (!length.empty() && (length.size() > 12 || length.find_first_not_of("0123456789") != std::string::npos ||
                                std::stoull(length) > kMaxBody))
            return queue(*e, too_large());
        return MHD_YES;
    }
    if (*size > 0) {
        if (e->request.body.size() + *size > kMaxBody) {
            // Told no length: read on and drop it, up to a point.
            e->discarded += *size;
            if (e->discarded > 16 * kMaxBody) return MHD_NO;
        } else {
            e->request.body.append(upload, *size);
        }
        *size = 0;
        return MHD_YES;
    }
    if (e->discarded > 0 && !e->answer) e->answer = too_large();
    return respond(*e);
}

void HttpServer::on_completed(void** context) {
    auto* e = static_cast<Exchange*>(*context);
    if (!e) return;
    exchanges_.erase(e->id);
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
    const Steady::time_point now = Steady::now();
    const HttpRequest& r = e.request;
    const std::string host = header(e.connection, MHD_HEADER_KIND, "Host");
    if (!host_allowed(settings_, host))
        return queue(e, json_error(403, "Unbekannter Host-Name \"" + host.substr(0, 100) +
                                            "\"; erlaubt sind die Adresse des Servers und http_hosts"));
    if (changes_something(r.method) && !origin_allowed(header(e.connection, MHD_HEADER_KIND, "Origin"), host))
        return queue(e, json_error(403, "Anfrage von einer anderen Seite abgelehnt"));
    if (r.path.rfind("/api/", 0) != 0) {
        if (r.method != "GET" && r.method != "HEAD") return queue(e, wrong_method({"GET", "HEAD"}));
        const WebAsset* asset = find_web_asset(r.path);
        if (!asset) return queue(e, not_found());
        HttpResponse page;
        page.content_type = asset->content_type;
        page.body.assign(reinterpret_cast<const char*>(asset->data), asset->size);
        page.headers.push_back({"Content-Security-Policy",
                                "default-src 'self'; img-src 'self' data:; object-src 'none'; base-uri 'none'; "
                                "form-action 'self'; frame-ancestors 'none'"});
        return queue(e, page);
    }
    if (r.path == "/api/login") return login(e, now);
    bool held = false;
    if (!authorised(e, now, held)) {
        if (held) return MHD_YES;
        return queue(e, json_error(401, "Anmeldung nötig"));
    }
    if (r.path == "/api/logout") {
        if (r.method != "POST") return queue(e, wrong_method({"POST"}));
        auth_.close_session(header(e.connection, MHD_COOKIE_KIND, kCookie));
        HttpResponse bye;
        bye.status = 204;
        bye.headers.push_back({"Set-Cookie", std::string(kCookie) + "=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0"});
        return queue(e, bye);
    }
    if (r.path == "/api/events") return start_stream(e);
    e.waiting = true;
    e.waiting_since_ms = now_ms();
    handler_.handle(r, std::make_shared<Responder>(*this, e.id));
    if (e.answer) return respond(e);
    // The answer comes from another thread; until then the connection sleeps.
    if (e.waiting) suspend(e);
    return MHD_YES;
}

bool HttpServer::authorised(Exchange& e, Steady::time_point now, bool& held) {
    held = false;
    if (!auth_.required()) return true;
    if (auth_.session_valid(header(e.connection, MHD_COOKIE_KIND, kCookie), now)) return true;
    std::string password;
    if (!basic_password(header(e.connection, MHD_HEADER_KIND, "Authorization"), password)) return false;
    const Steady::time_point not_before = auth_.answer_not_before(e.request.client);
    if (now < not_before) {
        e.hold_until_ms = ms_of(not_before);
        held = true;
        suspend(e);
        return false;
    }
    e.hold_until_ms = 0;
    if (auth_.password_matches(password)) {
        auth_.right(e.request.client);
        return true;
    }
    auth_.wrong_answered(e.request.client, now);
    return false;
}

int HttpServer::login(Exchange& e, Steady::time_point now) {
    if (e.request.method != "POST") return queue(e, wrong_method({"POST"}));
    const Steady::time_point not_before = auth_.answer_not_before(e.request.client);
    if (now < not_before) {
        // No answer before the wait is over: guessing stays slow.
        e.hold_until_ms = ms_of(not_before);
        suspend(e);
        return MHD_YES;
    }
    e.hold_until_ms = 0;
    const JsonObject body = JsonObject::parse(e.request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("password") || !body["password"].is_string())
        return queue(e, json_error(400, "Erwartet: {\"password\": \"...\"}"));
    HttpResponse r;
    r.status = 204;
    if (!auth_.required()) return queue(e, r);
    if (!auth_.password_matches(body["password"].get<std::string>())) {
        auth_.wrong_answered(e.request.client, now);
        log("Falsches Passwort für die Web-Seite von " + e.request.client);
        return queue(e, json_error(401, "Falsches Passwort"));
    }
    auth_.right(e.request.client);
    r.headers.push_back({"Set-Cookie", std::string(kCookie) + "=" + auth_.open_session(now) +
                                           "; HttpOnly; SameSite=Strict; Path=/; Max-Age=" +
                                           std::to_string(HttpAuth::kSession.count())});
    return queue(e, r);
}

int HttpServer::start_stream(Exchange& e) {
    if (e.request.method != "GET") return queue(e, wrong_method({"GET"}));
    std::size_t streams = 0;
    for (const auto& [id, x] : exchanges_) streams += x->stream && !x->stream_ended ? 1 : 0;
    if (streams >= kMaxStreams) return queue(e, json_error(503, "Zu viele offene Ereignisströme"));
    e.stream = true;
    // A lost stream is tried again after a second.
    e.backlog = "retry: 1000\n\n";
    for (const auto& [event, data] : handler_.stream_start()) e.backlog += "event: " + event + "\ndata: " + data + "\n\n";
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
