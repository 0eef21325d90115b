// OVPostWebViewController: the "Post your secret" tab — a web screen that
// shows the content server's posting page. Every page, form post and
// redirect loads in place; only App Store links leave the application (the
// parameter block is appended to the address the decision reads).
//
// An ordinary object: the tab bar owns it. Main thread only.
#pragma once

#include <memory>

#include "app/web/WebScreen.h"

namespace murmelo {

class OVPostWebViewController : public WebScreen {
public:
    OVPostWebViewController();

    // reload, fixed space, flexible space, flexible space; the close and
    // "add comment" buttons are made but not shown.
    void loadToolBar() override;
};

} // namespace murmelo
