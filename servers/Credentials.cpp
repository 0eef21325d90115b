#include "servers/Credentials.h"

#include <algorithm>
#include <array>

#include "servers/http/Text.h"

namespace murmelo::servers {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Index just past the JSON string whose opening quote is at `at` (the end
// of the text when it was cut off inside the string).
size_t skipString(std::string_view json, size_t at) {
    for (size_t i = at + 1; i < json.size(); ++i) {
        if (json[i] == '\\') {
            ++i;
        } else if (json[i] == '"') {
            return i + 1;
        }
    }
    return json.size();
}

// Index just past the JSON value starting at `at`: a string, a bracketed
// object or array (strings inside respected), or a bare number or word.
size_t skipValue(std::string_view json, size_t at) {
    if (at >= json.size()) {
        return at;
    }
    if (json[at] == '"') {
        return skipString(json, at);
    }
    if (json[at] == '{' || json[at] == '[') {
        size_t depth = 0;
        for (size_t i = at; i < json.size(); ++i) {
            char c = json[i];
            if (c == '"') {
                i = skipString(json, i) - 1;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if ((c == '}' || c == ']') && --depth == 0) {
                return i + 1;
            }
        }
        return json.size();
    }
    size_t i = at;
    while (i < json.size() && json[i] != ',' && json[i] != '}' && json[i] != ']' && !isSpace(json[i])) {
        ++i;
    }
    return i;
}

} // namespace

bool isCredentialName(std::string_view name) {
    // The last component: "user[password]" → "password", "auth.token" → "token".
    if (!name.empty() && name.back() == ']') {
        size_t open = name.rfind('[');
        if (open != std::string_view::npos) {
            name = name.substr(open + 1, name.size() - open - 2);
        }
    }
    if (size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        name = name.substr(dot + 1);
    }
    std::string key(name);
    for (char& c : key) {
        c = c == '-' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (std::string_view part : {"password", "passwd", "token", "apikey", "api_key"}) {
        if (key.find(part) != std::string::npos) {
            return true;
        }
    }
    if (key.ends_with("secret")) {
        return true;
    }
    static constexpr std::array<std::string_view, 8> kExact = {
        "pass", "pwd", "pin", "auth", "credentials", "session", "session_key", "sessionkey"};
    return std::find(kExact.begin(), kExact.end(), key) != kExact.end();
}

std::string maskFormCredentials(std::string_view form) {
    std::string out;
    out.reserve(form.size());
    size_t start = 0;
    while (start <= form.size()) {
        size_t end = std::min(form.find('&', start), form.size());
        std::string_view field = form.substr(start, end - start);
        size_t equals = field.find('=');
        std::string_view rawName = field.substr(0, equals);
        std::string name = percentDecode(rawName, PlusAsSpace::Yes).value_or(std::string(rawName));
        if (equals != std::string_view::npos && isCredentialName(name)) {
            out.append(rawName).append("=").append(kMaskedValue);
        } else {
            out.append(field);
        }
        if (end < form.size()) {
            out += '&';
        }
        start = end + 1;
    }
    return out;
}

std::string maskJsonCredentials(std::string_view json) {
    std::string out;
    out.reserve(json.size());
    size_t copied = 0;
    for (size_t i = 0; i < json.size();) {
        if (json[i] != '"') {
            ++i;
            continue;
        }
        size_t keyEnd = skipString(json, i);
        std::string_view key = json.substr(i + 1, keyEnd > i + 1 ? keyEnd - i - 2 : 0);
        size_t next = keyEnd;
        while (next < json.size() && isSpace(json[next])) {
            ++next;
        }
        if (next >= json.size() || json[next] != ':' || !isCredentialName(key)) {
            i = keyEnd; // a string value, or a key of something shown
            continue;
        }
        size_t value = next + 1;
        while (value < json.size() && isSpace(json[value])) {
            ++value;
        }
        size_t valueEnd = skipValue(json, value);
        out.append(json.substr(copied, value - copied)).append("\"").append(kMaskedValue).append("\"");
        copied = valueEnd;
        i = valueEnd;
    }
    out.append(json.substr(copied));
    return out;
}

std::string maskHeaderValue(std::string_view name, std::string_view value) {
    if (equalsIgnoringCase(name, "Authorization") || equalsIgnoringCase(name, "Proxy-Authorization") ||
        isCredentialName(name)) {
        return std::string(kMaskedValue);
    }
    if (equalsIgnoringCase(name, "Set-Cookie")) {
        // name=value; attributes: the attributes say nothing secret.
        size_t end = std::min(value.find(';'), value.size());
        size_t equals = value.substr(0, end).find('=');
        if (equals == std::string_view::npos) {
            return std::string(kMaskedValue) + std::string(value.substr(end));
        }
        return std::string(value.substr(0, equals + 1)) + std::string(kMaskedValue) +
               std::string(value.substr(end));
    }
    if (equalsIgnoringCase(name, "Cookie")) {
        std::string out;
        size_t start = 0;
        while (start < value.size()) {
            size_t end = std::min(value.find(';', start), value.size());
            std::string_view pair = value.substr(start, end - start);
            size_t equals = pair.find('=');
            out += equals == std::string_view::npos
                       ? std::string(kMaskedValue)
                       : std::string(pair.substr(0, equals + 1)) + std::string(kMaskedValue);
            if (end < value.size()) {
                out += ';';
            }
            start = end + 1;
        }
        return out;
    }
    return std::string(value);
}

RecordedEvent maskCredentials(RecordedEvent event) {
    for (auto& [name, value] : event.headers) {
        value = maskHeaderValue(name, value);
    }
    event.query = maskFormCredentials(event.query);
    std::string type = event.header("Content-Type").value_or("");
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    size_t first = event.body.find_first_not_of(" \t\r\n");
    bool looksJson = first != std::string::npos && (event.body[first] == '{' || event.body[first] == '[');
    if (type.find("json") != std::string::npos || (looksJson && type.find("form") == std::string::npos)) {
        event.body = maskJsonCredentials(event.body);
    } else if (type.empty() || type.find("x-www-form-urlencoded") != std::string::npos ||
               type.starts_with("text/plain")) {
        event.body = maskFormCredentials(event.body);
    }
    for (FormPart& part : event.parts) {
        if (isCredentialName(part.name)) {
            part.data = std::string(kMaskedValue);
        } else if (part.contentType.find("json") != std::string::npos) {
            part.data = maskJsonCredentials(part.data);
        }
    }
    return event;
}

} // namespace murmelo::servers
