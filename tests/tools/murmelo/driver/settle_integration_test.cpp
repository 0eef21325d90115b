// Settling waits for background work and connections that a local server
// holds open, and for what the finished work hands to the main thread.
#include "tools/murmelo/driver/Settle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sstream>
#include <thread>

#include "platform/core/Clock.h"

#include "tests/support/scripted_http_server.h"
#include "tests/tools/murmelo/driver/driver_test_app.h"
#include "tools/murmelo/driver/Session.h"

using namespace murmelo;
using namespace murmelo::driver;
using namespace murmelo::test;

namespace {

// Answers "hello" once the test opens the gate (at most 10 s later).
class GatedServer {
public:
    GatedServer()
        : m_opened(m_gate.get_future().share()),
          m_server(ScriptedHttpServer::replyingWith([opened = m_opened](const ReceivedRequest&) {
              (void)opened.wait_for(std::chrono::seconds(10));
              return ScriptedReply::text(200, "hello");
          })) {}
    ~GatedServer() { open(); }

    void open() {
        if (!m_isOpen) {
            m_isOpen = true;
            m_gate.set_value();
        }
    }
    std::string url() const { return m_server.url("/x"); }
    bool waitForRequest() const { return m_server.waitForRequests(1, 10); }

private:
    std::promise<void> m_gate;
    std::shared_future<void> m_opened;
    bool m_isOpen = false;
    ScriptedHttpServer m_server;
};

class SettleTest : public DriverAppTest {};

class FinishRecorder : public URLConnectionDelegate {
public:
    void connectionDidFinishLoading(URLConnection&) override { finished = true; }
    void didFailWithError(URLConnection&, const Error&) override { failed = true; }
    bool finished = false;
    bool failed = false;
};

TEST_F(SettleTest, WaitsForBackgroundWorkAndWhatItHandsToTheMainThread) {
    GatedServer server;
    app->fetchURL = server.url();
    std::ostringstream out, err;
    Session session(Session::Options{}, out, err);
    ASSERT_TRUE(session.executeLine("bar Fetch"));
    ASSERT_TRUE(server.waitForRequest());

    auto early = session.executeLine("settle 0.3");
    ASSERT_FALSE(early);
    std::string busy = early.error().localizedDescription();
    EXPECT_NE(busy.find("1 operation"), std::string::npos) << busy;
    EXPECT_NE(busy.find("1 connection"), std::string::npos) << busy;
    EXPECT_EQ(app->list->status->text(), "status: idle");

    server.open();
    auto settled = session.executeLine("settle 10");
    ASSERT_TRUE(settled) << settled.error().localizedDescription();
    EXPECT_EQ(app->list->status->text(), "status: fetched hello");
    EXPECT_EQ(OperationQueue::unfinishedOperationsInAllQueues(), 0u);
    EXPECT_EQ(URLConnection::connectionsInFlight(), 0u);
}

TEST_F(SettleTest, WaitsForConnectionsOfTheMainLoop) {
    GatedServer server;
    auto recorder = std::make_shared<FinishRecorder>();
    auto connection =
        URLConnection::connectionWithRequest(*URLRequest::requestWithURL(server.url()), recorder);
    ASSERT_TRUE(connection);
    EXPECT_FALSE(Settle::run(0.3));
    EXPECT_NE(Settle::busyDescription().find("1 connection"), std::string::npos) << Settle::busyDescription();

    server.open();
    EXPECT_TRUE(Settle::run(10)) << Settle::busyDescription();
    EXPECT_TRUE(recorder->finished);
    EXPECT_FALSE(recorder->failed);

    // A cancelled connection is not in flight either.
    GatedServer silent;
    auto cancelled =
        URLConnection::connectionWithRequest(*URLRequest::requestWithURL(silent.url()), recorder);
    EXPECT_EQ(URLConnection::connectionsInFlight(), 1u);
    cancelled->cancel();
    EXPECT_EQ(URLConnection::connectionsInFlight(), 0u);
    EXPECT_TRUE(Settle::run(10)) << Settle::busyDescription();
}

// Background work that ends without handing anything to the main thread
// must still end the wait at once, not when the time-out runs out.
TEST_F(SettleTest, ReturnsAsSoonAsSilentBackgroundWorkEnds) {
    std::promise<void> release;
    auto released = release.get_future().share();
    app->queue.addOperationWithBlock([released] { (void)released.wait_for(std::chrono::seconds(10)); });
    std::ostringstream out, err;
    Session session(Session::Options{}, out, err);

    auto early = session.executeLine("settle 0.2");
    ASSERT_FALSE(early);
    EXPECT_NE(early.error().localizedDescription().find("not settled"), std::string::npos);

    std::thread releaser([&release] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        release.set_value();
    });
    double start = Clock::monotonic();
    auto settled = session.executeLine("settle 8");
    double took = Clock::monotonic() - start;
    releaser.join();
    ASSERT_TRUE(settled) << settled.error().localizedDescription();
    EXPECT_LT(took, 2.0);
}

} // namespace
