#include "zendrilld/http/http_message.h"

#include "core/utf8.h"

namespace zd::daemon {

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

}  // namespace zd::daemon
