#include "app/shell/AppDelegate_Pad.h"

#include "platform/ui/Window.h"

namespace murmelo {

bool AppDelegate_Pad::didFinishLaunchingWithOptions(Application&, const Dictionary&) {
    if (m_window) {
        m_window->makeKeyAndVisible();
    }
    return true;
}

} // namespace murmelo
