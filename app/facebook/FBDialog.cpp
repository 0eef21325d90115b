#include "app/facebook/FBDialog.h"

#include <strings.h>

#include "app/facebook/FBSession.h"
#include "platform/graphics/DrawingContext.h"
#include "platform/net/CookieStore.h"
#include "platform/net/URLConnectionError.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/Window.h"

namespace murmelo {

namespace {

const Color kFacebookBlue(0x3b / 255.0, 0x59 / 255.0, 0x98 / 255.0, 1);
const Color kBorderGray(0.3, 0.3, 0.3, 0.8);

// The panel's icon: the white "f" on Facebook's blue.
class FBIconView : public View {
public:
    FBIconView() : View(Rect(0, 0, 16, 16)) { setOpaque(false); }
    void drawRect(DrawingContext& context, const Rect&) override {
        context.setFillColor(Color::whiteColor());
        context.fillRect(bounds());
        context.setFillColor(kFacebookBlue);
        context.fillRect(bounds().insetBy(1, 1));
        context.setFillColor(Color::whiteColor());
        context.drawText("f", Rect(5, 0, 11, 16), Font::boldSystemFontOfSize(13));
    }
};

} // namespace

FBDialog::FBDialog(std::shared_ptr<FBSession> session) : m_session(std::move(session)) {
    build();
}

FBDialog::FBDialog() : FBDialog(FBSession::session()) {}

FBDialog::~FBDialog() = default;

void FBDialog::build() {
    setBackgroundColor(Color::clearColor());
    setOpaque(false);
    setAutoresizesSubviews(true);

    m_iconView = std::make_shared<FBIconView>();
    m_titleLabel = std::make_shared<Label>();
    m_titleLabel->setText(kDefaultTitle);
    m_titleLabel->setBackgroundColor(Color::clearColor());
    m_titleLabel->setTextColor(Color::whiteColor());
    m_titleLabel->setFont(Font::boldSystemFontOfSize(14));

    m_closeButton = std::make_shared<Button>(Rect(0, 0, kTitleHeight, kTitleHeight));
    m_closeButton->setTitle("×", ControlState::Normal);
    m_closeButton->setTitleColor(Color(0.85, 0.87, 0.92, 1), ControlState::Normal);
    m_closeButton->titleLabel()->setFont(Font::boldSystemFontOfSize(18));
    m_closeButton->addAction([this](Control&) { cancel(); }, ControlEvents::TouchUpInside);

    m_webView = std::make_shared<WebView>();
    m_webView->setBackgroundColor(Color::whiteColor());
    m_spinner = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::Gray);
    m_spinner->setHidesWhenStopped(true);

    addSubview(m_iconView);
    addSubview(m_titleLabel);
    addSubview(m_closeButton);
    addSubview(m_webView);
    addSubview(m_spinner);
}

void FBDialog::layoutSubviews() {
    const double width = bounds().width();
    const double height = bounds().height();
    const double inner = width - 2 * kBorderWidth;
    m_iconView->setFrame(Rect(kBorderWidth + 7, kBorderWidth + 7, 16, 16));
    m_titleLabel->setFrame(Rect(kBorderWidth + 30, kBorderWidth, inner - 30 - kTitleHeight, kTitleHeight));
    m_closeButton->setFrame(
        Rect(width - kBorderWidth - kTitleHeight, kBorderWidth, kTitleHeight, kTitleHeight));
    m_webView->setFrame(
        Rect(kBorderWidth, kBorderWidth + kTitleHeight, inner, height - 2 * kBorderWidth - kTitleHeight));
    m_spinner->setCenter(m_webView->center());
}

void FBDialog::drawRect(DrawingContext& context, const Rect&) {
    context.setFillColor(kBorderGray);
    context.fillRect(bounds());
    context.setFillColor(kFacebookBlue);
    context.fillRect(Rect(kBorderWidth, kBorderWidth, bounds().width() - 2 * kBorderWidth, kTitleHeight));
}

void FBDialog::dump(ScreenDumpWriter& writer) const {
    writer.line("facebook panel " + ScreenDumpWriter::quote(m_titleLabel->text()));
    writer.nested([&] { dumpSubviews(writer); });
}

void FBDialog::show() {
    // The web view answers to the panel only once the panel is shared.
    m_webView->setDelegate(std::dynamic_pointer_cast<FBDialog>(shared_from_this()));
    load();

    Application& application = Application::sharedApplication();
    std::shared_ptr<Window> window = application.keyWindow();
    if (!window && !application.windows().empty()) {
        window = application.windows().front();
    }
    if (window) {
        setTransform(AffineTransform::identity());
        // The window less the status bar (windows fill the screen here).
        Rect area = Screen::mainScreen().applicationFrame().intersection(window->bounds());
        setFrame(area.insetBy(kPadding, kPadding));
    }
    layoutIfNeeded();
    m_spinner->startAnimating();
    if (window) {
        window->addSubview(std::static_pointer_cast<View>(shared_from_this()));
    }
    dialogWillAppear();

    setTransform(AffineTransform::scale(0.001, 0.001));
    View::beginAnimations();
    View::setAnimationDuration(kGrowDuration);
    View::setAnimationDelegate(weak_from_this());
    View::setAnimationDidStopSelector(&FBDialog::bounce1AnimationStopped);
    setTransform(AffineTransform::scale(1.1, 1.1));
    View::commitAnimations();
}

void FBDialog::bounce1AnimationStopped() {
    View::beginAnimations();
    View::setAnimationDuration(kBounceDuration);
    View::setAnimationDelegate(weak_from_this());
    View::setAnimationDidStopSelector(&FBDialog::bounce2AnimationStopped);
    setTransform(AffineTransform::scale(0.9, 0.9));
    View::commitAnimations();
}

void FBDialog::bounce2AnimationStopped() {
    View::beginAnimations();
    View::setAnimationDuration(kBounceDuration);
    setTransform(AffineTransform::identity());
    View::commitAnimations();
}

void FBDialog::loadURL(const std::string& url, const std::optional<std::string>& method, const FBParams& get,
                       const FBParams& post) {
    Cookie testCookie;
    testCookie.name = "test_cookie";
    testCookie.value = "1";
    testCookie.domain = facebookWebDomain();
    testCookie.path = "/";
    (void)CookieStore::shared().setCookie(testCookie);

    std::string address = get.empty() ? url : url + "?" + fbQueryString(get);
    auto parsed = URL::strictParse(address);
    if (!parsed) {
        dismissWithError(urlError(URLErrorCode::BadURL, address), false);
        return;
    }
    m_loadingURL = parsed->absoluteString();
    URLRequest request(*parsed);
    if (method) {
        request.HTTPMethod = *method;
        if (strcasecmp(method->c_str(), "POST") == 0) {
            std::string body = fbMultipartBody(post);
            request.setValue(fbMultipartContentType(), "Content-Type");
            request.HTTPBody = Data(body.begin(), body.end());
        }
    }
    m_webView->loadRequest(request);
}

bool FBDialog::shouldStartLoadWithRequest(WebView&, const URLRequest& request, WebViewNavigationType type) {
    if (m_ended) {
        return false;
    }
    auto keep = shared_from_this();
    const URL& url = request.url;
    if (url.hasScheme("fbconnect")) {
        const std::string& text = url.absoluteString();
        std::string rest = text.substr(text.find(':') + 1);
        if (rest == "cancel") {
            dismissWithSuccess(false, true);
        } else {
            dialogDidSucceed(url);
        }
        return false;
    }
    if ((m_loadingURL && url.absoluteString() == *m_loadingURL) ||
        type != WebViewNavigationType::LinkClicked) {
        return true;
    }
    auto delegate = m_delegate.lock();
    std::optional<bool> open = delegate ? delegate->shouldOpenURLInExternalBrowser(*this, url) : std::nullopt;
    if (open.value_or(true)) {
        Application::sharedApplication().openURL(url);
    }
    return false;
}

void FBDialog::webViewDidFinishLoad(WebView& webView) {
    m_spinner->stopAnimating();
    std::string title = webView.stringByEvaluatingJavaScriptFromString("document.title");
    if (!title.empty()) {
        m_titleLabel->setText(title);
    }
}

void FBDialog::didFailLoadWithError(WebView&, const Error& error) {
    // An interrupted frame load is the refused "fbconnect" redirect, and a
    // cancelled one makes way for the next navigation: neither ends the dialog.
    if (error.is(std::string(WebView::kWebKitErrorDomain), WebView::kFrameLoadInterrupted) ||
        error.is(kURLErrorDomain, static_cast<long>(URLErrorCode::Cancelled))) {
        return;
    }
    m_spinner->stopAnimating();
    dismissWithError(error, true);
}

void FBDialog::dialogDidSucceed(const URL&) {
    dismissWithSuccess(true, true);
}

void FBDialog::cancel() {
    dismissWithSuccess(false, true);
}

void FBDialog::dismissWithSuccess(bool success, bool animated) {
    if (m_ended) {
        return;
    }
    auto keep = shared_from_this();
    if (auto delegate = m_delegate.lock()) {
        if (success) {
            delegate->dialogDidSucceed(*this);
        } else {
            delegate->dialogDidCancel(*this);
        }
    }
    dismiss(animated);
}

void FBDialog::dismissWithError(const Error& error, bool animated) {
    if (m_ended) {
        return;
    }
    auto keep = shared_from_this();
    if (auto delegate = m_delegate.lock()) {
        delegate->didFailWithError(*this, error);
    }
    dismiss(animated);
}

void FBDialog::dismiss(bool animated) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    dialogWillDisappear();
    m_loadingURL.reset();
    if (animated && superview()) {
        View::beginAnimations();
        View::setAnimationDuration(kFadeDuration);
        View::setAnimationDelegate(weak_from_this());
        View::setAnimationDidStopSelector(&FBDialog::fadedOut);
        setAlpha(0);
        View::commitAnimations();
        return;
    }
    fadedOut();
}

void FBDialog::fadedOut() {
    // Held until the run loop turns: this may run inside a call of the web view we own.
    RunLoop::current().post([keep = shared_from_this()] {});
    m_webView->stopLoading();
    removeFromSuperview();
}

} // namespace murmelo
