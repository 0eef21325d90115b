#include "platform/web/ScriptEngine.h"

#include <duktape.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>

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

// Heap room kept beyond the page's limit for the engine's own work after a
// script hit it (reading the error, the timer table), so that work never fails.
constexpr std::size_t kHostReserve = std::size_t{1} << 20;
constexpr const char* kTimeoutText = "RangeError: execution timeout";

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

// A script's number as an int; NaN and out-of-range values (which a plain
// cast would make undefined behaviour) give 0 or the nearest bound.
int clampedInt(double value) {
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return 2147483647;
    if (value <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int>(value);
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

    // The argument as text for the host, charged to the page's memory (the
    // growth over `replaced`, the text it replaces). Past the limit it throws
    // a RangeError, before any C++ object of the caller exists.
    static std::string_view hostText(duk_context* ctx, duk_idx_t index, std::size_t replaced = 0) {
        if (duk_is_undefined(ctx, index) || duk_is_null(ctx, index))
            return {};
        duk_size_t length = 0;
        const char* text = duk_safe_to_lstring(ctx, index, &length);
        auto growth = static_cast<std::ptrdiff_t>(length) - static_cast<std::ptrdiff_t>(replaced);
        if (!engineOf(ctx).chargeHost(growth))
            (void)duk_range_error(ctx, "page memory limit reached");
        return {text ? text : "", text ? length : 0};
    }
    static void navigate(duk_context* ctx, ScriptHost::Navigation navigation) {
        std::string_view text = hostText(ctx, 0);
        // Held by the posted navigation until the run is over.
        engineOf(ctx).m_runHostBytes += text.size();
        engineOf(ctx).m_host.scriptNavigate(utf8FromCesu8(text), navigation);
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
        std::string_view text = hostText(ctx, 0, engine.m_host.scriptDocument().title().size());
        engine.m_host.scriptDocument().setTitle(utf8FromCesu8(text));
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
        navigate(ctx, ScriptHost::Navigation::Assign);
        return 0;
    }
    static duk_ret_t replace(duk_context* ctx) {
        navigate(ctx, ScriptHost::Navigation::Replace);
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
        int delta = duk_is_number(ctx, 0) ? clampedInt(duk_get_number(ctx, 0)) : 0;
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
            engineOf(ctx).removeTimer(clampedInt(duk_get_number(ctx, 0)));
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
        DomNode* node = nodeOfThis(ctx);
        if (!node)
            return 0;
        std::string_view text = hostText(ctx, 0, node->liveValue() ? node->liveValue()->size() : 0);
        node->setLiveValue(utf8FromCesu8(text));
        engineOf(ctx).m_host.scriptDocumentChanged();
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
        DomNode* node = nodeOfThis(ctx);
        if (!node)
            return 0;
        const char* rawName = duk_safe_to_string(ctx, 0);
        const std::string* old = node->attribute(lowerName(rawName ? rawName : ""));
        std::size_t replaced = old ? old->size() : 0;
        std::string_view name = hostText(ctx, 0, old && rawName ? std::string_view(rawName).size() : 0);
        std::string_view value = hostText(ctx, 1, replaced);
        node->setAttribute(lowerName(std::string(name).c_str()), utf8FromCesu8(value));
        engineOf(ctx).m_host.scriptDocumentChanged();
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

// Every block of the heap carries its size and sits in the engine's list, so
// the heap is counted exactly and can be released without duktape.
struct ScriptEngine::Block {
    Block* previous;
    Block* next;
    std::size_t size;
    std::size_t unused;
};

ScriptEngine::ScriptEngine(ScriptHost& host, const ScriptLimits& limits) : m_host(host), m_limits(limits) {
    m_context = duk_create_heap(allocate, reallocate, release, this, fatal);
    m_phase = Phase::Installing;
    if (m_context && m_heapUsed > m_limits.heapBytes)
        destroyHeap();
    if (!m_context) {
        logLine("web view: no script engine for the page (heap limit %zu bytes)", m_limits.heapBytes);
        return;
    }
    if (!protect([this](duk_context*) { installGlobals(); })) {
        destroyHeap();
        logLine("web view: no script engine for the page (heap limit %zu bytes)", m_limits.heapBytes);
        return;
    }
    m_phase = Phase::Ready;
}

ScriptEngine::ScriptEngine(ScriptHost& host, double timeBudgetSeconds)
    : ScriptEngine(host, ScriptLimits{.timeBudgetSeconds = timeBudgetSeconds}) {}

ScriptEngine::~ScriptEngine() {
    m_timers.clear();
    destroyHeap();
}

void ScriptEngine::destroyHeap() {
    if (m_context) {
        std::jmp_buf recovery;
        m_recovery = &recovery;
        if (setjmp(recovery) == 0)
            duk_destroy_heap(m_context);
        m_recovery = nullptr;
    }
    endScripting(nullptr); // whatever a failed destruction left
}

void* ScriptEngine::allocate(void* udata, std::size_t size) {
    static_assert(sizeof(Block) % alignof(std::max_align_t) == 0, "blocks keep malloc's alignment");
    auto& engine = *static_cast<ScriptEngine*>(udata);
    if (size > std::numeric_limits<std::size_t>::max() - sizeof(Block) ||
        !engine.mayGrow(sizeof(Block) + size))
        return nullptr;
    auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
    if (!block)
        return nullptr;
    block->size = size;
    block->previous = nullptr;
    block->next = engine.m_blocks;
    if (engine.m_blocks)
        engine.m_blocks->previous = block;
    engine.m_blocks = block;
    engine.m_heapUsed += sizeof(Block) + size;
    return block + 1;
}

void* ScriptEngine::reallocate(void* udata, void* pointer, std::size_t size) {
    if (!pointer)
        return allocate(udata, size);
    auto& engine = *static_cast<ScriptEngine*>(udata);
    Block* block = static_cast<Block*>(pointer) - 1;
    const std::size_t oldSize = block->size;
    if (size > oldSize &&
        (size > std::numeric_limits<std::size_t>::max() - sizeof(Block) || !engine.mayGrow(size - oldSize)))
        return nullptr;
    Block* previous = block->previous;
    Block* next = block->next;
    auto* moved = static_cast<Block*>(std::realloc(block, sizeof(Block) + size));
    if (!moved)
        return nullptr; // the old block is untouched, and still linked
    moved->size = size;
    (previous ? previous->next : engine.m_blocks) = moved;
    if (next)
        next->previous = moved;
    engine.m_heapUsed = engine.m_heapUsed - oldSize + size;
    return moved + 1;
}

void ScriptEngine::release(void* udata, void* pointer) {
    if (!pointer)
        return;
    auto& engine = *static_cast<ScriptEngine*>(udata);
    Block* block = static_cast<Block*>(pointer) - 1;
    (block->previous ? block->previous->next : engine.m_blocks) = block->next;
    if (block->next)
        block->next->previous = block->previous;
    engine.m_heapUsed -= sizeof(Block) + block->size;
    std::free(block);
}

// Duktape reaches this only for an error no protected call caught; every
// entry is protected, so it would be a bug of duktape or ours. It must not
// return: it jumps back to the outermost entry, which ends the page's scripting.
void ScriptEngine::fatal(void* udata, const char* message) {
    auto* engine = static_cast<ScriptEngine*>(udata);
    logLine("web view: script engine fatal error: %s", message ? message : "");
    if (engine && engine->m_recovery)
        std::longjmp(*engine->m_recovery, 1);
    // Unreachable: no duktape call is made outside an entry with a recovery point.
    std::abort();
}

bool ScriptEngine::mayGrow(std::size_t bytes) const {
    if (m_inScript && overBudget())
        return false;
    // Duktape cannot survive a failed allocation while it builds its heap (an
    // uncaught error with no memory to describe it recurses until the stack
    // ends), so creation is not limited; the engine is dropped after it if
    // the heap alone is over the limit. The reserve is for the engine's own
    // work once the page's scripts run.
    if (m_phase == Phase::Creating)
        return true;
    const std::size_t limit = m_limits.heapBytes + (m_inScript || m_phase != Phase::Ready ? 0 : kHostReserve);
    const std::size_t used = m_heapUsed + m_hostBytes;
    return used <= limit && bytes <= limit - used;
}

bool ScriptEngine::chargeHost(std::ptrdiff_t bytes) {
    if (bytes <= 0) {
        m_hostBytes -= std::min(m_hostBytes, static_cast<std::size_t>(-bytes));
        return true;
    }
    if (!mayGrow(static_cast<std::size_t>(bytes)))
        return false;
    m_hostBytes += static_cast<std::size_t>(bytes);
    return true;
}

template <typename Body> bool ScriptEngine::protect(Body&& body) {
    if (!m_context)
        return false;
    using BodyType = std::remove_reference_t<Body>;
    auto call = [](duk_context* ctx, void* udata) -> duk_ret_t {
        (*static_cast<BodyType*>(udata))(ctx);
        return 0;
    };
    if (m_recovery) {
        bool done = duk_safe_call(m_context, call, &body, 0, 1) == DUK_EXEC_SUCCESS;
        duk_pop(m_context);
        return done;
    }
    std::jmp_buf recovery;
    m_recovery = &recovery;
    if (setjmp(recovery) != 0) {
        m_recovery = nullptr;
        endScripting("a fatal error");
        return false;
    }
    bool done = duk_safe_call(m_context, call, &body, 0, 1) == DUK_EXEC_SUCCESS;
    duk_pop(m_context);
    m_recovery = nullptr;
    return done;
}

template <typename Body> void ScriptEngine::asScript(Body&& body) {
    bool wasInScript = m_inScript;
    m_inScript = true;
    body();
    m_inScript = wasInScript;
}

void ScriptEngine::endScripting(const char* why) {
    if (why)
        logLine("web view: the page's scripts end after %s", why);
    m_context = nullptr;
    for (auto& [id, timer] : m_timers)
        timer.timer.invalidate();
    m_timers.clear();
    while (m_blocks) {
        Block* next = m_blocks->next;
        std::free(m_blocks);
        m_blocks = next;
    }
    m_heapUsed = 0;
}

bool ScriptEngine::overBudget() const {
    return m_inScript && monotonicSeconds() > m_deadline;
}

void ScriptEngine::enter() {
    if (m_depth++ == 0)
        m_deadline = monotonicSeconds() + m_limits.timeBudgetSeconds;
}

void ScriptEngine::leave() {
    if (--m_depth > 0)
        return;
    chargeHost(-static_cast<std::ptrdiff_t>(m_runHostBytes));
    m_runHostBytes = 0;
    if (monotonicSeconds() <= m_deadline || m_timersStopped)
        return;
    if (++m_overruns < m_limits.overrunsBeforeTimersStop)
        return;
    m_timersStopped = true;
    cancelTimers();
    logLine("web view: the page's scripts ran over their time budget %d times; its timers are stopped",
            m_overruns);
}

void ScriptEngine::installGlobals() {
    duk_context* ctx = m_context;
    using B = Bindings;

    // Duktape's own global would let a page register finalizers, which run
    // outside any script run and so outside its budget.
    duk_push_global_object(ctx);
    duk_del_prop_string(ctx, -1, "Duktape");
    duk_pop(ctx);

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

std::string errorText(duk_context* ctx) {
    // The error's name and message, without running into another error.
    if (duk_is_error(ctx, -1)) {
        duk_get_prop_string(ctx, -1, "message");
        duk_get_prop_string(ctx, -2, "name");
        const char* name = duk_is_string(ctx, -1) ? duk_get_string(ctx, -1) : "";
        const char* message = duk_is_string(ctx, -2) ? duk_get_string(ctx, -2) : "";
        std::string text = *name ? std::string(name) + ": " + message : std::string(message);
        duk_pop_2(ctx);
        return utf8FromCesu8(text);
    }
    return stringAt(ctx, -1);
}

} // namespace

Result<std::string> ScriptEngine::evaluate(std::string_view source, std::string_view fileName) {
    // Filled inside the protected call, where a throw would skip destructors.
    std::string result;
    std::optional<std::string> error;
    enter();
    bool completed = protect([&](duk_context* ctx) {
        duk_push_lstring(ctx, source.data(), source.size());
        duk_push_lstring(ctx, fileName.data(), fileName.size());
        duk_int_t status = DUK_EXEC_ERROR;
        asScript([&] {
            status = duk_pcompile(ctx, DUK_COMPILE_EVAL);
            if (status == DUK_EXEC_SUCCESS)
                status = duk_pcall(ctx, 0);
        });
        if (status == DUK_EXEC_SUCCESS && !duk_is_undefined(ctx, -1) && !duk_is_null(ctx, -1)) {
            duk_push_c_function(
                ctx,
                [](duk_context* c) -> duk_ret_t {
                    duk_to_string(c, 0);
                    return 1;
                },
                1);
            duk_swap_top(ctx, -2);
            asScript([&] { status = duk_pcall(ctx, 1); }); // a toString() of the page's own
        }
        if (status != DUK_EXEC_SUCCESS) {
            // Past the deadline the error may be any failure the budget caused.
            if (monotonicSeconds() > m_deadline)
                error = kTimeoutText;
            else
                asScript([&] { error = errorText(ctx); }); // may run the thrown object's toString()
        } else if (duk_is_string(ctx, -1)) {
            duk_size_t length = 0;
            const char* text = duk_get_lstring(ctx, -1, &length);
            result = utf8FromCesu8(std::string_view(text, length));
        }
        duk_pop(ctx);
    });
    if (!completed && !error)
        error = !isAlive()                        ? "the page's scripts have ended"
                : monotonicSeconds() > m_deadline ? kTimeoutText
                                                  : "RangeError: the page's script memory is exhausted";
    leave();
    if (error)
        return Error("MurmeloScriptErrorDomain", 1, *error);
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
    if (m_timersStopped || m_timers.size() >= m_limits.maxPendingTimers) {
        duk_pop(ctx);
        return 0;
    }
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
    protect([id](duk_context* ctx) {
        duk_push_global_stash(ctx);
        duk_get_prop_string(ctx, -1, kTimersKey);
        duk_del_prop_index(ctx, -1, static_cast<duk_uarridx_t>(id));
        duk_pop_2(ctx);
    });
}

void ScriptEngine::fireTimer(int id) {
    auto found = m_timers.find(id);
    if (found == m_timers.end())
        return;
    const bool repeats = found->second.repeats;
    if (!repeats)
        found->second.timer = Timer(); // a one-shot timer is spent once it fires
    enter();
    protect([&](duk_context* ctx) {
        duk_push_global_stash(ctx);
        duk_get_prop_string(ctx, -1, kTimersKey);
        duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(id));
        if (!repeats)
            duk_del_prop_index(ctx, -2, static_cast<duk_uarridx_t>(id));
        duk_remove(ctx, -2);
        duk_remove(ctx, -2);
        if (duk_is_function(ctx, -1)) {
            asScript([&] {
                if (duk_pcall(ctx, 0) != DUK_EXEC_SUCCESS)
                    logLine("web view: script error in a timer: %s",
                            monotonicSeconds() > m_deadline ? kTimeoutText : errorText(ctx).c_str());
            });
        }
        duk_pop(ctx);
    });
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
