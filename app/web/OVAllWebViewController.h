// OVAllWebViewController: a stacked screen on the "Secret pool" navigation
// stack, showing a page opened by an "opennew" or "comment" link. Its own
// links with those words open one more stacked screen once its first page
// has finished loading (finishedLoad); a "closenew" link reloads the first
// screen of the stack and closes this one. The same address twice in a row
// (oldUrl) loads without further tests.
//
// An ordinary object: the navigation stack owns it while it is on the
// stack. Main thread only.
#pragma once

#include <memory>
#include <string>

#include "app/web/WebScreen.h"

namespace murmelo {

class OVAllWebViewController : public WebScreen {
public:
    OVAllWebViewController();

    // reload, fixed space, flexible space, flexible space, close ("Share" is
    // made, held in commentButtonItem, and not shown).
    void loadToolBar() override;
    // The "Share" button's action: a share sheet without a record.
    void Share();

    bool finishedLoad() const { return m_finishedLoad; }
    void setFinishedLoad(bool finished) { m_finishedLoad = finished; }
    const std::string& oldUrl() const { return m_oldUrl; }
    void setOldUrl(std::string url) { m_oldUrl = std::move(url); }

    void viewDidLoad() override;

protected:
    StackedScreenState stackedState() const override { return {m_oldUrl, m_finishedLoad}; }
    void storeOldUrl(const std::string& url) override { m_oldUrl = url; }
    void didFinishLoadHook() override { m_finishedLoad = true; }

private:
    bool m_finishedLoad = false;
    std::string m_oldUrl;
};

} // namespace murmelo
