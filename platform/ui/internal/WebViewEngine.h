// WebView::Engine: everything behind the web view — the navigation (ask the
// delegate, load over a URL connection, commit), the back/forward list, the
// document with its page model and script engine, and the interaction API.
//
// When the delegate hears what (all on the main run loop):
// - shouldStartLoadWithRequest: synchronously inside the call that starts a
//   navigation (loadRequest, reload, goBack/goForward, clickLink,
//   submitForm), inside the connection's redirect callback for redirects, and
//   in a run-loop task for navigations a script asks for (scripts never wait
//   on the delegate).
// - webViewDidStartLoad: in a run-loop task right after a navigation was
//   accepted, before the connection starts; never inside loadRequest.
// - then exactly one of webViewDidFinishLoad (after the inline scripts ran)
//   or didFailLoadWithError. A load that is replaced or stopped after its
//   start was reported fails with NSURLErrorCancelled; one replaced before
//   that reports nothing. An accepted address with a scheme the view cannot
//   load fails with NSURLErrorUnsupportedURL without a start.
//
// request(): set when a navigation is accepted (the request being loaded),
// replaced by each accepted redirect, and put back to the shown page's
// request when a load fails or is stopped.
//
// Main thread only. Owned by its WebView; holds the delegate weakly through
// the view; cancels its connection and timers when destroyed.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/WeakPtr.h"
#include "platform/net/URLConnection.h"
#include "platform/ui/WebView.h"
#include "platform/web/HtmlDocument.h"
#include "platform/web/PageBuilder.h"
#include "platform/web/ScriptEngine.h"

namespace murmelo {

class WebView::Engine : public web::ScriptHost {
public:
    explicit Engine(WebView& view);
    ~Engine() override;

    // How an accepted navigation changes the back/forward list.
    struct Commit {
        enum class Kind { Push, Replace, Stay, Jump };
        Kind kind = Kind::Push;
        std::size_t index = 0; // Jump: the entry
    };

    struct HistoryItem {
        URLRequest request;
        std::optional<std::string> html; // loadHTMLString: the markup itself
    };

    void navigate(const URLRequest& request, WebViewNavigationType type, Commit commit,
                  std::optional<std::string> html = std::nullopt);
    void reload();
    void stopLoading();
    void goToHistoryIndex(std::size_t index);
    bool canGoBack() const { return m_historyIndex && *m_historyIndex > 0; }
    bool canGoForward() const { return m_historyIndex && *m_historyIndex + 1 < m_history.size(); }
    bool isLoading() const { return m_load != nullptr; }
    std::optional<std::size_t> historyIndex() const { return m_historyIndex; }

    std::string evaluate(std::string_view script);
    const WebPage& page() const;
    Result<void> clickLink(std::size_t index);
    Result<void> setFormField(std::size_t formIndex, std::string_view name, std::string_view value);
    Result<void> submitForm(std::size_t formIndex, std::optional<std::string_view> submitter);

    // Loads and scheduled navigations not yet ended (for "settle").
    std::size_t busyCount() const { return (m_load ? 1 : 0) + m_scheduledNavigations; }
    std::size_t timersDueWithin(double seconds) const;

    // ---- ScriptHost
    web::HtmlDocument& scriptDocument() override { return *m_document; }
    std::string scriptLocation() override;
    std::string scriptUserAgent() override;
    void scriptNavigate(const std::string& url, Navigation navigation) override;
    void scriptReload() override;
    void scriptHistoryGo(int delta) override;
    void scriptDocumentChanged() override;
    void scriptSubmitForm(web::DomNode& form) override;
    void scriptClick(web::DomNode& element) override;

    // All live engines (main thread only), for the process-wide counts.
    static std::vector<Engine*>& all();

private:
    class LoadDelegate;
    struct Load;

    std::shared_ptr<WebViewDelegate> delegate() const { return m_view.delegate(); }
    bool askDelegate(const URLRequest& request, WebViewNavigationType type);
    void begin(std::unique_ptr<Load> load);
    void started(unsigned long generation);
    void failCurrent(const Error& error, bool reportable);
    void finished(unsigned long generation);
    void commitDocument(const std::string& html, const std::optional<URL>& url, const Load& load);
    void commitPlainText(const std::string& text, const std::optional<URL>& url, const Load& load);
    void afterCommit(const Load& load);
    void scheduleNavigation(URLRequest request, WebViewNavigationType type, Commit commit);
    void ensurePage() const;
    std::optional<URL> documentURL() const;
    std::optional<URL> baseURL() const;
    void runJavaScriptURL(const URL& url);
    Result<void> followLink(web::DomNode* node, const std::string& url);
    Result<void> submit(std::size_t formIndex, std::optional<std::size_t> submitter);

    // LoadDelegate callbacks.
    std::optional<URLRequest> willSendRequest(unsigned long generation, const URLRequest& request,
                                              const URLResponse* redirect);
    void didReceiveResponse(unsigned long generation, const URLResponse& response);
    void didReceiveData(unsigned long generation, const Data& data);
    void didFinishLoading(unsigned long generation);
    void didFail(unsigned long generation, const Error& error);

    WebView& m_view;
    unsigned long m_generation = 0;
    std::unique_ptr<Load> m_load;
    std::size_t m_scheduledNavigations = 0;

    std::vector<HistoryItem> m_history;
    std::optional<std::size_t> m_historyIndex;
    std::optional<URLRequest> m_shownRequest; // the request of the page shown

    std::unique_ptr<web::HtmlDocument> m_document;
    std::optional<URL> m_documentURL;
    std::unique_ptr<web::ScriptEngine> m_scripts;
    mutable web::BuiltPage m_built;
    mutable bool m_pageStale = false;
    unsigned long m_boundaryCounter = 0;
    // Last member; posted calls and the connection's delegate hold WeakPtrs.
    WeakFactory<Engine> m_weak{this};
};

} // namespace murmelo
