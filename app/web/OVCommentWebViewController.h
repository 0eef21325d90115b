// OVCommentWebViewController: a web screen with an "add comment" button in
// its toolbar (reload, fixed space, flexible space, "add comment", flexible
// space, close). Nothing in the application creates it; it routes like the
// feedback screen.
//
// A documented single instance, like OVWebViewController:
// sharedOVCommentWebViewController() makes it on first use under a lock on
// the class; alloc() gives it at the first allocation and nothing after.
// Never destroyed. The screen itself is used on the main thread only.
#pragma once

#include <memory>

#include "app/web/WebScreen.h"

namespace murmelo {

class OVCommentWebViewController : public WebScreen {
public:
    static std::shared_ptr<OVCommentWebViewController> sharedOVCommentWebViewController();
    static std::shared_ptr<OVCommentWebViewController> alloc();

    void loadToolBar() override;

    OVCommentWebViewController(const OVCommentWebViewController&) = delete;
    OVCommentWebViewController& operator=(const OVCommentWebViewController&) = delete;

private:
    OVCommentWebViewController(); // through alloc() and the shared accessor only
};

} // namespace murmelo
