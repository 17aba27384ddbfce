#pragma once
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/json_objects.h"
#include "platform/posix/unix_socket.h"
#include "zendrilld/http/http_access.h"
#include "zendrilld/http/http_auth.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace zd::daemon {

struct HttpRequest {
    std::string method;
    std::string path;  // without the query
    std::map<std::string, std::string> query;
    std::string body;
    std::string client;  // the peer's address
};

struct HttpResponse {
    int status = 200;
    std::string content_type = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

// {"ok": false, "error": "..."}; `error` is Windows-1252 like every text inside.
JsonObject error_object(const std::string& error_1252);
HttpResponse json_error(int status, const std::string& error_1252);
// The one wording of each for every part of the server.
HttpResponse not_found();
HttpResponse wrong_method(const std::vector<std::string>& allowed);

// An answer that comes later, from any thread (a request waiting for the
// line). The first answer counts; a responder dropped unanswered answers 500.
class HttpResponder {
public:
    virtual ~HttpResponder() = default;
    virtual void answer(HttpResponse response) = 0;
};

// What the server asks of the API behind it. Called on the HTTP thread;
// must not block.
class HttpHandler {
public:
    virtual ~HttpHandler() = default;
    // A request under /api/ (login and logout aside) from a client that
    // passed every gate: answer at once or keep the responder for later.
    virtual void handle(const HttpRequest& request, std::shared_ptr<HttpResponder> responder) = 0;
    // The events a new stream starts with: the picture as it is now.
    virtual std::vector<std::pair<std::string, std::string>> stream_start() = 0;
};

// The web page's server: libmicrohttpd on a thread of its own, driven by
// poll() with its epoll descriptor, so that timers (a held login, the
// streams' keep-alive) and answers from other threads meet in one loop.
// It owns the gates every request passes: host, origin, body size, the
// password. Nothing here waits for the serial line.
class HttpServer {
public:
    // Where to listen and which host names to answer to, and the password.
    struct Settings : AccessRules {
        std::string password;  // empty: none
    };
    HttpServer(Settings settings, HttpHandler& handler, std::function<void(const std::string&)> log);
    ~HttpServer();

    // Listens on its own thread; an address that cannot be had (taken,
    // not this machine's) is logged and tried again with a growing pause.
    void start();
    // Ends every request and stream and the thread; bounded.
    void stop();

    // One Server-Sent Event to every open stream; any thread.
    void broadcast(const std::string& event, const std::string& data);

    static constexpr std::size_t kMaxBody = 64 * 1024;
    static constexpr std::size_t kMaxStreams = 32;

    // For libmicrohttpd's callbacks.
    struct Exchange;
    int on_request(MHD_Connection* c, const char* url, const char* method, const char* upload, std::size_t* size,
                   void** context);
    void on_completed(void** context);
    long on_stream_read(Exchange& e, char* buf, std::size_t max);

private:
    class Responder;
    // Work for the HTTP thread from any thread; it outlives the server, so a
    // responder kept elsewhere after the end posts into nothing.
    struct Inbox {
        std::mutex m;
        std::vector<std::function<void()>> work;
        posix::Wakeup wake;
        bool closed = false;
        std::atomic<std::thread::id> thread{};
        void post(std::function<void()> w);
    };
    bool open(std::string& error);
    bool open_when_due(long long& next_try_ms, long long& retry_ms, std::string& last_error);
    void run();
    void run_posted();
    int start_stream(Exchange& e);
    void suspend(Exchange& e);
    void run_timers(long long now_ms);
    long long next_timer_ms() const;
    bool queue(Exchange& e, const HttpResponse& r);
    int respond(Exchange& e);
    int login(Exchange& e, Steady::time_point now);
    bool authorised(Exchange& e, Steady::time_point now, bool& held);
    void resume(Exchange& e);
    void log(const std::string& line);

    Settings settings_;
    HttpHandler& handler_;
    std::function<void(const std::string&)> log_;
    HttpAuth auth_;
    int listen_fd_ = -1;
    MHD_Daemon* daemon_ = nullptr;
    std::thread thread_;
    std::shared_ptr<Inbox> inbox_ = std::make_shared<Inbox>();
    bool stopping_ = false;  // HTTP thread: set by work posted by stop()

    // HTTP thread only.
    std::map<unsigned long long, Exchange*> exchanges_;
    unsigned long long next_id_ = 1;
    long long next_keepalive_ms_ = 0;
};

}  // namespace zd::daemon
