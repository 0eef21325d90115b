// PostFormViewController: what the two native posting forms share — a
// full-screen view over the "secret_bg.png" pattern with a title, one
// multi-line text box, a submit button and the notice that posting is
// anonymous; the submit that caches the text, posts it on a background
// operation and shows the server's answer; the progress overlay.
//
// PostCommentViewController and PostSecretViewController (the only
// subclasses) give the fixed texts, the form fields and what success does.
//
// One submit at a time: a submit while a post is in flight is ignored
// (logged), so a post is never sent twice. A post runs in this order:
//   main:   text cached, overlay shown, keyboard hidden
//   worker: form post to the content server, reply read (PostReply)
//   main:   alert with the server's "msg" (or, for a failure without one,
//           "Your post could not be sent. Please try again.")
//   worker: on success the subclass's step (didPost), then the cache cleared
//   main:   overlay hidden, the form takes submits again
//
// Threading: main thread, except doPost() and didPost(), which run on
// OVOperationManager's worker; they reach the screen with waited calls to
// the main thread, each bounded by kMainThreadTimeout. The post's fields are
// fixed on the main thread before the operation is queued.
//
// Ownership: must be owned by a shared_ptr. The form owns its views and its
// overlay; the operation holds it weakly (a form gone before its post ran
// sends nothing).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/overlays/OVActivityIndicatorView.h"
#include "platform/core/Result.h"
#include "platform/core/Value.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextView.h"
#include "platform/ui/ViewController.h"

namespace murmelo {

class PostFormViewController : public ViewController {
public:
    // The application name sent with every post.
    static constexpr const char* kAppName = "MurmeloIP";
    // Shown when a post failed and the server said nothing readable.
    static constexpr const char* kNotSentMessage = "Your post could not be sent. Please try again.";
    static constexpr double kMainThreadTimeout = 30.0;

    ~PostFormViewController() override;

    // ---- view lifecycle
    void viewDidLoad() override;
    // Refills the text box from the cache (refill()).
    void viewWillAppear(bool animated) override;

    // ---- posting
    // The background step: post, read the reply, answer (see above).
    void doPost();
    // Whether a post is in flight (main thread).
    bool isPosting() const { return m_posting; }

    // ---- keyboard
    // A touch that did not start in the text box hides the keyboard.
    void touchesBegan(const TouchSet& touches, const Event* event) override;
    void hideKeyboard();

    // ---- overlay
    // The title is not used: the overlay always shows the form's own text.
    void showActivityWithTitle(const std::string& title);
    void hideActivity();
    // Makes the overlay once, centred on the view and in front.
    void initActivityIndicatorView();

    // The reply text as JSON; a failure for nothing or text that is no
    // JSON object or array.
    static Result<Value> objectWithString(const std::optional<std::string>& text);

    // ---- properties
    const std::shared_ptr<TextView>& commonTextView() const { return m_commonTextView; }
    const std::shared_ptr<OVActivityIndicatorView>& aiView() const { return m_aiView; }
    const std::string& txtContent() const { return m_txtContent; }
    const std::shared_ptr<Label>& titleLabel() const { return m_titleLabel; }
    const std::shared_ptr<Button>& submitButton() const { return m_submitButton; }

protected:
    struct FormTexts {
        const char* title;
        const char* submitTitle;
        const char* overlayText; // localised when shown
        const char* path;        // on the content server
    };
    explicit PostFormViewController(FormTexts texts);

    // The submit: caches the text and starts the post, unless one is in flight.
    void submit();
    // A button styled like the submit button, added to the view.
    std::shared_ptr<Button> addFormButton(const char* title, const Rect& frame);

    // ---- what the subclasses give (main thread unless said otherwise)
    // Gives the submit button its action.
    virtual void connectSubmit(Button& button) = 0;
    // Adds what only this form has, after the notice.
    virtual void layoutExtras() {}
    // Stores the text as the unsent text.
    virtual void cacheText(const std::string& text) = 0;
    // The form's fields for `text`.
    virtual Dictionary formFields(const std::string& text) const = 0;
    // Fills the text box from the cache when the form appears.
    virtual void refill() = 0;
    // After a post the server accepted; worker thread, before clearCache().
    virtual void didPost() = 0;
    // Forgets the unsent text; worker thread.
    virtual void clearCache() = 0;

    // Runs `task` on the main thread and waits for it (bounded).
    void onMainThread(std::function<void(PostFormViewController&)> task);

private:
    void answer(const std::optional<std::string>& message);
    void finishPost();

    FormTexts m_texts;
    std::shared_ptr<TextView> m_commonTextView;
    std::shared_ptr<OVActivityIndicatorView> m_aiView;
    std::string m_txtContent;
    std::shared_ptr<Label> m_titleLabel;
    std::shared_ptr<Button> m_submitButton;
    std::shared_ptr<Label> m_noticeLabel;
    bool m_posting = false;
    // The fields of the post in flight: set on the main thread before its
    // operation is queued, read by that operation only.
    Dictionary m_pendingFields;
};

} // namespace murmelo
