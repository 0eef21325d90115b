#include "app/posting/PostFormViewController.h"

#include "app/base/OVOperationManager.h"
#include "app/base/OVUtils.h"
#include "app/json/KQJSON.h"
#include "app/posting/PostReply.h"
#include "app/product/Constants.h"
#include "platform/core/Log.h"
#include "platform/graphics/Image.h"
#include "platform/runloop/Perform.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Event.h"
#include "platform/ui/Localization.h"

namespace murmelo {

namespace {

const Rect kTitleFrame(10, 10, 220, 40);
const Rect kTextBoxFrame(10, 60, 300, 140);
const Rect kSubmitFrame(50, 210, 204, 44);
const Rect kNoticeFrame(10, 260, 280, 100);
constexpr const char* kNotice =
    " We will not save any personal information  (your ip address, device id etc.), \n"
    "post the secret is totally anonymously.";

// The bundle's picture, or one of the same name drawn in code when the
// bundle does not carry it.
std::shared_ptr<const Image> bundleImage(const std::string& name, Size fallbackSize) {
    if (auto image = Image::imageNamed(name)) {
        return image;
    }
    return Image::imageWithSize(name, fallbackSize);
}

} // namespace

PostFormViewController::PostFormViewController(FormTexts texts) : m_texts(texts) {}

PostFormViewController::~PostFormViewController() = default;

// ---- view lifecycle

void PostFormViewController::viewDidLoad() {
    const auto& root = view();
    root->setBackgroundColor(Color::colorWithPatternImage(bundleImage("secret_bg.png", Size{64, 64})));

    m_titleLabel = std::make_shared<Label>(kTitleFrame);
    m_titleLabel->setBackgroundColor(Color::clearColor());
    m_titleLabel->setTextColor(Color::whiteColor());
    m_titleLabel->setFont(Font::boldSystemFontOfSize(18));
    m_titleLabel->setText(m_texts.title);
    root->addSubview(m_titleLabel);

    root->setUserInteractionEnabled(true);

    m_commonTextView = std::make_shared<TextView>(kTextBoxFrame);
    m_commonTextView->setFont(Font::systemFontOfSize(16));
    root->addSubview(m_commonTextView);

    m_submitButton = addFormButton(m_texts.submitTitle, kSubmitFrame);
    connectSubmit(*m_submitButton);

    m_noticeLabel = std::make_shared<Label>(kNoticeFrame);
    m_noticeLabel->setBackgroundColor(Color::clearColor());
    m_noticeLabel->setTextColor(Color::whiteColor());
    m_noticeLabel->setNumberOfLines(0);
    m_noticeLabel->setLineBreakMode(LineBreakMode::WordWrap);
    m_noticeLabel->setFont(Font::boldSystemFontOfSize(14));
    m_noticeLabel->setText(kNotice);
    root->addSubview(m_noticeLabel);

    layoutExtras();
    ViewController::viewDidLoad();
}

std::shared_ptr<Button> PostFormViewController::addFormButton(const char* title, const Rect& frame) {
    auto button = Button::buttonWithType(ButtonType::Custom);
    button->setTitle(std::string(title), ControlState::Normal);
    button->setTitleColor(Color(167.0 / 255, 184.0 / 255, 216.0 / 255, 1), ControlState::Normal);
    button->setTitleColor(Color::whiteColor(), ControlState::Highlighted);
    button->setBackgroundImage(bundleImage("post_button_bg.png", Size{204, 44}), ControlState::Normal);
    button->setFrame(frame);
    button->setShowsTouchWhenHighlighted(true);
    button->setAutoresizingMask(AutoresizingMask::FlexibleLeftMargin |
                                AutoresizingMask::FlexibleBottomMargin);
    view()->addSubview(button);
    return button;
}

void PostFormViewController::viewWillAppear(bool animated) {
    view();
    refill();
    ViewController::viewWillAppear(animated);
}

// ---- posting

void PostFormViewController::submit() {
    if (m_posting) {
        logLine("%s: a post is being sent; this submit is ignored", className().c_str());
        return;
    }
    m_txtContent = m_commonTextView ? m_commonTextView->text() : std::string();
    // Cached before anything is sent, so a failed post keeps the text.
    cacheText(m_txtContent);
    m_pendingFields = formFields(m_txtContent);
    m_posting = true;
    auto operation = OVOperation::operationWithTarget(sharedAs<PostFormViewController>(), nullptr,
                                                      &PostFormViewController::doPost);
    OVOperationManager::sharedOperationManager().addOperation(operation);
    showActivityWithTitle("");
    hideKeyboard();
}

void PostFormViewController::doPost() {
    const std::string address = "http://" + std::string(kContentServerHost) + "/" + m_texts.path;
    std::optional<std::string> body = OVUtils::sendPostToURL(URL::strictParse(address), m_pendingFields);
    PostReply reply = readPostReply(objectWithString(body));

    std::optional<std::string> message = reply.msg;
    if (!reply.succeeded && !message) {
        message = localizedString(kNotSentMessage);
    }
    onMainThread([message](PostFormViewController& form) { form.answer(message); });
    if (reply.succeeded) {
        didPost();
        clearCache();
    }
    onMainThread([](PostFormViewController& form) { form.finishPost(); });
}

void PostFormViewController::answer(const std::optional<std::string>& message) {
    auto alert = std::make_shared<AlertView>(std::string(), message, std::weak_ptr<AlertViewDelegate>(),
                                             localizedString("OK"));
    alert->show();
}

void PostFormViewController::finishPost() {
    hideActivity();
    m_posting = false;
}

void PostFormViewController::onMainThread(std::function<void(PostFormViewController&)> task) {
    auto self = sharedAs<PostFormViewController>();
    auto done = performOnMainThread([self, task = std::move(task)] { task(*self); }, WaitUntilDone::Yes,
                                    RunLoopModes(RunLoop::kCommonModes), kMainThreadTimeout);
    if (!done) {
        logLine("%s: %s", className().c_str(), done.error().localizedDescription().c_str());
    }
}

Result<Value> PostFormViewController::objectWithString(const std::optional<std::string>& text) {
    KQJSON json;
    if (!text) {
        return json.objectWithString(std::nullopt);
    }
    return json.objectWithString(std::string_view(*text));
}

// ---- keyboard

void PostFormViewController::touchesBegan(const TouchSet& touches, const Event* event) {
    bool inTextBox = false;
    for (const Touch& touch : touches) {
        if (m_commonTextView && touch.view && touch.view->isDescendantOfView(m_commonTextView.get())) {
            inTextBox = true;
        }
    }
    if (!inTextBox) {
        logLine("hide keyboard");
        hideKeyboard();
    }
    ViewController::touchesBegan(touches, event);
}

void PostFormViewController::hideKeyboard() {
    logLine("hide keyboard");
    if (m_commonTextView) {
        (void)m_commonTextView->resignFirstResponder();
    }
}

// ---- overlay

void PostFormViewController::showActivityWithTitle(const std::string&) {
    initActivityIndicatorView();
    m_aiView->show();
}

void PostFormViewController::hideActivity() {
    if (m_aiView) {
        m_aiView->hide();
    }
}

void PostFormViewController::initActivityIndicatorView() {
    if (m_aiView) {
        return;
    }
    m_aiView = OVActivityIndicatorView::activityIndicatorView();
    m_aiView->setInfo(localizedString(m_texts.overlayText));
    const auto& root = view();
    m_aiView->setCenter(root->center());
    root->addSubview(m_aiView);
    root->bringSubviewToFront(*m_aiView);
}

} // namespace murmelo
