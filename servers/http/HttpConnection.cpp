#include "servers/http/HttpConnection.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "platform/core/Clock.h"
#include "servers/http/HeaderSyntax.h"
#include "servers/http/MultipartForm.h"

namespace murmelo::servers {

namespace {

// Body bytes received but not yet decoded: one read's worth.
constexpr size_t kBodyInputBytes = 64 * 1024;

const char* reasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 417:
        return "Expectation Failed";
    case 421:
        return "Misdirected Request";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return status < 300   ? "OK"
               : status < 400 ? "Redirect"
               : status < 500 ? "Client Error"
                              : "Server Error";
    }
}

// The Date field's value, made once a second per thread.
const std::string& httpDate() {
    thread_local std::time_t cachedSecond = -1;
    thread_local std::string cached;
    std::time_t now = std::time(nullptr);
    if (now != cachedSecond) {
        std::tm parts{};
        gmtime_r(&now, &parts);
        char text[64];
        size_t length = std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
        cached.assign(text, length);
        cachedSecond = now;
    }
    return cached;
}

bool isKnownMethod(std::string_view method) {
    for (std::string_view known : {"GET", "HEAD", "POST", "PUT", "PATCH", "DELETE", "OPTIONS"}) {
        if (method == known) {
            return true;
        }
    }
    return false;
}

// The listener writes these itself; a handler's copy would contradict them.
bool isFramingHeader(std::string_view name) {
    return equalsIgnoringCase(name, "Content-Length") || equalsIgnoringCase(name, "Transfer-Encoding") ||
           equalsIgnoringCase(name, "Connection") || equalsIgnoringCase(name, "Date");
}

// A CR or LF in a handler's header would split the reply.
bool isSafeHeader(std::string_view name, std::string_view value) {
    if (!isHttpToken(name)) {
        return false;
    }
    return std::none_of(value.begin(), value.end(),
                        [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

std::string lowerHostWithoutPort(std::string host) {
    if (!host.empty() && host.front() == '[') {
        auto close = host.find(']');
        host = close == std::string::npos ? host : host.substr(0, close + 1);
    } else if (auto colon = host.rfind(':'); colon != std::string::npos) {
        host.resize(colon);
    }
    for (char& c : host) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return host;
}

} // namespace

HttpConnection::HttpConnection(Limits limits, std::string remoteAddress)
    : m_limits(limits), m_remoteAddress(std::move(remoteAddress)), m_headParser(limits.head),
      m_chunked(ChunkedDecoder::Limits{limits.maxBodyBytes, limits.head.maxLineBytes,
                                       limits.head.maxHeaderCount}) {}

HttpConnection::Wait HttpConnection::waitingFor() const {
    switch (m_phase) {
    case Phase::Idle:
        if (!m_output.empty()) {
            return Wait::Write;
        }
        return m_requests == 0 ? Wait::Request : Wait::KeepAlive;
    case Phase::Head:
        return Wait::Head;
    case Phase::Body:
        return Wait::Body;
    case Phase::Handling:
        return Wait::Nothing;
    case Phase::Closing:
        return m_output.empty() ? Wait::Linger : Wait::Write;
    }
    return Wait::Nothing;
}

bool HttpConnection::wantsInput() const {
    if (m_finished || m_inputEnded) {
        return false;
    }
    switch (m_phase) {
    case Phase::Idle:
    case Phase::Head:
        // Bytes of a pipelined request wait in the socket until the reply is
        // out; a head is refused once it passes the limit.
        return m_output.empty() && m_input.size() <= m_limits.head.maxHeadBytes;
    case Phase::Body:
        return m_input.size() < kBodyInputBytes;
    case Phase::Closing: // read and dropped until the client closes
        return true;
    case Phase::Handling:
        return false;
    }
    return false;
}

void HttpConnection::receive(std::string_view bytes) {
    if (m_phase == Phase::Closing || m_finished) {
        return;
    }
    m_input.append(bytes);
}

void HttpConnection::receiveEnd() {
    m_inputEnded = true;
    if (m_phase == Phase::Closing && m_output.empty()) {
        m_finished = true;
    }
}

void HttpConnection::finishWhenInputEnded() {
    // A request cut short has no one to answer.
    if (m_inputEnded) {
        m_output.clear();
        m_outputOffset = 0;
        m_phase = Phase::Closing;
        m_finished = true;
    }
}

std::optional<HttpRequest> HttpConnection::advance() {
    for (;;) {
        switch (m_phase) {
        case Phase::Idle:
        case Phase::Head: {
            if (!m_output.empty()) {
                return std::nullopt;
            }
            if (m_input.empty()) {
                finishWhenInputEnded();
                return std::nullopt;
            }
            m_phase = Phase::Head;
            auto parsed = m_headParser.parse(m_input);
            if (!parsed) {
                refuse(parsed.error());
                return std::nullopt;
            }
            if (!*parsed) {
                finishWhenInputEnded();
                return std::nullopt;
            }
            m_head = std::move((*parsed)->head);
            m_input.erase(0, (*parsed)->bytes);
            m_headParser.reset();
            ++m_requests;
            m_body.clear();
            if (!isKnownMethod(m_head->method)) {
                refuse(httpRefusal(501, "method not implemented"));
                return std::nullopt;
            }
            bool bodyFollows = false;
            if (m_head->framing == BodyFraming::ContentLength) {
                if (m_head->contentLength > m_limits.maxBodyBytes) {
                    refuse(httpRefusal(413, "request body too large"));
                    return std::nullopt;
                }
                m_bodyRemaining = m_head->contentLength;
                bodyFollows = m_bodyRemaining > 0;
            } else if (m_head->framing == BodyFraming::Chunked) {
                m_chunked = ChunkedDecoder(ChunkedDecoder::Limits{
                    m_limits.maxBodyBytes, m_limits.head.maxLineBytes, m_limits.head.maxHeaderCount});
                bodyFollows = true;
            }
            if (bodyFollows && m_head->expectContinue) {
                queue("HTTP/1.1 100 Continue\r\n\r\n");
            }
            m_phase = Phase::Body;
            break;
        }
        case Phase::Body: {
            if (m_head->framing == BodyFraming::Chunked) {
                auto used = m_chunked.decode(m_input, m_body);
                if (!used) {
                    refuse(used.error());
                    return std::nullopt;
                }
                m_input.erase(0, *used);
                if (!m_chunked.done()) {
                    finishWhenInputEnded();
                    return std::nullopt;
                }
            } else {
                auto take = static_cast<size_t>(std::min<std::uint64_t>(m_bodyRemaining, m_input.size()));
                m_body.append(m_input, 0, take);
                m_input.erase(0, take);
                m_bodyRemaining -= take;
                if (m_bodyRemaining > 0) {
                    finishWhenInputEnded();
                    return std::nullopt;
                }
            }
            return completeRequest();
        }
        case Phase::Handling:
            return std::nullopt;
        case Phase::Closing:
            m_finished = m_finished || (m_inputEnded && m_output.empty());
            return std::nullopt;
        }
    }
}

std::optional<HttpRequest> HttpConnection::completeRequest() {
    HttpRequest request;
    RequestHead& head = *m_head;
    if (head.framing != BodyFraming::None) {
        std::optional<std::string> contentType;
        for (const auto& [name, value] : head.headers) {
            if (equalsIgnoringCase(name, "Content-Type")) {
                contentType = value;
                break;
            }
        }
        if (auto boundary = contentType ? MultipartForm::boundaryOf(*contentType) : std::nullopt) {
            auto form = MultipartForm::parse(*boundary, m_body);
            if (!form) {
                refuse(httpRefusal(400, "unreadable request body"));
                return std::nullopt;
            }
            request.multipart = true;
            request.parts = std::move(form->parts);
            request.multipartUnterminated = form->unterminated;
            m_body.clear();
        }
    }
    request.method = head.method;
    request.target = head.target;
    size_t question = head.target.find('?');
    request.path = head.target.substr(0, question);
    request.query = question == std::string::npos ? "" : head.target.substr(question + 1);
    request.host = lowerHostWithoutPort(head.host);
    request.headers = std::move(head.headers);
    request.body = std::move(m_body);
    m_body.clear();
    request.remoteAddress = m_remoteAddress;
    request.receivedAt = Clock::now();
    m_phase = Phase::Handling;
    return request;
}

void HttpConnection::respond(HttpResponse response) {
    bool keepAlive = m_head->keepAlive && m_requests < m_limits.maxRequests;
    std::string head = responseHead(response, m_head->minorVersion, keepAlive);
    bool withBody = m_head->method != "HEAD" && response.status >= 200 && response.status != 204 &&
                    response.status != 304;
    queue(std::move(head));
    if (withBody) {
        queue(std::move(response.body));
    }
    m_head.reset();
    m_phase = keepAlive ? Phase::Idle : Phase::Closing;
}

std::string HttpConnection::responseHead(const HttpResponse& response, int minorVersion, bool keepAlive) {
    std::string head;
    head.reserve(256);
    head += "HTTP/1.1 ";
    head += std::to_string(response.status);
    head += ' ';
    head += reasonPhrase(response.status);
    head += "\r\n";
    bool hasBody = response.status >= 200 && response.status != 204 && response.status != 304;
    bool typed = false;
    for (const auto& [name, value] : response.headers) {
        if (isFramingHeader(name) || !isSafeHeader(name, value)) {
            continue;
        }
        typed = typed || equalsIgnoringCase(name, "Content-Type");
        head += name;
        head += ": ";
        head += value;
        head += "\r\n";
    }
    if (hasBody) {
        if (!typed && isSafeHeader("Content-Type", response.contentType)) {
            head += "Content-Type: ";
            head += response.contentType;
            head += "\r\n";
        }
        head += "Content-Length: ";
        head += std::to_string(response.body.size());
        head += "\r\n";
    }
    head += "Date: ";
    head += httpDate();
    head += "\r\n";
    if (!keepAlive) {
        head += "Connection: close\r\n";
    } else if (minorVersion == 0) {
        head += "Connection: keep-alive\r\n";
    }
    head += "\r\n";
    return head;
}

void HttpConnection::timeOut() {
    bool partial = (m_phase == Phase::Head && !m_input.empty()) || m_phase == Phase::Body;
    if (partial) {
        refuse(httpRefusal(408, "request timed out"));
        return;
    }
    m_finished = true;
}

void HttpConnection::refuse(const Error& error) {
    int status = static_cast<int>(error.code());
    HttpResponse response = HttpResponse::text(error.localizedDescription() + "\n", status);
    LogEntry entry;
    entry.status = status;
    entry.bytes = response.body.size();
    std::string_view method;
    int minorVersion = 1;
    if (m_head) {
        entry.host = lowerHostWithoutPort(m_head->host);
        entry.method = m_head->method;
        entry.target = m_head->target;
        method = m_head->method;
        minorVersion = m_head->minorVersion;
    }
    m_refusal = std::move(entry);
    // A reply started before (100 Continue) is simply followed by this one.
    queue(responseHead(response, minorVersion, false));
    if (method != "HEAD") {
        queue(std::move(response.body));
    }
    m_input.clear();
    m_body.clear();
    m_head.reset();
    m_phase = Phase::Closing;
}

std::optional<HttpConnection::LogEntry> HttpConnection::takeRefusal() {
    std::optional<LogEntry> entry = std::move(m_refusal);
    m_refusal.reset();
    return entry;
}

void HttpConnection::queue(std::string bytes) {
    if (!bytes.empty()) {
        m_output.push_back(std::move(bytes));
    }
}

size_t HttpConnection::outputPieces(std::string_view* pieces, size_t max) const {
    size_t count = 0;
    for (const std::string& piece : m_output) {
        if (count == max) {
            break;
        }
        pieces[count] = count == 0 ? std::string_view(piece).substr(m_outputOffset) : std::string_view(piece);
        ++count;
    }
    return count;
}

void HttpConnection::consumeOutput(size_t bytes) {
    while (bytes > 0 && !m_output.empty()) {
        size_t left = m_output.front().size() - m_outputOffset;
        if (bytes < left) {
            m_outputOffset += bytes;
            return;
        }
        bytes -= left;
        m_output.pop_front();
        m_outputOffset = 0;
    }
    if (m_output.empty() && m_phase == Phase::Closing && m_inputEnded) {
        m_finished = true;
    }
}

} // namespace murmelo::servers
