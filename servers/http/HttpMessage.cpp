#include "servers/http/HttpMessage.h"

#include <strings.h>

namespace murmelo::servers {

Error httpRefusal(int status, std::string reason) {
    return Error(kHttpRefusalDomain, status, std::move(reason));
}

std::optional<std::string> HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (key.size() == name.size() && strncasecmp(key.data(), name.data(), name.size()) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

HttpResponse HttpResponse::html(std::string body, int status) {
    HttpResponse r;
    r.status = status;
    r.contentType = "text/html; charset=utf-8";
    r.body = std::move(body);
    return r;
}

HttpResponse HttpResponse::text(std::string body, int status) {
    HttpResponse r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

HttpResponse HttpResponse::json(std::string body, int status) {
    HttpResponse r;
    r.status = status;
    r.contentType = "application/json; charset=utf-8";
    r.body = std::move(body);
    return r;
}

HttpResponse HttpResponse::xml(std::string body, int status) {
    HttpResponse r;
    r.status = status;
    r.contentType = "text/xml; charset=utf-8";
    r.body = std::move(body);
    return r;
}

HttpResponse HttpResponse::png(std::string bytes) {
    HttpResponse r;
    r.contentType = "image/png";
    r.body = std::move(bytes);
    return r;
}

HttpResponse HttpResponse::redirect(const std::string& location, int status) {
    HttpResponse r;
    r.status = status;
    r.headers.emplace_back("Location", location);
    return r;
}

HttpResponse& HttpResponse::withHeader(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

} // namespace murmelo::servers
