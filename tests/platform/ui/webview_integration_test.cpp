// The web view against local servers: loading, delegate order, redirects,
// failures and time-outs, history, forms and cookies.
#include <gtest/gtest.h>

#include <chrono>

#include "app/http/ASIHTTPRequest.h"
#include "platform/core/Log.h"
#include "platform/net/CookieStore.h"
#include "platform/net/URLConnectionError.h"
#include "tests/platform/ui/web_view_test_support.h"
#include "tests/support/scripted_http_server.h"

namespace murmelo::test {
namespace {

using Kind = WebViewNavigationType;

class WebViewLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        web = std::make_shared<WebView>(Rect{0, 44, 320, 360});
        web->setDelegate(delegate);
    }
    void load(const std::string& url) { web->loadRequest(*URLRequest::requestWithURL(url)); }

    std::shared_ptr<RecordingWebDelegate> delegate = std::make_shared<RecordingWebDelegate>();
    std::shared_ptr<WebView> web;
};

TEST_F(WebViewLoadTest, LoadsAPageAndReportsInOrder) {
    ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest&) {
        return ScriptedReply::text(
            200,
            "<html><head><title> The  pool </title></head><body><h1>Secrets</h1>"
            "<p>Hello <b>world</b></p><a href=\"next.php?p=2\">older</a></body></html>",
            "text/html; charset=utf-8");
    }));
    std::string url = server.url("/index.php");
    load(url);
    EXPECT_TRUE(web->isLoading());
    ASSERT_TRUE(web->request());
    EXPECT_EQ(web->request()->url.absoluteString(), url);
    EXPECT_EQ(delegate->events.size(), 1u) << "only the question is asked inside loadRequest";
    ASSERT_TRUE(waitForLoads(*delegate, 1));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"should " + url + " Other", "start", "finish"}));
    EXPECT_FALSE(web->isLoading());
    const WebPage& page = web->page();
    EXPECT_EQ(page.url, url);
    EXPECT_EQ(page.title, "The pool");
    EXPECT_EQ(page.text(), "Secrets\nHello world\nolder");
    ASSERT_EQ(page.links.size(), 1u);
    EXPECT_EQ(page.links[0].text, "older");
    EXPECT_EQ(page.links[0].url, server.url("/next.php?p=2"));
}

// A small site: pages by path, with forms, redirects and cookies.
ScriptedReply site(const ReceivedRequest& request) {
    const std::string& target = request.target;
    auto html = [](std::string body) { return ScriptedReply::text(200, std::move(body), "text/html"); };
    if (target == "/a")
        return html(
            "<title>A</title><a href=\"/b\">to b</a><a href=\"fbconnect:cancel\">cancel</a>"
            "<a href=\"itms-apps://store/app\">store</a>"
            "<form action=\"/search\"><input name=q><input type=submit name=go value=Find></form>"
            "<form method=post action=\"/post?r=comment/create\"><textarea name=text></textarea>"
            "<input type=hidden name=id value=7></form>"
            "<form method=post enctype=multipart/form-data action=\"/upload\"><input name=n value=v></form>"
            "<form><input name=self></form>");
    if (target == "/b")
        return html("<title>B</title><a href=\"/a\">to a</a>");
    if (target == "/redirect")
        return ScriptedReply::redirect(302, "/b");
    if (target == "/redirect-away")
        return ScriptedReply::redirect(302, "fbconnect://success?token=1");
    if (target == "/loop")
        return ScriptedReply::redirect(302, "/loop");
    if (target == "/stall") {
        ScriptedReply silent;
        silent.action = ScriptedReply::Action::Silent;
        return silent;
    }
    if (target == "/set-cookie")
        return html("<title>cookie</title>").header("Set-Cookie", "fromPage=1; Path=/");
    if (target == "/echo-cookie")
        return html("<title>" + request.header("Cookie").value_or("none") + "</title>");
    if (target == "/latin1")
        return ScriptedReply::text(200, "<title>caf\xE9</title><p>\x93quoted\x94</p>",
                                   "text/html; charset=ISO-8859-1");
    if (target == "/meta")
        return ScriptedReply::text(200,
                                   "<meta charset=windows-1252><title>\xFC"
                                   "ber</title>",
                                   "text/html");
    if (target == "/script-nav")
        return html("<title>S</title><script>document.title = 'scripted';"
                    "setTimeout(function() { location.href = '/b'; }, 10);</script>");
    if (target == "/busy-script")
        return html(
            "<title>busy</title><script>while (true) {}</script><script>document.title = 'after';</script>");
    if (target == "/broken-image")
        return html("<title>img</title><img src=\"/garbage.png\" alt=\"pic\"><p>text</p>");
    if (target == "/download")
        return ScriptedReply::text(200, "\x01\x02", "application/octet-stream");
    if (target == "/plain")
        return ScriptedReply::text(200, "just <text>", "text/plain");
    if (target.starts_with("/search") || target.starts_with("/post") || target.starts_with("/upload") ||
        target.starts_with("/?"))
        return html("<title>got " + request.method + " " + target + "</title>");
    return ScriptedReply::text(404, "<title>missing</title>", "text/html");
}

class WebViewSiteTest : public WebViewLoadTest {
protected:
    WebViewSiteTest() : server(ScriptedHttpServer::replyingWith(site)) {}
    std::string url(const std::string& path) const { return server.url(path); }
    void loadAndWait(const std::string& path) {
        std::size_t before = delegate->ended();
        load(url(path));
        ASSERT_TRUE(waitForLoads(*delegate, before + 1)) << path;
    }

    ScriptedHttpServer server;
};

TEST_F(WebViewSiteTest, EveryWayOfNavigatingAsksTheDelegateWithItsType) {
    loadAndWait("/a");
    struct Step {
        const char* name;
        std::function<void()> act;
        std::string url;
        Kind type;
        std::string method;
    };
    const std::vector<Step> steps = {
        {"click", [&] { ASSERT_TRUE(web->clickLink(0)); }, url("/b"), Kind::LinkClicked, "GET"},
        {"back", [&] { web->goBack(); }, url("/a"), Kind::BackForward, "GET"},
        {"forward", [&] { web->goForward(); }, url("/b"), Kind::BackForward, "GET"},
        {"reload", [&] { web->reload(); }, url("/b"), Kind::Reload, "GET"},
        {"programmatic", [&] { load(url("/a")); }, url("/a"), Kind::Other, "GET"},
        {"get form", [&] { ASSERT_TRUE(web->submitForm(0)); }, url("/search?q=&go=Find"), Kind::FormSubmitted,
         "GET"},
        {"back to a", [&] { web->goBack(); }, url("/a"), Kind::BackForward, "GET"},
        {"post form", [&] { ASSERT_TRUE(web->submitForm(1)); }, url("/post?r=comment/create"),
         Kind::FormSubmitted, "POST"},
        {"reload a post", [&] { web->reload(); }, url("/post?r=comment/create"), Kind::FormResubmitted,
         "POST"},
        {"script", [&] { web->stringByEvaluatingJavaScriptFromString("location.href = '/b'"); }, url("/b"),
         Kind::Other, "GET"},
        {"back to a post", [&] { web->goBack(); }, url("/post?r=comment/create"), Kind::FormResubmitted,
         "POST"},
    };
    for (const Step& step : steps) {
        std::size_t asked = delegate->asked.size();
        std::size_t ended = delegate->ended();
        step.act();
        ASSERT_TRUE(waitForLoads(*delegate, ended + 1)) << step.name;
        ASSERT_EQ(delegate->asked.size(), asked + 1) << step.name;
        EXPECT_EQ(delegate->asked.back().url, step.url) << step.name;
        EXPECT_EQ(delegate->asked.back().type, step.type) << step.name;
        EXPECT_EQ(delegate->asked.back().method, step.method) << step.name;
        EXPECT_TRUE(delegate->errors.empty()) << step.name;
        EXPECT_EQ(web->request()->url.absoluteString(), step.url) << step.name;
    }
}

TEST_F(WebViewSiteTest, ARefusedNavigationLeavesThePageAsItIs) {
    loadAndWait("/a");
    delegate->refuse = [](const std::string& address) {
        return address.find("/b") != std::string::npos || address.starts_with("fbconnect:");
    };
    auto events = delegate->events.size();
    ASSERT_TRUE(web->clickLink(0));
    ASSERT_TRUE(web->clickLink(1));
    EXPECT_FALSE(web->isLoading());
    EXPECT_EQ(WebView::loadsInFlight(), 0u);
    EXPECT_EQ(delegate->events.size(), events + 2) << "only the two questions";
    EXPECT_EQ(delegate->asked.back().url, "fbconnect:cancel");
    EXPECT_EQ(delegate->asked.back().type, Kind::LinkClicked);
    EXPECT_EQ(web->page().title, "A");
    EXPECT_EQ(web->request()->url.absoluteString(), url("/a"));
    EXPECT_FALSE(web->canGoBack());
}

TEST_F(WebViewSiteTest, UnknownSchemesAllowedByTheDelegateFailAsUnsupported) {
    loadAndWait("/a");
    ASSERT_TRUE(web->clickLink(2));
    ASSERT_TRUE(waitForLoads(*delegate, 2));
    EXPECT_EQ(delegate->asked.back().url, "itms-apps://store/app");
    ASSERT_EQ(delegate->errors.size(), 1u);
    EXPECT_TRUE(delegate->errors[0].is(kURLErrorDomain, -1002));
    EXPECT_EQ(delegate->events.back(), "fail NSURLErrorDomain -1002");
    EXPECT_EQ(web->page().title, "A");
}

TEST_F(WebViewSiteTest, RedirectsAskTheDelegateAndMoveTheRequest) {
    loadAndWait("/redirect");
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"should " + url("/redirect") + " Other", "start",
                                                          "should " + url("/b") + " Other", "finish"}));
    EXPECT_EQ(web->request()->url.absoluteString(), url("/b"));
    EXPECT_EQ(web->page().url, url("/b"));
    EXPECT_EQ(web->page().title, "B");
}

TEST_F(WebViewSiteTest, ARefusedRedirectInterruptsTheFrameLoad) {
    delegate->refuse = [](const std::string& address) { return address.starts_with("fbconnect:"); };
    loadAndWait("/redirect-away");
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"should " + url("/redirect-away") + " Other",
                                                          "start", "should fbconnect://success?token=1 Other",
                                                          "fail WebKitErrorDomain 102"}));
    EXPECT_EQ(delegate->errors[0].localizedDescription(), "Frame load interrupted");
    EXPECT_FALSE(web->isLoading());
}

TEST_F(WebViewSiteTest, FailuresReportURLErrors) {
    struct Case {
        std::string path;
        std::string domain;
        long code;
        double timeout;
    };
    const std::vector<Case> cases = {
        {"/loop", kURLErrorDomain, -1007, 10},
        {"/stall", kURLErrorDomain, -1001, 0.5},
        {"/download", std::string(WebView::kWebKitErrorDomain), 102, 10},
    };
    for (const Case& c : cases) {
        std::size_t ended = delegate->ended();
        URLRequest request(*URL::strictParse(url(c.path)));
        request.timeoutInterval = c.timeout;
        web->loadRequest(request);
        ASSERT_TRUE(waitForLoads(*delegate, ended + 1, 15)) << c.path;
        ASSERT_FALSE(delegate->errors.empty()) << c.path;
        EXPECT_TRUE(delegate->errors.back().is(c.domain, c.code))
            << c.path << ": " << delegate->errors.back().debugDescription();
    }
    // Nothing listens: connection refused.
    std::size_t ended = delegate->ended();
    load("http://127.0.0.1:" + std::to_string(ScriptedHttpServer::unusedPort()) + "/");
    ASSERT_TRUE(waitForLoads(*delegate, ended + 1));
    EXPECT_EQ(delegate->errors.back().domain(), kURLErrorDomain);
}

TEST_F(WebViewSiteTest, ANewNavigationCancelsTheOneLoading) {
    URLRequest stalled(*URL::strictParse(url("/stall")));
    stalled.timeoutInterval = 30;
    web->loadRequest(stalled);
    ASSERT_TRUE(runUntil([&] { return delegate->events.size() >= 2; })) << "started";
    load(url("/b"));
    ASSERT_TRUE(waitForLoads(*delegate, 2));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"should " + url("/stall") + " Other", "start",
                                                          "should " + url("/b") + " Other",
                                                          "fail NSURLErrorDomain -999", "start", "finish"}));
    EXPECT_EQ(web->page().title, "B");

    web->loadRequest(stalled);
    ASSERT_TRUE(runUntil([&] { return delegate->events.back() == "start"; }));
    web->stopLoading();
    EXPECT_EQ(delegate->events.back(), "fail NSURLErrorDomain -999");
    EXPECT_FALSE(web->isLoading());
    EXPECT_EQ(web->page().title, "B");
}

TEST_F(WebViewSiteTest, FormsSubmitTheirEncodedData) {
    loadAndWait("/a");
    ASSERT_TRUE(web->setFormField(0, "q", "two words & more"));
    ASSERT_TRUE(web->submitForm(0, "Find"));
    ASSERT_TRUE(waitForLoads(*delegate, 2));
    EXPECT_EQ(server.requests().back().target, "/search?q=two+words+%26+more&go=Find");

    web->goBack();
    ASSERT_TRUE(waitForLoads(*delegate, 3));
    ASSERT_TRUE(web->setFormField(1, "text", "line\nnext \xC3\xA9"));
    ASSERT_TRUE(web->submitForm(1));
    ASSERT_TRUE(waitForLoads(*delegate, 4));
    ReceivedRequest posted = server.requests().back();
    EXPECT_EQ(posted.method, "POST");
    EXPECT_EQ(posted.body, "text=line%0D%0Anext+%C3%A9&id=7");
    EXPECT_EQ(posted.header("Content-Type").value_or(""), "application/x-www-form-urlencoded");

    web->goBack();
    ASSERT_TRUE(waitForLoads(*delegate, 5));
    ASSERT_TRUE(web->submitForm(2));
    ASSERT_TRUE(waitForLoads(*delegate, 6));
    posted = server.requests().back();
    std::string type = posted.header("Content-Type").value_or("");
    ASSERT_TRUE(type.starts_with("multipart/form-data; boundary=")) << type;
    std::string boundary = type.substr(type.find('=') + 1);
    EXPECT_EQ(posted.body, "--" + boundary + "\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\nv\r\n--" +
                               boundary + "--\r\n");

    web->goBack();
    ASSERT_TRUE(waitForLoads(*delegate, 7));
    ASSERT_TRUE(web->submitForm(3)) << "a form without an action goes to the page's own address";
    ASSERT_TRUE(waitForLoads(*delegate, 8));
    EXPECT_EQ(delegate->asked.back().url, url("/a?self="));

    EXPECT_FALSE(web->submitForm(9));
    EXPECT_FALSE(web->setFormField(0, "nope", "x"));
    EXPECT_FALSE(web->clickLink(99));
}

TEST_F(WebViewSiteTest, PagesInOtherCharsetsAreDecoded) {
    loadAndWait("/latin1");
    EXPECT_EQ(web->page().title, "caf\xC3\xA9");
    EXPECT_EQ(web->page().text(), "\xE2\x80\x9Cquoted\xE2\x80\x9D");
    loadAndWait("/meta");
    EXPECT_EQ(web->page().title, "\xC3\xBC"
                                 "ber");
    loadAndWait("/plain");
    EXPECT_EQ(web->page().text(), "just <text>");
}

TEST_F(WebViewSiteTest, ScriptsRunAtLoadAndNavigateLater) {
    loadAndWait("/script-nav");
    EXPECT_EQ(web->page().title, "scripted");
    EXPECT_GE(WebView::timersDueWithin(1), 1u);
    ASSERT_TRUE(waitForLoads(*delegate, 2));
    EXPECT_EQ(delegate->asked.back().url, url("/b"));
    EXPECT_EQ(delegate->asked.back().type, Kind::Other);
    EXPECT_EQ(web->page().title, "B");
    EXPECT_EQ(WebView::timersDueWithin(1), 0u) << "the old page's timers end with it";
}

TEST_F(WebViewSiteTest, ARunawayScriptDoesNotStopThePage) {
    LogCapture log;
    auto begin = std::chrono::steady_clock::now();
    loadAndWait("/busy-script");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(delegate->events.back(), "finish");
    EXPECT_EQ(web->page().title, "after");
    EXPECT_LT(seconds, WebView::kScriptTimeBudget + 5);
    EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("for (;;) {}"), "");
    EXPECT_EQ(web->stringByEvaluatingJavaScriptFromString("document.title"), "after");
    EXPECT_TRUE(log.contains("web view: script error: RangeError: execution timeout"));
}

TEST_F(WebViewSiteTest, ImagesNeverHoldUpThePage) {
    loadAndWait("/broken-image");
    EXPECT_EQ(delegate->events.back(), "finish");
    EXPECT_EQ(web->page().text(), "pic\ntext");
    EXPECT_EQ(server.requests().size(), 1u) << "images are not fetched";
}

TEST_F(WebViewSiteTest, CookiesAreSharedWithTheHTTPRequest) {
    CookieStore::shared().deleteAllCookies();
    loadAndWait("/set-cookie");
    auto request = ASIHTTPRequest::requestWithURL(URL::strictParse(url("/echo-cookie")));
    request->start();
    ASSERT_FALSE(request->error());
    EXPECT_NE(request->responseString().value_or("").find("fromPage=1"), std::string::npos);

    auto setter = ASIHTTPRequest::requestWithURL(URL::strictParse(url("/set-cookie")));
    CookieStore::shared().deleteAllCookies();
    setter->start();
    loadAndWait("/echo-cookie");
    EXPECT_EQ(web->page().title, "fromPage=1");
    CookieStore::shared().deleteAllCookies();
}

TEST_F(WebViewSiteTest, HistoryAndRequestFollowTheLoads) {
    EXPECT_FALSE(web->request());
    EXPECT_FALSE(web->canGoBack());
    loadAndWait("/a");
    loadAndWait("/b");
    EXPECT_TRUE(web->canGoBack());
    EXPECT_FALSE(web->canGoForward());
    web->goBack();
    ASSERT_TRUE(waitForLoads(*delegate, 3));
    EXPECT_EQ(web->page().title, "A");
    EXPECT_TRUE(web->canGoForward());
    loadAndWait("/redirect");
    EXPECT_FALSE(web->canGoForward()) << "a new page drops the forward list";
    EXPECT_EQ(web->request()->url.absoluteString(), url("/b"));
    web->loadHTMLString("<title>inline</title><a href=\"b\">rel</a>", URL::strictParse(url("/dir/")));
    ASSERT_TRUE(waitForLoads(*delegate, 5));
    EXPECT_EQ(web->page().title, "inline");
    EXPECT_EQ(web->page().links.at(0).url, url("/dir/b"));
    web->loadHTMLString("<p>blank</p>", std::nullopt);
    ASSERT_TRUE(waitForLoads(*delegate, 6));
    EXPECT_EQ(delegate->asked.back().url, "about:blank");
    EXPECT_EQ(web->page().text(), "blank");
}

} // namespace
} // namespace murmelo::test
