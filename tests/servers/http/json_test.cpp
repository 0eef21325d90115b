// The servers' JSON: the exact text of what they send, and what they accept
// when reading a configuration file or a client's attachment.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "servers/http/Json.h"

using namespace murmelo;
using namespace murmelo::servers;

TEST(ServerJson, WrittenText) {
    struct Row {
        const char* name;
        Value value;
        const char* text;
    };
    const Row rows[] = {
        {"key order kept", Dictionary{{"code", 200}, {"msg", "ok"}, {"id", 7}},
         R"({"code":200,"msg":"ok","id":7})"},
        {"empty containers", Array{Dictionary{}, Array{}}, R"([{},[]])"},
        {"scalars", Array{Value(), true, false, -12, 1.5}, R"([null,true,false,-12,1.5])"},
        {"escapes", Array{"a\"b\\c\n\t\x01/\x7f"},
         R"(["a\"b\\c\n\t\u0001/)"
         "\x7f"
         R"("])"},
        {"non-ASCII as it is", Array{"caf\xC3\xA9 \xE2\x80\xA8"}, "[\"caf\xC3\xA9 \xE2\x80\xA8\"]"},
        {"whole decimals keep their digits", Array{*Decimal::fromString("45"), *Decimal::fromString("1e5")},
         "[45,100000]"},
        {"fractional decimals", Array{*Decimal::fromString("0.25"), *Decimal::fromString("-2.5e-7")},
         "[0.25,-2.5e-07]"},
        {"large integers", Array{9007199254740993LL, -9223372036854775807LL - 1},
         "[9007199254740993,-9223372036854775808]"},
    };
    for (const Row& row : rows) {
        auto text = jsonText(row.value);
        ASSERT_TRUE(text) << row.name << ": " << text.error().localizedDescription();
        EXPECT_EQ(*text, row.text) << row.name;
    }
}

TEST(ServerJson, UnwritableValuesFail) {
    struct Row {
        const char* name;
        Value value;
    };
    const Row rows[] = {
        {"not a container", Value("text")},
        {"string not UTF-8", Array{"\xC3"}},
        {"key not UTF-8", Dictionary{{"\xFF", 1}}},
        {"nested failure", Dictionary{{"a", Array{Dictionary{{"b", Data{1, 2}}}}}}},
        {"not a number", Array{std::nan("")}},
        {"infinite", Array{std::numeric_limits<double>::infinity()}},
        {"date", Array{Date{}}},
    };
    for (const Row& row : rows) {
        EXPECT_FALSE(jsonText(row.value)) << row.name;
        EXPECT_EQ(jsonReply(row.value), R"({"code":500,"msg":"internal error"})") << row.name;
    }
}

TEST(ServerJson, ReadValues) {
    struct Row {
        std::string text;
        Value value;
    };
    const Row rows[] = {
        {R"({"a":1,"b":[true,null,"x"]})", Dictionary{{"a", 1}, {"b", Array{true, Value(), "x"}}}},
        {R"({"a":1,"b":2,"a":3})", Dictionary{{"a", 3}, {"b", 2}}},
        {R"([18446744073709551615])", Array{*Decimal::fromString("18446744073709551615")}},
        {R"([0.1, -0, 1e2])", Array{*Decimal::fromString("0.1"), 0, 100}},
        {"[\"\\u00e9\\ud83d\\ude00\"]", Array{"\xC3\xA9\xF0\x9F\x98\x80"}},
        {std::string("[1]\0junk", 8), Array{1}}, // the text ends at a zero byte
    };
    for (const Row& row : rows) {
        auto value = parseJson(row.text);
        ASSERT_TRUE(value) << row.text << ": " << value.error().localizedDescription();
        EXPECT_EQ(*value, row.value) << row.text;
    }
    // A repeated key stays where it first stood.
    auto repeated = parseJson(R"({"a":1,"b":2,"a":3})");
    ASSERT_TRUE(repeated);
    EXPECT_EQ(repeated->asDictionary()->keys(), (std::vector<std::string>{"a", "b"}));
}

TEST(ServerJson, RoundTripKeepsTheText) {
    const char* texts[] = {
        R"({"extra":{"refresh_interval":45,"alpha":0.5},"rations":[{"nid":"1","key":{"k":"v"}}]})",
        R"([1,"two",[3],{"z":1,"a":2}])",
    };
    for (const char* text : texts) {
        auto value = parseJson(text);
        ASSERT_TRUE(value) << text;
        EXPECT_EQ(jsonReply(*value), text);
    }
    auto written = parseJson(R"({"refresh_interval":45.0,"n":1e2})");
    ASSERT_TRUE(written);
    EXPECT_EQ(jsonReply(*written), R"({"refresh_interval":45,"n":100})");
}

TEST(ServerJson, RefusedTexts) {
    std::string deep(kMaxJsonDepth + 1, '[');
    deep += std::string(kMaxJsonDepth + 1, ']');
    std::string deepEnough(kMaxJsonDepth, '[');
    deepEnough += std::string(kMaxJsonDepth, ']');
    ASSERT_TRUE(parseJson(deepEnough));

    const std::string rows[] = {
        "",
        "42",
        "\"text\"",
        "[1,]",
        "[1 2]",
        "{\"a\":1}x",
        "{'a':1}",
        "[\"\xC3\"]",         // cut UTF-8 sequence
        "[\"\xED\xA0\x80\"]", // surrogate
        "[\"a\nb\"]",         // raw control character
        "[1e999]",
        deep,
    };
    for (const std::string& text : rows) {
        auto value = parseJson(text);
        EXPECT_FALSE(value) << text.substr(0, 40);
        if (!value) {
            EXPECT_FALSE(value.error().localizedDescription().empty());
        }
    }
}
