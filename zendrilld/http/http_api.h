#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"
#include "zendrilld/daemon_config.h"
#include "zendrilld/device_picture.h"
#include "zendrilld/http/http_server.h"
#include "zendrilld/line_thread.h"

namespace zd::daemon {

// The HTTP door: the JSON API behind the web page. GETs answer from the
// picture in memory; changes become the same checked Requests the MQTT door
// makes and wait for their own outcome. As a view of the picture it streams
// every change to the open pages.
class HttpApi : public HttpHandler {
public:
    HttpApi(const DaemonConfig& config, DevicePicture& picture, LineThread& line, System& sys, bool password);

    // Registers the stream view with the picture; before the line starts.
    void attach(HttpServer& server);

    void handle(const HttpRequest& request, std::shared_ptr<HttpResponder> responder) override;
    std::vector<std::pair<std::string, std::string>> stream_start() override;

    // The objects, also for the streams.
    JsonObject status_json(const Picture& p) const;
    JsonObject timer_json(const Picture& p, int n) const;

private:
    using Responder = std::shared_ptr<HttpResponder>;
    using OnDone = std::function<HttpResponse(const Outcome&)>;
    void submit(Parsed parsed, const Responder& responder, OnDone on_done);
    HttpResponse info() const;
    HttpResponse backup_download() const;
    void backup_upload(const HttpRequest& r, const Responder& responder);
    void timers(const HttpRequest& r, const std::vector<std::string>& parts, const Responder& responder);
    std::vector<ListedTimer> read_timers(const Picture& p) const;

    const DaemonConfig& config_;
    DevicePicture& picture_;
    LineThread& line_;
    System& sys_;
    bool password_;
    ValueNames names_ = make_value_names();
    std::string zone_;  // the host's time zone name, for calendars
};

}  // namespace zd::daemon
