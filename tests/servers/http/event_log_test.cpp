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
