#include "app/web/OVPostWebViewController.h"

namespace murmelo {

OVPostWebViewController::OVPostWebViewController() : WebScreen(WebScreenKind::Posting) {}

void OVPostWebViewController::loadToolBar() {
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
    applyToolBarItems();
}

} // namespace murmelo
