#include "platform/net/URLResponse.h"

#include <algorithm>
#include <charconv>
#include <strings.h>

namespace murmelo {

namespace {

std::string trim(std::string_view text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return {};
    }
    size_t end = text.find_last_not_of(" \t");
    return std::string(text.substr(start, end - start + 1));
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

URLResponse URLResponse::fromTransport(const URL& url, const TransportResponse& reply, bool decoded) {
    URLResponse response(url);
    response.statusCode = reply.statusCode;
    response.allHeaderFields = reply.mergedHeaderFields();
    if (auto type = reply.headerValue("Content-Type")) {
        std::string_view text(*type);
        size_t semicolon = text.find(';');
        std::string mime = lower(trim(text.substr(0, semicolon)));
        if (!mime.empty()) {
            response.MIMEType = mime;
        }
        while (semicolon != std::string_view::npos) {
            text = text.substr(semicolon + 1);
            semicolon = text.find(';');
            std::string parameter = trim(text.substr(0, semicolon));
            if (parameter.size() > 8 && strncasecmp(parameter.c_str(), "charset=", 8) == 0) {
                std::string charset = parameter.substr(8);
                if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"') {
                    charset = charset.substr(1, charset.size() - 2);
                }
                if (!charset.empty()) {
                    response.textEncodingName = charset;
                }
            }
        }
    }
    if (!decoded) {
        if (auto length = reply.headerValue("Content-Length")) {
            std::int64_t value = 0;
            auto [end, error] = std::from_chars(length->data(), length->data() + length->size(), value);
            if (error == std::errc() && end == length->data() + length->size() && value >= 0) {
                response.expectedContentLength = value;
            }
        }
    }
    return response;
}

std::optional<std::string> URLResponse::headerValue(std::string_view name) const {
    for (const auto& [field, value] : allHeaderFields) {
        if (field.size() == name.size() && strncasecmp(field.data(), name.data(), name.size()) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

std::string URLResponse::localizedStringForStatusCode(int statusCode) {
    switch (statusCode) {
    case 200:
        return "no error";
    case 201:
        return "created";
    case 204:
        return "no content";
    case 301:
        return "moved permanently";
    case 302:
        return "found";
    case 303:
        return "see other";
    case 304:
        return "not modified";
    case 307:
        return "temporarily redirected";
    case 400:
        return "bad request";
    case 401:
        return "unauthorized";
    case 403:
        return "forbidden";
    case 404:
        return "not found";
    case 407:
        return "proxy authentication required";
    case 500:
        return "internal server error";
    case 502:
        return "bad gateway";
    case 503:
        return "service unavailable";
    default:
        break;
    }
    if (statusCode >= 100 && statusCode < 200)
        return "informational";
    if (statusCode >= 200 && statusCode < 300)
        return "success";
    if (statusCode >= 300 && statusCode < 400)
        return "redirected";
    if (statusCode >= 400 && statusCode < 500)
        return "client error";
    if (statusCode >= 500 && statusCode < 600)
        return "server error";
    return "server error";
}

} // namespace murmelo
