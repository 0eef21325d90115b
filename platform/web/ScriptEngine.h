// ScriptEngine: the page's script interpreter (duktape) with a minimal DOM —
// `window` (the global object), `document` (title, getElementById, forms),
// elements (value, checked, id, name, type, tagName, textContent, focus(),
// blur(), click(), submit(), getAttribute, setAttribute, style),
// `location` (href, assign, replace, reload), `history` (back, forward, go),
// setTimeout / setInterval and their clear functions, `navigator.userAgent`.
//
// Every entry into the interpreter from outside (a script, an evaluation, a
// timer callback) has a time budget: duktape is built with its execution-time
// check (see platform/CMakeLists.txt), which throws an uncatchable-in-effect
// RangeError until the script has unwound once the budget is spent. A script
// error is reported as an Error and never leaves the engine in a bad state.
//
// Navigation, reload and history calls are handed to the host, which must
// not destroy the engine from inside them (the web view defers them to the
// run loop). One engine per document. Main thread only; the engine does not
// own its host or document (both outlive it).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/runloop/Timer.h"
#include "platform/web/HtmlDocument.h"

struct duk_hthread;

namespace murmelo::web {

class ScriptHost {
public:
    enum class Navigation { Assign, Replace };
    virtual ~ScriptHost() = default;
    virtual HtmlDocument& scriptDocument() = 0;
    // The document's address ("about:blank" when it has none).
    virtual std::string scriptLocation() = 0;
    virtual std::string scriptUserAgent() = 0;
    virtual void scriptNavigate(const std::string& url, Navigation navigation) = 0;
    virtual void scriptReload() = 0;
    virtual void scriptHistoryGo(int delta) = 0;
    // A value, title or attribute changed: the page model is stale.
    virtual void scriptDocumentChanged() = 0;
    virtual void scriptSubmitForm(DomNode& form) = 0;
    // click() on a link or a submit button.
    virtual void scriptClick(DomNode& element) = 0;
};

class ScriptEngine {
public:
    ScriptEngine(ScriptHost& host, double timeBudgetSeconds);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Runs `source` as a program; the completion value as a string ("" for
    // undefined and null), or the script's error.
    Result<std::string> evaluate(std::string_view source, std::string_view fileName);

    // Runs every inline <script> of the document in order (scripts with a
    // src or a non-script type are skipped); errors are logged and skipped.
    void runInlineScripts();

    DomNode* focusedElement() const { return m_focused; }
    std::size_t pendingTimers() const { return m_timers.size(); }
    std::size_t timersDueWithin(double seconds) const;
    void cancelTimers();

    // For duktape's execution-time check.
    bool overBudget() const;

private:
    struct Bindings;
    friend struct Bindings;

    struct PageTimer {
        Timer timer;
        bool repeats = false;
    };

    void installGlobals();
    int addTimer(double delaySeconds, bool repeats); // the callback is on the value stack top
    void fireTimer(int id);
    void removeTimer(int id);
    // Enter/leave the interpreter from outside (sets the deadline at depth 0).
    void enter();
    void leave();

    ScriptHost& m_host;
    double m_budget;
    duk_hthread* m_context = nullptr;
    int m_depth = 0;
    double m_deadline = 0;
    DomNode* m_focused = nullptr;
    int m_nextTimer = 1;
    std::map<int, PageTimer> m_timers;
};

// Duktape's strings are CESU-8 (a character beyond U+FFFF as two 3-byte
// halves); this gives proper UTF-8 (lone halves become U+FFFD).
std::string utf8FromCesu8(std::string_view text);

} // namespace murmelo::web
