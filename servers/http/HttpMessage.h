// HttpRequest / HttpResponse: the reference servers' own view of one HTTP
// exchange, as the listener (HttpServer) hands it to the roles. Plain values;
// a request is handled on one worker thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/Error.h"

namespace murmelo::servers {

// A request the listener refuses itself: the error's code is the HTTP status
// of the reply (400, 408, 413, 414, 417, 431, 501, 505).
inline constexpr const char* kHttpRefusalDomain = "MurmeloHTTPRefusal";
Error httpRefusal(int status, std::string reason);

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One part of a multipart/form-data body.
struct FormPart {
    std::string name;
    std::string filename;
    std::string contentType;
    std::string data;
};

struct HttpRequest {
    std::string method; // "GET", "POST", ...
    std::string target; // as received: path and query, still escaped
    std::string path;   // the target up to "?", still escaped
    std::string query;  // the target after the first "?", still escaped; "" when none
    std::string host;   // Host header, lower-case, without the port
    HeaderList headers; // as received, in order
    std::string body;   // raw body (empty for multipart bodies, see parts)
    std::vector<FormPart> parts;
    bool multipart = false;
    // A multipart body that ended without the closing "--boundary--" line
    // (some clients never send one); the parts read up to there are kept.
    bool multipartUnterminated = false;
    std::string remoteAddress;
    double receivedAt = 0; // wall seconds since 1970

    // First header of that name (case-insensitive), or nothing.
    std::optional<std::string> header(std::string_view name) const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    HeaderList headers; // extra headers (Set-Cookie, Location, WWW-Authenticate, ...)

    static HttpResponse html(std::string body, int status = 200);
    static HttpResponse text(std::string body, int status = 200);
    static HttpResponse json(std::string body, int status = 200);
    static HttpResponse xml(std::string body, int status = 200);
    static HttpResponse png(std::string bytes);
    static HttpResponse redirect(const std::string& location, int status = 302);
    HttpResponse& withHeader(std::string name, std::string value);
};

} // namespace murmelo::servers
