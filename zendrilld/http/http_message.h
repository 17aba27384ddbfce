#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/json_objects.h"

// A request and its answer as the parts of the web door pass them around,
// free of the library that speaks HTTP.
namespace zd::daemon {

struct HttpRequest {
    std::string method;
    std::string path;  // without the query
    std::map<std::string, std::string> query;
    std::string body;
    std::string client;  // the peer's address
    std::string local;   // the address the connection arrived on; "" unknown
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

}  // namespace zd::daemon
