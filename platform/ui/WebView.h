// WebView: the device's headless browser view — one main frame that loads
// pages over the device's URL connection (shared cookie store, connect-to
// map, redirects, gzip), parses them, runs their small inline scripts
// against a minimal DOM, and keeps a back/forward history.
//
//   auto web = std::make_shared<WebView>(Rect{0, 44, 320, 360});
//   web->setDelegate(controller);              // held weakly
//   web->loadRequest(*URLRequest::requestWithURL("http://host/index.php"));
//   // ... the main run loop runs; the delegate hears, in order:
//   //   shouldStartLoadWithRequest (before every main-frame navigation,
//   //   redirects included; false stops it), webViewDidStartLoad, then
//   //   webViewDidFinishLoad or didFailLoadWithError.
//
// Navigation types (the platform's values): a link click 0, a form
// submission 1, back/forward 2, reload 3, form resubmission 4, anything else
// (programmatic loads, redirects, script navigations) 5. A navigation the
// delegate refuses leaves the current page as it is; a redirect refused
// after the load started fails the load with "WebKitErrorDomain" 102
// "Frame load interrupted". Starting a navigation while one is loading
// cancels the old one (which reports NSURLErrorCancelled, -999).
//
// Scripts: inline <script> runs in document order once the page is parsed,
// then the load finishes. Each script run has a time budget and each page a
// heap limit (scriptLimits()); a script that throws or runs over is abandoned
// and the page goes on. setTimeout callbacks run on the main run loop; a
// page whose runs overran its budget three times has its timers stopped.
//
// Touches and keys: a tap follows the link under the finger, presses a form
// button (submits its form), toggles a checkbox or picks a radio button, or
// gives a text box of the page the keyboard: the web view becomes the first
// responder and what is typed goes into that field; return submits its form
// (a new line in a text area). The page scrolls within the frame
// (scrollBy); a new page starts at the top, without a focused field.
//
// Threading: main thread only. Ownership: the delegate is held weakly; the
// view owns its load and its script engine.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Error.h"
#include "platform/core/Result.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/TextInput.h"
#include "platform/ui/View.h"
#include "platform/web/ScriptLimits.h"
#include "platform/web/WebPage.h"

namespace murmelo {

class WebView;

enum class WebViewNavigationType {
    LinkClicked = 0,
    FormSubmitted = 1,
    BackForward = 2,
    Reload = 3,
    FormResubmitted = 4,
    Other = 5,
};
const char* webViewNavigationTypeName(WebViewNavigationType type);

class WebViewDelegate {
public:
    virtual ~WebViewDelegate() = default;
    // webView:shouldStartLoadWithRequest:navigationType:
    virtual bool shouldStartLoadWithRequest(WebView&, const URLRequest&, WebViewNavigationType) {
        return true;
    }
    virtual void webViewDidStartLoad(WebView&) {}
    virtual void webViewDidFinishLoad(WebView&) {}
    // webView:didFailLoadWithError:
    virtual void didFailLoadWithError(WebView&, const Error&) {}
};

class WebView : public View, public TextInput {
public:
    static constexpr std::string_view kWebKitErrorDomain = "WebKitErrorDomain";
    static constexpr int kFrameLoadInterrupted = 102;
    // Seconds one script run (inline script, timer callback, evaluation)
    // may take before it is abandoned.
    static constexpr double kScriptTimeBudget = 1.0;
    // Bytes one page's scripts may hold.
    static constexpr std::size_t kScriptHeapLimit = std::size_t{64} << 20;

    // The limits for the scripts of pages committed from now on, process-wide
    // (tests make them small). Main thread only.
    static const web::ScriptLimits& scriptLimits();
    static void setScriptLimits(const web::ScriptLimits& limits);

    WebView();
    explicit WebView(const Rect& frame);
    ~WebView() override;

    std::shared_ptr<WebViewDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<WebViewDelegate> delegate) { m_delegate = std::move(delegate); }

    // ---- loading
    void loadRequest(const URLRequest& request);
    // Shows the markup as if loaded from `baseURL` (relative links resolve
    // against it; nothing = "about:blank").
    void loadHTMLString(const std::string& html, const std::optional<URL>& baseURL);
    void reload();
    void stopLoading();
    void goBack();
    void goForward();
    bool canGoBack() const;
    bool canGoForward() const;
    // The request of the page shown (or being loaded); nothing before the
    // first load.
    const std::optional<URLRequest>& request() const { return m_request; }
    bool isLoading() const;
    bool scalesPageToFit() const { return m_scalesPageToFit; }
    void setScalesPageToFit(bool scales) { m_scalesPageToFit = scales; }

    // ---- scripts
    // Runs `script` in the page; the result as a string, "" on error or
    // when there is no result.
    std::string stringByEvaluatingJavaScriptFromString(std::string_view script);

    // ---- what the page shows, and acting on it (tests and the driver)
    const WebPage& page() const;
    // Follows links()[index] as a click would (type LinkClicked).
    Result<void> clickLink(std::size_t index);
    // Sets the value of the named field of forms()[formIndex] (a checkbox or
    // radio button: "on"/"off" or the value to select).
    Result<void> setFormField(std::size_t formIndex, std::string_view name, std::string_view value);
    // Submits forms()[formIndex] as pressing its submit button `submitter`
    // (by name or title; nothing = the first, or none when it has none)
    // would (type FormSubmitted).
    Result<void> submitForm(std::size_t formIndex, std::optional<std::string_view> submitter = std::nullopt);

    // ---- a finger and a keyboard
    void touchesEnded(const TouchSet& touches, const Event* event) override;
    // Moves the page up by `points` (negative: down), within its length;
    // false when it could not move.
    bool scrollBy(double points);
    double scrollOffset() const { return shownScrollOffset(); }
    // The form and field typing goes into, while the web view has the keyboard.
    struct FieldPosition {
        std::size_t form = 0;
        std::size_t field = 0;
        bool operator==(const FieldPosition&) const = default;
    };
    const std::optional<FieldPosition>& focusedField() const { return m_focused; }
    bool canBecomeFirstResponder() const override { return m_focused.has_value(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void pressReturn() override;

    // ---- for the driver's "settle": the number of web views loading and
    // of page timers due within `withinSeconds`, over the whole process.
    static std::size_t loadsInFlight();
    static std::size_t timersDueWithin(double withinSeconds);

    // The text dump: address, title, text, numbered links and forms.
    void dump(ScreenDumpWriter& writer) const override;
    // Paints the page shown as readable text in the view's bounds.
    void drawRect(DrawingContext& context, const Rect& rect) override;

protected:
    bool textShouldBeginEditing() override { return true; }
    void textDidBeginEditing() override { setNeedsDisplay(); }
    bool textShouldEndEditing() override { return true; }
    void textDidEndEditing() override { setNeedsDisplay(); }
    bool textShouldChange(TextRange, const std::string&) override { return m_focused.has_value(); }
    void textDidChange() override;
    std::shared_ptr<const void> retainDuringEdit() const override;

private:
    class Engine;
    // The engine tells when another page (or the same one anew) is shown.
    void pageCommitted();
    // The offset as drawn: within the page shown now.
    double shownScrollOffset() const;
    // The field at the position of the page shown, if it still has one.
    const WebFormField* field(const FieldPosition& position) const;
    void tapField(const FieldPosition& position);

    std::weak_ptr<WebViewDelegate> m_delegate;
    double m_scrollOffset = 0;
    std::optional<FieldPosition> m_focused;
    std::optional<URLRequest> m_request;
    bool m_scalesPageToFit = false;
    std::unique_ptr<Engine> m_engine;
};

} // namespace murmelo
