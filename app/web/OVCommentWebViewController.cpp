#include "app/web/OVCommentWebViewController.h"

#include "app/web/internal/SingleInstanceSlot.h"

namespace murmelo {

std::shared_ptr<OVCommentWebViewController> OVCommentWebViewController::sharedOVCommentWebViewController() {
    return internal::SingleInstanceSlot<OVCommentWebViewController>::forClass().shared(
        [] { return std::shared_ptr<OVCommentWebViewController>(new OVCommentWebViewController()); });
}

std::shared_ptr<OVCommentWebViewController> OVCommentWebViewController::alloc() {
    return internal::SingleInstanceSlot<OVCommentWebViewController>::forClass().allocate(
        [] { return std::shared_ptr<OVCommentWebViewController>(new OVCommentWebViewController()); });
}

OVCommentWebViewController::OVCommentWebViewController() : WebScreen(WebScreenKind::Comment) {}

void OVCommentWebViewController::loadToolBar() {
    createCommonToolBarItems();
    createCloseButtonItem();
    createCommentButtonItem();
    auto& items = mutableItemArray();
    items.push_back(refreshButtonItem());
    items.push_back(fixButtonItem());
    items.push_back(flexibleButtonItem());
    items.push_back(commentButtonItem());
    items.push_back(flexibleButtonItem());
    items.push_back(closeButtonItem());
    applyToolBarItems();
}

} // namespace murmelo
