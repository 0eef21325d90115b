#include "platform/net/CookieFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/net/NetError.h"
#include "platform/net/internal/NetText.h"

namespace murmelo {

using namespace net_internal;

namespace {

constexpr std::string_view kMagic = "MurmeloCookies";

Error damaged(size_t line, const std::string& why) {
    return netError(NetErrorCode::CookieFileUnusable,
                    "Cookie file damaged at line " + std::to_string(line) + ": " + why);
}

std::string escapeField(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '%' || byte < 0x20 || byte == 0x7F) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescapeField(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
            return std::nullopt;
        }
        out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
        i += 2;
    }
    return out;
}

std::string formatTime(double seconds) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds);
    return std::string(buffer, result.ptr);
}

std::optional<double> parseTime(std::string_view text) {
    double value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

Error posixError(const std::string& context) {
    int code = errno;
    return netError(NetErrorCode::CookieFileUnusable, context)
        .withUnderlyingError(Error::posix(code, context));
}

Result<void> makeFolders(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return {};
    }
    std::string folder = path.substr(0, slash);
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at == folder.size() || folder[at] == '/') {
            std::string prefix = folder.substr(0, at);
            if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
                return posixError("Cannot create " + prefix);
            }
        }
    }
    return {};
}

} // namespace

std::string CookieFile::encode(const std::vector<Cookie>& cookies) {
    std::string out = std::string(kMagic) + " " + std::to_string(kVersion) + "\n";
    for (const Cookie& c : cookies) {
        out += "cookie\t" + escapeField(c.name) + "\t" + escapeField(c.value) + "\t" + escapeField(c.domain) +
               "\t" + escapeField(c.path) + "\t" +
               (c.expiresAt ? formatTime(*c.expiresAt) : std::string("-")) + "\t" +
               formatTime(c.creationTime) + "\t" + formatTime(c.lastAccessTime) + "\t" +
               (c.hostOnly ? "1" : "0") + (c.secureOnly ? "1" : "0") + (c.httpOnly ? "1" : "0") + "\n";
    }
    out += "end\t" + std::to_string(cookies.size()) + "\n";
    return out;
}

Result<std::vector<Cookie>> CookieFile::decode(std::string_view text) {
    if (text.size() > kMaxFileBytes) {
        return damaged(0, "file too large");
    }
    std::vector<std::string_view> lines = split(text, '\n');
    // A complete file ends with a newline, so the last piece is empty.
    if (lines.size() < 3 || !lines.back().empty()) {
        return damaged(lines.size(), "cut short");
    }
    lines.pop_back();
    std::string header = std::string(kMagic) + " ";
    if (!lines.front().starts_with(header)) {
        return damaged(1, "not a cookie file");
    }
    if (lines.front() != header + std::to_string(kVersion)) {
        return damaged(1, "unsupported version \"" + std::string(lines.front().substr(header.size())) + "\"");
    }
    std::vector<Cookie> cookies;
    for (size_t index = 1; index + 1 < lines.size(); ++index) {
        size_t lineNumber = index + 1;
        std::vector<std::string_view> fields = split(lines[index], '\t');
        if (fields.size() != 9 || fields[0] != "cookie") {
            return damaged(lineNumber, "not a cookie line");
        }
        Cookie cookie;
        auto name = unescapeField(fields[1]);
        auto value = unescapeField(fields[2]);
        auto domain = unescapeField(fields[3]);
        auto path = unescapeField(fields[4]);
        if (!name || !value || !domain || !path) {
            return damaged(lineNumber, "bad escape");
        }
        cookie.name = *name;
        cookie.value = *value;
        cookie.domain = *domain;
        cookie.path = *path;
        if (fields[5] != "-") {
            cookie.expiresAt = parseTime(fields[5]);
            if (!cookie.expiresAt) {
                return damaged(lineNumber, "bad expiry");
            }
        }
        auto created = parseTime(fields[6]);
        auto accessed = parseTime(fields[7]);
        if (!created || !accessed) {
            return damaged(lineNumber, "bad time");
        }
        cookie.creationTime = *created;
        cookie.lastAccessTime = *accessed;
        std::string_view flags = fields[8];
        if (flags.size() != 3 || flags.find_first_not_of("01") != std::string_view::npos) {
            return damaged(lineNumber, "bad flags");
        }
        cookie.hostOnly = flags[0] == '1';
        cookie.secureOnly = flags[1] == '1';
        cookie.httpOnly = flags[2] == '1';
        if (auto valid = Cookie::validate(cookie); !valid) {
            return damaged(lineNumber, valid.error().localizedDescription());
        }
        cookies.push_back(std::move(cookie));
    }
    std::string_view last = lines.back();
    if (!last.starts_with("end\t") || last.substr(4) != std::to_string(cookies.size())) {
        return damaged(lines.size(), "bad end line");
    }
    return cookies;
}

Result<std::vector<Cookie>> CookieFile::read(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::vector<Cookie>{};
        }
        return posixError("Cannot open " + path);
    }
    std::string text;
    char buffer[65536];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Error error = posixError("Cannot read " + path);
            ::close(fd);
            return error;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > kMaxFileBytes) {
            ::close(fd);
            return damaged(0, "file too large");
        }
    }
    ::close(fd);
    return decode(text);
}

Result<void> CookieFile::write(const std::string& path, const std::vector<Cookie>& cookies) {
    if (auto folders = makeFolders(path); !folders) {
        return folders;
    }
    std::string text = encode(cookies);
    std::string temporary = path + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return posixError("Cannot create a temporary file for " + path);
    }
    auto fail = [&](const std::string& context) -> Result<void> {
        Error error = posixError(context);
        ::close(fd);
        ::unlink(temporary.c_str());
        return error;
    };
    if (::fchmod(fd, 0600) != 0) {
        return fail("Cannot set the mode of " + temporary);
    }
    size_t written = 0;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail("Cannot write " + temporary);
        }
        written += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        return fail("Cannot sync " + temporary);
    }
    if (::close(fd) != 0) {
        Error error = posixError("Cannot close " + temporary);
        ::unlink(temporary.c_str());
        return error;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        Error error = posixError("Cannot replace " + path);
        ::unlink(temporary.c_str());
        return error;
    }
    return {};
}

} // namespace murmelo
