// AppDelegate_Pad: the application delegate on a tablet — it only shows the
// window the main interface gives it: no tabs, no status ping, no offer.
//
// Main thread only. Owned by the application for the whole run; it owns its
// window.
#pragma once

#include <memory>

#include "platform/ui/Application.h"

namespace murmelo {

class Window;

class AppDelegate_Pad : public ApplicationDelegate {
public:
    // Makes the window key and visible; answers YES.
    bool didFinishLaunchingWithOptions(Application& application, const Dictionary& launchOptions) override;

    const std::shared_ptr<Window>& window() const { return m_window; }
    void setWindow(std::shared_ptr<Window> window) override { m_window = std::move(window); }

private:
    std::shared_ptr<Window> m_window;
};

} // namespace murmelo
