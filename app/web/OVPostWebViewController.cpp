#include "app/web/OVPostWebViewController.h"

namespace murmelo {

OVPostWebViewController::OVPostWebViewController() : WebScreen(WebScreenKind::Posting) {}

void OVPostWebViewController::loadToolBar() {
    createCommonToolBarItems();
    createCloseButtonItem();
    createCommentButtonItem();
    auto& items = mutableItemArray();
    items.push_back(refreshButtonItem());
    items.push_back(fixButtonItem());
    items.push_back(flexibleButtonItem());
    items.push_back(flexibleButtonItem());
    applyToolBarItems();
}

} // namespace murmelo
