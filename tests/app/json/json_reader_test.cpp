#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/json/KQJsonParser.h"
#include "tests/app/json/json_test_support.h"

namespace murmelo {
namespace {

using test::chainOf;
using test::ErrorList;
using test::listOf;

std::string nested(const std::string& open, size_t levels, const std::string& inner,
                   const std::string& close) {
    std::string out;
    out.reserve(levels * (open.size() + close.size()) + inner.size());
    for (size_t i = 0; i < levels; ++i) {
        out += open;
    }
    out += inner;
    for (size_t i = 0; i < levels; ++i) {
        out += close;
    }
    return out;
}

enum class Mode { Object, Fragment };

struct FailureCase {
    std::string text;
    Mode mode;
    ErrorList expected; // oldest first
};

// Every message the reader can produce, with the errors enclosing levels add.
TEST(KQJsonParserTest, FailuresReportTheWholeChain) {
    const std::string arrayCtx = "Expected value while parsing array";
    const std::vector<FailureCase> cases = {
        // Structure.
        {"[1,]", Mode::Object, {{9, "Trailing comma disallowed in array"}}},
        {"[,1]", Mode::Object, {{3, "Unrecognised leading character"}, {3, arrayCtx}}},
        {"{\"a\":1,}", Mode::Object, {{9, "Trailing comma disallowed in object"}}},
        {"{\"a\":1 , }", Mode::Object, {{9, "Trailing comma disallowed in object"}}},
        {"[[1,]]", Mode::Object, {{9, "Trailing comma disallowed in array"}, {3, arrayCtx}}},
        {"[1 2]", Mode::Object, {{3, "Expected ',' or ']' after array element"}}},
        {"[[1 2]]", Mode::Object, {{3, "Expected ',' or ']' after array element"}, {3, arrayCtx}}},
        {"{\"a\":1 \"b\":2}", Mode::Object, {{3, "Expected ',' or '}' after object member"}}},
        {"{1:2}", Mode::Object, {{3, "Object key string expected"}}},
        {"{\"a\" 1}", Mode::Object, {{3, "Expected ':' separating key and value"}}},
        {"{\"a\":}",
         Mode::Object,
         {{3, "Unrecognised leading character"}, {3, "Object value expected for key: a"}}},
        {"{\"k\\u00e9\":x}",
         Mode::Object,
         {{3, "Unrecognised leading character"}, {3, "Object value expected for key: k\xc3\xa9"}}},
        {"{\"outer\":{\"inner\":[1,]}}",
         Mode::Object,
         {{9, "Trailing comma disallowed in array"},
          {3, "Object value expected for key: inner"},
          {3, "Object value expected for key: outer"}}},
        {"[{\"\\q\":1}]",
         Mode::Object,
         {{8, "Illegal escape sequence '0x71'"}, {3, "Object key string expected"}, {3, arrayCtx}}},
        {"{\"a\x01\":1}",
         Mode::Object,
         {{5, "Unescaped control character '0x1'"}, {3, "Object key string expected"}}},
        // Literals and leading characters.
        {"nul", Mode::Fragment, {{3, "Expected 'null'"}}},
        {"tru", Mode::Fragment, {{3, "Expected 'true'"}}},
        {"fals", Mode::Fragment, {{3, "Expected 'false'"}}},
        {"[falsey]", Mode::Object, {{3, "Expected ',' or ']' after array element"}}},
        {"x", Mode::Fragment, {{3, "Unrecognised leading character"}}},
        {"\xc3\xa9", Mode::Fragment, {{3, "Unrecognised leading character"}}},
        // Numbers.
        {"007", Mode::Fragment, {{2, "Leading 0 disallowed in number"}}},
        {"-01", Mode::Fragment, {{2, "Leading 0 disallowed in number"}}},
        {"-", Mode::Fragment, {{2, "No digits after initial minus"}}},
        {"[-x]", Mode::Object, {{2, "No digits after initial minus"}, {3, arrayCtx}}},
        {"1.", Mode::Fragment, {{2, "No digits after decimal point"}}},
        {"1.e5", Mode::Fragment, {{2, "No digits after decimal point"}}},
        {"1e", Mode::Fragment, {{2, "No digits after exponent"}}},
        {"1E+", Mode::Fragment, {{2, "No digits after exponent"}}},
        {"+1", Mode::Fragment, {{2, "Leading + disallowed in number"}}},
        {"1e165", Mode::Fragment, {{2, "Failed creating decimal instance"}}},
        {"[-1e99999999999999999999]", Mode::Object, {{2, "Failed creating decimal instance"}, {3, arrayCtx}}},
        // Top level.
        {"3", Mode::Object, {{4, "Valid fragment, but not JSON"}}},
        {"null", Mode::Object, {{4, "Valid fragment, but not JSON"}}},
        {"[1] x", Mode::Object, {{10, "Garbage after JSON"}}},
        {"1 2", Mode::Fragment, {{10, "Garbage after JSON"}}},
        // Input ends.
        {"", Mode::Object, {{11, "Unexpected end of string"}}},
        {" \n\t", Mode::Fragment, {{11, "Unexpected end of string"}}},
        {"[", Mode::Object, {{11, "End of input while parsing array"}}},
        {"[1", Mode::Object, {{11, "End of input while parsing array"}}},
        {"[1,", Mode::Object, {{11, "End of input while parsing array"}}},
        {"[ ", Mode::Object, {{11, "Unexpected end of string"}, {3, arrayCtx}}},
        {"{", Mode::Object, {{11, "End of input while parsing object"}}},
        {"{\"a\":1", Mode::Object, {{11, "End of input while parsing object"}}},
        {"{\"a\":1,", Mode::Object, {{11, "End of input while parsing object"}}},
        {"{\"a\":",
         Mode::Object,
         {{11, "Unexpected end of string"}, {3, "Object value expected for key: a"}}},
        {"\"abc", Mode::Fragment, {{5, "Unescaped control character '0x0'"}}},
        {"\"abc\\n", Mode::Fragment, {{11, "Unexpected EOF while parsing string"}}},
        {"\"abc\\", Mode::Fragment, {{8, "Illegal escape sequence '0x0'"}}},
        // Strings.
        {"[\"a\tb\"]", Mode::Object, {{5, "Unescaped control character '0x9'"}, {3, arrayCtx}}},
        {"\"\x1f\"", Mode::Fragment, {{5, "Unescaped control character '0x1f'"}}},
        {"[\"\\q\"]", Mode::Object, {{8, "Illegal escape sequence '0x71'"}, {3, arrayCtx}}},
        {"\"\\u12x4\"",
         Mode::Fragment,
         {{6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, {6, "Broken unicode character"}}},
        {"\"\\u12",
         Mode::Fragment,
         {{6, "Missing hex digit in quad"}, {6, "Missing hex quad"}, {6, "Broken unicode character"}}},
        {"\"\\udc00\"",
         Mode::Fragment,
         {{6, "Invalid high character in surrogate pair"}, {6, "Broken unicode character"}}},
        {"\"\\ud800\"",
         Mode::Fragment,
         {{6, "Missing low character in surrogate pair"}, {6, "Broken unicode character"}}},
        {"\"\\ud800x\\udc00\"",
         Mode::Fragment,
         {{6, "Missing low character in surrogate pair"}, {6, "Broken unicode character"}}},
        {"\"\\ud800\\u00zz\"",
         Mode::Fragment,
         {{6, "Missing hex digit in quad"},
          {6, "Missing low character in surrogate pair"},
          {6, "Broken unicode character"}}},
        {"\"\\ud800\\u0041\"",
         Mode::Fragment,
         {{6, "Invalid low surrogate char"}, {6, "Broken unicode character"}}},
        {"\"\\ud800\\ud800\"",
         Mode::Fragment,
         {{6, "Invalid low surrogate char"}, {6, "Broken unicode character"}}},
        // Bytes that are not UTF-8.
        {"\"\xff\"", Mode::Fragment, {{13, "Invalid UTF-8 byte '0xff' in string"}}},
        {"\"ok \x80\"", Mode::Fragment, {{13, "Invalid UTF-8 byte '0x80' in string"}}},
        {"\"\xc0\xaf\"", Mode::Fragment, {{13, "Invalid UTF-8 byte '0xc0' in string"}}},         // overlong
        {"\"\xe0\x80\xaf\"", Mode::Fragment, {{13, "Invalid UTF-8 byte '0xe0' in string"}}},     // overlong
        {"\"\xed\xa0\x80\"", Mode::Fragment, {{13, "Invalid UTF-8 byte '0xed' in string"}}},     // surrogate
        {"\"\xf4\x90\x80\x80\"", Mode::Fragment, {{13, "Invalid UTF-8 byte '0xf4' in string"}}}, // > U+10FFFF
        {"\"\xe2\x82\"", Mode::Fragment, {{13, "Invalid UTF-8 byte '0xe2' in string"}}},         // cut short
        {"\"\xe2\x82", Mode::Fragment, {{13, "Invalid UTF-8 byte '0xe2' in string"}}}, // cut by the end
        {"[\"0123456789abcdef\xf8\"]",
         Mode::Object,
         {{13, "Invalid UTF-8 byte '0xf8' in string"}, {3, arrayCtx}}},
        // The input ends at its first zero byte.
        {std::string("\"ab\0cd\"", 7), Mode::Fragment, {{5, "Unescaped control character '0x0'"}}},
        {std::string("[1,\0 2]", 7), Mode::Object, {{11, "End of input while parsing array"}}},
        {std::string("\0[]", 3), Mode::Object, {{11, "Unexpected end of string"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("input: " + c.text);
        KQJsonParser parser;
        Result<Value> result =
            c.mode == Mode::Object ? parser.objectWithString(c.text) : parser.fragmentWithString(c.text);
        ASSERT_FALSE(result.ok()) << result->debugDescription();
        EXPECT_EQ(chainOf(result.error()), c.expected);
        EXPECT_EQ(listOf(parser.errorTrace()), c.expected);
        EXPECT_EQ(result.error().domain(), KQJSONErrorDomain);
        EXPECT_LE(parser.c(), c.text.size());
    }
}

TEST(KQJsonParserTest, NoInputIsErrorTwelve) {
    KQJsonParser parser;
    for (bool object : {true, false}) {
        Result<Value> result =
            object ? parser.objectWithString(std::nullopt) : parser.fragmentWithString(std::nullopt);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(chainOf(result.error()), (ErrorList{{12, "Input was 'nil'"}}));
    }
}

struct ReadCase {
    std::string text;
    Value expected;
};

TEST(KQJsonParserTest, ReadsTheValueModel) {
    const std::vector<ReadCase> cases = {
        {"{}", Value(Dictionary{})},
        {"[]", Value(Array{})},
        {" [ ] ", Value(Array{})},
        {"[1] \t\n\v\f\r", Value(Array{Value(Decimal::fromInteger(1))})},
        {"\v\f{\"a\":\v1}", Value(Dictionary{{"a", Value(Decimal::fromInteger(1))}})},
        {"3", Value(Decimal::fromInteger(3))},
        {"-12", Value(Decimal::fromInteger(-12))},
        {"true", Value(true)},
        {"false", Value(false)},
        {"null", Value()},
        {"\"\"", Value("")},
        {"\"\\u00e9\"", Value("\xc3\xa9")},
        {"\"\\u00E9t\\u00e9\"", Value("\xc3\xa9t\xc3\xa9")},
        {"\"\\u20ac\"", Value("\xe2\x82\xac")},
        {"\"\\ud83d\\ude00\"", Value("\xf0\x9f\x98\x80")},
        {"\"\\uDBFF\\uDFFF\"", Value("\xf4\x8f\xbf\xbf")},
        {"\"\\\"\\/\\\\\\b\\f\\n\\r\\t\"", Value("\"/\\\b\f\n\r\t")},
        {"\"\\u0000\"", Value(std::string(1, '\0'))},
        {"\"\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80 caf\xc3\xa9\"",
         Value("\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80 caf\xc3\xa9")},
        {"\"a long run of plain text that spans more than sixteen bytes\\n and more\"",
         Value("a long run of plain text that spans more than sixteen bytes\n and more")},
        {"[1,[2,[3]],{\"k\":[true,null]}]",
         Value(
             Array{Value(Decimal::fromInteger(1)),
                   Value(Array{Value(Decimal::fromInteger(2)), Value(Array{Value(Decimal::fromInteger(3))})}),
                   Value(Dictionary{{"k", Value(Array{Value(true), Value()})}})})},
        {std::string("[1]\0garbage", 11), Value(Array{Value(Decimal::fromInteger(1))})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("input: " + c.text);
        KQJsonParser parser;
        Result<Value> result = parser.fragmentWithString(c.text);
        ASSERT_TRUE(result.ok()) << result.error().localizedDescription();
        EXPECT_EQ(result->type(), c.expected.type());
        EXPECT_EQ(*result, c.expected) << result->debugDescription();
        EXPECT_TRUE(parser.errorTrace().empty());
    }
}

TEST(KQJsonParserTest, BooleansAreBooleanNumbersAndNumbersAreDecimals) {
    KQJsonParser parser;
    Result<Value> result = parser.objectWithString("[true,false,1,0,null]");
    ASSERT_TRUE(result.ok());
    const Array& items = *result->asArray();
    EXPECT_TRUE(items[0].isBoolean());
    EXPECT_TRUE(items[0].isNumber());
    EXPECT_EQ(items[0].integerValue(), 1);
    EXPECT_EQ(items[1].integerValue(), 0);
    ASSERT_NE(items[2].asDecimal(), nullptr);
    EXPECT_FALSE(items[2].isBoolean());
    EXPECT_TRUE(items[4].isNull());
}

TEST(KQJsonParserTest, ObjectsKeepInsertionOrderAndLaterDuplicatesReplace) {
    KQJsonParser parser;
    Result<Value> result = parser.objectWithString(R"({"z":1,"a":2,"z":3,"m":{"x":1,"x":2}})");
    ASSERT_TRUE(result.ok());
    const Dictionary& d = *result->asDictionary();
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"z", "a", "m"}));
    EXPECT_EQ(d.find("z")->stringValue(), "3");
    EXPECT_EQ(result->find("m")->asDictionary()->size(), 1u);
    EXPECT_EQ(result->find("m")->find("x")->stringValue(), "2");
}

// Objects past the size where lookups are hashed follow the same rule.
TEST(KQJsonParserTest, LargeObjectsKeepTheRuleForRepeatedKeys) {
    std::string text = "{";
    for (int i = 0; i < 100; ++i) {
        text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    }
    text += R"("k3":"late","k50":{"x":[1]}})";
    KQJsonParser parser;
    Result<Value> result = parser.objectWithString(text);
    ASSERT_TRUE(result.ok());
    const Dictionary& d = *result->asDictionary();
    ASSERT_EQ(d.size(), 100u);
    EXPECT_EQ(d.keys()[3], "k3");
    EXPECT_EQ(d.keys()[50], "k50");
    EXPECT_EQ(d.find("k3")->stringValue(), "late");
    EXPECT_EQ(d.find("k50")->find("x")->asArray()->size(), 1u);
    EXPECT_EQ(d.find("k99")->integerValue(), 99);
}

// The reader skips the dictionary's search for repeated keys when it saw none
// itself: keys that share a fingerprint (length, first and last byte) but
// differ must all stay, and a real repeat must still be merged, before and
// past the size where the reader leaves the check to the dictionary.
TEST(KQJsonParserTest, RepeatedKeysAreFoundAmongLookAlikes) {
    struct KeysCase {
        const char* name;
        std::vector<std::string> keys;
    };
    auto lookAlikes = [](int count) {
        std::vector<std::string> keys;
        for (int i = 0; i < count; ++i) {
            keys.push_back("a" + std::to_string(100 + i) + "z"); // one fingerprint for all
        }
        return keys;
    };
    auto with = [](std::vector<std::string> keys, std::vector<std::string> more) {
        keys.insert(keys.end(), more.begin(), more.end());
        return keys;
    };
    const std::vector<KeysCase> cases = {
        {"look-alikes, no repeat", lookAlikes(5)},
        {"look-alikes, last repeats the first", with(lookAlikes(5), {"a100z"})},
        {"repeat right after", {"k", "k"}},
        {"31 look-alikes, no repeat", lookAlikes(31)},
        {"32 look-alikes then a repeat", with(lookAlikes(32), {"a131z"})},
        {"40 look-alikes then a repeat", with(lookAlikes(40), {"a100z"})},
        {"40 look-alikes, no repeat", lookAlikes(40)},
    };
    for (const KeysCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "{";
        Dictionary expected;
        for (size_t i = 0; i < c.keys.size(); ++i) {
            text += (i > 0 ? ",\"" : "\"") + c.keys[i] + "\":" + std::to_string(i);
            expected.set(c.keys[i], Value(Decimal::fromInteger(static_cast<long long>(i))));
        }
        text += "}";
        KQJsonParser parser;
        Result<Value> result = parser.objectWithString(text);
        ASSERT_TRUE(result.ok()) << result.error().localizedDescription();
        const Dictionary& d = *result->asDictionary();
        EXPECT_EQ(d.keys(), expected.keys());
        EXPECT_TRUE(d == expected);
        for (const auto& [key, value] : expected) {
            ASSERT_NE(d.find(key), nullptr) << key;
        }
    }
}

// Numbers keep their decimal digits; the fast path for short mantissas must
// agree with the platform's own conversion from text.
TEST(KQJsonParserTest, NumbersAreExactDecimals) {
    struct NumberCase {
        std::string text;
        std::string digits; // Decimal::stringValue of the result
    };
    const std::vector<NumberCase> cases = {
        {"0.1", "0.1"},
        {"12345678901234567890.123", "12345678901234567890.123"},
        {"-12345678901234567890.123", "-12345678901234567890.123"},
        {"0", "0"},
        {"-0", "0"},
        {"0.0", "0"},
        {"1E3", "1000"},
        {"1e+3", "1000"},
        {"1.5e-3", "0.0015"},
        {"0.000001", "0.000001"},
        {"1.50", "1.5"},
        {"100", "100"},
        {"-37.774929123456", "-37.774929123456"},
        {"18446744073709551615", "18446744073709551615"},
        {"9999999999999999999", "9999999999999999999"},
        {"99999999999999999999", "99999999999999999999"},
        {"0.00000000000000000000123", "0.00000000000000000000123"},
        {"12345678901234567890123456789012345678", "12345678901234567890123456789012345678"},
        // Digits beyond 38 round half-up to 38.
        {"123456789012345678901234567890123456789", "123456789012345678901234567890123456790"},
        {"1.00000000000000000000000000000000000005", "1.0000000000000000000000000000000000001"},
        {"1e127", "1" + std::string(127, '0')},
        {"1e164", "1" + std::string(164, '0')},
        // Below the smallest exponent a value underflows towards zero.
        {"1e-128", "0." + std::string(127, '0') + "1"},
        {"1e-200", "0"},
        {"0e99999", "0"},
        // Digits are taken eight at a time while 19 surely fit: runs that end
        // at, inside and past such a block, blocks of leading zeros, and
        // numbers that end with the input.
        {"12345678", "12345678"},
        {"1234567", "1234567"},
        {"123456789", "123456789"},
        {"12345678.12345678901", "12345678.12345678901"},
        {"123456789012.3456789", "123456789012.3456789"},
        {"1234567890123.45678901", "1234567890123.45678901"},
        {"0.00000000123456789012", "0.00000000123456789012"},
        {"0.0000000000000000", "0"},
        {"0.000000001000000000000000001", "0.000000001000000000000000001"},
        {"-0.1000000000000000000001", "-0.1000000000000000000001"},
        {"1.2345678e5", "123456.78"},
        {"98765432109876543.21", "98765432109876543.21"},
        {"9876543210987654321.0", "9876543210987654321"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("number: " + c.text);
        KQJsonParser parser;
        Result<Value> result = parser.fragmentWithString(c.text);
        ASSERT_TRUE(result.ok()) << result.error().localizedDescription();
        const Decimal* decimal = result->asDecimal();
        ASSERT_NE(decimal, nullptr);
        EXPECT_EQ(decimal->stringValue(), c.digits);
        std::optional<Decimal> reference = Decimal::fromString(c.text);
        ASSERT_TRUE(reference.has_value());
        EXPECT_TRUE(decimal->mantissa() == reference->mantissa());
        EXPECT_EQ(decimal->exponent(), reference->exponent());
        EXPECT_EQ(decimal->isNegative(), reference->isNegative());
        // Followed by more text, the digits are read in blocks that stop
        // inside the number rather than at the input's end.
        Result<Value> inside = parser.objectWithString("[" + c.text + ",\"more text after\"]");
        ASSERT_TRUE(inside.ok()) << inside.error().localizedDescription();
        ASSERT_NE(inside->asArray()->at(0).asDecimal(), nullptr);
        EXPECT_EQ(inside->asArray()->at(0).asDecimal()->stringValue(), c.digits);
    }
}

TEST(KQJsonParserTest, DepthIsLimitedForEveryContainer) {
    struct DepthCase {
        unsigned maxDepth;
        std::string open, close;
        size_t levels;
        bool reads;
    };
    const std::vector<DepthCase> cases = {
        {2, "[", "]", 2, true},
        {2, "[", "]", 3, false},
        {2, "{\"k\":", "}", 3, false},
        {512, "[", "]", 512, true},
        {512, "[", "]", 513, false},
        {512, "{\"k\":", "}", 513, false},
        {0, "[", "]", 600, true},
        {0, "[", "]", KQJsonBase::kHardDepthLimit, true},
        {0, "[", "]", KQJsonBase::kHardDepthLimit + 1, false},
        {5000, "[", "]", KQJsonBase::kHardDepthLimit + 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("maxDepth " + std::to_string(c.maxDepth) + ", levels " + std::to_string(c.levels) + " " +
                     c.open);
        KQJsonParser parser;
        parser.setMaxDepth(c.maxDepth);
        Result<Value> result = parser.objectWithString(nested(c.open, c.levels, "1", c.close));
        EXPECT_EQ(result.ok(), c.reads);
        if (c.reads) {
            EXPECT_EQ(parser.depth(), 0u);
            continue;
        }
        ASSERT_FALSE(result.ok());
        ErrorList chain = chainOf(result.error());
        // The too-deep container fails, then every level around it adds its own error.
        size_t limit = c.maxDepth == 0 ? KQJsonBase::kHardDepthLimit
                                       : std::min<size_t>(c.maxDepth, KQJsonBase::kHardDepthLimit);
        ASSERT_EQ(chain.size(), limit + 1);
        EXPECT_EQ(chain.front(), (std::pair<long, std::string>{7, "Nested too deep"}));
        EXPECT_EQ(chain.back().first, 3);
    }
}

// Far deeper than any stack could take recursively; must fail cleanly.
TEST(KQJsonParserTest, HundredThousandLevelsFailWithoutExhaustingTheStack) {
    KQJsonParser parser;
    parser.setMaxDepth(0);
    for (const char* open : {"[", "{\"k\":"}) {
        Result<Value> result = parser.objectWithString(nested(open, 100000, "", ""));
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(parser.errorTrace().front().code(), 7);
    }
}

TEST(KQJsonParserTest, AReusedParserStartsEachCallAfresh) {
    KQJsonParser parser;
    ASSERT_FALSE(parser.objectWithString("[1,]").ok());
    EXPECT_EQ(parser.errorTrace().size(), 1u);
    Result<Value> ok = parser.objectWithString("[[1]]");
    ASSERT_TRUE(ok.ok());
    EXPECT_TRUE(parser.errorTrace().empty());
    EXPECT_EQ(parser.depth(), 0u);
    ASSERT_FALSE(parser.objectWithString("[[[").ok());
    EXPECT_EQ(listOf(parser.errorTrace()), (ErrorList{{11, "End of input while parsing array"},
                                                      {3, "Expected value while parsing array"},
                                                      {3, "Expected value while parsing array"}}));
}

std::string manyMembers(int count, const std::string& keyPrefix) {
    std::string text = "{";
    for (int i = 0; i < count; ++i) {
        text += (i ? ",\"" : "\"") + keyPrefix + std::to_string(i) + "\":[" + std::to_string(i) + ",\"v\"]";
    }
    return text + ",\"" + keyPrefix + "0\":\"repeated, replaces the first\"}";
}

// A document is freed by giving its arena's blocks back, without walking it:
// every block must go back, a copy taken before must stay whole, and a
// failed read must keep no block.
TEST(KQJsonParserTest, ReadDocumentsGiveEveryBlockBack) {
    enum Outcome { Sealed, NotSealed, Fails };
    std::string bigArray = "[\"element\"";
    for (int i = 1; i < 6000; ++i) {
        bigArray += ",\"element\""; // 6000 values: 234 KiB, a block of its own
    }
    bigArray += "]";
    struct Case {
        const char* name;
        std::string text;
        bool fragment;
        Outcome outcome;
    } cases[] = {
        {"small object", R"({"a":[1,2],"b":{"c":"a string longer than sixteen bytes"}})", false, Sealed},
        {"long and repeated keys",
         R"({"a key longer than the inline buffer":1,"b":2,"a key longer than the inline buffer":3})", false,
         Sealed},
        {"indexed object", manyMembers(300, "a long key prefix number "), false, Sealed},
        {"array with a block of its own", bigArray, false, Sealed},
        {"empty object", "{}", false, NotSealed},
        {"string fragment", R"("a string longer than sixteen bytes")", true, NotSealed},
        {"cut short", R"({"a":[1,2],"b":{"c":"unfinished)", false, Fails},
        {"garbage after", R"({"a key longer than the inline buffer":[1,2]} x)", false, Fails},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = value_memory::blocksInUse();
        KQJsonParser parser;
        std::optional<Value> copy;
        {
            Result<Value> read =
                c.fragment ? parser.fragmentWithString(c.text) : parser.objectWithString(c.text);
            ASSERT_EQ(read.ok(), c.outcome != Fails);
            if (read.ok()) {
                EXPECT_EQ(read->isSealedDocument(), c.outcome == Sealed);
                copy = *read;
            }
        }
        EXPECT_EQ(value_memory::blocksInUse(), before);
        if (copy) {
            Result<Value> again = parser.fragmentWithString(c.text);
            ASSERT_TRUE(again.ok());
            EXPECT_EQ(*copy, *again);
        }
    }
}

} // namespace
} // namespace murmelo
