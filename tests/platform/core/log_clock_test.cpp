#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "platform/core/Clock.h"
#include "platform/core/Error.h"
#include "platform/core/Log.h"
#include "platform/core/Result.h"

using namespace murmelo;

TEST(Log, LinesHaveThePlatformShapeAndCanBeCaptured) {
    std::string line = formatLogLine("hello");
    EXPECT_TRUE(
        std::regex_match(line, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \S+\[\d+:\d+\] hello)")))
        << line;

    LogCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) {
                logLine("thread %d line %d", t, i);
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_EQ(capture.messages().size(), 200u);
    EXPECT_TRUE(capture.contains("thread 3 line 49"));
    {
        LogCapture inner; // nested captures take over and hand back
        logLine("inner");
        EXPECT_TRUE(inner.contains("inner"));
    }
    logLine("outer again");
    EXPECT_TRUE(capture.contains("outer again"));
    EXPECT_FALSE(capture.contains("inner"));
}

TEST(Clock, WallClockShiftsWithoutMovingMonotonic) {
    double before = Clock::now();
    double mono = Clock::monotonic();
    Clock::shiftWallClock(86400);
    // An ulp of today's wall time is about 2e-7 s.
    EXPECT_GE(Clock::now() - before, 86400.0 - 1e-6);
    EXPECT_LT(Clock::monotonic() - mono, 5.0);
    EXPECT_NEAR(Clock::sinceReferenceDate(), Clock::now() - 978307200.0, 1.0);
    Clock::resetWallClockShift();
    EXPECT_LT(Clock::now() - before, 5.0);
}

TEST(Error, ChainsAndResults) {
    Error inner("A", 1, "first");
    Error outer = Error("B", 2, "second").withUnderlyingError(inner).withFailureReason("because");
    ASSERT_TRUE(outer.underlyingError());
    EXPECT_TRUE(outer.underlyingError()->is("A", 1));
    EXPECT_EQ(*outer.failureReason(), "because");
    EXPECT_EQ(outer.debugDescription(), "Error Domain=B Code=2 \"second\"");

    Result<int> good(5);
    Result<int> bad(Error::posix(2, "open x"));
    EXPECT_TRUE(good.ok());
    EXPECT_EQ(*good, 5);
    EXPECT_FALSE(bad.ok());
    EXPECT_EQ(bad.valueOr(7), 7);
    EXPECT_EQ(bad.error().domain(), "NSPOSIXErrorDomain");
    EXPECT_NE(bad.error().localizedDescription().find("open x: "), std::string::npos);
}
