#include "servers/EventLog.h"

#include <strings.h>

#include "servers/http/Text.h"

namespace murmelo::servers {

std::optional<std::string> RecordedEvent::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (key.size() == name.size() && strncasecmp(key.data(), name.data(), name.size()) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::string> RecordedEvent::part(std::string_view name) const {
    for (const FormPart& p : parts) {
        if (p.name == name) {
            return p.data;
        }
    }
    return std::nullopt;
}

std::uint64_t EventLog::record(const HttpRequest& request, const std::string& role, int status) {
    RecordedEvent event;
    event.time = request.receivedAt;
    event.role = role;
    event.host = request.host;
    event.method = request.method;
    event.path = request.path;
    event.query = request.query;
    event.headers = request.headers;
    event.bodyTruncated = request.body.size() > kMaxBodyBytes;
    event.body = request.body.substr(0, kMaxBodyBytes);
    event.parts = request.parts;
    for (FormPart& part : event.parts) {
        if (part.data.size() > kMaxBodyBytes) {
            part.data.resize(kMaxBodyBytes);
            event.bodyTruncated = true;
        }
    }
    event.status = status;
    std::lock_guard lock(m_mutex);
    event.sequence = ++m_sequence;
    m_events.push_back(std::move(event));
    while (m_events.size() > m_capacity) {
        m_events.pop_front();
    }
    return m_sequence;
}

std::vector<RecordedEvent> EventLog::events(const std::string& role, std::uint64_t after) const {
    std::lock_guard lock(m_mutex);
    std::vector<RecordedEvent> out;
    for (const RecordedEvent& event : m_events) {
        if (event.sequence > after && (role.empty() || event.role == role)) {
            out.push_back(event);
        }
    }
    return out;
}

std::uint64_t EventLog::lastSequence() const {
    std::lock_guard lock(m_mutex);
    return m_sequence;
}

void EventLog::clear() {
    std::lock_guard lock(m_mutex);
    m_events.clear();
}

Value EventLog::toValue(const std::vector<RecordedEvent>& events) {
    auto textOrHex = [](Dictionary& into, const std::string& key, const std::string& bytes) {
        if (isValidUtf8(bytes)) {
            into.set(key, bytes);
        } else {
            into.set(key + "Hex", hexEncode(bytes));
        }
    };
    Array list;
    list.reserve(events.size());
    for (const RecordedEvent& event : events) {
        Dictionary headers;
        for (const auto& [name, value] : event.headers) {
            // A name that is not UTF-8 cannot be a JSON key; its hex can.
            std::string key = isValidUtf8(name) ? name : hexEncode(name) + "NameHex";
            if (!headers.contains(key) && !headers.contains(key + "Hex")) {
                textOrHex(headers, key, value);
            }
        }
        Dictionary item{{"sequence", static_cast<long long>(event.sequence)},
                        {"time", event.time},
                        {"role", event.role},
                        {"status", event.status}};
        // Everything the client chose may be any bytes: one request that is
        // not UTF-8 must not make the whole log unreadable.
        textOrHex(item, "host", event.host);
        textOrHex(item, "method", event.method);
        textOrHex(item, "path", event.path);
        textOrHex(item, "query", event.query);
        item.set("headers", Value(std::move(headers)));
        textOrHex(item, "body", event.body);
        if (!event.parts.empty()) {
            Array parts;
            for (const FormPart& part : event.parts) {
                Dictionary p;
                textOrHex(p, "name", part.name);
                if (!part.filename.empty()) {
                    textOrHex(p, "filename", part.filename);
                }
                textOrHex(p, "value", part.data);
                parts.emplace_back(std::move(p));
            }
            item.set("parts", Value(std::move(parts)));
        }
        if (event.bodyTruncated) {
            item.set("bodyTruncated", true);
        }
        list.emplace_back(std::move(item));
    }
    return Value(std::move(list));
}

} // namespace murmelo::servers
