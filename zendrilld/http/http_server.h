#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "zendrilld/handoff.h"
#include "zendrilld/http/http_access.h"
#include "zendrilld/http/http_auth.h"
#include "zendrilld/http/http_message.h"
#include "zendrilld/http/http_streams.h"
#include "zendrilld/requests.h"
#include "zendrilld/steady.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace zd::daemon {

// An answer that comes later, from any thread (a request waiting for the
// line). The first answer counts; a responder dropped unanswered answers 500.
// answer() and the destructor on any thread; the answer goes out on the
// HTTP thread.
class HttpResponder {
public:
    virtual ~HttpResponder() = default;
    virtual void answer(HttpResponse response) = 0;
    // The request it answers for; one that gives up waiting withdraws it
    // first, and waits on when the line has it already.
    virtual void answers_for(std::shared_ptr<Claim> claim) { (void)claim; }
};

// What the server asks of the API behind it. Called on the HTTP thread
// only; must not block.
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
// Every request passes the body limit here and the gates of http_gates.h;
// the event streams are http_streams.h. Nothing here waits for the line.
// The owner's thread constructs, starts, stops and destroys it; broadcast()
// comes from any thread. libmicrohttpd's callbacks, the gates, the handler
// and the log callback run on the server's own HTTP thread.
class HttpServer {
public:
    // Where to listen and which host names to answer to, and the password.
    struct Settings : AccessRules {
        std::string password;      // empty: none
        std::string session_file;  // where logins outlast a restart; empty: they do not
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
    static constexpr std::size_t kMaxStreams = EventStreams::kMaxStreams;
    // Connections at a time: in all, and from one address (client_group()),
    // which beyond its share gets 503 and beyond twice that is not taken.
    static constexpr unsigned kMaxConnections = 200;
    static constexpr unsigned kShare = 16;
    // A request's head must be complete this long after the connection
    // opened (or its last request ended), whatever trickles in meanwhile.
    static constexpr std::chrono::seconds kHeadLimit{10};
    // Logins of one address held by the wait after a wrong password.
    static constexpr std::size_t kMaxHeld = 2;

    // The page's addresses for the start line ("http://.../"), with the
    // machine's interface addresses when listening on any.
    static std::vector<std::string> urls(const ListenAddress& listen);

    // For libmicrohttpd's callbacks.
    struct Exchange;
    struct Connection;
    bool on_accept(const std::string& group);
    void on_connection(MHD_Connection* c, void** context, bool started);
    int on_request(MHD_Connection* c, const char* url, const char* method, const char* upload, std::size_t* size,
                   void** context);
    void on_completed(MHD_Connection* c, void** context);
    long on_stream_read(Exchange& e, char* buf, std::size_t max);

private:
    class Responder;
    // Work for the HTTP thread from any thread. Shared with the responders
    // and closed at the end, so one kept elsewhere afterwards posts into
    // nothing. Bounded only against a stuck thread.
    using Inbox = Handoff<std::function<void()>>;
    static constexpr std::size_t kInboxLimit = 4096;

    bool open(std::string& error);
    bool open_when_due(Steady::time_point& next_try, std::chrono::milliseconds& retry, std::string& last_error);
    void run();
    void run_posted();
    int start_stream(Exchange& e, const std::string& session);
    void suspend(Exchange& e);
    void resume(Exchange& e);
    void wake(EventStreams::Id id);
    void run_timers(Steady::time_point now);
    Steady::time_point next_timer() const;
    bool queue(Exchange& e, const HttpResponse& r);
    int respond(Exchange& e);
    void log(const std::string& line);
    std::size_t held_from(const std::string& group) const;
    void end_streams_of_gone_sessions(Steady::time_point now);
    void save_sessions();
    void load_sessions();

    Settings settings_;
    HttpHandler& handler_;
    std::function<void(const std::string&)> log_;
    int listen_fd_ = -1;
    MHD_Daemon* daemon_ = nullptr;
    std::thread thread_;
    std::shared_ptr<Inbox> inbox_ = std::make_shared<Inbox>(kInboxLimit);

    // Set by stop(), which then wakes the thread: a full inbox cannot keep it.
    std::atomic<bool> stopping_{false};

    // HTTP thread only.
    HttpAuth auth_;
    std::map<unsigned long long, Exchange*> exchanges_;
    std::map<MHD_Connection*, Connection*> connections_;
    std::map<std::string, unsigned> per_group_;  // open connections by client_group()
    std::string session_file_error_;             // logged once until it changes
    unsigned long long next_id_ = 1;
    EventStreams streams_;
};

}  // namespace zd::daemon
