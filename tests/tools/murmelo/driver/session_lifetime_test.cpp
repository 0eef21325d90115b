// A script session runs each line from its own posted call. Such a call can
// still be queued when the session that posted it is gone; it must then do
// nothing, and it must not reach back into the posting function's frame.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/runloop/RunLoop.h"
#include "tools/murmelo/driver/Session.h"

using namespace murmelo;
using namespace murmelo::driver;

namespace {

constexpr double kWaitBound = 5.0;

// Runs the main loop until everything posted so far has run.
bool drainMainLoop() {
    bool drained = false;
    if (!RunLoop::main().post([&drained] { drained = true; })) {
        return false;
    }
    return RunLoop::main().runModeUntil(
        RunLoop::kDefaultMode, [&drained] { return drained; }, RunLoop::dateAfter(kWaitBound));
}

TEST(SessionLifetime, AScriptStepQueuedWhenTheSessionGoesRunsNothing) {
    std::ostringstream out;
    std::ostringstream err;
    {
        Session session({}, out, err);
        ASSERT_EQ(session.runLines({"quit"}, "first.txt"), 0);
        // The session is over, so this returns at once and leaves its first
        // step queued on the main loop.
        EXPECT_EQ(session.runLines({"help", "frobnicate"}, "second.txt"), 0);
    }
    ASSERT_TRUE(drainMainLoop());
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "");

    // The loop goes on serving the next session's script.
    Session next({}, out, err);
    EXPECT_EQ(next.runLines({"help", "quit"}, "third.txt"), 0);
    EXPECT_NE(out.str().find("quit"), std::string::npos) << out.str();
    EXPECT_EQ(err.str(), "");
}

} // namespace
