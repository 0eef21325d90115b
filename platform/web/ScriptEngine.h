// ScriptEngine: the page's script interpreter (duktape) with a minimal DOM —
// `window` (the global object), `document` (title, getElementById, forms),
// elements (value, checked, id, name, type, tagName, textContent, focus(),
// blur(), click(), submit(), getAttribute, setAttribute, style),
// `location` (href, assign, replace, reload), `history` (back, forward, go),
// setTimeout / setInterval and their clear functions, `navigator.userAgent`.
//
// Limits (ScriptLimits): every entry into the interpreter from outside (a
// script, an evaluation, a timer callback) has a time budget, wherever the
// time goes — bytecode, property walks of built-ins, the regular expression
// matcher and allocation all check it (see platform/CMakeLists.txt), and
// once it is spent a RangeError is thrown at every check until the script
// has unwound. The page's heap is counted by the engine's own allocator:
// past its limit an allocation fails and the script gets an error, and what
// scripts hand to the document counts too. After repeated overruns the
// page's timers stop. A script error is reported as an Error and never
// leaves the engine in a bad state; should duktape ever reach its fatal
// handler, that page's scripting ends (its heap is released) and the
// process goes on.
//
// Navigation, reload and history calls are handed to the host, which must
// not destroy the engine from inside them (the web view defers them to the
// run loop). One engine per document. Main thread only; the engine does not
// own its host or document (both outlive it).
#pragma once

#include <csetjmp>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/runloop/Timer.h"
#include "platform/web/HtmlDocument.h"
#include "platform/web/ScriptLimits.h"

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
    ScriptEngine(ScriptHost& host, const ScriptLimits& limits);
    // The default limits with another time budget.
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
    // After overrunsBeforeTimersStop runs over budget: none pending, none new.
    bool timersStopped() const { return m_timersStopped; }
    // Bytes the page holds: its heap and what its scripts gave the document.
    std::size_t heapBytes() const { return m_heapUsed + m_hostBytes; }
    // False once the interpreter could not be made or failed fatally.
    bool isAlive() const { return m_context != nullptr; }

    // For duktape's execution-time check: true while a script runs past its deadline.
    bool overBudget() const;

private:
    struct Bindings;
    friend struct Bindings;
    struct Block;

    struct PageTimer {
        Timer timer;
        bool repeats = false;
    };

    static void* allocate(void* udata, std::size_t size);
    static void* reallocate(void* udata, void* pointer, std::size_t size);
    static void release(void* udata, void* pointer);
    static void fatal(void* udata, const char* message);
    bool mayGrow(std::size_t bytes) const;
    // Charges (or, negative, credits) bytes the host keeps for the page.
    bool chargeHost(std::ptrdiff_t bytes);

    // Runs `body` in a protected call; false when it threw or scripting ended.
    template <typename Body> bool protect(Body&& body);
    // Runs `body` as script time: the budget and the script heap limit apply.
    template <typename Body> void asScript(Body&& body);
    // Drops the heap without duktape's help (after a fatal error).
    void endScripting(const char* why);
    void destroyHeap();

    void installGlobals();
    int addTimer(double delaySeconds, bool repeats); // the callback is on the value stack top
    void fireTimer(int id);
    void removeTimer(int id);
    // Enter/leave the interpreter from outside (sets the deadline at depth 0).
    void enter();
    void leave();

    ScriptHost& m_host;
    ScriptLimits m_limits;
    duk_hthread* m_context = nullptr;
    int m_depth = 0;
    double m_deadline = 0;
    bool m_inScript = false;
    enum class Phase { Creating, Installing, Ready };
    Phase m_phase = Phase::Creating;
    std::jmp_buf* m_recovery = nullptr;
    Block* m_blocks = nullptr;
    std::size_t m_heapUsed = 0;
    std::size_t m_hostBytes = 0;
    // Addresses handed over for navigation during the current run.
    std::size_t m_runHostBytes = 0;
    int m_overruns = 0;
    bool m_timersStopped = false;
    DomNode* m_focused = nullptr;
    int m_nextTimer = 1;
    std::map<int, PageTimer> m_timers;
};

// Duktape's strings are CESU-8 (a character beyond U+FFFF as two 3-byte
// halves); this gives proper UTF-8 (lone halves become U+FFFD).
std::string utf8FromCesu8(std::string_view text);

} // namespace murmelo::web
