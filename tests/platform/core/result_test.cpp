#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/core/Result.h"

using namespace murmelo;

namespace {

Error failure(long code) {
    return Error("TestDomain", code, "failure " + std::to_string(code));
}

// Each step either gives its number or fails with it as the code; `calls`
// counts evaluations, so a step that runs twice or after a failure shows.
struct Steps {
    std::optional<long> failingStep;
    int calls = 0;

    Result<int> step(int n) {
        ++calls;
        if (failingStep == n) {
            return failure(n);
        }
        return n;
    }
    Result<void> check(int n) {
        ++calls;
        if (failingStep == n) {
            return failure(n);
        }
        return Result<void>::success();
    }

    Result<int> sum() {
        MURMELO_TRY_VALUE(int a, step(1));
        MURMELO_TRY_VOID(check(2));
        MURMELO_TRY_VALUE(const int b, step(3));
        return a * 10 + b;
    }
    Result<void> allChecks() {
        MURMELO_TRY_VOID(check(1));
        MURMELO_TRY_VOID(step(2)); // a valued Result can be checked alone
        MURMELO_TRY_VOID(check(3));
        return Result<void>::success();
    }
};

TEST(Result, TryPassesTheFirstFailureOnAndStopsThere) {
    struct Case {
        std::optional<long> failingStep;
        int callsMade;
    };
    const Case cases[] = {{std::nullopt, 3}, {1, 1}, {2, 2}, {3, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failingStep.value_or(0));
        Steps valued{c.failingStep};
        Result<int> sum = valued.sum();
        Steps unvalued{c.failingStep};
        Result<void> checks = unvalued.allChecks();
        EXPECT_EQ(valued.calls, c.callsMade);
        EXPECT_EQ(unvalued.calls, c.callsMade);
        if (c.failingStep) {
            ASSERT_FALSE(sum.ok());
            EXPECT_TRUE(sum.error().is("TestDomain", *c.failingStep));
            ASSERT_FALSE(checks.ok());
            EXPECT_TRUE(checks.error().is("TestDomain", *c.failingStep));
        } else {
            ASSERT_TRUE(sum.ok());
            EXPECT_EQ(*sum, 13);
            EXPECT_TRUE(checks.ok());
        }
    }
}

Result<std::unique_ptr<std::string>> owned(bool fail) {
    if (fail) {
        return failure(7);
    }
    return std::make_unique<std::string>("moved");
}

Result<std::string> unwrapOwned(bool fail) {
    MURMELO_TRY_VALUE(auto text, owned(fail)); // move-only: taken out, not copied
    return *text;
}

TEST(Result, TryTakesMoveOnlyValues) {
    auto ok = unwrapOwned(false);
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(*ok, "moved");
    auto failed = unwrapOwned(true);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().localizedDescription(), "failure 7");
}

} // namespace
