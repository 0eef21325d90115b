// FBDialog: a Facebook page in a floating panel over the key window — the
// icon, the title bar and its close button above a web view. It loads a page
// with query and form parameters (loadURL) and watches the page's
// navigation for the "fbconnect" scheme, through which the page reports
// success ("fbconnect:success", "fbconnect://success?...") or cancellation
// ("fbconnect:cancel"). Link clicks to other addresses leave the
// application unless the delegate keeps them in.
//
//   auto dialog = std::make_shared<FBStreamDialog>();   // or FBLoginDialog
//   dialog->setDelegate(controller);
//   dialog->show();   // ... one of dialogDidSucceed, dialogDidCancel,
//                     // didFailWithError follows, then the panel fades out
//
// A dialog ends once. Main thread only. Ownership: the key window owns the
// panel while it is shown (the caller should keep a reference for its
// callbacks); the delegate and the session are not owned.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/facebook/FBConnectGlobal.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"
#include "platform/ui/WebView.h"

namespace murmelo {

class FBDialog;
class FBSession;

// Every operation is optional.
class FBDialogDelegate {
public:
    virtual ~FBDialogDelegate() = default;
    virtual void dialogDidSucceed(FBDialog&) {}
    virtual void dialogDidCancel(FBDialog&) {}
    // dialog:didFailWithError:
    virtual void didFailWithError(FBDialog&, const Error&) {}
    // dialog:shouldOpenURLInExternalBrowser: — nothing: does not answer
    // (the link opens outside); false keeps it from opening.
    virtual std::optional<bool> shouldOpenURLInExternalBrowser(FBDialog&, const URL&) { return std::nullopt; }
};

class FBDialog : public View, public WebViewDelegate {
public:
    static constexpr const char* kDefaultTitle = "Connect to Facebook";
    static constexpr double kPadding = 10;     // around the panel, inside the window
    static constexpr double kBorderWidth = 10; // the translucent frame
    static constexpr double kTitleHeight = 30;
    static constexpr double kFadeDuration = 0.3;
    static constexpr double kGrowDuration = 0.2;
    static constexpr double kBounceDuration = 0.15;

    // initWithSession: / init (the shared session)
    explicit FBDialog(std::shared_ptr<FBSession> session);
    FBDialog();
    ~FBDialog() override;

    std::shared_ptr<FBDialogDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<FBDialogDelegate> delegate) { m_delegate = std::move(delegate); }
    const std::shared_ptr<FBSession>& session() const { return m_session; }
    const std::optional<std::string>& loadingURL() const { return m_loadingURL; }
    const std::shared_ptr<WebView>& webView() const { return m_webView; }
    const std::shared_ptr<Label>& titleLabel() const { return m_titleLabel; }
    const std::shared_ptr<Button>& closeButton() const { return m_closeButton; }
    const std::shared_ptr<ActivityIndicatorView>& spinner() const { return m_spinner; }
    bool hasEnded() const { return m_ended; }

    // Loads the dialog's page and presents the panel over the key window.
    void show();
    // loadURL:method:get:post: — the method is sent as given; "POST" (any
    // case) sends `post` as a multipart form.
    void loadURL(const std::string& url, const std::optional<std::string>& method, const FBParams& get,
                 const FBParams& post);

    // The two endings a page reports.
    virtual void dialogDidSucceed(const URL& url);
    void cancel();
    // dismissWithSuccess:animated:, dismissWithError:animated:
    void dismissWithSuccess(bool success, bool animated);
    void dismissWithError(const Error& error, bool animated);

    // WebViewDelegate
    bool shouldStartLoadWithRequest(WebView&, const URLRequest& request, WebViewNavigationType type) override;
    void webViewDidFinishLoad(WebView&) override;
    void didFailLoadWithError(WebView&, const Error& error) override;

    void layoutSubviews() override;
    void drawRect(DrawingContext& context, const Rect& rect) override;
    void dump(ScreenDumpWriter& writer) const override;

protected:
    // The page of the dialog (each kind loads its own).
    virtual void load() {}
    virtual void dialogWillAppear() {}
    virtual void dialogWillDisappear() {}

private:
    void build();
    void dismiss(bool animated);
    void bounce1AnimationStopped();
    void bounce2AnimationStopped();
    void fadedOut();

    std::weak_ptr<FBDialogDelegate> m_delegate;
    std::shared_ptr<FBSession> m_session;
    std::optional<std::string> m_loadingURL;
    std::shared_ptr<WebView> m_webView;
    std::shared_ptr<ActivityIndicatorView> m_spinner;
    std::shared_ptr<View> m_iconView;
    std::shared_ptr<Label> m_titleLabel;
    std::shared_ptr<Button> m_closeButton;
    bool m_ended = false;
};

} // namespace murmelo
