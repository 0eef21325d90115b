// The session driving a small app in-process: commands act on the screens,
// scripts stop at their first failing line, the prompt goes on after errors.
#include "tools/murmelo/driver/Session.h"

#include <gtest/gtest.h>

#include <optional>
#include <unistd.h>

#include <sstream>

#include "platform/core/Clock.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/Timer.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/ScreenRenderer.h"
#include "tests/tools/murmelo/driver/driver_test_app.h"

using namespace murmelo;
using namespace murmelo::driver;
using namespace murmelo::test;

namespace {

class SessionTest : public DriverAppTest {
protected:
    Session& session(SessionMode mode = SessionMode::Script, Session::Options options = {}) {
        options.mode = mode;
        m_session = std::make_unique<Session>(std::move(options), out, err);
        return *m_session;
    }
    Result<void> run(const std::string& line) {
        if (!m_session) {
            session();
        }
        return m_session->executeLine(line);
    }
    std::string statusText() { return app->list->status->text(); }
    bool hasQuit() const { return m_session && m_session->hasQuit(); }

    std::ostringstream out;
    std::ostringstream err;

private:
    std::unique_ptr<Session> m_session;
};

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

TEST_F(SessionTest, CommandsActOnTheScreenLikeAPerson) {
    struct Step {
        const char* line;
        const char* expectInDump; // after settling
        double advance = 0;       // seconds a ManualClock moves before settling
    };
    const Step steps[] = {
        {"bar refresh", "label \"status: refreshed\""},
        {"bar Open", "navigation: ListScreen > DetailScreen"},
        {"type 0 my comment", "text field \"my comment\""},
        {"type 0 \"replaced\"", "text field \"replaced\""},
        {"button Send", "label \"sent: replaced\""},
        {"back", "navigation: ListScreen (bar hidden)"},
        {"bar 2", "alert"}, // "Ask" by position: [refresh] [flexible] Ask ...
        {"type 0 Ann", "text field \"Ann\""},
        {"alert 1", "label \"status: hello Ann\""},
        {"tab Post", "[*\"Post\" #21]"},
        {"button Hello", "sheet\n  title \"Share\""},
        {"alert 0", "[*\"Post\" #21]"},
        {"tab 0", "[*\"Pool\" #20]"},
        {"bar Later", "label \"status: later\"", 0.3},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.line);
        std::optional<ManualClock> clock;
        if (step.advance > 0) {
            clock.emplace();
        }
        auto done = run(step.line);
        ASSERT_TRUE(done) << done.error().localizedDescription();
        if (clock) {
            clock->advance(step.advance);
        }
        ASSERT_TRUE(run("settle 5"));
        std::string dump = Interaction::dump();
        EXPECT_NE(dump.find(step.expectInDump), std::string::npos) << dump;
    }
    EXPECT_EQ(out.str(), ""); // a script prints nothing unasked
}

TEST_F(SessionTest, RefusedActionsAreErrorsAndChangeNothing) {
    struct Case {
        const char* line;
        const char* expectedPart;
    };
    const Case cases[] = {
        {"alert 0", "no alert"},
        {"bar 9", "the toolbar has 6 items"},
        {"bar 1", "toolbar item 1 is a space"},
        {"bar Nope", ""},
        {"tab 5", ""},
        {"tab Nope", ""},
        {"button Nope", ""},
        {"type 0 x", "no text field is shown"},
        {"back", "nothing to go back to"},
        {"events", "events is for the demo"},
        {"shot x.png", "no screen renderer"},
        {"links", ""},
        {"follow 1", ""},
        {"fill a b", ""},
        {"submit", ""},
        {"js 1+1", ""},
    };
    const std::string before = Interaction::dump();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto done = run(c.line);
        ASSERT_FALSE(done);
        EXPECT_NE(done.error().localizedDescription().find(c.expectedPart), std::string::npos)
            << done.error().localizedDescription();
    }
    ASSERT_TRUE(run("settle 5"));
    EXPECT_EQ(Interaction::dump(), before);
}

TEST_F(SessionTest, ToolbarItemsUnderAnAlertOrAPushedScreenAreNotReached) {
    ASSERT_TRUE(run("bar Ask"));
    ASSERT_TRUE(run("settle 5"));
    for (const char* line : {"bar 0", "bar refresh"}) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(run(line));
    }
    ASSERT_TRUE(run("alert 0"));
    ASSERT_TRUE(run("settle 5"));
    EXPECT_EQ(statusText(), "status: cancelled");
    ASSERT_TRUE(run("bar 0"));
    EXPECT_EQ(statusText(), "status: refreshed");
}

TEST_F(SessionTest, ScriptPrintsOnlyWhatIsAskedAndStopsAtTheFirstFailingLine) {
    int status = session().runLines(
        {"# open the detail screen", "bar Open", "settle", "screen", "", "frobnicate", "screen"}, "walk.txt");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(count(out.str(), "status bar:"), 1u) << out.str(); // one dump: the second screen never ran
    EXPECT_NE(out.str().find("screen DetailScreen"), std::string::npos) << out.str();
    EXPECT_EQ(err.str(), "murmelo: walk.txt:6: unknown command \"frobnicate\" (help lists the commands)\n");
}

TEST_F(SessionTest, ScriptEndsWithStatusZeroAtQuitOrAtItsEnd) {
    EXPECT_EQ(session().runLines({"bar refresh", "quit", "frobnicate"}, "a.txt"), 0);
    EXPECT_TRUE(hasQuit());
    EXPECT_EQ(statusText(), "status: refreshed");
    EXPECT_EQ(session().runLines({"tab 1"}, "b.txt"), 0);
    EXPECT_EQ(err.str(), "");
}

TEST_F(SessionTest, ThePromptSurvivesErrorsAndPrintsTheScreenAfterActions) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string input = "frobnicate\ntab 9\nbar refresh\nhelp\n";
    ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]); // end of input ends the session like quit
    int status = session(SessionMode::Interactive).runFromFd(fds[0], "the prompt");
    ::close(fds[0]);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(count(err.str(), "error: "), 2u) << err.str();
    EXPECT_NE(err.str().find("error: unknown command \"frobnicate\""), std::string::npos) << err.str();
    EXPECT_EQ(count(out.str(), "murmelo> "), 5u) << out.str();
    // The action printed the settled screen; help printed the list.
    EXPECT_NE(out.str().find("label \"status: refreshed\""), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("memory-warning"), std::string::npos);
}

TEST_F(SessionTest, ALastLineWithoutNewlineStillRuns) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string input = "bar refresh\nbar Open";
    ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    EXPECT_EQ(session().runFromFd(fds[0], "stdin"), 0);
    ::close(fds[0]);
    ASSERT_TRUE(run("settle 5"));
    EXPECT_EQ(app->navigation->viewControllers().size(), 2u);
}

TEST_F(SessionTest, SettleWaitsForTimersDueSoonAndReportsWhatKeepsItBusy) {
    {
        ManualClock clock;
        ASSERT_TRUE(run("bar Later"));
        clock.advance(0.3);
        ASSERT_TRUE(run("settle 5"));
        EXPECT_EQ(statusText(), "status: later");
    }

    // In real time: a timer that keeps coming back within half a second never lets it settle.
    int ticks = 0;
    Timer busy(0.1, Timer::Repeats::Yes, [&] { ++ticks; });
    auto settled = run("settle 0.4");
    ASSERT_FALSE(settled);
    EXPECT_NE(
        settled.error().localizedDescription().find("not settled after 0.4 s: a timer due within 0.5 s"),
        std::string::npos)
        << settled.error().localizedDescription();
    EXPECT_GE(ticks, 2);
    busy.invalidate();
    EXPECT_TRUE(run("settle 2"));
}

TEST_F(SessionTest, WaitKeepsTheAppRunningForTheWholeTime) {
    ASSERT_TRUE(run("bar Later"));
    double start = Clock::monotonic();
    ASSERT_TRUE(run("wait 0.5"));
    EXPECT_GE(Clock::monotonic() - start, 0.5);
    EXPECT_EQ(statusText(), "status: later");
}

TEST_F(SessionTest, DeviceCommandsReachTheApp) {
    ASSERT_TRUE(run("network none"));
    EXPECT_EQ(ReachabilityDeviceSource::shared().networkState(), NetworkState::None);
    EXPECT_EQ(DeviceProfile::current()->networkState(), NetworkState::None);
    ASSERT_TRUE(run("network carrier"));
    EXPECT_EQ(ReachabilityDeviceSource::shared().networkState(), NetworkState::Carrier);
    ASSERT_TRUE(run("network wifi"));
    EXPECT_EQ(ReachabilityDeviceSource::shared().networkState(), NetworkState::Wifi);

    ASSERT_TRUE(run("memory-warning"));
    EXPECT_EQ(app->memoryWarnings, 1);

    auto defaults = UserDefaults::standardUserDefaults();
    ASSERT_TRUE(run("defaults"));
    EXPECT_EQ(out.str().find("CacheSecret"), std::string::npos) << out.str();
    out.str("");
    ASSERT_TRUE(defaults->setObject(Value("a \"quoted\" secret"), "CacheSecret"));
    defaults->setInteger(1, "apprecommand_clicked");
    ASSERT_TRUE(run("defaults"));
    // Sorted by key, after the platform's own (AppleLanguages, AppleLocale).
    std::string shown = out.str();
    EXPECT_NE(shown.find("\nCacheSecret = \"a \"quoted\" secret\"\napprecommand_clicked = 1\n"),
              std::string::npos)
        << shown;
}

TEST_F(SessionTest, ShotWritesPicturesRelativeToTheScreenshotsFolder) {
    TemporaryDirectory shots;
    Session::Options options;
    options.screenshotsDirectory = shots.path();
    options.screenshot = [](const std::string& path) { return renderKeyWindowToPNG(path); };
    session(SessionMode::Script, std::move(options));
    ASSERT_TRUE(run("settle 5"));
    const std::string absolute = shots.path() + "/elsewhere.png";
    for (const std::string& line : {std::string("shot pool.png"), "shot \"" + absolute + "\""}) {
        SCOPED_TRACE(line);
        auto shot = run(line);
        ASSERT_TRUE(shot) << shot.error().localizedDescription();
    }
    for (const std::string& path : {shots.path() + "/pool.png", absolute}) {
        std::string bytes = readFile(path);
        ASSERT_GT(bytes.size(), 8u) << path;
        EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n") << path;
    }
    EXPECT_EQ(out.str(), "");
    // A folder that is not there is an error, not a silent success.
    auto missing = run("shot no/such/folder/x.png");
    EXPECT_FALSE(missing);
}

} // namespace
