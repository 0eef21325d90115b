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
    placeToolBarItems({refreshButtonItem(), fixButtonItem(), flexibleButtonItem(), commentButtonItem(),
                       flexibleButtonItem(), closeButtonItem()});
}

} // namespace murmelo
