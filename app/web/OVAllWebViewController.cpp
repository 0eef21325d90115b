#include "app/web/OVAllWebViewController.h"

#include "app/sharing/ShareFT.h"

namespace murmelo {

OVAllWebViewController::OVAllWebViewController() : WebScreen(WebScreenKind::Stacked) {}

void OVAllWebViewController::loadToolBar() {
    createCommonToolBarItems();
    createCloseButtonItem();
    auto& share = mutableCommentButtonItem();
    if (!share) {
        share = BarButtonItem::withTitle("Share", BarButtonItemStyle::Bordered,
                                         self<OVAllWebViewController>(), &OVAllWebViewController::Share);
    }
    placeToolBarItems({refreshButtonItem(), fixButtonItem(), flexibleButtonItem(), flexibleButtonItem(),
                       closeButtonItem()});
}

void OVAllWebViewController::Share() {
    std::make_shared<ShareFT>()->shareAction();
}

void OVAllWebViewController::viewDidLoad() {
    m_oldUrl.clear();
    WebScreen::viewDidLoad();
}

} // namespace murmelo
