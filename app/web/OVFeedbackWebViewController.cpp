#include "app/web/OVFeedbackWebViewController.h"

#include "app/web/internal/SingleInstanceSlot.h"

namespace murmelo {

std::shared_ptr<OVFeedbackWebViewController>
OVFeedbackWebViewController::sharedOVFeedbackWebViewController() {
    return internal::SingleInstanceSlot<OVFeedbackWebViewController>::forClass().shared(
        [] { return std::shared_ptr<OVFeedbackWebViewController>(new OVFeedbackWebViewController()); });
}

std::shared_ptr<OVFeedbackWebViewController> OVFeedbackWebViewController::alloc() {
    return internal::SingleInstanceSlot<OVFeedbackWebViewController>::forClass().allocate(
        [] { return std::shared_ptr<OVFeedbackWebViewController>(new OVFeedbackWebViewController()); });
}

OVFeedbackWebViewController::OVFeedbackWebViewController() : WebScreen(WebScreenKind::Feedback) {}

void OVFeedbackWebViewController::loadToolBar() {
    createCommonToolBarItems();
    createCloseButtonItem();
    createCommentButtonItem();
    placeToolBarItems({refreshButtonItem(), fixButtonItem(), flexibleButtonItem(), flexibleButtonItem(),
                       closeButtonItem()});
}

Rect OVFeedbackWebViewController::webViewFrame() const {
    return Rect(0, 44, 320, 336);
}

void OVFeedbackWebViewController::viewDidAppear(bool animated) {
    // Every display shows the support page afresh.
    setIsOnScreen(true);
    reload();
    ViewController::viewDidAppear(animated);
}

} // namespace murmelo
