#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "app/json/KQJsonWriter.h"
#include "tests/app/json/json_test_support.h"

namespace murmelo {
namespace {

using test::chainOf;
using test::ErrorList;
using test::listOf;

Value dec(std::string_view text) {
    return Value(*Decimal::fromString(text));
}

Value nestedArrays(size_t levels) {
    Value v = Array{};
    for (size_t i = 1; i < levels; ++i) {
        Array outer; // not Array{v}: an initializer list would copy the whole tree each level
        outer.push_back(std::move(v));
        v = Value(std::move(outer));
    }
    return v;
}

enum Layout : unsigned { Compact = 0, Sorted = 1, Human = 2 };

struct LayoutCase {
    Value value;
    unsigned layout;
    std::string expected;
};

TEST(KQJsonWriterTest, WritesEveryLayout) {
    const Value aList = Dictionary{{"a", Array{1, 2}}};
    const Value bac = Dictionary{{"b", 1}, {"a", 2}, {"C", 3}};
    const std::vector<LayoutCase> cases = {
        {Dictionary{}, Compact, "{}"},
        {Dictionary{}, Human, "{}"},
        {Array{}, Compact, "[]"},
        {Array{}, Human, "[]"},
        {aList, Compact, R"({"a":[1,2]})"},
        {aList, Human, "{\n  \"a\" : [\n    1,\n    2\n  ]\n}"},
        {bac, Compact, R"({"b":1,"a":2,"C":3})"},
        {bac, Sorted, R"({"C":3,"a":2,"b":1})"},
        {bac, Sorted | Human, "{\n  \"C\" : 3,\n  \"a\" : 2,\n  \"b\" : 1\n}"},
        {Dictionary{{"b", Dictionary{{"y", 1}, {"x", 2}}}, {"a", Array{}}}, Sorted,
         R"({"a":[],"b":{"x":2,"y":1}})"},
        {Dictionary{{"e", Dictionary{}}, {"l", Array{}}}, Human, "{\n  \"e\" : {},\n  \"l\" : []\n}"},
        {Array{Dictionary{{"x", 1}}}, Human, "[\n  {\n    \"x\" : 1\n  }\n]"},
        {Dictionary{{"l", Array{}}, {"e", Dictionary{}}}, Compact, R"({"l":[],"e":{}})"},
        {Array{Value(true), Value(false), Value(1), Value(0), dec("1"), Value()}, Compact,
         "[true,false,1,0,1,null]"},
        {Array{Value("a"), Array{Value()}}, Human, "[\n  \"a\",\n  [\n    null\n  ]\n]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("expected: " + c.expected);
        KQJsonWriter writer;
        writer.setSortKeys(c.layout & Sorted);
        writer.setHumanReadable(c.layout & Human);
        Result<std::string> text = writer.stringWithObject(c.value);
        ASSERT_TRUE(text.ok()) << text.error().localizedDescription();
        EXPECT_EQ(*text, c.expected);
        EXPECT_EQ(writer.depth(), 0u);
    }
}

TEST(KQJsonWriterTest, UnlimitedDepthStillIndentsByDepth) {
    KQJsonWriter writer;
    writer.setMaxDepth(0);
    writer.setHumanReadable(true);
    Result<std::string> text = writer.stringWithObject(Array{Array{Array{1}}});
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(*text, "[\n  [\n    [\n      1\n    ]\n  ]\n]");
}

struct ScalarCase {
    Value value;
    std::string expected;
};

TEST(KQJsonWriterTest, WritesScalarsAndEscapesStrings) {
    const std::vector<ScalarCase> cases = {
        {Value(true), "true"},
        {Value(false), "false"},
        {Value(), "null"},
        {Value(0), "0"},
        {Value(-42), "-42"},
        {Value(std::numeric_limits<long long>::min()), "-9223372036854775808"},
        {Value(0.1), "0.1"},
        {Value(3.0), "3"},
        {Value(-2.5e-7), "-2.5e-07"},
        {Value(1e100), "1e+100"},
        {dec("0.1"), "0.1"},
        {dec("-0"), "0"},
        {dec("12345678901234567890.123"), "12345678901234567890.123"},
        {dec("-0.00015"), "-0.00015"},
        {dec("1e5"), "100000"},
        {dec("123456789012345678901234567890.12345678"), "123456789012345678901234567890.12345678"},
        {dec("18446744073709551616"), "18446744073709551616"},
        {Value(""), "\"\""},
        {Value("plain text"), "\"plain text\""},
        {Value("a\nb"), "\"a\\nb\""},
        {Value("quote \" backslash \\ slash /"), "\"quote \\\" backslash \\\\ slash /\""},
        {Value("\b\t\n\f\r"), "\"\\b\\t\\n\\f\\r\""},
        {Value(std::string("\0\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\x7f\""},
        {Value("caf\xc3\xa9 \xf0\x9f\x98\x80"), "\"caf\xc3\xa9 \xf0\x9f\x98\x80\""},
        {Value("a longer text with a control byte after sixteen: \x0b"),
         "\"a longer text with a control byte after sixteen: \\u000b\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("expected: " + c.expected);
        KQJsonWriter writer;
        Result<std::string> text = writer.stringWithFragment(c.value);
        ASSERT_TRUE(text.ok()) << text.error().localizedDescription();
        EXPECT_EQ(*text, c.expected);
    }
}

std::string escapedByHand(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\x01':
            out += "\\u0001";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

// Strings up to 32 bytes are judged in one or two overlapping blocks: a byte
// to escape or a non-ASCII sequence must be found at every position of every
// length, including where the blocks overlap and just past them, and
// bytes past the end (an inline buffer's leftovers, a large buffer's spare
// room) must never count, in keys and in values.
TEST(KQJsonWriterTest, EscapesAtEveryPositionOfShortStrings) {
    enum class Buffer { AsMade, SpareRoom, Leftovers };
    auto prepare = [](auto& s, Buffer buffer) {
        auto text = s;
        if (buffer == Buffer::SpareRoom) {
            s.reserve(64);
        } else if (buffer == Buffer::Leftovers) {
            s = text + "\"\\\n";
            s.resize(text.size());
        }
    };
    const std::string specials[] = {"", "\"", "\\", "\n", "\x01", "\xc3\xa9"};
    for (size_t length = 0; length <= 34; ++length) {
        for (const std::string& special : specials) {
            if (special.size() > length) {
                continue;
            }
            size_t positions = special.empty() ? 1 : length - special.size() + 1;
            for (size_t at = 0; at < positions; ++at) {
                std::string text(length - special.size(), 'a');
                text.insert(at, special);
                for (Buffer buffer : {Buffer::AsMade, Buffer::SpareRoom, Buffer::Leftovers}) {
                    SCOPED_TRACE(std::to_string(length) + " bytes, special at " + std::to_string(at) +
                                 ", buffer " + std::to_string(static_cast<int>(buffer)));
                    Value value(Dictionary{{text, Value(text)}});
                    auto& member = *value.asDictionary()->begin();
                    prepare(member.first, buffer);
                    prepare(*member.second.asString(), buffer);
                    KQJsonWriter writer;
                    Result<std::string> written = writer.stringWithObject(value);
                    ASSERT_TRUE(written.ok()) << written.error().localizedDescription();
                    EXPECT_EQ(*written, "{" + escapedByHand(text) + ":" + escapedByHand(text) + "}");
                }
            }
        }
    }
    KQJsonWriter writer;
    Result<std::string> invalid = writer.stringWithFragment(Value(std::string("ab\xff")));
    ASSERT_FALSE(invalid.ok());
    EXPECT_EQ(invalid.error().code(), static_cast<int>(KQJsonErrorCode::InvalidUtf8));
}

// The writer's own decimal text must be the platform's stringValue.
TEST(KQJsonWriterTest, DecimalTextMatchesThePlatformForm) {
    for (const char* text : {"0", "7", "-7", "10", "0.5", "-0.05", "123.456", "1e-20", "9.99e-128", "1e37",
                             "99999999999999999999", "12345678901234567890123456789012345678",
                             "-1.2345678901234567890123456789012345678e100", "1e127", "5e-128"}) {
        SCOPED_TRACE(text);
        Decimal decimal = *Decimal::fromString(text);
        KQJsonWriter writer;
        Result<std::string> written = writer.stringWithFragment(Value(decimal));
        ASSERT_TRUE(written.ok());
        EXPECT_EQ(*written, decimal.stringValue());
    }
}

// Integers and decimal mantissas are written eight digits at a time: every
// length, the edges of each block, zeros inside a block and both signs must
// come out as the plain decimal text.
TEST(KQJsonWriterTest, NumbersOfEveryLengthAreWrittenWhole) {
    std::vector<std::uint64_t> magnitudes = {0, std::numeric_limits<std::uint64_t>::max(),
                                             std::numeric_limits<std::uint64_t>::max() - 1};
    for (std::uint64_t power = 1, k = 0; k < 20; ++k, power *= 10) {
        for (std::uint64_t m :
             {power - 1, power, power + 1, 2 * power, 9 * power + 9, power + power / 1000}) {
            magnitudes.push_back(m);
        }
    }
    std::mt19937_64 random(21);
    for (int i = 0; i < 2000; ++i) {
        magnitudes.push_back(random() >> (random() % 64));
    }
    KQJsonWriter writer;
    for (std::uint64_t magnitude : magnitudes) {
        const std::string digits = std::to_string(magnitude);
        SCOPED_TRACE(digits);
        for (bool negative : {false, true}) {
            const std::string sign = negative && magnitude != 0 ? "-" : "";
            // As a decimal: whole, and with a fraction of three digits.
            EXPECT_EQ(*writer.stringWithFragment(dec(sign + digits)), sign + digits);
            Decimal scaled = *Decimal::fromString(sign + digits + "e-3");
            EXPECT_EQ(*writer.stringWithFragment(Value(scaled)), scaled.stringValue());
            if (magnitude <=
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + negative) {
                auto integer = static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
                EXPECT_EQ(*writer.stringWithFragment(Value(static_cast<long long>(integer))),
                          std::to_string(integer));
            }
        }
    }
}

struct WriteFailureCase {
    std::string name;
    Value value;
    bool object; // stringWithObject rather than stringWithFragment
    unsigned maxDepth;
    ErrorList expected;
};

TEST(KQJsonWriterTest, FailuresReportTheWholeChain) {
    const Value data(Data{1, 2});
    const Value date(Date{0});
    const std::vector<WriteFailureCase> cases = {
        {"string as object", Value("s"), true, 512, {{4, "Not valid type for JSON"}}},
        {"number as object", Value(1), true, 512, {{4, "Not valid type for JSON"}}},
        {"null as object", Value(), true, 512, {{4, "Not valid type for JSON"}}},
        {"data", data, false, 512, {{1, "JSON serialisation not supported for Data"}}},
        {"date in array", Array{1, date}, true, 512, {{1, "JSON serialisation not supported for Date"}}},
        {"data in object",
         Dictionary{{"k", data}},
         true,
         512,
         {{1, "JSON serialisation not supported for Data"}, {1, "Unsupported value for key k in object"}}},
        {"date deep in objects",
         Dictionary{{"a", Dictionary{{"b", Array{date}}}}},
         true,
         512,
         {{1, "JSON serialisation not supported for Date"},
          {1, "Unsupported value for key b in object"},
          {1, "Unsupported value for key a in object"}}},
        {"nan", Value(std::nan("")), false, 512, {{1, "JSON serialisation not supported for nan"}}},
        {"infinity", Array{Value(-HUGE_VAL)}, false, 512, {{1, "JSON serialisation not supported for -inf"}}},
        {"decimal nan",
         Value(Decimal::notANumber()),
         false,
         512,
         {{1, "JSON serialisation not supported for NaN"}}},
        {"invalid utf-8 text", Value("ab\xff"), false, 512, {{13, "Invalid UTF-8 byte '0xff' in string"}}},
        {"invalid utf-8 key",
         Dictionary{{"a", Dictionary{{"\xc3(", 1}}}},
         true,
         512,
         {{13, "Invalid UTF-8 byte '0xc3' in string"}, {1, "Unsupported value for key a in object"}}},
        {"too deep arrays", Array{Array{Array{1}}}, true, 2, {{7, "Nested too deep"}}},
        {"too deep objects",
         Dictionary{{"a", Dictionary{{"b", Dictionary{{"c", 1}}}}}},
         true,
         2,
         {{7, "Nested too deep"},
          {1, "Unsupported value for key b in object"},
          {1, "Unsupported value for key a in object"}}},
        {"beyond the hard limit",
         nestedArrays(KQJsonBase::kHardDepthLimit + 1),
         true,
         0,
         {{7, "Nested too deep"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KQJsonWriter writer;
        writer.setMaxDepth(c.maxDepth);
        Result<std::string> text =
            c.object ? writer.stringWithObject(c.value) : writer.stringWithFragment(c.value);
        ASSERT_FALSE(text.ok()) << *text;
        EXPECT_EQ(chainOf(text.error()), c.expected);
        EXPECT_EQ(listOf(writer.errorTrace()), c.expected);
    }
}

TEST(KQJsonWriterTest, WritesUpToTheHardLimitWithoutALimitOfItsOwn) {
    KQJsonWriter writer;
    writer.setMaxDepth(0);
    Result<std::string> text = writer.stringWithObject(nestedArrays(KQJsonBase::kHardDepthLimit));
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(text->size(), 2 * KQJsonBase::kHardDepthLimit);
}

class Widget : public KQJsonProxy {
public:
    explicit Widget(std::optional<Value> substitute) : m_substitute(std::move(substitute)) {}
    std::optional<Value> proxyForJson() const override { return m_substitute; }
    std::string className() const override { return "Widget"; }

private:
    std::optional<Value> m_substitute;
};

TEST(KQJsonWriterTest, ProxiesAreWrittenThroughTheirSubstitute) {
    KQJsonWriter writer;
    Widget widget(Value(Dictionary{{"id", 7}}));
    Result<std::string> fragment = writer.stringWithFragment(widget);
    ASSERT_TRUE(fragment.ok());
    EXPECT_EQ(*fragment, R"({"id":7})");

    // A proxy is not itself a dictionary or array.
    Result<std::string> object = writer.stringWithObject(widget);
    ASSERT_FALSE(object.ok());
    EXPECT_EQ(chainOf(object.error()), (ErrorList{{4, "Not valid type for JSON"}}));

    Widget empty(std::nullopt);
    Result<std::string> none = writer.stringWithFragment(empty);
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(chainOf(none.error()), (ErrorList{{1, "JSON serialisation not supported for Widget"}}));

    Widget broken(Value(Dictionary{{"blob", Data{1}}}));
    Result<std::string> failed = writer.stringWithFragment(broken);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(chainOf(failed.error()), (ErrorList{{1, "JSON serialisation not supported for Data"},
                                                  {1, "Unsupported value for key blob in object"}}));
}

TEST(KQJsonWriterTest, AReusedWriterStartsEachCallAfresh) {
    KQJsonWriter writer;
    writer.setMaxDepth(1);
    ASSERT_FALSE(writer.stringWithObject(Array{Array{}}).ok());
    ASSERT_EQ(writer.errorTrace().size(), 1u);
    Result<std::string> ok = writer.stringWithObject(Array{1});
    ASSERT_TRUE(ok.ok());
    EXPECT_TRUE(writer.errorTrace().empty());
    EXPECT_EQ(writer.depth(), 0u);
}

} // namespace
} // namespace murmelo
