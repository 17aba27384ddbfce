#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"
#include "zendrilld/daemon_config.h"
#include "zendrilld/device_picture.h"
#include "zendrilld/http/http_server.h"
#include "zendrilld/journal.h"
#include "zendrilld/line_thread.h"

namespace zd::daemon {

// The HTTP door: the JSON API behind the web page, a table of routes. GETs
// answer from the picture in memory; changes become the same checked
// Requests the MQTT door makes and wait for their own outcome. As a view of
// the picture it streams every change to the open pages. handle() runs on
// the HTTP thread; the replies of submitted requests on the line's thread
// (HttpResponder::answer may be called from any thread); the view on the
// line's thread.
class HttpApi : public HttpHandler {
public:
    // `journal` null: no history (journal_file empty).
    HttpApi(const DaemonConfig& config, DevicePicture& picture, LineThread& line, System& sys, bool password,
            Journal* journal = nullptr);

    // Registers the stream view with the picture and the journal's news;
    // before the line starts.
    void attach(HttpServer& server);

    void handle(const HttpRequest& request, std::shared_ptr<HttpResponder> responder) override;
    std::vector<std::pair<std::string, std::string>> stream_start() override;

    // The objects, also for the streams.
    JsonObject status_json(const Picture& p) const;
    JsonObject timer_json(const Picture& p, int n) const;

private:
    using Responder = std::shared_ptr<HttpResponder>;
    using OnDone = std::function<HttpResponse(const Outcome&)>;
    struct Call {
        const HttpRequest& request;
        const Responder& responder;
        int timer;        // 1..5 where the path has one
        long long id;     // a history entry's number where the path has one
        JsonObject body;  // a JSON object, for a route that takes one
    };
    // "timers/#/test": "#" stands for a timer number, "*" for an entry's.
    struct Route {
        std::string method;
        const char* path;
        bool body;  // takes a JSON object: anything else is answered 400
        std::function<void(HttpApi&, const Call&)> run;
    };
    static const std::vector<Route>& routes();
    // Submitted so that a lent or silent line is refused at once.
    void submit(Parsed parsed, const Responder& responder, OnDone on_done);
    OnDone status_after();
    OnDone timer_after(int n);
    HttpResponse info() const;
    HttpResponse backup_download() const;
    void backup_upload(const Call& call);
    std::vector<ListedTimer> read_timers(const Picture& p) const;
    HttpResponse history(const HttpRequest& r);
    HttpResponse clock_history();
    void undo(const Call& call);
    // Why there is no history, as the page shows it; "" when there is one.
    std::string history_problem() const;

    const DaemonConfig& config_;
    DevicePicture& picture_;
    LineThread& line_;
    System& sys_;
    bool password_;
    ValueNames names_ = make_value_names();
    std::string zone_;  // the host's time zone name, for calendars
    Journal* journal_;
};

}  // namespace zd::daemon
