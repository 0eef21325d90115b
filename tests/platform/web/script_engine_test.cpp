// Page scripts against a recording host: the minimal DOM, navigation calls,
// timers, errors and the time budget.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/runloop/RunLoop.h"
#include "platform/web/ScriptEngine.h"

namespace murmelo::web {
namespace {

class RecordingHost : public ScriptHost {
public:
    explicit RecordingHost(const std::string& html) : document(HtmlDocument::parse(html)) {}

    HtmlDocument& scriptDocument() override { return *document; }
    std::string scriptLocation() override { return "http://h.test/page.php"; }
    std::string scriptUserAgent() override { return "TestAgent/1"; }
    void scriptNavigate(const std::string& url, Navigation navigation) override {
        calls.push_back((navigation == Navigation::Replace ? "replace " : "assign ") + url);
    }
    void scriptReload() override { calls.push_back("reload"); }
    void scriptHistoryGo(int delta) override { calls.push_back("go " + std::to_string(delta)); }
    void scriptDocumentChanged() override { ++changes; }
    void scriptSubmitForm(DomNode& form) override { calls.push_back("submit " + form.attributeOr("id")); }
    void scriptClick(DomNode& element) override { calls.push_back("click " + element.attributeOr("id")); }

    std::unique_ptr<HtmlDocument> document;
    std::vector<std::string> calls;
    int changes = 0;
};

std::string eval(ScriptEngine& engine, const std::string& source) {
    auto result = engine.evaluate(source, "test");
    return result ? *result : "error: " + result.error().localizedDescription();
}

TEST(ScriptEngineTest, ResultsBecomeStrings) {
    RecordingHost host("");
    ScriptEngine engine(host, 1.0);
    struct Case {
        const char* source;
        const char* result;
    };
    const std::vector<Case> cases = {
        {"1 + 2", "3"},
        {"'a' + 'b'", "ab"},
        {"true", "true"},
        {"undefined", ""},
        {"null", ""},
        {"var x = 5;", ""},
        {"[1, 2]", "1,2"},
        {"({})", "[object Object]"},
        {"0.5", "0.5"},
        {"'\\u00e9\\ud83d\\ude00'", "\xC3\xA9\xF0\x9F\x98\x80"},
        {"'\\ud83d'", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"typeof window === 'object' && window === this", "true"},
        {"navigator.userAgent", "TestAgent/1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eval(engine, c.source), c.result) << c.source;
}

TEST(ScriptEngineTest, ErrorsAreReportedAndLeaveTheEngineUsable) {
    RecordingHost host("");
    ScriptEngine engine(host, 1.0);
    struct Case {
        const char* source;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"throw new Error('boom')", "Error: boom"},     {"syntax error here", "SyntaxError"},
        {"undefinedFunction()", "ReferenceError"},      {"throw 42", "42"},
        {"({toString: function() { throw 1; }})", "1"}, {"function f() { return f(); } f()", "RangeError"},
    };
    for (const Case& c : cases) {
        auto result = engine.evaluate(c.source, "test");
        ASSERT_FALSE(result) << c.source;
        EXPECT_NE(result.error().localizedDescription().find(c.error), std::string::npos)
            << c.source << " gave " << result.error().localizedDescription();
    }
    EXPECT_EQ(eval(engine, "function later() { return 'still here'; } later()"), "still here");
}

TEST(ScriptEngineTest, RunawayScriptsAreStoppedByTheBudget) {
    RecordingHost host("");
    ScriptEngine engine(host, 0.2);
    const std::vector<const char*> loops = {
        "while (true) {}",
        "for (;;) { try { while (true) {} } catch (e) {} }",
        "function spin() { try { for (;;) {} } finally { spin(); } } spin()",
    };
    for (const char* loop : loops) {
        auto begin = std::chrono::steady_clock::now();
        auto result = engine.evaluate(loop, "loop");
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        ASSERT_FALSE(result) << loop;
        EXPECT_LT(seconds, 5.0) << loop;
        EXPECT_NE(result.error().localizedDescription().find("RangeError"), std::string::npos) << loop;
        EXPECT_EQ(eval(engine, "'alive'"), "alive") << "a fresh budget for the next run";
    }
}

TEST(ScriptEngineTest, DocumentAndElements) {
    RecordingHost host("<title>Old</title><form id=f><input id=q name=q value=start>"
                       "<input type=checkbox id=c><textarea id=t>text</textarea>"
                       "<select id=s><option value=1>one<option value=2 selected>two</select>"
                       "<button id=b>Go</button></form><a id=l href=x.php>link</a>");
    ScriptEngine engine(host, 1.0);
    EXPECT_EQ(eval(engine, "document.title"), "Old");
    EXPECT_EQ(eval(engine, "document.title = 'New'; document.title"), "New");
    EXPECT_EQ(host.document->title(), "New");
    EXPECT_EQ(eval(engine, "document.getElementById('q').value"), "start");
    EXPECT_EQ(eval(engine, "var q = document.getElementById('q'); q.value = 'typed'; q.value"), "typed");
    EXPECT_EQ(host.document->getElementById("q")->liveValue().value_or(""), "typed");
    EXPECT_EQ(eval(engine, "document.getElementById('q') === document.getElementById('q')"), "true");
    EXPECT_EQ(eval(engine, "document.getElementById('missing')"), "");
    EXPECT_EQ(eval(engine, "document.getElementById('missing') === null"), "true");
    EXPECT_EQ(eval(engine, "document.getElementById('t').value"), "text");
    EXPECT_EQ(eval(engine, "document.getElementById('s').value"), "2");
    EXPECT_EQ(eval(engine, "var c = document.getElementById('c'); c.checked = true; c.checked"), "true");
    EXPECT_EQ(eval(engine, "q.tagName + ' ' + q.name + ' ' + q.type + ' ' + q.form.id"), "INPUT q text f");
    EXPECT_EQ(eval(engine, "q.getAttribute('VALUE') + ' ' + q.getAttribute('nope')"), "start null");
    EXPECT_EQ(eval(engine, "q.style.display = 'none'; q.style.display"), "none");
    EXPECT_GE(host.changes, 3);

    EXPECT_EQ(engine.focusedElement(), nullptr);
    EXPECT_EQ(eval(engine, "q.focus(); document.activeElement.id"), "q");
    EXPECT_EQ(engine.focusedElement(), host.document->getElementById("q"));
    EXPECT_EQ(eval(engine, "document.getElementById('t').blur(); document.activeElement.id"), "q")
        << "blurring another element changes nothing";
    (void)engine.evaluate("q.blur()", "test");
    EXPECT_EQ(engine.focusedElement(), nullptr);

    (void)engine.evaluate("document.forms[0].submit(); document.getElementById('l').click();"
                          "document.getElementById('b').click()",
                          "test");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"submit f", "click l", "click b"}));
}

TEST(ScriptEngineTest, LocationAndHistoryGoToTheHost) {
    RecordingHost host("");
    ScriptEngine engine(host, 1.0);
    EXPECT_EQ(eval(engine, "location.href + ' ' + window.location + ' ' + document.location.href"),
              "http://h.test/page.php http://h.test/page.php http://h.test/page.php");
    (void)engine.evaluate(
        "window.location.href = 'next.php'; location.assign('a'); location.replace('r');"
        "location.reload(); history.back(); history.forward(); history.go(-2); history.go(0)",
        "test");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"assign next.php", "assign a", "replace r", "reload",
                                                    "go -1", "go 1", "go -2", "reload"}));
}

TEST(ScriptEngineTest, InlineScriptsRunInOrderAndErrorsDoNotStopThePage) {
    RecordingHost host("<script>var order = ['first'];</script>"
                       "<script>throw new Error('broken');</script>"
                       "<script type=text/template>order.push('template');</script>"
                       "<script src=ext.js>order.push('external');</script>"
                       "<script>order.push('third'); function gotoNextPage() { return 'next'; }</script>");
    ScriptEngine engine(host, 1.0);
    engine.runInlineScripts();
    EXPECT_EQ(eval(engine, "order.join(',')"), "first,third");
    EXPECT_EQ(eval(engine, "gotoNextPage()"), "next");
}

TEST(ScriptEngineTest, TimersRunOnTheRunLoop) {
    RecordingHost host("");
    ScriptEngine engine(host, 0.2);
    (void)engine.evaluate(
        "var fired = []; setTimeout(function() { fired.push('a'); }, 10);"
        "var gone = setTimeout(function() { fired.push('cleared'); }, 5); clearTimeout(gone);"
        "setTimeout(\"fired.push('string')\", 20);"
        "setTimeout(function() { while (true) {} }, 30);"
        "var n = 0; var every = setInterval(function() { if (++n == 3) clearInterval(every); }, 1);",
        "test");
    EXPECT_EQ(engine.pendingTimers(), 4u);
    EXPECT_EQ(engine.timersDueWithin(0.015), 2u);
    bool done = RunLoop::current().runModeUntil(
        RunLoop::kDefaultMode, [&] { return engine.pendingTimers() == 0; }, RunLoop::dateAfter(10));
    ASSERT_TRUE(done);
    EXPECT_EQ(eval(engine, "fired.join(',') + ' ' + n"), "a,string 3");
    (void)engine.evaluate("setTimeout(function() {}, 100000)", "test");
    EXPECT_EQ(engine.pendingTimers(), 1u);
    engine.cancelTimers();
    EXPECT_EQ(engine.pendingTimers(), 0u);
}

} // namespace
} // namespace murmelo::web
