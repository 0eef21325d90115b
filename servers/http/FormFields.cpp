#include "servers/http/FormFields.h"

#include <strings.h>

#include "servers/http/Text.h"

namespace murmelo::servers {

namespace {

Error formError(const std::string& description) {
    return Error("MurmeloServerForm", 1, description);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// Splits "a=1&b=2" and decodes each item; `strict` stops at the first bad item.
Result<FormFields> decodeItems(std::string_view text, bool strict) {
    FormFields fields;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view item = text.substr(start, end - start);
        start = end + 1;
        if (item.empty()) {
            continue;
        }
        size_t equals = item.find('=');
        std::string_view rawName = item.substr(0, equals);
        std::string_view rawValue =
            equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
        auto name = percentDecode(rawName, PlusAsSpace::Yes);
        auto value = percentDecode(rawValue, PlusAsSpace::Yes);
        bool good = name && value && isValidUtf8(*name) && isValidUtf8(*value);
        if (!good) {
            if (strict) {
                return formError("malformed form encoding near \"" +
                                 std::string(item.substr(0, std::min<size_t>(item.size(), 40))) + "\"");
            }
            continue;
        }
        fields.add(std::move(*name), std::move(*value));
    }
    return fields;
}

} // namespace

std::optional<std::string> FormFields::get(std::string_view name) const {
    for (const auto& [key, value] : m_fields) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

std::string FormFields::getOr(std::string_view name, std::string fallback) const {
    auto value = get(name);
    return value ? *value : std::move(fallback);
}

Result<FormFields> parseUrlEncoded(std::string_view text) {
    return decodeItems(text, true);
}

Result<FormFields> parseRequestForm(const HttpRequest& request, UnterminatedMultipart unterminated) {
    if (request.multipart) {
        if (request.multipartUnterminated && unterminated == UnterminatedMultipart::Refuse) {
            return formError("multipart body without its closing boundary");
        }
        FormFields fields;
        for (const FormPart& part : request.parts) {
            if (!part.filename.empty()) {
                continue;
            }
            if (!isValidUtf8(part.name) || !isValidUtf8(part.data)) {
                return formError("form field is not UTF-8 text");
            }
            fields.add(part.name, part.data);
        }
        return fields;
    }
    std::string contentType = request.header("Content-Type").value_or("");
    if (!contentType.empty() && !startsWithIgnoringCase(contentType, "application/x-www-form-urlencoded")) {
        return formError("unsupported form content type \"" + contentType + "\"");
    }
    return parseUrlEncoded(request.body);
}

FormFields parseQueryLeniently(std::string_view query) {
    auto decoded = decodeItems(query, false);
    return decoded ? std::move(*decoded) : FormFields();
}

std::vector<std::pair<std::string, std::string>> parseCookieHeader(std::string_view header) {
    std::vector<std::pair<std::string, std::string>> cookies;
    auto trim = [](std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
            s.remove_prefix(1);
        }
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
            s.remove_suffix(1);
        }
        return s;
    };
    size_t start = 0;
    while (start < header.size()) {
        size_t end = header.find(';', start);
        if (end == std::string_view::npos) {
            end = header.size();
        }
        std::string_view item = trim(header.substr(start, end - start));
        start = end + 1;
        size_t equals = item.find('=');
        if (item.empty() || equals == std::string_view::npos || equals == 0) {
            continue;
        }
        std::string_view name = trim(item.substr(0, equals));
        std::string_view value = trim(item.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        cookies.emplace_back(std::string(name), std::string(value));
    }
    return cookies;
}

} // namespace murmelo::servers
