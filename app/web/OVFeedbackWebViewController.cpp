#include "app/web/OVFeedbackWebViewController.h"

#include <mutex>

namespace murmelo {

namespace {

struct ClassSlot {
    std::mutex mutex; // the lock on the class
    std::shared_ptr<OVFeedbackWebViewController> instance;
};

ClassSlot& classSlot() {
    static ClassSlot* slot = new ClassSlot(); // never destroyed, like the screen
    return *slot;
}

} // namespace

std::shared_ptr<OVFeedbackWebViewController>
OVFeedbackWebViewController::sharedOVFeedbackWebViewController() {
    ClassSlot& slot = classSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.instance) {
        slot.instance = std::shared_ptr<OVFeedbackWebViewController>(new OVFeedbackWebViewController());
    }
    return slot.instance;
}

std::shared_ptr<OVFeedbackWebViewController> OVFeedbackWebViewController::alloc() {
    ClassSlot& slot = classSlot();
    std::lock_guard lock(slot.mutex);
    if (slot.instance) {
        return nullptr;
    }
    slot.instance = std::shared_ptr<OVFeedbackWebViewController>(new OVFeedbackWebViewController());
    return slot.instance;
}

OVFeedbackWebViewController::OVFeedbackWebViewController() : WebScreen(WebScreenKind::Feedback) {}

void OVFeedbackWebViewController::loadToolBar() {
    createCommonToolBarItems();
    createCloseButtonItem();
    auto& comment = mutableCommentButtonItem();
    if (!comment) {
        comment = BarButtonItem::withTitle("add comment", BarButtonItemStyle::Bordered, self<WebScreen>(),
                                           &WebScreen::addComment);
    }
    auto& items = mutableItemArray();
    items.push_back(refreshButtonItem());
    items.push_back(fixButtonItem());
    items.push_back(flexibleButtonItem());
    items.push_back(flexibleButtonItem());
    items.push_back(closeButtonItem());
    applyToolBarItems();
}

void OVFeedbackWebViewController::viewDidAppear(bool animated) {
    // Every display shows the support page afresh.
    setIsOnScreen(true);
    reload();
    ViewController::viewDidAppear(animated);
}

} // namespace murmelo
