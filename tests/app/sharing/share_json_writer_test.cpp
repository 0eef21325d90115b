// The share record's own JSON writing rules.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "app/sharing/ShareFTObjJsonWriter.h"

using namespace murmelo;

namespace {

TEST(ShareJsonWriterTest, Strings) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"plain", R"("plain")"},
        {"", R"("")"},
        {"http://h/p?a=1", R"("http:\/\/h\/p?a=1")"},
        {"say \"hi\"", R"("say \"hi\"")"},
        {"back\\slash", R"("back\\slash")"},
        {"\\/", R"("\\\/")"}, // each replacement applies once, in order
        {"\\\"", R"("\\\"")"},
        {"a\nb\rc\td\be\ff", R"("a\nb\rc\td\be\ff")"},
        {std::string("nul\0x\x01\x1f", 7), R"("nul\u0000x\u0001\u001f")"},
        {"\xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80", "\"\xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80\""},
        {"\x7f<>&'", "\"\x7f<>&'\""},
    };
    for (const Case& c : cases) {
        auto text = writeShareJson(Value(c.in));
        ASSERT_TRUE(text) << c.in;
        EXPECT_EQ(*text, c.out) << c.in;
    }
}

TEST(ShareJsonWriterTest, ValuesAndContainers) {
    struct Case {
        Value in;
        std::string out;
    };
    const Case cases[] = {
        {Value(Dictionary{{"b", 1}, {"a", Value(Array{Value(true), Value(false), Value()})}}),
         R"({"b":1,"a":[true,false,null]})"},
        {Value(Dictionary{}), "{}"},
        {Value(Array{}), "[]"},
        {Value(Array{Value(2.5), Value(-3), Value(Decimal::fromString("12.50").value())}), "[2.5,-3,12.5]"},
        {Value(Dictionary{{"k/1", "v"}}), R"({"k\/1":"v"})"},
        {Value(Array{Value(Dictionary{{"x", Value(Array{Value(Dictionary{})})}})}), R"([{"x":[{}]}])"},
    };
    for (const Case& c : cases) {
        auto text = writeShareJson(c.in);
        ASSERT_TRUE(text) << c.in.debugDescription();
        EXPECT_EQ(*text, c.out);
    }
}

TEST(ShareJsonWriterTest, Refusals) {
    struct Case {
        Value in;
        std::string error;
    };
    const Case cases[] = {
        {Value(Data{1, 2}), "Cannot serialize data of type 'NSData'"},
        {Value(Dictionary{{"d", Value(Date{0})}}), "Cannot serialize data of type 'NSDate'"},
        {Value(std::string("\xFF")), "Could not serialize object"},
        {Value(std::numeric_limits<double>::infinity()), "Could not serialize object"},
        {Value(Dictionary{{std::string("\xC3"), 1}}), "Could not serialize object"},
    };
    for (const Case& c : cases) {
        auto text = writeShareJson(c.in);
        ASSERT_FALSE(text) << c.in.debugDescription();
        EXPECT_EQ(text.error().localizedDescription().rfind(c.error, 0), 0u)
            << text.error().localizedDescription();
    }
}

} // namespace
