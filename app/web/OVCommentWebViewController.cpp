#include "app/web/OVCommentWebViewController.h"

#include <mutex>

namespace murmelo {

namespace {

struct ClassSlot {
    std::mutex mutex; // the lock on the class
    std::shared_ptr<OVCommentWebViewController> instance;
};

ClassSlot& classSlot() {
    static ClassSlot* slot = new ClassSlot(); // never destroyed, like the screen
    return *slot;
}

} // namespace

std::shared_ptr<OVCommentWebViewController> OVCommentWebViewController::sharedOVCommentWebViewController() {
    ClassSlot& slot = classSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.instance) {
        slot.instance = std::shared_ptr<OVCommentWebViewController>(new OVCommentWebViewController());
    }
    return slot.instance;
}

std::shared_ptr<OVCommentWebViewController> OVCommentWebViewController::alloc() {
    ClassSlot& slot = classSlot();
    std::lock_guard lock(slot.mutex);
    if (slot.instance) {
        return nullptr;
    }
    slot.instance = std::shared_ptr<OVCommentWebViewController>(new OVCommentWebViewController());
    return slot.instance;
}

OVCommentWebViewController::OVCommentWebViewController() : WebScreen(WebScreenKind::Comment) {}

void OVCommentWebViewController::loadToolBar() {
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
    items.push_back(comment);
    items.push_back(flexibleButtonItem());
    items.push_back(closeButtonItem());
    applyToolBarItems();
}

} // namespace murmelo
