#include "platform/ui/internal/WebViewEngine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/core/Log.h"
#include "platform/net/URLConnectionError.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/ScreenChanges.h"
#include "platform/web/FormSubmission.h"
#include "platform/web/HtmlEscape.h"
#include "platform/web/TextDecoding.h"

namespace murmelo {

namespace {

constexpr const char* kWebViewErrorDomain = "MurmeloWebViewErrorDomain";
// A page bigger than this is not shown (the load fails).
constexpr std::size_t kMaxPageBytes = URLConnection::kDefaultMaxBodyBytes;

Error interactionError(long code, std::string description) {
    return Error(kWebViewErrorDomain, code, std::move(description));
}

bool isAboutBlank(const URL& url) {
    return url.hasScheme("about");
}

// The address without its fragment.
std::string withoutFragment(const URL& url) {
    const std::string& text = url.absoluteString();
    return text.substr(0, text.find('#'));
}

bool isSubmitButton(const WebFormField& field) {
    return field.type == "submit" || field.type == "image";
}

} // namespace

// ---- the connection's delegate: forwards to the engine while its load is current

class WebView::Engine::LoadDelegate : public URLConnectionDelegate {
public:
    LoadDelegate(WeakPtr<Engine> engine, unsigned long generation)
        : m_engine(std::move(engine)), m_generation(generation) {}

    std::optional<URLRequest> willSendRequest(URLConnection&, const URLRequest& request,
                                              const URLResponse* redirect) override {
        if (!m_engine)
            return std::nullopt;
        return m_engine->willSendRequest(m_generation, request, redirect);
    }
    void didReceiveResponse(URLConnection&, const URLResponse& response) override {
        if (m_engine)
            m_engine->didReceiveResponse(m_generation, response);
    }
    void didReceiveData(URLConnection&, const Data& data) override {
        if (m_engine)
            m_engine->didReceiveData(m_generation, data);
    }
    void connectionDidFinishLoading(URLConnection&) override {
        if (m_engine)
            m_engine->didFinishLoading(m_generation);
    }
    void didFailWithError(URLConnection&, const Error& error) override {
        if (m_engine)
            m_engine->didFail(m_generation, error);
    }

private:
    WeakPtr<Engine> m_engine;
    unsigned long m_generation;
};

struct WebView::Engine::Load {
    explicit Load(URLRequest first) : request(std::move(first)) {}
    unsigned long generation = 0;
    URLRequest request; // the latest accepted (after redirects)
    WebViewNavigationType type = WebViewNavigationType::Other;
    Commit commit;
    std::optional<std::string> html;
    std::shared_ptr<URLConnection> connection;
    std::optional<URLResponse> response;
    std::string body;
    bool startReported = false;
};

std::vector<WebView::Engine*>& WebView::Engine::all() {
    // The live web views of the process; main thread only.
    static std::vector<Engine*> engines;
    return engines;
}

WebView::Engine::Engine(WebView& view)
    : m_view(view), m_document(web::HtmlDocument::parse("")),
      m_scripts(std::make_unique<web::ScriptEngine>(*this, WebView::scriptLimits())) {
    m_built = web::buildPage(*m_document, std::nullopt);
    all().push_back(this);
}

WebView::Engine::~Engine() {
    std::erase(all(), this);
    // Cancelling below must not reach back into a half-destroyed engine.
    m_weak.invalidate();
    if (m_load && m_load->connection)
        m_load->connection->cancel();
    m_scripts.reset();
}

// ---- navigation

bool WebView::Engine::askDelegate(const URLRequest& request, WebViewNavigationType type) {
    if (auto delegate = this->delegate())
        return delegate->shouldStartLoadWithRequest(m_view, request, type);
    return true;
}

void WebView::Engine::navigate(const URLRequest& request, WebViewNavigationType type, Commit commit,
                               std::optional<std::string> html) {
    if (!askDelegate(request, type))
        return;
    const URL& url = request.url;
    if (!html && !url.isHTTPFamily() && !isAboutBlank(url)) {
        // Nothing here loads this scheme: the load fails without starting.
        ++m_scheduledNavigations;
        auto alive = m_weak.weakPtr();
        Error error = urlError(URLErrorCode::UnsupportedURL, url.absoluteString());
        RunLoop::current().post([this, alive, error] {
            if (!alive)
                return;
            --m_scheduledNavigations;
            if (auto delegate = this->delegate())
                delegate->didFailLoadWithError(m_view, error);
        });
        return;
    }
    // A jump to another fragment of the page shown loads nothing.
    if (!html && !m_load && type != WebViewNavigationType::Reload && request.HTTPMethod == "GET" &&
        url.fragment() && m_documentURL && m_shownRequest && m_shownRequest->HTTPMethod == "GET" &&
        withoutFragment(url) == withoutFragment(*m_documentURL)) {
        m_view.m_request = request;
        m_shownRequest = request;
        m_documentURL = url;
        if (commit.kind == Commit::Kind::Push) {
            if (m_historyIndex)
                m_history.erase(m_history.begin() + static_cast<std::ptrdiff_t>(*m_historyIndex) + 1,
                                m_history.end());
            m_history.push_back(HistoryItem{request, std::nullopt});
            m_historyIndex = m_history.size() - 1;
        } else if (commit.kind == Commit::Kind::Jump) {
            m_historyIndex = commit.index;
        }
        m_pageStale = true;
        ScreenChanges::note();
        return;
    }
    auto load = std::make_unique<Load>(request);
    load->generation = ++m_generation;
    load->type = type;
    load->commit = commit;
    load->html = std::move(html);
    begin(std::move(load));
}

void WebView::Engine::begin(std::unique_ptr<Load> load) {
    if (m_load) {
        std::unique_ptr<Load> old = std::move(m_load);
        if (old->connection)
            old->connection->cancel();
        if (old->startReported) {
            if (auto delegate = this->delegate())
                delegate->didFailLoadWithError(
                    m_view, urlError(URLErrorCode::Cancelled, old->request.url.absoluteString()));
        }
        // The delegate may have started yet another navigation meanwhile; this one still goes ahead.
        if (m_load) {
            std::unique_ptr<Load> newer = std::move(m_load);
            if (newer->connection)
                newer->connection->cancel();
        }
    }
    m_view.m_request = load->request;
    unsigned long generation = load->generation;
    m_load = std::move(load);
    auto alive = m_weak.weakPtr();
    RunLoop::current().post([this, alive, generation] {
        if (alive)
            started(generation);
    });
}

void WebView::Engine::started(unsigned long generation) {
    if (!m_load || m_load->generation != generation)
        return;
    m_load->startReported = true;
    if (auto delegate = this->delegate())
        delegate->webViewDidStartLoad(m_view);
    if (!m_load || m_load->generation != generation)
        return; // stopped or replaced by the delegate
    if (m_load->html || isAboutBlank(m_load->request.url)) {
        finished(generation);
        return;
    }
    auto loadDelegate = std::make_shared<LoadDelegate>(m_weak.weakPtr(), generation);
    m_load->connection =
        URLConnection::create(m_load->request, loadDelegate, URLConnection::StartImmediately::No);
    m_load->connection->start();
}

void WebView::Engine::failCurrent(const Error& error, bool reportable) {
    if (!m_load)
        return;
    std::unique_ptr<Load> load = std::move(m_load);
    if (load->connection)
        load->connection->cancel();
    if (reportable && load->startReported) {
        if (auto delegate = this->delegate())
            delegate->didFailLoadWithError(m_view, error);
    }
}

void WebView::Engine::stopLoading() {
    if (m_load)
        failCurrent(urlError(URLErrorCode::Cancelled, m_load->request.url.absoluteString()), true);
}

void WebView::Engine::reload() {
    const std::optional<URLRequest>& current = m_view.m_request;
    if (!current)
        return;
    std::optional<std::string> html;
    if (m_historyIndex && m_history[*m_historyIndex].html &&
        m_history[*m_historyIndex].request.url == current->url)
        html = m_history[*m_historyIndex].html;
    auto type = current->HTTPMethod == "POST" ? WebViewNavigationType::FormResubmitted
                                              : WebViewNavigationType::Reload;
    URLRequest request = *current;
    navigate(request, type, Commit{Commit::Kind::Stay}, std::move(html));
}

void WebView::Engine::goToHistoryIndex(std::size_t index) {
    if (index >= m_history.size())
        return;
    HistoryItem item = m_history[index];
    auto type = item.request.HTTPMethod == "POST" ? WebViewNavigationType::FormResubmitted
                                                  : WebViewNavigationType::BackForward;
    navigate(item.request, type, Commit{Commit::Kind::Jump, index}, item.html);
}

// ---- the connection's callbacks

std::optional<URLRequest> WebView::Engine::willSendRequest(unsigned long generation,
                                                           const URLRequest& request,
                                                           const URLResponse* redirect) {
    if (!m_load || m_load->generation != generation)
        return std::nullopt;
    if (!redirect)
        return request;
    bool allowed = askDelegate(request, WebViewNavigationType::Other);
    if (!m_load || m_load->generation != generation)
        return std::nullopt; // the delegate stopped or replaced the load
    if (!allowed) {
        failCurrent(Error(std::string(WebView::kWebKitErrorDomain), WebView::kFrameLoadInterrupted,
                          "Frame load interrupted")
                        .withUserInfo(
                            Dictionary{{kURLErrorFailingURLStringKey, Value(request.url.absoluteString())}}),
                    true);
        return std::nullopt;
    }
    if (!request.url.isHTTPFamily()) {
        failCurrent(urlError(URLErrorCode::UnsupportedURL, request.url.absoluteString()), true);
        return std::nullopt;
    }
    m_load->request = request;
    m_view.m_request = request;
    return request;
}

void WebView::Engine::didReceiveResponse(unsigned long generation, const URLResponse& response) {
    if (!m_load || m_load->generation != generation)
        return;
    m_load->response = response;
    m_load->body.clear();
}

void WebView::Engine::didReceiveData(unsigned long generation, const Data& data) {
    if (!m_load || m_load->generation != generation)
        return;
    if (m_load->body.size() + data.size() > kMaxPageBytes) {
        failCurrent(urlReplyTooLargeError(m_load->request.url.absoluteString(), kMaxPageBytes), true);
        return;
    }
    m_load->body.append(data.begin(), data.end());
}

void WebView::Engine::didFinishLoading(unsigned long generation) {
    finished(generation);
}

void WebView::Engine::didFail(unsigned long generation, const Error& error) {
    if (!m_load || m_load->generation != generation)
        return;
    failCurrent(error, true);
}

void WebView::Engine::finished(unsigned long generation) {
    if (!m_load || m_load->generation != generation)
        return;
    std::unique_ptr<Load> load = std::move(m_load);
    if (load->html) {
        commitDocument(*load->html, load->request.url, *load);
        return;
    }
    if (isAboutBlank(load->request.url)) {
        commitDocument("", load->request.url, *load);
        return;
    }
    std::optional<URL> url = load->response ? std::optional<URL>(load->response->url.absoluteURL())
                                            : std::optional<URL>(load->request.url.absoluteURL());
    std::string mime = load->response && load->response->MIMEType ? *load->response->MIMEType : "text/html";
    std::optional<std::string> charset = load->response ? load->response->textEncodingName : std::nullopt;
    if (mime == "text/html" || mime == "application/xhtml+xml" || mime.empty()) {
        commitDocument(web::decodeDocument(load->body, charset).utf8, url, *load);
    } else if (mime.starts_with("text/") || mime == "application/json" || mime == "application/javascript") {
        web::DecodedText text =
            web::decodeDocument(load->body, charset ? charset : std::optional<std::string>("utf-8"));
        commitPlainText(text.utf8, url, *load);
    } else if (mime.starts_with("image/")) {
        commitDocument("<img src=\"" + htmlEscape(url ? url->absoluteString() : "") + "\">", url, *load);
    } else {
        // Content a browser would download: nothing to show.
        m_load = std::move(load);
        failCurrent(Error(std::string(WebView::kWebKitErrorDomain), WebView::kFrameLoadInterrupted,
                          "Frame load interrupted"),
                    true);
    }
}

void WebView::Engine::commitPlainText(const std::string& text, const std::optional<URL>& url,
                                      const Load& load) {
    m_scripts.reset();
    m_document = web::HtmlDocument::parse("");
    web::DomNode* body = m_document->body();
    auto& pre = (body ? *body : m_document->root())
                    .appendChild(std::make_unique<web::DomNode>(web::DomNode::Type::Element, "pre"));
    pre.appendChild(std::make_unique<web::DomNode>(web::DomNode::Type::Text, text));
    m_documentURL = url;
    m_scripts = std::make_unique<web::ScriptEngine>(*this, WebView::scriptLimits());
    afterCommit(load);
}

void WebView::Engine::commitDocument(const std::string& html, const std::optional<URL>& url,
                                     const Load& load) {
    // The old page's scripts and timers end with it.
    m_scripts.reset();
    m_document = web::HtmlDocument::parse(html);
    m_documentURL = url;
    m_built = web::buildPage(*m_document, m_documentURL);
    m_pageStale = false;
    m_scripts = std::make_unique<web::ScriptEngine>(*this, WebView::scriptLimits());
    // History first, so scripts see where they are.
    afterCommit(load);
}

void WebView::Engine::afterCommit(const Load& load) {
    HistoryItem item{load.request, load.html};
    switch (load.commit.kind) {
    case Commit::Kind::Push:
        if (m_historyIndex)
            m_history.erase(m_history.begin() + static_cast<std::ptrdiff_t>(*m_historyIndex) + 1,
                            m_history.end());
        m_history.push_back(std::move(item));
        m_historyIndex = m_history.size() - 1;
        break;
    case Commit::Kind::Replace:
    case Commit::Kind::Stay:
        if (m_historyIndex) {
            m_history[*m_historyIndex] = std::move(item);
        } else {
            m_history.push_back(std::move(item));
            m_historyIndex = 0;
        }
        break;
    case Commit::Kind::Jump:
        if (load.commit.index < m_history.size()) {
            m_history[load.commit.index] = std::move(item);
            m_historyIndex = load.commit.index;
        }
        break;
    }
    m_shownRequest = load.request;
    m_pageStale = true;
    ScreenChanges::note();
    m_view.pageCommitted();
    unsigned long generation = m_generation;
    m_scripts->runInlineScripts();
    m_pageStale = true;
    ScreenChanges::note();
    if (m_generation != generation)
        return; // a script navigated synchronously (it never does; kept for safety)
    if (auto delegate = this->delegate())
        delegate->webViewDidFinishLoad(m_view);
}

// ---- scripts

void WebView::Engine::scheduleNavigation(URLRequest request, WebViewNavigationType type, Commit commit) {
    ++m_scheduledNavigations;
    auto alive = m_weak.weakPtr();
    RunLoop::current().post([this, alive, request = std::move(request), type, commit] {
        if (!alive)
            return;
        --m_scheduledNavigations;
        navigate(request, type, commit);
    });
}

std::string WebView::Engine::scriptLocation() {
    return m_documentURL ? m_documentURL->absoluteString() : std::string("about:blank");
}

std::string WebView::Engine::scriptUserAgent() {
    if (m_shownRequest) {
        if (auto agent = m_shownRequest->valueForHTTPHeaderField("User-Agent"))
            return *agent;
    }
    return URLConnection::defaultUserAgent();
}

void WebView::Engine::scriptNavigate(const std::string& text, Navigation navigation) {
    std::optional<URL> url = web::resolveReference(baseURL(), text);
    if (!url)
        return;
    if (url->hasScheme("javascript")) {
        auto alive = m_weak.weakPtr();
        ++m_scheduledNavigations;
        RunLoop::current().post([this, alive, target = *url] {
            if (!alive)
                return;
            --m_scheduledNavigations;
            runJavaScriptURL(target);
        });
        return;
    }
    scheduleNavigation(
        URLRequest(url->absoluteURL()), WebViewNavigationType::Other,
        Commit{navigation == Navigation::Replace ? Commit::Kind::Replace : Commit::Kind::Push});
}

void WebView::Engine::scriptReload() {
    auto alive = m_weak.weakPtr();
    ++m_scheduledNavigations;
    RunLoop::current().post([this, alive] {
        if (!alive)
            return;
        --m_scheduledNavigations;
        reload();
    });
}

void WebView::Engine::scriptHistoryGo(int delta) {
    auto alive = m_weak.weakPtr();
    ++m_scheduledNavigations;
    RunLoop::current().post([this, alive, delta] {
        if (!alive)
            return;
        --m_scheduledNavigations;
        if (!m_historyIndex)
            return;
        long target = static_cast<long>(*m_historyIndex) + delta;
        if (target >= 0 && static_cast<std::size_t>(target) < m_history.size())
            goToHistoryIndex(static_cast<std::size_t>(target));
    });
}

void WebView::Engine::scriptSubmitForm(web::DomNode& form) {
    ensurePage();
    for (std::size_t i = 0; i < m_built.bindings.forms.size(); ++i) {
        if (m_built.bindings.forms[i].node != &form)
            continue;
        auto alive = m_weak.weakPtr();
        ++m_scheduledNavigations;
        RunLoop::current().post([this, alive, i] {
            if (!alive)
                return;
            --m_scheduledNavigations;
            if (auto result = submit(i, std::nullopt); !result)
                logLine("web view: form not submitted: %s", result.error().localizedDescription().c_str());
        });
        return;
    }
}

void WebView::Engine::scriptClick(web::DomNode& element) {
    ensurePage();
    const auto& bindings = m_built.bindings;
    for (std::size_t i = 0; i < bindings.links.size(); ++i) {
        if (bindings.links[i] == &element) {
            auto alive = m_weak.weakPtr();
            ++m_scheduledNavigations;
            RunLoop::current().post([this, alive, i] {
                if (!alive)
                    return;
                --m_scheduledNavigations;
                (void)clickLink(i);
            });
            return;
        }
    }
    for (std::size_t f = 0; f < bindings.forms.size(); ++f) {
        const auto& fields = bindings.forms[f].fields;
        for (std::size_t k = 0; k < fields.size(); ++k) {
            if (fields[k] != &element)
                continue;
            const WebFormField& field = m_built.page.forms[f].fields[k];
            if (field.type == "checkbox") {
                element.setLiveChecked(!field.checked);
                m_pageStale = true;
                ScreenChanges::note();
            } else if (isSubmitButton(field)) {
                auto alive = m_weak.weakPtr();
                ++m_scheduledNavigations;
                RunLoop::current().post([this, alive, f, k] {
                    if (!alive)
                        return;
                    --m_scheduledNavigations;
                    (void)submit(f, k);
                });
            }
            return;
        }
    }
}

void WebView::Engine::runJavaScriptURL(const URL& url) {
    std::string code = url.absoluteString().substr(std::string_view("javascript:").size());
    std::optional<std::string> unescaped = replacingPercentEscapes(code);
    (void)evaluate(unescaped ? *unescaped : code);
}

std::string WebView::Engine::evaluate(std::string_view script) {
    auto result = m_scripts->evaluate(script, "evaluation");
    if (!result) {
        logLine("web view: script error: %s", result.error().localizedDescription().c_str());
        return {};
    }
    m_pageStale = true;
    ScreenChanges::note();
    return *result;
}

void WebView::Engine::scriptDocumentChanged() {
    m_pageStale = true;
    ScreenChanges::note();
}

std::size_t WebView::Engine::timersDueWithin(double seconds) const {
    return m_scripts ? m_scripts->timersDueWithin(seconds) : 0;
}

// ---- the page and acting on it

void WebView::Engine::ensurePage() const {
    if (!m_pageStale)
        return;
    m_built = web::buildPage(*m_document, m_documentURL);
    m_pageStale = false;
}

const WebPage& WebView::Engine::page() const {
    ensurePage();
    return m_built.page;
}

std::optional<URL> WebView::Engine::documentURL() const {
    return m_documentURL;
}

std::optional<URL> WebView::Engine::baseURL() const {
    return web::documentBaseURL(*m_document, m_documentURL);
}

Result<void> WebView::Engine::clickLink(std::size_t index) {
    ensurePage();
    if (index >= m_built.page.links.size())
        return interactionError(1, "no link " + std::to_string(index + 1) + " on the page");
    return followLink(m_built.bindings.links[index], m_built.page.links[index].url);
}

Result<void> WebView::Engine::followLink(web::DomNode*, const std::string& text) {
    std::optional<URL> url = URL::strictParse(text);
    if (!url || !url->scheme())
        return urlError(URLErrorCode::BadURL, text);
    if (url->hasScheme("javascript")) {
        runJavaScriptURL(*url);
        return Result<void>::success();
    }
    navigate(URLRequest(*url), WebViewNavigationType::LinkClicked, Commit{Commit::Kind::Push});
    return Result<void>::success();
}

Result<void> WebView::Engine::setFormField(std::size_t formIndex, std::string_view name,
                                           std::string_view value) {
    ensurePage();
    if (formIndex >= m_built.page.forms.size())
        return interactionError(1, "no form " + std::to_string(formIndex + 1) + " on the page");
    const WebForm& form = m_built.page.forms[formIndex];
    const auto& nodes = m_built.bindings.forms[formIndex].fields;
    std::vector<std::size_t> named;
    for (std::size_t i = 0; i < form.fields.size(); ++i) {
        if (form.fields[i].name == name)
            named.push_back(i);
    }
    if (named.empty())
        return interactionError(1, "the form has no field named \"" + std::string(name) + "\"");
    const WebFormField& first = form.fields[named.front()];
    if (first.disabled)
        return interactionError(3, "the field \"" + std::string(name) + "\" is disabled");
    const std::string& type = first.type;
    if (type == "radio") {
        std::optional<std::size_t> chosen;
        for (std::size_t i : named) {
            if (form.fields[i].value == value)
                chosen = i;
        }
        if (!chosen && value != "off")
            return interactionError(2, "no radio button \"" + std::string(name) + "\" has the value \"" +
                                           std::string(value) + "\"");
        for (std::size_t i : named)
            nodes[i]->setLiveChecked(chosen && i == *chosen);
    } else if (type == "checkbox") {
        bool checked;
        if (value == "on" || value == first.value)
            checked = true;
        else if (value == "off" || value.empty())
            checked = false;
        else
            return interactionError(2, "a checkbox takes \"on\", \"off\" or its value");
        nodes[named.front()]->setLiveChecked(checked);
    } else if (type == "select") {
        if (std::find(first.options.begin(), first.options.end(), value) == first.options.end())
            return interactionError(2, "the list \"" + std::string(name) + "\" has no option \"" +
                                           std::string(value) + "\"");
        nodes[named.front()]->setLiveValue(std::string(value));
    } else if (type == "submit" || type == "image" || type == "button" || type == "reset" || type == "file") {
        return interactionError(2, "the field \"" + std::string(name) + "\" takes no typed value");
    } else {
        std::string text(value);
        if (type != "textarea")
            std::erase_if(text, [](char c) { return c == '\n' || c == '\r'; });
        nodes[named.front()]->setLiveValue(std::move(text));
    }
    m_pageStale = true;
    ScreenChanges::note();
    return Result<void>::success();
}

Result<void> WebView::Engine::submitForm(std::size_t formIndex, std::optional<std::string_view> submitter) {
    ensurePage();
    if (formIndex >= m_built.page.forms.size())
        return interactionError(1, "no form " + std::to_string(formIndex + 1) + " on the page");
    const WebForm& form = m_built.page.forms[formIndex];
    std::optional<std::size_t> button;
    for (std::size_t i = 0; i < form.fields.size(); ++i) {
        const WebFormField& field = form.fields[i];
        if (!isSubmitButton(field) || field.disabled)
            continue;
        if (!submitter || field.name == *submitter || field.label == *submitter) {
            button = i;
            break;
        }
    }
    if (submitter && !button)
        return interactionError(1, "the form has no submit button \"" + std::string(*submitter) + "\"");
    return submit(formIndex, button);
}

Result<void> WebView::Engine::submit(std::size_t formIndex, std::optional<std::size_t> submitter) {
    ensurePage();
    if (formIndex >= m_built.page.forms.size())
        return interactionError(1, "the form is gone");
    char boundary[64];
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    std::snprintf(boundary, sizeof boundary, "----MurmeloFormBoundary%08lx%08llx", ++m_boundaryCounter,
                  static_cast<unsigned long long>(ticks) & 0xFFFFFFFFull);
    MURMELO_TRY_VALUE(auto request,
                      web::formSubmissionRequest(m_built.page.forms[formIndex], submitter, boundary));
    navigate(request, WebViewNavigationType::FormSubmitted, Commit{Commit::Kind::Push});
    return Result<void>::success();
}

} // namespace murmelo
