#include <gtest/gtest.h>

#include <thread>

#include "app/json/KQJSON.h"
#include "platform/core/Log.h"
#include "tests/app/json/json_test_support.h"

namespace murmelo {
namespace {

using test::chainOf;
using test::ErrorList;
using test::listOf;

TEST(KQJSONTest, FailureCopiesTheTraceAndSuccessLeavesIt) {
    KQJSON json;
    EXPECT_TRUE(json.errorTrace().empty());

    Result<Value> bad = json.objectWithString("[\"\\q\"]");
    ASSERT_FALSE(bad.ok());
    const ErrorList expected = {{8, "Illegal escape sequence '0x71'"},
                                {3, "Expected value while parsing array"}};
    EXPECT_EQ(listOf(json.errorTrace()), expected);
    EXPECT_EQ(listOf(json.jsonParser().errorTrace()), expected);
    // The error handed back is the chain's last.
    EXPECT_EQ(chainOf(bad.error()), expected);

    ASSERT_TRUE(json.objectWithString("[1]").ok());
    EXPECT_TRUE(json.jsonParser().errorTrace().empty());
    EXPECT_EQ(listOf(json.errorTrace()), expected);

    ASSERT_FALSE(json.stringWithObject(Value("s")).ok());
    EXPECT_EQ(listOf(json.errorTrace()), (ErrorList{{4, "Not valid type for JSON"}}));
    ASSERT_TRUE(json.stringWithObject(Array{}).ok());
    EXPECT_EQ(listOf(json.errorTrace()), (ErrorList{{4, "Not valid type for JSON"}}));
}

TEST(KQJSONTest, ScalarsOnlyWhenAllowed) {
    struct Case {
        const char* text;
        AllowScalar allow;
        bool reads;
    };
    for (const Case& c : {Case{"3", AllowScalar::No, false}, Case{"3", AllowScalar::Yes, true},
                          Case{"\"x\"", AllowScalar::Yes, true}, Case{"{}", AllowScalar::No, true},
                          Case{"{}", AllowScalar::Yes, true}}) {
        SCOPED_TRACE(c.text);
        KQJSON json;
        EXPECT_EQ(json.objectWithString(c.text, c.allow).ok(), c.reads);
        Result<Value> read = json.fragmentWithString(c.text);
        ASSERT_TRUE(read.ok());
        EXPECT_EQ(json.stringWithObject(*read, c.allow).ok(), c.reads);
        EXPECT_EQ(json.stringWithFragment(*read).valueOr(""), c.text);
    }
}

TEST(KQJSONTest, SettingsReachTheParts) {
    KQJSON json;
    EXPECT_EQ(json.maxDepth(), 512u);
    json.setMaxDepth(1);
    EXPECT_EQ(json.jsonParser().maxDepth(), 1u);
    EXPECT_EQ(json.jsonWriter().maxDepth(), 1u);
    EXPECT_FALSE(json.objectWithString("[[]]").ok());
    EXPECT_FALSE(json.stringWithObject(Array{Array{}}).ok());

    json.setSortKeys(true);
    json.setHumanReadable(true);
    EXPECT_TRUE(json.jsonWriter().sortKeys());
    EXPECT_TRUE(json.jsonWriter().humanReadable());
    EXPECT_EQ(json.stringWithObject(Dictionary{{"b", 1}, {"a", 2}}).valueOr(""),
              "{\n  \"a\" : 2,\n  \"b\" : 1\n}");
}

// Each shorthand returns its result, and logs one line only when it fails.
TEST(KQJSONTest, ShorthandsLogOnlyOnFailure) {
    const std::string domain = KQJSONErrorDomain;
    struct Case {
        std::string name;
        std::function<std::optional<std::string>()> call; // the result as JSON text
        std::optional<std::string> expected;
        std::string log; // "" when nothing may be logged
    };
    auto text = [](std::optional<Value> v) -> std::optional<std::string> {
        if (!v) {
            return std::nullopt;
        }
        KQJsonWriter writer;
        return writer.stringWithFragment(*v).valueOr("unwritable");
    };
    const std::vector<Case> cases = {
        {"JSONValue ok", [&] { return text(JSONValue("[1, \"a\"]")); }, "[1,\"a\"]", ""},
        {"JSONValue fragment", [&] { return text(JSONValue("3")); }, std::nullopt,
         "-JSONValue failed. Error trace is: (Error Domain=" + domain +
             " Code=4 \"Valid fragment, but not JSON\")"},
        {"JSONValue nested", [&] { return text(JSONValue("[1,]")); }, std::nullopt,
         "-JSONValue failed. Error trace is: (Error Domain=" + domain +
             " Code=9 \"Trailing comma disallowed in array\")"},
        {"JSONFragmentValue ok", [&] { return text(JSONFragmentValue(" 3 ")); }, "3", ""},
        {"JSONFragmentValue bad", [&] { return text(JSONFragmentValue("[x]")); }, std::nullopt,
         "-JSONFragmentValue failed. Error trace is: (Error Domain=" + domain +
             " Code=3 \"Unrecognised leading character\", Error Domain=" + domain +
             " Code=3 \"Expected value while parsing array\")"},
        {"JSONRepresentation ok",
         [] {
             return JSONRepresentation(Dictionary{{"k", true}});
         },
         "{\"k\":true}", ""},
        {"JSONRepresentation scalar", [] { return JSONRepresentation(Value("s")); }, std::nullopt,
         "-JSONRepresentation failed. Error trace is: (Error Domain=" + domain +
             " Code=4 \"Not valid type for JSON\")"},
        {"JSONFragment ok", [] { return JSONFragment(Value("s")); }, "\"s\"", ""},
        {"JSONFragment data", [] { return JSONFragment(Value(Data{})); }, std::nullopt,
         "-JSONFragment failed. Error trace is: (Error Domain=" + domain +
             " Code=1 \"JSON serialisation not supported for Data\")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture capture;
        EXPECT_EQ(c.call(), c.expected);
        if (c.log.empty()) {
            EXPECT_TRUE(capture.messages().empty());
        } else {
            EXPECT_EQ(capture.messages(), std::vector<std::string>{c.log});
        }
    }
}

// read → write → read gives an equal value, in every layout.
TEST(KQJSONTest, RoundTripsInEveryLayout) {
    const std::vector<std::string> documents = {
        R"({"code":200,"msg":"Posted \u00e9 \ud83d\ude00","list":[1,-2.5,1e-7,true,false,null,{}],"o":{"":[]}})",
        R"([12345678901234567890.123,0.1,"tab\tquote\"slash\/nul\u0000",[[[]]]])",
        "[\"\xe6\x97\xa5\xe6\x9c\xac\", {\"z\": 1, \"a\": {\"b\": [\"\\u001f\"]}}]",
    };
    for (const auto& doc : documents) {
        for (bool sorted : {false, true}) {
            for (bool human : {false, true}) {
                SCOPED_TRACE(doc);
                KQJSON json;
                json.setSortKeys(sorted);
                json.setHumanReadable(human);
                Result<Value> first = json.objectWithString(doc);
                ASSERT_TRUE(first.ok()) << first.error().localizedDescription();
                Result<std::string> written = json.stringWithObject(*first);
                ASSERT_TRUE(written.ok());
                Result<Value> second = json.objectWithString(*written);
                ASSERT_TRUE(second.ok()) << *written;
                EXPECT_EQ(*second, *first);
                if (!sorted) {
                    EXPECT_EQ(second->debugDescription(), first->debugDescription());
                }
            }
        }
    }
}

// Separate instances share nothing, so threads may each use their own.
TEST(KQJSONTest, SeparateInstancesRunOnSeparateThreads) {
    const std::string doc = "{\"a\":[1,2.5,{\"b\":\"caf\xc3\xa9\"}],\"c\":null}";
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                std::optional<Value> v = JSONValue(doc);
                std::optional<std::string> back = v ? JSONRepresentation(*v) : std::nullopt;
                if (!back || *back != doc) {
                    ++failures[static_cast<size_t>(t)];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

} // namespace
} // namespace murmelo
