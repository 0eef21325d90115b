// OVFeedbackWebViewController: the feedback screen — shows the maker's
// support page; pushed by the Secret-pool screen's "Feedback" button and
// reloaded every time it comes on screen. Routes like the posting screen
// without the parameter block.
//
// A documented single instance, like OVWebViewController:
// sharedOVFeedbackWebViewController() makes it on first use under a lock on
// the class; alloc() gives it at the first allocation and nothing after.
// Never destroyed. The screen itself is used on the main thread only.
#pragma once

#include <memory>

#include "app/web/WebScreen.h"

namespace murmelo {

class OVFeedbackWebViewController : public WebScreen {
public:
    static std::shared_ptr<OVFeedbackWebViewController> sharedOVFeedbackWebViewController();
    static std::shared_ptr<OVFeedbackWebViewController> alloc();

    // reload, fixed space, flexible space, flexible space, close ("add
    // comment" is made and not shown).
    void loadToolBar() override;
    // Marks the screen on screen and reloads its page.
    void viewDidAppear(bool animated) override;

    OVFeedbackWebViewController(const OVFeedbackWebViewController&) = delete;
    OVFeedbackWebViewController& operator=(const OVFeedbackWebViewController&) = delete;

protected:
    // (0, 44, 320, 336), opaque, no pattern.
    Rect webViewFrame() const override;
    bool webViewShowsPattern() const override { return false; }

private:
    OVFeedbackWebViewController(); // through alloc() and the shared accessor only
};

} // namespace murmelo
