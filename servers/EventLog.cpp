#include "servers/EventLog.h"

#include <strings.h>

#include "servers/http/Text.h"

namespace murmelo::servers {

namespace {

// Cuts `text` to at most `limit` bytes, not inside a UTF-8 sequence, so a
// cut text that was UTF-8 stays readable. Tells whether it cut.
bool cutTo(std::string& text, size_t limit) {
    if (text.size() <= limit) {
        return false;
    }
    size_t cut = limit;
    for (int back = 0; back < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80;
         ++back) {
        --cut;
    }
    text.resize(cut);
    text.shrink_to_fit();
    return true;
}

std::string cutCopy(const std::string& text, size_t limit, bool& truncated) {
    std::string copy = text.substr(0, std::min(text.size(), limit + 1));
    truncated = cutTo(copy, limit) || truncated;
    return copy;
}

} // namespace

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

size_t RecordedEvent::footprint() const {
    size_t bytes = sizeof(RecordedEvent) + role.size() + host.size() + method.size() + path.size() +
                   query.size() + body.size();
    for (const auto& [name, value] : headers) {
        bytes += sizeof(HeaderList::value_type) + name.size() + value.size();
    }
    for (const FormPart& part : parts) {
        bytes += sizeof(FormPart) + part.name.size() + part.filename.size() + part.contentType.size() +
                 part.data.size();
    }
    return bytes;
}

RecordedEvent EventLog::bounded(const HttpRequest& request) const {
    const Limits& l = m_limits;
    RecordedEvent event;
    event.time = request.receivedAt;
    event.host = cutCopy(request.host, l.maxTextBytes, event.textTruncated);
    event.method = cutCopy(request.method, l.maxTextBytes, event.textTruncated);
    event.path = cutCopy(request.path, l.maxTextBytes, event.textTruncated);
    event.query = cutCopy(request.query, l.maxTextBytes, event.textTruncated);

    size_t headerBytes = 0;
    for (const auto& [name, value] : request.headers) {
        if (event.headers.size() == l.maxHeaders || headerBytes + name.size() >= l.maxHeaderBytes) {
            event.headersTruncated = true;
            break;
        }
        headerBytes += name.size();
        // A long value is cut rather than dropped, so the header still shows.
        std::string kept = cutCopy(value, l.maxHeaderBytes - headerBytes, event.headersTruncated);
        headerBytes += kept.size();
        event.headers.emplace_back(name, std::move(kept));
    }

    event.body = cutCopy(request.body, l.maxBodyBytes, event.bodyTruncated);
    size_t bodyBytes = event.body.size();
    for (const FormPart& part : request.parts) {
        if (event.parts.size() == l.maxParts) {
            event.partsTruncated = true;
            break;
        }
        FormPart kept;
        kept.name = cutCopy(part.name, l.maxTextBytes, event.textTruncated);
        kept.filename = cutCopy(part.filename, l.maxTextBytes, event.textTruncated);
        kept.contentType = cutCopy(part.contentType, l.maxTextBytes, event.textTruncated);
        kept.data = cutCopy(part.data, l.maxBodyBytes - bodyBytes, event.bodyTruncated);
        bodyBytes += kept.data.size();
        event.parts.push_back(std::move(kept));
    }
    return event;
}

std::uint64_t EventLog::record(const HttpRequest& request, const std::string& role, int status) {
    RecordedEvent event = bounded(request);
    event.role = role;
    event.status = status;
    size_t bytes = event.footprint();
    std::lock_guard lock(m_mutex);
    event.sequence = ++m_sequence;
    m_events.push_back(std::move(event));
    m_totalBytes += bytes;
    while (m_events.size() > 1 &&
           (m_events.size() > m_limits.capacity || m_totalBytes > m_limits.maxTotalBytes)) {
        m_totalBytes -= m_events.front().footprint();
        m_events.pop_front();
    }
    return m_sequence;
}

std::vector<RecordedEvent> EventLog::events(const std::string& role, std::uint64_t after) const {
    return slice(role, after, kNoByteLimit).events;
}

EventLog::Slice EventLog::slice(const std::string& role, std::uint64_t after, size_t maxBytes) const {
    std::lock_guard lock(m_mutex);
    Slice out;
    size_t bytes = 0;
    for (const RecordedEvent& event : m_events) {
        if (event.sequence <= after || (!role.empty() && event.role != role)) {
            continue;
        }
        size_t size = event.footprint();
        if (!out.events.empty() && size > maxBytes - bytes) {
            out.more = true;
            break;
        }
        bytes += std::min(size, maxBytes);
        out.events.push_back(event);
    }
    return out;
}

std::uint64_t EventLog::lastSequence() const {
    std::lock_guard lock(m_mutex);
    return m_sequence;
}

size_t EventLog::totalBytes() const {
    std::lock_guard lock(m_mutex);
    return m_totalBytes;
}

void EventLog::clear() {
    std::lock_guard lock(m_mutex);
    m_events.clear();
    m_totalBytes = 0;
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
        for (auto [key, set] : {std::pair{"bodyTruncated", event.bodyTruncated},
                                std::pair{"headersTruncated", event.headersTruncated},
                                std::pair{"partsTruncated", event.partsTruncated},
                                std::pair{"textTruncated", event.textTruncated}}) {
            if (set) {
                item.set(key, true);
            }
        }
        list.emplace_back(std::move(item));
    }
    return Value(std::move(list));
}

} // namespace murmelo::servers
