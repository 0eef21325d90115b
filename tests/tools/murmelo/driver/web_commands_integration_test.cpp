// Page commands against a web view that loads from a local server: links,
// follow, fill, submit, js and back through the page history; settle waits
// for the loads.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/scripted_http_server.h"
#include "tests/tools/murmelo/driver/driver_test_app.h"
#include "tools/murmelo/driver/Session.h"

using namespace murmelo;
using namespace murmelo::driver;
using namespace murmelo::test;

namespace {

ScriptedReply page(const std::string& title, const std::string& body) {
    return ScriptedReply::text(
        200, "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>",
        "text/html; charset=utf-8");
}

ScriptedReply site(const ReceivedRequest& request) {
    if (request.target == "/") {
        return page(
            "Home",
            "<p>Welcome</p><p><a href=\"/second\">Second page</a> <a href=\"/form\">The form</a></p>");
    }
    if (request.target == "/second") {
        return page("Second", "<p>second text</p>");
    }
    if (request.target == "/form") {
        return page("Form", "<form method=\"get\" action=\"/search\"><input type=\"text\" name=\"q\">"
                            "<button type=\"submit\">Find</button></form>"
                            "<form method=\"post\" action=\"/posted\"><input type=\"text\" name=\"q\">"
                            "<textarea name=\"Secret[content]\"></textarea>"
                            "<button type=\"submit\">Send</button></form>");
    }
    if (request.target == "/posted") {
        return page("Posted", "<p>posted</p>");
    }
    return ScriptedReply::text(404, "no");
}

class WebCommandsTest : public DriverAppTest {
protected:
    Result<void> run(const std::string& line) { return m_session.executeLine(line); }
    std::string title() {
        out.str("");
        EXPECT_TRUE(run("js document.title"));
        std::string text = out.str();
        out.str("");
        return text;
    }

    ScriptedHttpServer server{ScriptedHttpServer::replyingWith(site)};
    std::ostringstream out;
    std::ostringstream err;

private:
    Session m_session{Session::Options{}, out, err};
};

TEST_F(WebCommandsTest, FollowsFillsSubmitsAndGoesBack) {
    app->web->loadRequest(*URLRequest::requestWithURL(server.url("/")));
    ASSERT_TRUE(run("tab Web"));
    ASSERT_TRUE(run("settle 10"));
    ASSERT_TRUE(run("links"));
    EXPECT_EQ(out.str(), "[1] Second page -> " + server.url("/second") + "\n[2] The form -> " +
                             server.url("/form") + "\n");
    EXPECT_EQ(title(), "Home\n");

    ASSERT_TRUE(run("follow second"));
    ASSERT_TRUE(run("settle 10"));
    EXPECT_EQ(title(), "Second\n");
    ASSERT_TRUE(run("back")); // no stack to pop: the page history
    ASSERT_TRUE(run("settle 10"));
    EXPECT_EQ(title(), "Home\n");

    ASSERT_TRUE(run("follow 2"));
    ASSERT_TRUE(run("settle 10"));
    // A field only the second form has picks that form; a field both forms
    // have then stays with it, and submit sends it.
    ASSERT_TRUE(run("fill Secret[content] a b&c"));
    ASSERT_TRUE(run("fill q \"x y\""));
    ASSERT_TRUE(run("submit"));
    ASSERT_TRUE(run("settle 10"));
    EXPECT_EQ(title(), "Posted\n");
    auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().method, "POST");
    EXPECT_NE(requests.back().body.find("Secret%5Bcontent%5D=a+b%26c"), std::string::npos)
        << requests.back().body;
    EXPECT_NE(requests.back().body.find("q=x+y"), std::string::npos) << requests.back().body;
}

TEST_F(WebCommandsTest, PageCommandsRefuseWhatThePageDoesNotHave) {
    app->web->loadRequest(*URLRequest::requestWithURL(server.url("/form")));
    ASSERT_TRUE(run("tab 2"));
    ASSERT_TRUE(run("settle 10"));
    struct Case {
        const char* line;
        const char* expectedPart;
    };
    const Case cases[] = {
        {"follow 1", "the page has 0 links"},
        {"follow Nowhere", "no link reads \"Nowhere\""},
        {"fill nothere x", "no form of the page has a field \"nothere\""},
        {"submit 3", "the page has 2 forms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto done = run(c.line);
        ASSERT_FALSE(done);
        EXPECT_NE(done.error().localizedDescription().find(c.expectedPart), std::string::npos)
            << done.error().localizedDescription();
    }
    // Submitting without filling takes the first form (a GET search).
    ASSERT_TRUE(run("submit"));
    ASSERT_TRUE(run("settle 10"));
    EXPECT_EQ(server.requests().back().target.rfind("/search?q=", 0), 0u) << server.requests().back().target;
}

} // namespace
