#include "app/web/OVWebViewController.h"

#include "app/web/internal/SingleInstanceSlot.h"

#include "app/base/OVUtils.h"
#include "app/product/Constants.h"
#include "app/sharing/ShareFT.h"
#include "app/sharing/ShareFTObj.h"
#include "app/web/OVCommentWebViewController.h"
#include "app/web/OVFeedbackWebViewController.h"
#include "platform/ui/NavigationController.h"

namespace murmelo {

std::shared_ptr<OVWebViewController> OVWebViewController::sharedOVWebViewController() {
    return internal::SingleInstanceSlot<OVWebViewController>::forClass().shared(
        [] { return std::shared_ptr<OVWebViewController>(new OVWebViewController()); });
}

std::shared_ptr<OVWebViewController> OVWebViewController::alloc() {
    return internal::SingleInstanceSlot<OVWebViewController>::forClass().allocate(
        [] { return std::shared_ptr<OVWebViewController>(new OVWebViewController()); });
}

OVWebViewController::OVWebViewController() : WebScreen(WebScreenKind::SecretPool) {}

std::string OVWebViewController::feedbackPageAddress() {
    return "http://" + std::string(kSupportServerHost) + "/isupport.php";
}

void OVWebViewController::loadToolBar() {
    auto me = self<OVWebViewController>();
    createCommonToolBarItems();
    if (!m_shareButtonItem) {
        m_shareButtonItem =
            BarButtonItem::withTitle("Share", BarButtonItemStyle::Bordered, me, &OVWebViewController::Share);
    }
    auto& close = mutableCloseButtonItem();
    if (!close) {
        close = BarButtonItem::withTitle("Feedback", BarButtonItemStyle::Bordered, me,
                                         &OVWebViewController::onClickShowFeedback);
    }
    placeToolBarItems({refreshButtonItem(), fixButtonItem(), flexibleButtonItem(), m_shareButtonItem,
                       flexibleButtonItem(), close});
}

void OVWebViewController::viewDidLoad() {
    WebScreen::viewDidLoad();
    // Observed once for the screen's life: a rebuilt view must not load
    // every new address twice.
    m_observingSourceUrl = true;
}

void OVWebViewController::viewWillAppear(bool animated) {
    if (NavigationController* navigation = navigationController()) {
        navigation->setNavigationBarHidden(true);
    }
    WebScreen::viewWillAppear(animated);
}

void OVWebViewController::close() {
    if (ViewController* parent = parentViewController()) {
        parent->dismissModalViewControllerAnimated(true);
    }
}

void OVWebViewController::setSourceUrl(std::optional<std::string> url) {
    m_sourceUrl = std::move(url);
    if (m_observingSourceUrl) {
        loadURL(m_sourceUrl);
    }
}

void OVWebViewController::Share() {
    ShareFTObj& record = ShareFTObj::sharedShareFTObj();
    record.setMaincontent(kShareText);
    record.setItemUrl("");
    ShareFT::initWithSharedObj(record)->shareAction();
}

void OVWebViewController::onClickShowFeedback() {
    if (!m_feedbackViewController) {
        m_feedbackViewController = OVFeedbackWebViewController::sharedOVFeedbackWebViewController();
    }
    if (NavigationController* navigation = navigationController()) {
        navigation->pushViewController(m_feedbackViewController, true);
    }
    m_feedbackViewController->loadURL(OVUtils::urlByAddingParamsForURL(feedbackPageAddress()));
}

} // namespace murmelo
