// Page scripts against a recording host: the minimal DOM, navigation calls,
// timers, errors, the time budget and the heap limit.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "platform/core/Log.h"
#include "platform/runloop/RunLoop.h"
#include "platform/web/ScriptEngine.h"
#include "tests/support/bounded_child.h"

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
        "location.reload(); history.back(); history.forward(); history.go(-2); history.go(0);"
        "history.go(1e300); history.go(NaN); clearTimeout(-1e300)",
        "test");
    EXPECT_EQ(host.calls,
              (std::vector<std::string>{"assign next.php", "assign a", "replace r", "reload", "go -1", "go 1",
                                        "go -2", "reload", "go 2147483647", "reload"}));
}

TEST(ScriptEngineTest, InlineScriptsRunInOrderAndErrorsDoNotStopThePage) {
    RecordingHost host("<script>var order = ['first'];</script>"
                       "<script>throw new Error('broken');</script>"
                       "<script type=text/template>order.push('template');</script>"
                       "<script src=ext.js>order.push('external');</script>"
                       "<script>order.push('third'); function gotoNextPage() { return 'next'; }</script>");
    ScriptEngine engine(host, 1.0);
    LogCapture log;
    engine.runInlineScripts();
    EXPECT_TRUE(log.contains("Error: broken"));
    EXPECT_EQ(eval(engine, "order.join(',')"), "first,third");
    EXPECT_EQ(eval(engine, "gotoNextPage()"), "next");
}

TEST(ScriptEngineTest, TimersRunOnTheRunLoop) {
    RecordingHost host("");
    ScriptEngine engine(host, 0.2);
    LogCapture log;
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
    EXPECT_TRUE(log.contains("execution timeout")) << "the runaway timer was stopped";
    EXPECT_TRUE(log.contains("execution timeout")) << "the runaway timer was stopped";
    (void)engine.evaluate("setTimeout(function() {}, 100000)", "test");
    EXPECT_EQ(engine.pendingTimers(), 1u);
    engine.cancelTimers();
    EXPECT_EQ(engine.pendingTimers(), 0u);
}

} // namespace
} // namespace murmelo::web

namespace murmelo::web {
namespace {

struct Hostile {
    const char* name;
    const char* source;
};

// Runs `source` in a fresh engine inside a bounded child; the report is
// "SECONDS PEAK_GROWTH_BYTES HEAP_BYTES ALIVE ERROR".
test::ChildOutcome runHostile(const std::string& source, const ScriptLimits& limits) {
    return test::runInChild(
        [&] {
            RecordingHost host("<input id=f>");
            ScriptEngine engine(host, limits);
            test::resetPeakResidentSize();
            std::size_t before = test::residentSize();
            auto begin = std::chrono::steady_clock::now();
            auto result = engine.evaluate(source, "hostile");
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            std::size_t growth = test::peakResidentSize() - std::min(before, test::peakResidentSize());
            bool alive = eval(engine, "'alive'") == "alive";
            return std::to_string(seconds) + " " + std::to_string(growth) + " " +
                   std::to_string(engine.heapBytes()) + " " + (alive ? "alive " : "dead ") +
                   (result ? "none" : result.error().localizedDescription());
        },
        10, std::size_t{2} << 30);
}

struct HostileReport {
    double seconds = 1e9;
    double growth = 1e18;
    double heap = 1e18;
    std::string alive;
};

HostileReport parse(const std::string& report) {
    HostileReport parsed;
    std::istringstream in(report);
    in >> parsed.seconds >> parsed.growth >> parsed.heap >> parsed.alive;
    return parsed;
}

// Each script spends its time or memory where the bytecode executor's own
// check never looks: inside one built-in call, in the regexp matcher, in
// allocation, in what the host keeps for the page.
const std::vector<Hostile> kHostileScripts = {
    {"join loop", "for (;;) { new Array(100000).join('x'); }"},
    {"join loop that catches", "for (;;) { try { new Array(100000).join('x'); } catch (e) {} }"},
    {"join of a sparse giant", "new Array(1e9).join('')"},
    {"repeat loop", "for (;;) { 'x'.repeat(1e6); }"},
    {"giant repeat", "'ab'.repeat(1e9).length"},
    {"sort comparator", "var a = []; for (var i = 0; i < 1e4; i++) a.push(i);"
                        "a.sort(function(x, y) { for (var k = 0; k < 1e4; k++); return x - y; })"},
    {"reverse of a sparse giant", "var a = []; a.length = 4294967295; a[5] = 1; a.reverse()"},
    {"regexp backtracking", "/(a+)+b/.test('a'.repeat(40))"},
    {"string doubling", "var s = 'x'; for (;;) s += s;"},
    {"array growth", "var a = []; for (;;) a.push(a.length);"},
    {"memory filled and caught",
     "var keep = []; for (var i = 0; ; i++) { try { keep.push('x'.repeat(1e5) + i); } catch (e) {} }"},
    {"deep recursion", "function f(n) { return f(n + 1) + 1; } f(0)"},
    {"JSON of a big structure",
     "var o = []; for (var i = 0; i < 2e4; i++) o.push({a: i, b: 'xxxxxxxxxx'}); for (;;) JSON.stringify(o)"},
    {"JSON of a cyclic structure", "var o = {}; o.self = o; JSON.stringify(o)"},
    {"thrown object whose toString spins", "throw {toString: function() { for (;;) {} }}"},
    {"result whose toString spins", "({toString: function() { for (;;) {} }})"},
    {"titles flooding the document",
     "var big = 'x'.repeat(1e5); for (var i = 0; ; i++) document.title = big + i;"},
    {"attributes flooding the document", "var f = document.getElementById('f'); for (var i = 0; ; i++) "
                                         "f.setAttribute('a' + i, 'x'.repeat(100));"},
    {"navigations flooding the host",
     "var big = 'x'.repeat(1e5); for (var i = 0; ; i++) location.href = big + i;"},
    {"timer flood", "for (;;) setTimeout(function() {}, 1e9);"},
};

TEST(ScriptEngineLimitsTest, HostileScriptsEndWithinTheBudgetAndTheHeapLimit) {
    const ScriptLimits limits{.timeBudgetSeconds = 0.2, .heapBytes = std::size_t{8} << 20};
    for (const Hostile& hostile : kHostileScripts) {
        test::ChildOutcome outcome = runHostile(hostile.source, limits);
        if (!outcome.finished) {
            ADD_FAILURE() << hostile.name << ": still running or killed after " << outcome.seconds
                          << " s (signal " << outcome.signal << ")";
            continue;
        }
        HostileReport report = parse(outcome.report);
        EXPECT_LT(report.seconds, 1.0) << hostile.name << ": " << outcome.report;
        if (test::residentSizeIsMeaningful()) {
            EXPECT_LT(report.growth, 48.0 * (1 << 20)) << hostile.name << ": " << outcome.report;
        }
        EXPECT_LE(report.heap, 9.0 * (1 << 20)) << hostile.name << ": " << outcome.report;
        EXPECT_EQ(report.alive, "alive") << hostile.name << ": " << outcome.report;
    }
}

TEST(ScriptEngineLimitsTest, TheDefaultLimitsKeepTheProcessSmall) {
    for (const char* source : {"var s = 'x'; for (;;) s += s;", "var a = []; for (;;) a.push([a.length]);"}) {
        test::ChildOutcome outcome = runHostile(source, ScriptLimits{});
        ASSERT_TRUE(outcome.finished) << source;
        HostileReport report = parse(outcome.report);
        EXPECT_LT(report.seconds, 2.0) << source << ": " << outcome.report;
        if (test::residentSizeIsMeaningful()) {
            EXPECT_LT(report.growth, 160.0 * (1 << 20)) << source << ": " << outcome.report;
        }
    }
}

TEST(ScriptEngineLimitsTest, TimersStopAfterRepeatedOverruns) {
    test::ChildOutcome outcome = test::runInChild(
        [] {
            RecordingHost host("");
            ScriptEngine engine(host,
                                ScriptLimits{.timeBudgetSeconds = 0.05, .heapBytes = std::size_t{8} << 20});
            LogCapture log;
            (void)engine.evaluate("var runs = 0; setInterval(function() { runs++; for (;;) {} }, 0);"
                                  "setTimeout(function() {}, 100000)",
                                  "test");
            bool stopped = RunLoop::current().runModeUntil(
                RunLoop::kDefaultMode, [&] { return engine.timersStopped(); }, RunLoop::dateAfter(5));
            std::string report = std::string(stopped ? "stopped" : "running") +
                                 " runs=" + eval(engine, "runs") +
                                 " pending=" + std::to_string(engine.pendingTimers()) +
                                 " new=" + eval(engine, "setTimeout(function() {}, 0)") +
                                 " logged=" + std::to_string(log.contains("timers are stopped"));
            return report;
        },
        15, std::size_t{1} << 30);
    ASSERT_TRUE(outcome.finished) << outcome.seconds;
    EXPECT_EQ(outcome.report, "stopped runs=3 pending=0 new=0 logged=1");
}

TEST(ScriptEngineLimitsTest, AHeapTooSmallForTheInterpreterLeavesAnInertEngine) {
    RecordingHost host("");
    LogCapture log;
    ScriptEngine engine(host, ScriptLimits{.heapBytes = 4096});
    EXPECT_FALSE(engine.isAlive());
    EXPECT_FALSE(engine.evaluate("1", "test"));
    engine.runInlineScripts();
    engine.cancelTimers();
    EXPECT_TRUE(log.contains("no script engine"));
}

TEST(ScriptEngineLimitsTest, EveryHeapLimitEndsInResultsNotCrashes) {
    // Allocation fails at a different point of the same work for each limit.
    RecordingHost host("<input id=f>");
    for (std::size_t limit = 64 << 10; limit <= (std::size_t{2} << 20); limit += 24 << 10) {
        ScriptEngine engine(host, ScriptLimits{.timeBudgetSeconds = 0.5, .heapBytes = limit});
        (void)engine.evaluate(
            "var a = []; for (var i = 0; i < 2e4; i++) a.push({i: i, s: 'v' + i});"
            "document.getElementById('f').value = a.length; setTimeout(function() {}, 1000);"
            "JSON.stringify(a)",
            "sweep");
        EXPECT_LE(engine.heapBytes(), limit + (std::size_t{1} << 20)) << limit;
        engine.cancelTimers();
    }
}

} // namespace
} // namespace murmelo::web
