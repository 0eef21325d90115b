// ShareFT: the share sheet controller a screen makes per share — it offers
// mail, Facebook and Twitter for the share record it is given.
//
// This build has no share sheet: shareAction() writes one log line saying
// that nothing is shared and shows nothing. The screens fill the record and
// call it all the same.
//
// Threading: main thread only. Ownership: callers hand the controller over
// and keep no reference; the record is the process-wide ShareFTObj, not
// owned.
//
//   auto sheet = ShareFT::initWithSharedObj(ShareFTObj::sharedShareFTObj());
//   sheet->shareAction();
#pragma once

#include <memory>

#include "app/sharing/ShareFTObj.h"

namespace murmelo {

class ShareFT : public std::enable_shared_from_this<ShareFT> {
public:
    // The log line of shareAction(): this build has no share sheet.
    static constexpr const char* kNotBuiltLine = "ShareFT: this build has no share sheet; nothing was shared";
    static constexpr const char* kNoRecordLine = "ShareFT: no share record given; nothing to share";

    // init: a controller without a record (give one with setShareObj()).
    ShareFT() = default;
    // initWithSharedObj: — a new controller for `record`.
    static std::shared_ptr<ShareFT> initWithSharedObj(ShareFTObj& record);

    ShareFTObj* shareObj() const { return m_shareObj; }
    void setShareObj(ShareFTObj* record) { m_shareObj = record; }

    // Would show the share sheet; see the header comment.
    void shareAction();

private:
    ShareFTObj* m_shareObj = nullptr; // the single record, never destroyed
};

} // namespace murmelo
