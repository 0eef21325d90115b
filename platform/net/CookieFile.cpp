#include "platform/net/CookieFile.h"

#include <cerrno>
#include <charconv>
#include <cmath>

#include "platform/core/Text.h"
#include "platform/foundation/FileSystem.h"
#include "platform/net/NetError.h"
#include "platform/net/internal/NetText.h"

namespace murmelo {

using namespace net_internal;

namespace {

constexpr std::string_view kMagic = "MurmeloCookies";

Error damaged(size_t line, const std::string& why) {
    return netError(NetErrorCode::CookieFileDamaged,
                    "Cookie file damaged at line " + std::to_string(line) + ": " + why);
}

Error unusable(const Error& cause) {
    return netError(NetErrorCode::CookieFileUnusable, cause.localizedDescription())
        .withUnderlyingError(cause);
}

std::string escapeField(std::string_view text) {
    return text::percentEncoded(
        text, [](unsigned char byte) { return byte == '%' || byte < 0x20 || byte == 0x7F; });
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
    std::vector<std::string_view> lines = murmelo::text::split(text, '\n');
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
        std::vector<std::string_view> fields = murmelo::text::split(lines[index], '\t');
        if (fields.size() != 9 || fields[0] != "cookie") {
            return damaged(lineNumber, "not a cookie line");
        }
        Cookie cookie;
        auto name = text::percentDecoded(fields[1]);
        auto value = text::percentDecoded(fields[2]);
        auto domain = text::percentDecoded(fields[3]);
        auto path = text::percentDecoded(fields[4]);
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
    auto text = fs::readFile(path, kMaxFileBytes);
    if (!text) {
        if (text.error().is(kPOSIXErrorDomain, ENOENT)) {
            return std::vector<Cookie>{};
        }
        if (text.error().is(kPOSIXErrorDomain, EFBIG)) {
            return damaged(0, "file too large");
        }
        return unusable(text.error());
    }
    return decode(*text);
}

Result<void> CookieFile::write(const std::string& path, const std::vector<Cookie>& cookies) {
    if (auto folders = fs::createDirectories(fs::parentPath(path), 0700); !folders) {
        return unusable(folders.error());
    }
    if (auto written = fs::writeFileAtomically(path, encode(cookies), 0600); !written) {
        return unusable(written.error());
    }
    return {};
}

} // namespace murmelo
