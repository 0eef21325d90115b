// EventLog: what the reference servers received — one event per request with
// its role, method, path, query, headers, body (or multipart parts), status
// and time — for tests, for `GET /_events` on the admin host and for a person
// watching the demo. Keeps the newest `capacity` events.
//
// Thread-safe. An event is recorded before its reply is sent, so a client
// that has its answer finds the event already logged.
#pragma once

#include <cstdint>
#include <deque>
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
    std::string body; // at most kMaxBodyBytes of it
    bool bodyTruncated = false;
    std::vector<FormPart> parts;
    int status = 0;

    std::optional<std::string> header(std::string_view name) const;
    std::optional<std::string> part(std::string_view name) const;
};

class EventLog {
public:
    static constexpr size_t kMaxBodyBytes = 64 * 1024;

    explicit EventLog(size_t capacity = 10000) : m_capacity(capacity) {}

    std::uint64_t record(const HttpRequest& request, const std::string& role, int status);
    // Events of `role` (all when empty) with a sequence above `after`, oldest first.
    std::vector<RecordedEvent> events(const std::string& role = "", std::uint64_t after = 0) const;
    std::uint64_t lastSequence() const;
    void clear();

    // JSON-ready form: an array of event dictionaries. Any received text
    // that is not UTF-8 (body, query, path, host, method, header, part name,
    // value or file name) appears hex-encoded under its key + "Hex".
    static Value toValue(const std::vector<RecordedEvent>& events);

private:
    mutable std::mutex m_mutex;
    std::deque<RecordedEvent> m_events;
    size_t m_capacity;
    std::uint64_t m_sequence = 0;
};

} // namespace murmelo::servers
