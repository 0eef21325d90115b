// DriverSessionTest: the real application launched on the reference servers
// and driven through a driver Session, as `murmelo demo` drives it — for
// tests that act like a person (type, tap, present) and read the servers'
// event log. start() launches (again, on the same home, after endRun()) with
// the pool loaded and any offer on screen answered "No".
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "platform/core/Result.h"
#include "tests/app/shell/shell_test_support.h"
#include "tools/murmelo/driver/AppWiring.h"
#include "tools/murmelo/driver/Session.h"

namespace murmelo::test {

class DriverSessionTest : public ShellTest {
protected:
    void TearDown() override {
        m_session.reset();
        ShellTest::TearDown();
    }

    void start() {
        m_session.reset();
        launch();
        driver::Session::Options options;
        options.present = driver::formPresenter();
        m_session = std::make_unique<driver::Session>(std::move(options), out, err);
        ASSERT_TRUE(run("settle 20"));
        for (int i = 0; i < 3 && !alertsOnScreen().empty(); ++i) {
            ASSERT_TRUE(run("alert 0"));
            ASSERT_TRUE(run("settle 20"));
        }
    }

    // One driver line; a failure is a test failure too.
    Result<void> run(const std::string& line) {
        auto done = m_session->executeLine(line);
        EXPECT_TRUE(done) << line << ": " << (done ? "" : done.error().localizedDescription());
        return done;
    }

    std::string screen() {
        out.str("");
        (void)run("screen");
        return out.str();
    }

    std::ostringstream out;
    std::ostringstream err;
    std::unique_ptr<driver::Session> m_session;
};

} // namespace murmelo::test
