// The event log as JSON: whatever bytes a client sent, the log stays
// readable, and text that is not UTF-8 comes back as hex under key + "Hex".
#include <gtest/gtest.h>

#include <functional>

#include "servers/EventLog.h"
#include "servers/http/Json.h"
#include "servers/http/Text.h"

using namespace murmelo;
using namespace murmelo::servers;

TEST(EventLogJson, BytesThatAreNotUtf8AppearAsHex) {
    const std::string bad = "a\xff\xfe";
    struct Row {
        const char* field;
        std::function<void(HttpRequest&)> set;
        std::function<const Value*(const Value&)> find; // in the event's dictionary
    };
    auto member = [](const char* key) { return [key](const Value& event) { return event.find(key); }; };
    auto inPart = [](const char* key) {
        return [key](const Value& event) -> const Value* {
            const Value* parts = event.find("parts");
            return parts && parts->asArray() && !parts->asArray()->empty()
                       ? parts->asArray()->front().find(key)
                       : nullptr;
        };
    };
    const Row rows[] = {
        {"body", [&](HttpRequest& r) { r.body = bad; }, member("bodyHex")},
        {"query", [&](HttpRequest& r) { r.query = bad; }, member("queryHex")},
        {"path", [&](HttpRequest& r) { r.path = "/" + bad; }, member("pathHex")},
        {"host", [&](HttpRequest& r) { r.host = bad; }, member("hostHex")},
        {"header value", [&](HttpRequest& r) { r.headers.emplace_back("X-Odd", bad); },
         [](const Value& e) { return e.find("headers") ? e.find("headers")->find("X-OddHex") : nullptr; }},
        {"header name", [&](HttpRequest& r) { r.headers.emplace_back(bad, "v"); },
         [&](const Value& e) {
             return e.find("headers") ? e.find("headers")->find(hexEncode(bad) + "NameHex") : nullptr;
         }},
        {"part name",
         [&](HttpRequest& r) {
             r.parts.push_back({bad, "", "", "v"});
         },
         inPart("nameHex")},
        {"part value",
         [&](HttpRequest& r) {
             r.parts.push_back({"n", "", "", bad});
         },
         inPart("valueHex")},
        {"file name",
         [&](HttpRequest& r) {
             r.parts.push_back({"n", bad, "", "v"});
         },
         inPart("filenameHex")},
    };
    for (const Row& row : rows) {
        HttpRequest request;
        request.method = "POST";
        request.path = "/index.php";
        request.host = "secrets.murmelo.example";
        row.set(request);
        EventLog log;
        log.record(request, "content", 200);
        auto parsed = parseJson(jsonReply(EventLog::toValue(log.events())));
        ASSERT_TRUE(parsed) << row.field;
        ASSERT_TRUE(parsed->asArray() && parsed->asArray()->size() == 1) << row.field;
        const Value* hex = row.find(parsed->asArray()->front());
        ASSERT_NE(hex, nullptr) << row.field;
        std::string expected = hexEncode(row.field == std::string("path") ? "/" + bad : bad);
        if (row.field != std::string("header name")) {
            EXPECT_EQ(hex->stringValue(), expected) << row.field;
        }
    }
}

namespace {

HttpRequest post(std::string body) {
    HttpRequest request;
    request.method = "POST";
    request.host = "secrets.murmelo.example";
    request.path = "/index.php";
    request.body = std::move(body);
    return request;
}

} // namespace

TEST(EventLogLimits, EachEventKeepsItsShareAndSaysWhatWasCut) {
    EventLog::Limits limits;
    limits.maxHeaders = 8;
    limits.maxHeaderBytes = 256;
    limits.maxBodyBytes = 1000;
    limits.maxParts = 4;
    limits.maxTextBytes = 100;
    const std::string accents = [] {
        std::string text;
        for (int i = 0; i < 800; ++i) {
            text += "é"; // two bytes each, so a cut at 1000 must not split one
        }
        return text;
    }();
    struct Row {
        const char* name;
        std::function<void(HttpRequest&)> set;
        const char* flag; // the member that must say what was cut
    };
    const Row rows[] = {
        {"many headers",
         [](HttpRequest& r) {
             for (int i = 0; i < 5000; ++i) {
                 r.headers.emplace_back("X-H" + std::to_string(i), "v");
             }
         },
         "headersTruncated"},
        {"long header", [](HttpRequest& r) { r.headers.emplace_back("Cookie", std::string(100000, 'c')); },
         "headersTruncated"},
        {"long body", [](HttpRequest& r) { r.body = std::string(1'000'000, 'b'); }, "bodyTruncated"},
        {"body cut between UTF-8 sequences", [&](HttpRequest& r) { r.body = accents; }, "bodyTruncated"},
        {"many parts",
         [](HttpRequest& r) {
             for (int i = 0; i < 5000; ++i) {
                 r.parts.push_back({"p" + std::to_string(i), "", "", "v"});
             }
         },
         "partsTruncated"},
        {"parts over the body budget",
         [](HttpRequest& r) {
             r.parts.push_back({"a", "", "", std::string(900, 'a')});
             r.parts.push_back({"b", "", "", std::string(900, 'b')});
         },
         "bodyTruncated"},
        {"long query", [](HttpRequest& r) { r.query = std::string(100000, 'q'); }, "textTruncated"},
        {"long part file name",
         [](HttpRequest& r) {
             r.parts.push_back({"f", std::string(100000, 'n'), "", "v"});
         },
         "textTruncated"},
    };
    for (const Row& row : rows) {
        HttpRequest request = post("");
        row.set(request);
        EventLog log(limits);
        log.record(request, "content", 200);
        auto events = log.events();
        ASSERT_EQ(events.size(), 1u) << row.name;
        const RecordedEvent& event = events[0];
        size_t headerBytes = 0;
        for (const auto& [name, value] : event.headers) {
            headerBytes += name.size() + value.size();
        }
        size_t partBytes = 0;
        for (const FormPart& part : event.parts) {
            partBytes += part.data.size();
            EXPECT_LE(part.filename.size(), limits.maxTextBytes) << row.name;
        }
        EXPECT_LE(event.headers.size(), limits.maxHeaders) << row.name;
        EXPECT_LE(headerBytes, limits.maxHeaderBytes) << row.name;
        EXPECT_LE(event.body.size() + partBytes, limits.maxBodyBytes) << row.name;
        EXPECT_LE(event.parts.size(), limits.maxParts) << row.name;
        EXPECT_LE(event.query.size(), limits.maxTextBytes) << row.name;
        EXPECT_TRUE(isValidUtf8(event.body)) << row.name;

        auto parsed = parseJson(jsonReply(EventLog::toValue(events)));
        ASSERT_TRUE(parsed && parsed->asArray()) << row.name;
        const Value& shown = parsed->asArray()->front();
        const Value* flag = shown.find(row.flag);
        ASSERT_NE(flag, nullptr) << row.name;
        EXPECT_TRUE(flag->boolValue()) << row.name;
        EXPECT_EQ(shown.find("bodyHex"), nullptr) << row.name;
    }
}

TEST(EventLogLimits, OldestEventsGoFirstWhenTheBytesOrTheCountRunOut) {
    struct Row {
        const char* name;
        size_t capacity;
        size_t maxTotalBytes;
        size_t bodyBytes;
    };
    const Row rows[] = {
        {"byte budget", 10000, 1024 * 1024, 64 * 1024},
        {"count", 50, 1024 * 1024, 100},
    };
    for (const Row& row : rows) {
        EventLog::Limits limits;
        limits.capacity = row.capacity;
        limits.maxTotalBytes = row.maxTotalBytes;
        EventLog log(limits);
        const int posted = 300; // 300 × 64 KiB would be 19 MiB without the budget
        for (int i = 0; i < posted; ++i) {
            log.record(post(std::string(row.bodyBytes, 'x')), "content", 200);
        }
        EXPECT_LE(log.totalBytes(), row.maxTotalBytes) << row.name;
        auto events = log.events();
        ASSERT_FALSE(events.empty()) << row.name;
        EXPECT_LE(events.size(), row.capacity) << row.name;
        EXPECT_LT(events.size(), static_cast<size_t>(posted)) << row.name;
        // What is left is the newest, without gaps.
        EXPECT_EQ(events.back().sequence, static_cast<std::uint64_t>(posted)) << row.name;
        EXPECT_EQ(events.back().sequence - events.front().sequence + 1, events.size()) << row.name;
    }
}

TEST(EventLogLimits, SlicesStayWithinTheirBytesAndSayWhenThereIsMore) {
    EventLog log;
    for (int i = 0; i < 20; ++i) {
        log.record(post(std::string(10000, 'x')), i % 2 ? "content" : "status", 200);
    }
    const size_t one = log.events().front().footprint();
    struct Row {
        const char* name;
        std::string role;
        std::uint64_t after;
        size_t maxBytes;
        size_t count;
        bool more;
    };
    const Row rows[] = {
        {"everything", "", 0, EventLog::kNoByteLimit, 20, false},
        {"three fit", "", 0, 3 * one + one / 2, 3, true},
        {"one even when it is larger", "", 0, 1, 1, true},
        {"by role, after", "content", 10, 3 * one + one / 2, 3, true},
        {"the rest fits", "content", 14, 3 * one + one / 2, 3, false},
    };
    for (const Row& row : rows) {
        EventLog::Slice slice = log.slice(row.role, row.after, row.maxBytes);
        EXPECT_EQ(slice.events.size(), row.count) << row.name;
        EXPECT_EQ(slice.more, row.more) << row.name;
        for (const RecordedEvent& event : slice.events) {
            EXPECT_GT(event.sequence, row.after) << row.name;
        }
    }
}
