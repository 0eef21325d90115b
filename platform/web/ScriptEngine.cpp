#include "platform/web/ScriptEngine.h"

#include <duktape.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/core/Log.h"
#include "platform/web/TextDecoding.h"

namespace {

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

// Duktape calls this every few thousand instructions (DUK_USE_EXEC_TIMEOUT_CHECK).
extern "C" int murmelo_duk_exec_timeout_check(void* udata) {
    const auto* engine = static_cast<const murmelo::web::ScriptEngine*>(udata);
    return engine && engine->overBudget() ? 1 : 0;
}

namespace murmelo::web {

namespace {

constexpr const char* kNodeKey = DUK_HIDDEN_SYMBOL("node");
constexpr const char* kWrappersKey = DUK_HIDDEN_SYMBOL("wrappers");
constexpr const char* kElementProtoKey = DUK_HIDDEN_SYMBOL("elementProto");
constexpr const char* kTimersKey = DUK_HIDDEN_SYMBOL("timers");

// A script that throws something fatal outside any protected call would end
// in duktape's fatal handler; every entry is protected, so reaching this is a bug.
void fatalHandler(void*, const char* message) {
    logLine("web view script engine fatal error: %s", message ? message : "");
    std::abort();
}

ScriptEngine& engineOf(duk_context* ctx) {
    duk_memory_functions functions;
    duk_get_memory_functions(ctx, &functions);
    return *static_cast<ScriptEngine*>(functions.udata);
}

std::string stringAt(duk_context* ctx, duk_idx_t index) {
    if (duk_is_undefined(ctx, index) || duk_is_null(ctx, index))
        return {};
    const char* text = duk_safe_to_string(ctx, index);
    return utf8FromCesu8(text ? text : "");
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

} // namespace

std::string utf8FromCesu8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; i < text.size();) {
        // A surrogate pair: ED A0..AF xx ED B0..BF xx.
        if (byte(i) == 0xED && i + 6 <= text.size() && byte(i + 1) >= 0xA0 && byte(i + 1) <= 0xAF &&
            byte(i + 3) == 0xED && byte(i + 4) >= 0xB0 && byte(i + 4) <= 0xBF) {
            unsigned high = 0xD000 | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
            unsigned low = 0xD000 | ((byte(i + 4) & 0x3F) << 6) | (byte(i + 5) & 0x3F);
            unsigned cp = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
            i += 6;
            continue;
        }
        out += text[i];
        ++i;
    }
    return sanitizeUTF8(out);
}

// The C functions the page's scripts call. They read their arguments into
// plain values before touching the host, and call no duktape function that
// can throw while a C++ object with a destructor is alive (duktape unwinds
// with longjmp).
struct ScriptEngine::Bindings {
    static DomNode* nodeOfThis(duk_context* ctx) {
        duk_push_this(ctx);
        DomNode* node = nullptr;
        if (duk_is_object(ctx, -1)) {
            duk_get_prop_string(ctx, -1, kNodeKey);
            node = static_cast<DomNode*>(duk_get_pointer(ctx, -1));
            duk_pop(ctx);
        }
        duk_pop(ctx);
        return node;
    }

    // Pushes the element's wrapper (one per node, so identity holds) or null.
    static void pushElement(duk_context* ctx, DomNode* node) {
        if (!node) {
            duk_push_null(ctx);
            return;
        }
        duk_push_global_stash(ctx);
        duk_get_prop_string(ctx, -1, kWrappersKey);
        char key[32];
        std::snprintf(key, sizeof key, "%p", static_cast<void*>(node));
        if (duk_get_prop_string(ctx, -1, key)) {
            duk_remove(ctx, -2);
            duk_remove(ctx, -2);
            return;
        }
        duk_pop(ctx);
        duk_push_object(ctx);
        duk_get_prop_string(ctx, -3, kElementProtoKey);
        duk_set_prototype(ctx, -2);
        duk_push_pointer(ctx, node);
        duk_put_prop_string(ctx, -2, kNodeKey);
        duk_push_object(ctx);
        duk_put_prop_string(ctx, -2, "style");
        duk_dup(ctx, -1);
        duk_put_prop_string(ctx, -3, key);
        duk_remove(ctx, -2);
        duk_remove(ctx, -2);
    }

    // ---- document
    static duk_ret_t getTitle(duk_context* ctx) {
        std::string title = engineOf(ctx).m_host.scriptDocument().title();
        duk_push_lstring(ctx, title.data(), title.size());
        return 1;
    }
    static duk_ret_t setTitle(duk_context* ctx) {
        ScriptEngine& engine = engineOf(ctx);
        engine.m_host.scriptDocument().setTitle(stringAt(ctx, 0));
        engine.m_host.scriptDocumentChanged();
        return 0;
    }
    static duk_ret_t getElementById(duk_context* ctx) {
        const char* id = duk_safe_to_string(ctx, 0);
        DomNode* node = engineOf(ctx).m_host.scriptDocument().getElementById(id ? id : "");
        pushElement(ctx, node);
        return 1;
    }
    static duk_ret_t getForms(duk_context* ctx) {
        duk_push_array(ctx);
        duk_uarridx_t index = 0;
        const DomNode& root = engineOf(ctx).m_host.scriptDocument().root();
        std::vector<DomNode*> forms;
        walkDom(root, [&](const DomNode& node) {
            if (node.isElement("form"))
                forms.push_back(const_cast<DomNode*>(&node));
            return true;
        });
        for (DomNode* form : forms) {
            pushElement(ctx, form);
            duk_put_prop_index(ctx, -2, index++);
        }
        return 1;
    }
    static duk_ret_t getActiveElement(duk_context* ctx) {
        ScriptEngine& engine = engineOf(ctx);
        pushElement(ctx, engine.m_focused ? engine.m_focused : engine.m_host.scriptDocument().body());
        return 1;
    }

    // ---- location and history
    static duk_ret_t getHref(duk_context* ctx) {
        std::string href = engineOf(ctx).m_host.scriptLocation();
        duk_push_lstring(ctx, href.data(), href.size());
        return 1;
    }
    static duk_ret_t assign(duk_context* ctx) {
        engineOf(ctx).m_host.scriptNavigate(stringAt(ctx, 0), ScriptHost::Navigation::Assign);
        return 0;
    }
    static duk_ret_t replace(duk_context* ctx) {
        engineOf(ctx).m_host.scriptNavigate(stringAt(ctx, 0), ScriptHost::Navigation::Replace);
        return 0;
    }
    static duk_ret_t reload(duk_context* ctx) {
        engineOf(ctx).m_host.scriptReload();
        return 0;
    }
    static duk_ret_t back(duk_context* ctx) {
        engineOf(ctx).m_host.scriptHistoryGo(-1);
        return 0;
    }
    static duk_ret_t forward(duk_context* ctx) {
        engineOf(ctx).m_host.scriptHistoryGo(1);
        return 0;
    }
    static duk_ret_t go(duk_context* ctx) {
        int delta = duk_is_number(ctx, 0) ? static_cast<int>(duk_get_number(ctx, 0)) : 0;
        if (delta == 0)
            engineOf(ctx).m_host.scriptReload();
        else
            engineOf(ctx).m_host.scriptHistoryGo(delta);
        return 0;
    }
    static duk_ret_t getUserAgent(duk_context* ctx) {
        std::string agent = engineOf(ctx).m_host.scriptUserAgent();
        duk_push_lstring(ctx, agent.data(), agent.size());
        return 1;
    }

    // ---- timers
    static duk_ret_t setTimer(duk_context* ctx, bool repeats) {
        double delay = duk_is_number(ctx, 1) ? duk_get_number(ctx, 1) : 0;
        if (!(delay >= 0) || delay > 1e9)
            delay = 0;
        if (duk_is_function(ctx, 0)) {
            duk_dup(ctx, 0);
        } else {
            // A string is compiled as a program of its own.
            std::string source = stringAt(ctx, 0);
            duk_push_lstring(ctx, source.data(), source.size());
            duk_push_string(ctx, "setTimeout");
            if (duk_pcompile(ctx, 0) != 0) {
                duk_pop(ctx);
                duk_push_int(ctx, 0);
                return 1;
            }
        }
        int id = engineOf(ctx).addTimer(delay / 1000.0, repeats);
        duk_push_int(ctx, id);
        return 1;
    }
    static duk_ret_t setTimeout(duk_context* ctx) { return setTimer(ctx, false); }
    static duk_ret_t setInterval(duk_context* ctx) { return setTimer(ctx, true); }
    static duk_ret_t clearTimer(duk_context* ctx) {
        if (duk_is_number(ctx, 0))
            engineOf(ctx).removeTimer(static_cast<int>(duk_get_number(ctx, 0)));
        return 0;
    }
    static duk_ret_t nothing(duk_context*) { return 0; }

    // ---- elements
    static duk_ret_t elementValue(duk_context* ctx) {
        DomNode* node = nodeOfThis(ctx);
        std::string value;
        if (node) {
            if (node->isElement("textarea"))
                value = node->liveValue().value_or(node->textContent());
            else if (node->isElement("select"))
                value = node->liveValue().value_or(describeSelect(*node));
            else if (node->isElement("input") || node->isElement("button") || node->isElement("option"))
                value = node->liveValue().value_or(node->attributeOr("value"));
            else
                value = node->liveValue().value_or(std::string());
        }
        duk_push_lstring(ctx, value.data(), value.size());
        return 1;
    }
    static std::string describeSelect(const DomNode& select);
    static duk_ret_t setElementValue(duk_context* ctx) {
        std::string value = stringAt(ctx, 0);
        DomNode* node = nodeOfThis(ctx);
        if (node) {
            node->setLiveValue(std::move(value));
            engineOf(ctx).m_host.scriptDocumentChanged();
        }
        return 0;
    }
    static duk_ret_t elementChecked(duk_context* ctx) {
        DomNode* node = nodeOfThis(ctx);
        duk_push_boolean(ctx, node && node->liveChecked().value_or(node->hasAttribute("checked")));
        return 1;
    }
    static duk_ret_t setElementChecked(duk_context* ctx) {
        bool checked = duk_to_boolean(ctx, 0);
        if (DomNode* node = nodeOfThis(ctx)) {
            node->setLiveChecked(checked);
            engineOf(ctx).m_host.scriptDocumentChanged();
        }
        return 0;
    }
    static duk_ret_t attributeGetter(duk_context* ctx, const char* name) {
        DomNode* node = nodeOfThis(ctx);
        std::string value = node ? node->attributeOr(name) : std::string();
        duk_push_lstring(ctx, value.data(), value.size());
        return 1;
    }
    static duk_ret_t elementId(duk_context* ctx) { return attributeGetter(ctx, "id"); }
    static duk_ret_t elementName(duk_context* ctx) { return attributeGetter(ctx, "name"); }
    static duk_ret_t elementHref(duk_context* ctx) { return attributeGetter(ctx, "href"); }
    static duk_ret_t elementType(duk_context* ctx) {
        DomNode* node = nodeOfThis(ctx);
        std::string type;
        if (node && node->isElement("input"))
            type = node->attributeOr("type", "text");
        else if (node && node->isElement("button"))
            type = node->attributeOr("type", "submit");
        else if (node && (node->isElement("select") || node->isElement("textarea")))
            type = node->tag() == "select" ? "select-one" : "textarea";
        duk_push_lstring(ctx, type.data(), type.size());
        return 1;
    }
    static duk_ret_t elementTagName(duk_context* ctx) {
        DomNode* node = nodeOfThis(ctx);
        std::string tag = node ? upper(node->tag()) : std::string();
        duk_push_lstring(ctx, tag.data(), tag.size());
        return 1;
    }
    static duk_ret_t elementText(duk_context* ctx) {
        DomNode* node = nodeOfThis(ctx);
        std::string text = node ? node->textContent() : std::string();
        duk_push_lstring(ctx, text.data(), text.size());
        return 1;
    }
    static duk_ret_t elementForm(duk_context* ctx) {
        DomNode* node = nodeOfThis(ctx);
        pushElement(ctx, node ? node->closest("form") : nullptr);
        return 1;
    }
    static duk_ret_t focus(duk_context* ctx) {
        engineOf(ctx).m_focused = nodeOfThis(ctx);
        return 0;
    }
    static duk_ret_t blur(duk_context* ctx) {
        ScriptEngine& engine = engineOf(ctx);
        if (engine.m_focused == nodeOfThis(ctx))
            engine.m_focused = nullptr;
        return 0;
    }
    static duk_ret_t click(duk_context* ctx) {
        if (DomNode* node = nodeOfThis(ctx))
            engineOf(ctx).m_host.scriptClick(*node);
        return 0;
    }
    static duk_ret_t submit(duk_context* ctx) {
        DomNode* node = nodeOfThis(ctx);
        if (node && node->isElement("form"))
            engineOf(ctx).m_host.scriptSubmitForm(*node);
        return 0;
    }
    static duk_ret_t getAttribute(duk_context* ctx) {
        const char* name = duk_safe_to_string(ctx, 0);
        DomNode* node = nodeOfThis(ctx);
        const std::string* value = node && name ? node->attribute(lowerName(name)) : nullptr;
        if (!value) {
            duk_push_null(ctx);
            return 1;
        }
        duk_push_lstring(ctx, value->data(), value->size());
        return 1;
    }
    static std::string lowerName(const char* name) {
        std::string out(name);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    }
    static duk_ret_t setAttribute(duk_context* ctx) {
        std::string name = lowerName(duk_safe_to_string(ctx, 0));
        std::string value = stringAt(ctx, 1);
        if (DomNode* node = nodeOfThis(ctx)) {
            node->setAttribute(name, std::move(value));
            engineOf(ctx).m_host.scriptDocumentChanged();
        }
        return 0;
    }

    static void defineAccessor(duk_context* ctx, const char* name, duk_c_function getter,
                               duk_c_function setter) {
        duk_push_string(ctx, name);
        duk_push_c_function(ctx, getter, 0);
        duk_uint_t flags =
            DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_SET_CONFIGURABLE;
        if (setter) {
            duk_push_c_function(ctx, setter, 1);
            flags |= DUK_DEFPROP_HAVE_SETTER;
        }
        duk_def_prop(ctx, -2 - (setter ? 2 : 1), flags);
    }
    static void defineFunction(duk_context* ctx, const char* name, duk_c_function function, duk_idx_t args) {
        duk_push_c_function(ctx, function, args);
        duk_put_prop_string(ctx, -2, name);
    }
};

std::string ScriptEngine::Bindings::describeSelect(const DomNode& select) {
    std::string value;
    bool found = false;
    walkDom(select, [&](const DomNode& node) {
        if (!node.isElement("option"))
            return true;
        std::string optionValue = node.attributeOr("value", collapseWhitespace(node.textContent()));
        if (!found || node.hasAttribute("selected"))
            value = optionValue;
        found = true;
        return false;
    });
    return value;
}

ScriptEngine::ScriptEngine(ScriptHost& host, double timeBudgetSeconds)
    : m_host(host), m_budget(timeBudgetSeconds) {
    m_context = duk_create_heap(nullptr, nullptr, nullptr, this, fatalHandler);
    installGlobals();
}

ScriptEngine::~ScriptEngine() {
    m_timers.clear();
    if (m_context)
        duk_destroy_heap(m_context);
}

bool ScriptEngine::overBudget() const {
    return m_depth > 0 && monotonicSeconds() > m_deadline;
}

void ScriptEngine::enter() {
    if (m_depth++ == 0)
        m_deadline = monotonicSeconds() + m_budget;
}

void ScriptEngine::leave() {
    --m_depth;
}

void ScriptEngine::installGlobals() {
    duk_context* ctx = m_context;
    using B = Bindings;

    duk_push_global_stash(ctx);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, kWrappersKey);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, kTimersKey);
    // The prototype every element wrapper shares.
    duk_push_object(ctx);
    B::defineAccessor(ctx, "value", B::elementValue, B::setElementValue);
    B::defineAccessor(ctx, "checked", B::elementChecked, B::setElementChecked);
    B::defineAccessor(ctx, "id", B::elementId, nullptr);
    B::defineAccessor(ctx, "name", B::elementName, nullptr);
    B::defineAccessor(ctx, "href", B::elementHref, nullptr);
    B::defineAccessor(ctx, "type", B::elementType, nullptr);
    B::defineAccessor(ctx, "tagName", B::elementTagName, nullptr);
    B::defineAccessor(ctx, "nodeName", B::elementTagName, nullptr);
    B::defineAccessor(ctx, "textContent", B::elementText, nullptr);
    B::defineAccessor(ctx, "innerText", B::elementText, nullptr);
    B::defineAccessor(ctx, "form", B::elementForm, nullptr);
    B::defineFunction(ctx, "focus", B::focus, 0);
    B::defineFunction(ctx, "blur", B::blur, 0);
    B::defineFunction(ctx, "click", B::click, 0);
    B::defineFunction(ctx, "submit", B::submit, 0);
    B::defineFunction(ctx, "getAttribute", B::getAttribute, 1);
    B::defineFunction(ctx, "setAttribute", B::setAttribute, 2);
    duk_put_prop_string(ctx, -2, kElementProtoKey);
    duk_pop(ctx); // stash

    duk_push_global_object(ctx);
    duk_dup(ctx, -1);
    duk_put_prop_string(ctx, -2, "window");
    duk_dup(ctx, -1);
    duk_put_prop_string(ctx, -2, "self");

    // location (also document.location)
    duk_push_object(ctx);
    B::defineAccessor(ctx, "href", B::getHref, B::assign);
    B::defineFunction(ctx, "assign", B::assign, 1);
    B::defineFunction(ctx, "replace", B::replace, 1);
    B::defineFunction(ctx, "reload", B::reload, 0);
    B::defineFunction(ctx, "toString", B::getHref, 0);
    duk_dup(ctx, -1);
    duk_put_prop_string(ctx, -3, "location");

    // document
    duk_push_object(ctx);
    duk_swap_top(ctx, -2);
    duk_put_prop_string(ctx, -2, "location");
    B::defineAccessor(ctx, "title", B::getTitle, B::setTitle);
    B::defineAccessor(ctx, "forms", B::getForms, nullptr);
    B::defineAccessor(ctx, "activeElement", B::getActiveElement, nullptr);
    B::defineFunction(ctx, "getElementById", B::getElementById, 1);
    B::defineFunction(ctx, "write", B::nothing, DUK_VARARGS);
    duk_put_prop_string(ctx, -2, "document");

    // history
    duk_push_object(ctx);
    B::defineFunction(ctx, "back", B::back, 0);
    B::defineFunction(ctx, "forward", B::forward, 0);
    B::defineFunction(ctx, "go", B::go, 1);
    duk_put_prop_string(ctx, -2, "history");

    // navigator
    duk_push_object(ctx);
    B::defineAccessor(ctx, "userAgent", B::getUserAgent, nullptr);
    duk_put_prop_string(ctx, -2, "navigator");

    // console: pages log freely; the device keeps its log for itself.
    duk_push_object(ctx);
    B::defineFunction(ctx, "log", B::nothing, DUK_VARARGS);
    B::defineFunction(ctx, "warn", B::nothing, DUK_VARARGS);
    B::defineFunction(ctx, "error", B::nothing, DUK_VARARGS);
    duk_put_prop_string(ctx, -2, "console");

    B::defineFunction(ctx, "setTimeout", B::setTimeout, 2);
    B::defineFunction(ctx, "setInterval", B::setInterval, 2);
    B::defineFunction(ctx, "clearTimeout", B::clearTimer, 1);
    B::defineFunction(ctx, "clearInterval", B::clearTimer, 1);
    B::defineFunction(ctx, "alert", B::nothing, DUK_VARARGS);
    duk_pop(ctx); // global
}

namespace {

// duk_safe_call body: ToString of the value on the stack top.
duk_ret_t toStringSafely(duk_context* ctx, void*) {
    duk_to_string(ctx, -1);
    return 1;
}

std::string errorText(duk_context* ctx) {
    // The error object's .stack or ToString, without running into another error.
    if (duk_is_error(ctx, -1)) {
        duk_get_prop_string(ctx, -1, "message");
        std::string message = stringAt(ctx, -1);
        duk_pop(ctx);
        duk_get_prop_string(ctx, -1, "name");
        std::string name = stringAt(ctx, -1);
        duk_pop(ctx);
        return name.empty() ? message : name + ": " + message;
    }
    return stringAt(ctx, -1);
}

} // namespace

Result<std::string> ScriptEngine::evaluate(std::string_view source, std::string_view fileName) {
    duk_context* ctx = m_context;
    enter();
    duk_push_lstring(ctx, source.data(), source.size());
    duk_push_lstring(ctx, fileName.data(), fileName.size());
    duk_int_t status = duk_pcompile(ctx, DUK_COMPILE_EVAL);
    if (status == DUK_EXEC_SUCCESS)
        status = duk_pcall(ctx, 0);
    if (status != DUK_EXEC_SUCCESS) {
        std::string message = errorText(ctx);
        duk_pop(ctx);
        leave();
        return Error("MurmeloScriptErrorDomain", 1, message);
    }
    std::string result;
    if (!duk_is_undefined(ctx, -1) && !duk_is_null(ctx, -1)) {
        if (duk_safe_call(ctx, toStringSafely, nullptr, 1, 1) == DUK_EXEC_SUCCESS) {
            const char* text = duk_get_string(ctx, -1);
            result = utf8FromCesu8(text ? text : "");
        } else {
            std::string message = errorText(ctx);
            duk_pop(ctx);
            leave();
            return Error("MurmeloScriptErrorDomain", 1, message);
        }
    }
    duk_pop(ctx);
    leave();
    return result;
}

void ScriptEngine::runInlineScripts() {
    std::vector<const DomNode*> scripts;
    walkDom(m_host.scriptDocument().root(), [&](const DomNode& node) {
        if (!node.isElement("script"))
            return true;
        std::string type = node.attributeOr("type");
        for (char& c : type) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        bool javascript = type.empty() || type == "text/javascript" || type == "application/javascript" ||
                          type == "text/ecmascript" || type == "application/x-javascript";
        if (javascript && !node.hasAttribute("src"))
            scripts.push_back(&node);
        return false;
    });
    // Collect the texts first: a script may change the document.
    std::vector<std::string> sources;
    for (const DomNode* script : scripts)
        sources.push_back(script->textContent());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        auto result = evaluate(sources[i], "inline script " + std::to_string(i + 1));
        if (!result)
            logLine("web view: script error: %s", result.error().localizedDescription().c_str());
    }
}

int ScriptEngine::addTimer(double delaySeconds, bool repeats) {
    duk_context* ctx = m_context;
    int id = m_nextTimer++;
    // Keep the callback (stack top) reachable in the stash under the id.
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kTimersKey);
    duk_dup(ctx, -3);
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(id));
    duk_pop_3(ctx);
    double interval = repeats ? std::max(delaySeconds, 0.01) : delaySeconds;
    PageTimer timer;
    timer.repeats = repeats;
    timer.timer =
        Timer(interval, repeats ? Timer::Repeats::Yes : Timer::Repeats::No, [this, id] { fireTimer(id); });
    m_timers[id] = std::move(timer);
    return id;
}

void ScriptEngine::removeTimer(int id) {
    auto found = m_timers.find(id);
    if (found == m_timers.end())
        return;
    // Not destroyed here: this may run inside the timer's own callback.
    found->second.timer.invalidate();
    m_timers.erase(found);
    duk_context* ctx = m_context;
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kTimersKey);
    duk_del_prop_index(ctx, -1, static_cast<duk_uarridx_t>(id));
    duk_pop_2(ctx);
}

void ScriptEngine::fireTimer(int id) {
    auto found = m_timers.find(id);
    if (found == m_timers.end())
        return;
    bool repeats = found->second.repeats;
    duk_context* ctx = m_context;
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kTimersKey);
    duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(id));
    if (!repeats) {
        // A one-shot timer is done once it fires; its Timer is spent already.
        duk_del_prop_index(ctx, -2, static_cast<duk_uarridx_t>(id));
        found->second.timer = Timer();
    }
    duk_remove(ctx, -2);
    duk_remove(ctx, -2);
    enter();
    if (duk_is_function(ctx, -1)) {
        if (duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS)
            logLine("web view: script error in a timer: %s", errorText(ctx).c_str());
    }
    duk_pop(ctx);
    leave();
    if (!repeats)
        m_timers.erase(id);
}

std::size_t ScriptEngine::timersDueWithin(double seconds) const {
    double limit = RunLoop::dateAfter(seconds);
    std::size_t count = 0;
    for (const auto& [id, timer] : m_timers) {
        if (timer.timer.isValid() && timer.timer.fireDate() <= limit)
            ++count;
    }
    return count;
}

void ScriptEngine::cancelTimers() {
    std::vector<int> ids;
    for (const auto& [id, timer] : m_timers)
        ids.push_back(id);
    for (int id : ids)
        removeTimer(id);
}

} // namespace murmelo::web
