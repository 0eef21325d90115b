// EventLog: what the reference servers received — one event per request with
// its role, method, path, query, headers, body (or multipart parts), status
// and time — for tests, for `GET /_events` on the admin host and for a person
// watching the demo.
//
// Bounded: each event keeps at most Limits' share of a request (headers,
// body or parts, the texts of its request line) and says what was cut; the
// log keeps the newest events within both a count and a byte budget, dropping
// the oldest first. A client sending 10 000 posts of 1 MiB, or requests with
// thousands of headers, costs the server at most maxTotalBytes here.
//
// Thread-safe. An event is recorded before its reply is sent, so a client
// that has its answer finds the event already logged.
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Value.h"
#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

struct RecordedEvent {
    std::uint64_t sequence = 0; // 1, 2, ... in arrival order
    double time = 0;            // seconds since 1970
    std::string role;           // "content", "twitter-api", ...; "unknown" for other hosts
    std::string host;
    std::string method;
    std::string path;
    std::string query;
    HeaderList headers;
    std::string body; // at most Limits::maxBodyBytes of it
    std::vector<FormPart> parts;
    int status = 0;
    // What was cut to fit the limits: the body or a part's value, headers
    // beyond the count or byte limit, parts beyond the count limit, or the
    // host, method, path, query or a part's name, file name or type.
    bool bodyTruncated = false;
    bool headersTruncated = false;
    bool partsTruncated = false;
    bool textTruncated = false;

    std::optional<std::string> header(std::string_view name) const;
    std::optional<std::string> part(std::string_view name) const;
    // Bytes this event holds, as the log's budget counts them.
    size_t footprint() const;
};

class EventLog {
public:
    struct Limits {
        size_t capacity = 10000;                 // events
        size_t maxTotalBytes = 32 * 1024 * 1024; // all events' footprints together
        size_t maxHeaders = 100;                 // per event
        size_t maxHeaderBytes = 16 * 1024;       // names and values together
        size_t maxBodyBytes = 64 * 1024;         // the body, or all parts' values together
        size_t maxParts = 100;
        size_t maxTextBytes = 8 * 1024; // host, method, path, query; a part's name, file name, type
    };
    static constexpr size_t kNoByteLimit = std::numeric_limits<size_t>::max();

    EventLog() : EventLog(Limits{}) {}
    explicit EventLog(Limits limits) : m_limits(limits) {}

    std::uint64_t record(const HttpRequest& request, const std::string& role, int status);
    // Events of `role` (all when empty) with a sequence above `after`, oldest first.
    std::vector<RecordedEvent> events(const std::string& role = "", std::uint64_t after = 0) const;
    // The same, up to `maxBytes` of footprints (always at least one event);
    // `more` tells that further events were left out.
    struct Slice {
        std::vector<RecordedEvent> events;
        bool more = false;
    };
    Slice slice(const std::string& role, std::uint64_t after, size_t maxBytes) const;
    std::uint64_t lastSequence() const;
    // Footprints of the events kept now.
    size_t totalBytes() const;
    void clear();
    const Limits& limits() const { return m_limits; }

    // JSON-ready form: an array of event dictionaries. Any received text
    // that is not UTF-8 (body, query, path, host, method, header, part name,
    // value or file name) appears hex-encoded under its key + "Hex"; each
    // truncation flag appears as `true` when set ("bodyTruncated", ...).
    static Value toValue(const std::vector<RecordedEvent>& events);

private:
    RecordedEvent bounded(const HttpRequest& request) const;

    mutable std::mutex m_mutex;
    std::deque<RecordedEvent> m_events;
    Limits m_limits;
    size_t m_totalBytes = 0;
    std::uint64_t m_sequence = 0;
};

} // namespace murmelo::servers
