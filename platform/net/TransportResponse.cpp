#include "platform/net/TransportResponse.h"

#include <charconv>

namespace murmelo {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<unsigned char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<unsigned char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::optional<std::string> TransportResponse::headerValue(std::string_view name) const {
    std::optional<std::string> joined;
    for (const auto& [field, value] : headerFields) {
        if (!equalsIgnoringCase(field, name)) {
            continue;
        }
        if (joined) {
            *joined += ", ";
            *joined += value;
        } else {
            joined = value;
        }
    }
    return joined;
}

HeaderFields TransportResponse::mergedHeaderFields() const {
    HeaderFields merged;
    for (const auto& [field, value] : headerFields) {
        bool found = false;
        for (auto& [name, joined] : merged) {
            if (equalsIgnoringCase(name, field)) {
                joined += ", ";
                joined += value;
                found = true;
                break;
            }
        }
        if (!found) {
            merged.emplace_back(field, value);
        }
    }
    return merged;
}

std::optional<TransportResponse> TransportResponse::fromStatusLine(std::string_view line) {
    line = trim(line);
    TransportResponse response;
    if (line.starts_with("HTTP/1.1 ")) {
        response.version = HTTPVersion::V1_1;
    } else if (line.starts_with("HTTP/1.0 ")) {
        response.version = HTTPVersion::V1_0;
    } else {
        return std::nullopt;
    }
    std::string_view rest = line.substr(9);
    if (rest.size() < 3) {
        return std::nullopt;
    }
    int code = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + 3, code);
    if (ec != std::errc() || end != rest.data() + 3 || code < 100) {
        return std::nullopt;
    }
    rest.remove_prefix(3);
    if (!rest.empty() && rest.front() != ' ') {
        return std::nullopt;
    }
    response.statusCode = code;
    response.reasonPhrase = std::string(trim(rest));
    response.statusLine = std::string(line);
    response.headerFields.reserve(8); // a typical head, without regrowing
    return response;
}

bool TransportResponse::addHeaderLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.remove_suffix(1);
    }
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        // An obsolete folded line continues the previous field.
        if (headerFields.empty()) {
            return false;
        }
        std::string_view more = trim(line);
        if (!more.empty()) {
            headerFields.back().second += ' ';
            headerFields.back().second += more;
        }
        return true;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    std::string_view name = line.substr(0, colon);
    if (name.find_first_of(" \t") != std::string_view::npos) {
        return false;
    }
    headerFields.emplace_back(std::string(name), std::string(trim(line.substr(colon + 1))));
    return true;
}

} // namespace murmelo
