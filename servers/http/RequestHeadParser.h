// RequestHeadParser: reads an HTTP/1.x request head (request line, header
// fields, empty line) from the bytes received so far, and decides how the
// body is framed.
//
//   RequestHeadParser parser(limits);
//   auto parsed = parser.parse(received); // called again as `received` grows
//   if (!parsed) refuse(parsed.error().code());      // an HTTP status
//   else if (*parsed) handle(**parsed);               // complete head
//
// Bounded: the request line and each header line are at most
// Limits::maxLineBytes (414 for the request line, 431 for a header line), the
// head holds at most Limits::maxHeaderCount fields and Limits::maxHeadBytes
// bytes (431). Those are checked as bytes arrive, so an endless head is
// refused once it crosses a limit, and every received byte is scanned once.
//
// Strict framing (400): Content-Length must be digits only, every copy equal,
// and never together with Transfer-Encoding; Transfer-Encoding must be
// exactly "chunked" (and HTTP/1.1); an HTTP/1.1 request needs exactly one
// Host, of host-name characters; no control bytes, bare CR or folded lines.
// Another HTTP major version or HTTP/1.x beyond 1.1 is 505; an expectation
// other than 100-continue is 417.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

enum class BodyFraming { None, ContentLength, Chunked };

struct RequestHead {
    std::string method;
    std::string target;
    int minorVersion = 1; // HTTP/1.0 or HTTP/1.1
    HeaderList headers;   // as received, in order
    std::string host;     // the Host field as sent ("" when none)
    BodyFraming framing = BodyFraming::None;
    std::uint64_t contentLength = 0; // with BodyFraming::ContentLength
    bool keepAlive = true;           // the client's wish: version and Connection
    bool expectContinue = false;     // HTTP/1.1 with "Expect: 100-continue"
};

struct ParsedHead {
    RequestHead head;
    size_t bytes = 0; // of the head, up to and including its empty line
};

class RequestHeadParser {
public:
    struct Limits {
        size_t maxLineBytes = 8 * 1024;
        size_t maxHeaderCount = 100;
        size_t maxHeadBytes = 64 * 1024;
    };

    explicit RequestHeadParser(Limits limits) : m_limits(limits) {}

    // `received` starts with the request (empty lines before it are skipped)
    // and holds everything received since the last reset(); nothing while
    // the head is incomplete. An error's code is the status to answer.
    Result<std::optional<ParsedHead>> parse(std::string_view received);
    // For the next request on the connection.
    void reset();

    // Parses a complete head (without the empty line that ends it).
    static Result<RequestHead> parseComplete(std::string_view head);

private:
    Limits m_limits;
    size_t m_lineStart = 0;   // where the line being received begins
    size_t m_requestLine = 0; // where the request line begins (after empty lines)
    bool m_sawRequestLine = false;
    size_t m_headerCount = 0;
};

} // namespace murmelo::servers
