#include "app/web/OVPostWebViewController.h"

namespace murmelo {

OVPostWebViewController::OVPostWebViewController() : WebScreen(WebScreenKind::Posting) {}

void OVPostWebViewController::loadToolBar() {
    createCommonToolBarItems();
    createCloseButtonItem();
    createCommentButtonItem();
    placeToolBarItems({refreshButtonItem(), fixButtonItem(), flexibleButtonItem(), flexibleButtonItem()});
}

} // namespace murmelo
