#include "app/sharing/ShareFT.h"

#include "platform/core/Log.h"

namespace murmelo {

std::shared_ptr<ShareFT> ShareFT::initWithSharedObj(ShareFTObj& record) {
    auto controller = std::make_shared<ShareFT>();
    controller->setShareObj(&record);
    return controller;
}

void ShareFT::shareAction() {
    if (!m_shareObj) {
        logLine("%s", kNoRecordLine);
        return;
    }
    // No sheet (mail, Facebook, Twitter) in this build: say so rather than
    // pretend a share happened.
    logLine("%s", kNotBuiltLine);
}

} // namespace murmelo
