#include "servers/http/RequestHeadParser.h"

#include <cstring>

#include "servers/http/HeaderSyntax.h"

namespace murmelo::servers {

namespace {

// A line without its line break ("\r\n" or "\n"). A CR anywhere else is a
// bare CR, which some parsers take for a line break: refused.
Result<std::string_view> lineContent(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.find('\r') != std::string_view::npos) {
        return httpRefusal(400, "bare CR in request head");
    }
    return line;
}

bool isTargetByte(unsigned char c) {
    return c > 0x20 && c != 0x7f;
}

// Host: a reg-name, an IP literal in brackets, an optional port.
bool isHostByte(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        return true;
    }
    return std::strchr("-._~!$&'()*+,;=%:[]", c) != nullptr && c != '\0';
}

Result<std::uint64_t> parseContentLength(std::string_view text) {
    if (text.empty()) {
        return httpRefusal(400, "empty Content-Length");
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return httpRefusal(400, "Content-Length is not a number");
        }
        auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return httpRefusal(400, "Content-Length too large to represent");
        }
        value = value * 10 + digit;
    }
    return value;
}

// Calls `each` with every non-empty element of a comma-separated list.
template <class Each> void forEachListElement(std::string_view list, Each each) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        size_t end = comma == std::string_view::npos ? list.size() : comma;
        std::string_view element = trimBlanks(list.substr(start, end - start));
        if (!element.empty()) {
            each(element);
        }
        start = end + 1;
    }
}

Result<void> parseRequestLine(std::string_view line, RequestHead& head) {
    size_t firstSpace = line.find(' ');
    size_t lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == lastSpace) {
        return httpRefusal(400, "malformed request line");
    }
    std::string_view method = line.substr(0, firstSpace);
    std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    std::string_view version = line.substr(lastSpace + 1);
    if (!isHttpToken(method) || target.empty()) {
        return httpRefusal(400, "malformed request line");
    }
    for (char c : target) {
        if (!isTargetByte(static_cast<unsigned char>(c))) {
            return httpRefusal(400, "malformed request target");
        }
    }
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' || version[5] < '0' ||
        version[5] > '9' || version[7] < '0' || version[7] > '9') {
        return httpRefusal(400, "malformed HTTP version");
    }
    if (version[5] != '1' || version[7] > '1') {
        return httpRefusal(505, "HTTP version not supported");
    }
    head.method = method;
    head.target = target;
    head.minorVersion = version[7] - '0';
    return Result<void>::success();
}

} // namespace

Result<std::optional<ParsedHead>> RequestHeadParser::parse(std::string_view received) {
    while (m_lineStart < received.size()) {
        const char* begin = received.data() + m_lineStart;
        const auto* newline =
            static_cast<const char*>(std::memchr(begin, '\n', received.size() - m_lineStart));
        size_t lineEnd = newline ? static_cast<size_t>(newline - received.data()) : received.size();
        size_t length = lineEnd - m_lineStart;
        if (length > 0 && newline && received[lineEnd - 1] == '\r') {
            --length;
        }
        if (length > m_limits.maxLineBytes) {
            return m_sawRequestLine ? httpRefusal(431, "header line too long")
                                    : httpRefusal(414, "request line too long");
        }
        if (lineEnd + (newline ? 1 : 0) > m_limits.maxHeadBytes) {
            return httpRefusal(431, "request head too large");
        }
        if (!newline) {
            break;
        }
        size_t next = lineEnd + 1;
        if (length == 0) {
            if (!m_sawRequestLine) {
                // Empty lines before a request (left over from a previous body) are skipped.
                m_lineStart = next;
                m_requestLine = next;
                continue;
            }
            size_t start = m_requestLine;
            auto head = parseComplete(received.substr(start, m_lineStart - start));
            if (!head) {
                return head.error();
            }
            return std::optional<ParsedHead>(ParsedHead{std::move(*head), next});
        }
        if (m_sawRequestLine && ++m_headerCount > m_limits.maxHeaderCount) {
            return httpRefusal(431, "too many header fields");
        }
        m_sawRequestLine = true;
        m_lineStart = next;
    }
    return std::optional<ParsedHead>();
}

void RequestHeadParser::reset() {
    m_lineStart = 0;
    m_requestLine = 0;
    m_sawRequestLine = false;
    m_headerCount = 0;
}

Result<RequestHead> RequestHeadParser::parseComplete(std::string_view text) {
    RequestHead head;
    size_t position = 0;
    bool first = true;
    std::optional<std::uint64_t> contentLength;
    bool transferEncoding = false;
    bool chunked = false;
    size_t transferCodings = 0;
    size_t hosts = 0;
    bool connectionClose = false;
    bool connectionKeepAlive = false;
    bool unknownExpectation = false;
    while (position < text.size()) {
        size_t newline = text.find('\n', position);
        size_t end = newline == std::string_view::npos ? text.size() : newline;
        MURMELO_TRY_VALUE(std::string_view line, lineContent(text.substr(position, end - position)));
        position = end + 1;
        if (first) {
            MURMELO_TRY_VOID(parseRequestLine(line, head));
            first = false;
            continue;
        }
        MURMELO_TRY_VALUE(auto field, splitHeaderLine(line));
        auto [name, value] = field;
        if (equalsIgnoringCase(name, "Content-Length")) {
            MURMELO_TRY_VALUE(std::uint64_t length, parseContentLength(value));
            if (contentLength && *contentLength != length) {
                return httpRefusal(400, "conflicting Content-Length fields");
            }
            contentLength = length;
        } else if (equalsIgnoringCase(name, "Transfer-Encoding")) {
            transferEncoding = true;
            forEachListElement(value, [&](std::string_view coding) {
                ++transferCodings;
                chunked = equalsIgnoringCase(coding, "chunked");
            });
        } else if (equalsIgnoringCase(name, "Host")) {
            ++hosts;
            for (char c : value) {
                if (!isHostByte(static_cast<unsigned char>(c))) {
                    return httpRefusal(400, "malformed Host");
                }
            }
            head.host = value;
        } else if (equalsIgnoringCase(name, "Connection")) {
            forEachListElement(value, [&](std::string_view option) {
                connectionClose = connectionClose || equalsIgnoringCase(option, "close");
                connectionKeepAlive = connectionKeepAlive || equalsIgnoringCase(option, "keep-alive");
            });
        } else if (equalsIgnoringCase(name, "Expect")) {
            if (equalsIgnoringCase(value, "100-continue")) {
                head.expectContinue = head.minorVersion >= 1;
            } else {
                unknownExpectation = true;
            }
        }
        head.headers.emplace_back(name, value);
    }
    if (first) {
        return httpRefusal(400, "no request line");
    }
    if (hosts > 1 || (hosts == 0 && head.minorVersion >= 1)) {
        return httpRefusal(400, hosts ? "more than one Host" : "HTTP/1.1 request without Host");
    }
    if (transferEncoding) {
        if (contentLength) {
            return httpRefusal(400, "both Content-Length and Transfer-Encoding");
        }
        if (head.minorVersion < 1 || transferCodings != 1 || !chunked) {
            return httpRefusal(400, "unsupported Transfer-Encoding");
        }
        head.framing = BodyFraming::Chunked;
    } else if (contentLength) {
        head.framing = BodyFraming::ContentLength;
        head.contentLength = *contentLength;
    }
    if (unknownExpectation) {
        return httpRefusal(417, "unsupported expectation");
    }
    head.keepAlive = head.minorVersion >= 1 ? !connectionClose : connectionKeepAlive && !connectionClose;
    return head;
}

} // namespace murmelo::servers
