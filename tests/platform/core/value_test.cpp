#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

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

// A moved-from value is null whatever it held, and the moved value intact.
TEST(Value, MovedFromValuesAreNull) {
    const std::vector<Value> values = {Value(true),          Value(7),
                                       Value(2.5),           Value(*Decimal::fromString("1.25")),
                                       Value("short"),       Value(std::string(40, 'x')),
                                       Value(Data{1, 2}),    Value(Date{3}),
                                       Value(Array{1, "a"}), Value(Dictionary{{"k", 1}})};
    for (const Value& original : values) {
        SCOPED_TRACE(original.debugDescription());
        Value source = original;
        Value constructed(std::move(source));
        EXPECT_TRUE(source.isNull());
        EXPECT_EQ(constructed, original);
        Value assigned = Value("before");
        assigned = std::move(constructed);
        EXPECT_TRUE(constructed.isNull());
        EXPECT_EQ(assigned, original);
    }
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

// Containers live inside their Value, so assigning a value its own child must
// take the child out before the parent goes; in place it would read freed
// memory (ASan) or garble the result.
TEST(Value, AssigningAChildToItsParentKeepsTheChild) {
    const Value inner(
        Dictionary{{"deep", Array{Value(1), Value("two")}}, {"s", "a string longer than fifteen"}});
    struct Case {
        const char* name;
        Value parent;
        std::vector<std::string> path; // keys, or decimal indices into arrays
    } cases[] = {
        {"array in array", Value(Array{Value(Array{Value(1), Value(2)}), Value(3)}), {"0"}},
        {"dictionary in array", Value(Array{inner, Value(3)}), {"0"}},
        {"array in dictionary", Value(Dictionary{{"a", Array{inner, inner}}, {"b", 2}}), {"a"}},
        {"dictionary in dictionary", Value(Dictionary{{"x", inner}, {"y", inner}}), {"y"}},
        {"grandchild", Value(Dictionary{{"x", Array{Value(0), inner}}}), {"x", "1", "deep"}},
        {"string in dictionary", Value(Dictionary{{"x", "a string longer than fifteen bytes"}}), {"x"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto child = [&](Value& root) -> Value& {
            Value* at = &root;
            for (const auto& step : c.path) {
                at = at->isArray() ? &at->asArray()->at(std::stoul(step)) : at->asDictionary()->find(step);
            }
            return *at;
        };
        Value copied = c.parent;
        const Value expected = child(copied);
        copied = child(copied);
        EXPECT_EQ(copied, expected);
        Value moved = c.parent;
        moved = std::move(child(moved));
        EXPECT_EQ(moved, expected);
        // The original is untouched by either.
        EXPECT_EQ(c.parent.debugDescription(), Value(c.parent).debugDescription());
    }
}

// A dictionary built from entries at once matches one built by set() calls:
// same order (first position of a repeated key), same values (its last), and
// an index that keeps working afterwards.
TEST(Dictionary, BuiltFromEntriesMatchesSetCalls) {
    auto entries = [](std::vector<int> keys) {
        std::vector<Dictionary::Entry> out;
        for (size_t i = 0; i < keys.size(); ++i) {
            out.emplace_back("key" + std::to_string(keys[i]), static_cast<int>(i));
        }
        return out;
    };
    auto range = [](int from, int to) {
        std::vector<int> out;
        for (int i = from; i < to; ++i) {
            out.push_back(i);
        }
        return out;
    };
    auto joined = [](std::vector<int> a, const std::vector<int>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        const char* name;
        std::vector<int> keys;
    } cases[] = {
        {"empty", {}},
        {"small, no repeats", range(0, 5)},
        {"small with repeats", {3, 1, 3, 2, 1, 3}},
        {"exactly at the scan limit", range(0, 32)},
        {"hashed, no repeats", range(0, 200)},
        {"hashed with repeats", joined(range(0, 100), range(50, 150))},
        {"repeats shrink it below the scan limit", joined(range(0, 20), range(0, 20))},
        {"repeats shrink the table", joined(range(0, 70), range(0, 70))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Dictionary expected;
        for (auto& [key, value] : entries(c.keys)) {
            expected.set(key, value);
        }
        Dictionary built(entries(c.keys));
        ASSERT_EQ(built.keys(), expected.keys());
        for (const auto& [key, value] : expected) {
            const Value* found = built.find(key);
            ASSERT_NE(found, nullptr) << key;
            EXPECT_EQ(found->integerValue(), value.integerValue()) << key;
        }
        EXPECT_EQ(built.find("absent"), nullptr);
        built.set("added", -1);
        built.set("key0", -2);
        EXPECT_EQ(built.size(), expected.size() + (expected.contains("key0") ? 1 : 2));
        EXPECT_EQ(built.find("added")->integerValue(), -1);
        EXPECT_EQ(built.find("key0")->integerValue(), -2);
    }
}

TEST(Dictionary, HashedLookupsSurviveGrowthEraseAndCopy) {
    Dictionary d;
    constexpr int kCount = 1030; // crosses the table's growth steps up to 4096 slots
    for (int i = 0; i < kCount; ++i) {
        d.set(std::to_string(i * 7919), i);
        // The newest and the first keys are found at every size.
        ASSERT_EQ(d.find(std::to_string(i * 7919))->integerValue(), i);
        ASSERT_EQ(d.find("0")->integerValue(), 0);
    }
    for (int i = 0; i < kCount; i += 2) {
        ASSERT_TRUE(d.erase(std::to_string(i * 7919)));
    }
    Dictionary copy = d;
    d.clear();
    EXPECT_EQ(d.find("7919"), nullptr);
    EXPECT_EQ(copy.size(), static_cast<size_t>(kCount / 2));
    for (int i = 0; i < kCount; ++i) {
        const Value* found = copy.find(std::to_string(i * 7919));
        if (i % 2 == 0) {
            EXPECT_EQ(found, nullptr) << i;
        } else {
            ASSERT_NE(found, nullptr) << i;
            EXPECT_EQ(found->integerValue(), i);
        }
    }
    EXPECT_EQ(copy.keys()[1], std::to_string(3 * 7919));
}

TEST(Date, ConvertsBetweenEpochs) {
    Date d = Date::from1970(978307200.0 + 60);
    EXPECT_DOUBLE_EQ(d.sinceReferenceDate, 60.0);
    EXPECT_DOUBLE_EQ(d.since1970(), 978307260.0);
}
