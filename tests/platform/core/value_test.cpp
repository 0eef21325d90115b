#include <gtest/gtest.h>

#include <cmath>

#include "platform/core/Value.h"

using namespace murmelo;

TEST(StringConversions, LeadingNumberLikeThePlatform) {
    struct Case {
        const char* text;
        long long integer;
        double real;
        bool boolean;
    } cases[] = {
        {"", 0, 0.0, false},
        {"abc", 0, 0.0, false},
        {"42", 42, 42.0, true},
        {"  -17xyz", -17, -17.0, true},
        {"+5", 5, 5.0, true},
        {"3.75", 3, 3.75, true},
        {"2.5e3x", 2, 2500.0, true},
        {"1e", 1, 1.0, true},
        {".5", 0, 0.5, false},
        {"0x1A", 0, 0.0, false},
        {"inf", 0, 0.0, false},
        {"99999999999999999999", 9223372036854775807LL, 1e20, true},
        {"-99999999999999999999", (-9223372036854775807LL - 1), -1e20, true},
        {"YES", 0, 0.0, true},
        {"true", 0, 0.0, true},
        {"  007", 7, 7.0, true},
        {"000", 0, 0.0, false},
        {"no", 0, 0.0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Value v(c.text);
        EXPECT_EQ(v.integerValue(), c.integer);
        EXPECT_DOUBLE_EQ(v.doubleValue(), c.real);
        EXPECT_EQ(v.boolValue(), c.boolean);
    }
}

TEST(Value, NumbersConvertAndDescribe) {
    EXPECT_EQ(Value(true).stringValue(), "1");
    EXPECT_EQ(Value(false).integerValue(), 0);
    EXPECT_EQ(Value(2.5).stringValue(), "2.5");
    EXPECT_EQ(Value(0.1).stringValue(), "0.1");
    EXPECT_EQ(Value(3.0).stringValue(), "3");
    EXPECT_EQ(Value(-7).stringValue(), "-7");
    EXPECT_EQ(Value(1e300).integerValue(), 9223372036854775807LL);
    EXPECT_EQ(Value(std::nan("")).integerValue(), 0);
    EXPECT_EQ(Value(*Decimal::fromString("12.50")).stringValue(), "12.5");
    EXPECT_EQ(Value(Array{}).stringValue(), "");
    // Numbers of different kinds compare by value; other kinds never equal.
    EXPECT_EQ(Value(true), Value(1));
    EXPECT_EQ(Value(2), Value(2.0));
    EXPECT_EQ(Value(*Decimal::fromString("2")), Value(2));
    EXPECT_FALSE(Value("1") == Value(1));
    EXPECT_FALSE(Value() == Value(0));
}

TEST(Value, CopiesAreDeep) {
    Dictionary inner{{"a", 1}};
    Value original(Dictionary{{"list", Array{Value(inner), Value("x")}}});
    Value copy = original;
    copy.asDictionary()->find("list")->asArray()->at(0).asDictionary()->set("a", 2);
    EXPECT_EQ(original.find("list")->asArray()->at(0).find("a")->integerValue(), 1);
    EXPECT_EQ(copy.find("list")->asArray()->at(0).find("a")->integerValue(), 2);
}

TEST(Dictionary, KeepsInsertionOrderAndReplacesInPlace) {
    Dictionary d;
    for (int i = 0; i < 40; ++i) { // crosses the hashing threshold
        d.set("k" + std::to_string(39 - i), i);
    }
    d.set("k20", "replaced");
    ASSERT_EQ(d.size(), 40u);
    EXPECT_EQ(d.keys().front(), "k39");
    EXPECT_EQ(d.keys()[19], "k20");
    EXPECT_EQ(*d.find("k20")->asString(), "replaced");
    EXPECT_TRUE(d.erase("k39"));
    EXPECT_FALSE(d.erase("k39"));
    EXPECT_EQ(d.find("k0")->integerValue(), 39); // index still right after erase
    EXPECT_EQ(d.keys().front(), "k38");
    Dictionary copy = d;
    copy.set("new", 1);
    EXPECT_EQ(copy.find("k5")->integerValue(), 34);
    EXPECT_FALSE(d.contains("new"));
    // Equality ignores order.
    EXPECT_EQ((Dictionary{{"a", 1}, {"b", 2}}), (Dictionary{{"b", 2}, {"a", 1}}));
    EXPECT_NE((Dictionary{{"a", 1}}), (Dictionary{{"a", 2}}));
}

TEST(Date, ConvertsBetweenEpochs) {
    Date d = Date::from1970(978307200.0 + 60);
    EXPECT_DOUBLE_EQ(d.sinceReferenceDate, 60.0);
    EXPECT_DOUBLE_EQ(d.since1970(), 978307260.0);
}
