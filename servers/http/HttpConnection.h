// HttpConnection: one HTTP/1.x connection as a state machine over bytes, with
// no socket of its own — HttpServer's event loop reads and writes for it.
//
//   connection.receive(bytes);
//   while (auto request = connection.advance()) {   // at most one at a time
//       connection.respond(handler(*request));     // later, from a worker's result
//   }
//   write connection.outputPieces(...); connection.consumeOutput(written);
//   if (connection.finished()) close;
//
// One request at a time: the next request is read only once the reply to the
// previous one is written, so a client that pipelines requests without
// reading the replies holds one reply in memory, not a queue of them.
// Requests the connection refuses itself (malformed, too large, timed out)
// get a reply, the connection closes after it, and takeRefusal() gives the
// access log its entry. Bodies are at most Limits::maxBodyBytes, decided from
// Content-Length before any body byte is read (413, with no "100 Continue").
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "servers/http/ChunkedDecoder.h"
#include "servers/http/HttpMessage.h"
#include "servers/http/RequestHeadParser.h"

namespace murmelo::servers {

class HttpConnection {
public:
    struct Limits {
        RequestHeadParser::Limits head;
        size_t maxBodyBytes = 1 << 20;
        size_t maxRequests = 100000; // per connection
    };
    enum class Phase {
        Idle,     // between requests
        Head,     // part of a request head received
        Body,     // head complete, body being received
        Handling, // a complete request is with the handler
        Closing,  // the last reply is queued; close once it is written
    };
    // What the connection waits for, and so which deadline applies.
    enum class Wait {
        Nothing,   // the handler
        Request,   // a new connection's first request
        KeepAlive, // the next request
        Head,      // the rest of a head
        Body,      // the rest of a body
        Write,     // the client to take the reply
        Linger,    // the client to close after the last reply
    };
    struct LogEntry {
        std::string host;
        std::string method;
        std::string target;
        int status = 0;
        size_t bytes = 0;
    };

    HttpConnection(Limits limits, std::string remoteAddress);

    Phase phase() const { return m_phase; }
    Wait waitingFor() const;
    // Whether received bytes are of use now (otherwise leave them in the socket).
    bool wantsInput() const;
    void receive(std::string_view bytes);
    // The client will send nothing more (call advance() after it).
    void receiveEnd();
    // Reads as far as the received bytes go; gives a complete request, after
    // which the connection waits for respond().
    std::optional<HttpRequest> advance();
    // REQUIRES: phase() == Phase::Handling.
    void respond(HttpResponse response);
    // The deadline of waitingFor() passed: a partly received request is
    // answered 408; otherwise the connection is finished.
    void timeOut();
    // A request refused by the connection itself since the last call.
    std::optional<LogEntry> takeRefusal();

    bool hasOutput() const { return !m_output.empty(); }
    // Up to `max` pieces of pending output, in order; gives their number.
    size_t outputPieces(std::string_view* pieces, size_t max) const;
    void consumeOutput(size_t bytes);
    // Nothing more to send or receive: close the socket.
    bool finished() const { return m_finished; }

    // The status line and header fields of `response` (framing, Date and
    // Connection are the listener's own; a handler's copies are dropped, and
    // so are fields with a line break in them).
    static std::string responseHead(const HttpResponse& response, int minorVersion, bool keepAlive);

private:
    void refuse(const Error& error);
    void finishWhenInputEnded();
    void queue(std::string bytes);
    std::optional<HttpRequest> completeRequest();

    Limits m_limits;
    std::string m_remoteAddress;
    Phase m_phase = Phase::Idle;
    RequestHeadParser m_headParser;
    ChunkedDecoder m_chunked;
    std::string m_input;
    std::optional<RequestHead> m_head; // of the request being received or handled
    std::uint64_t m_bodyRemaining = 0;
    std::string m_body;
    std::deque<std::string> m_output;
    size_t m_outputOffset = 0; // into m_output.front()
    size_t m_requests = 0;
    bool m_inputEnded = false;
    bool m_finished = false;
    std::optional<LogEntry> m_refusal;
};

} // namespace murmelo::servers
