// The window for builds without GTK 4.
#include "tools/window/WindowFrontend.h"

namespace murmelo::window {

bool hasWindow() {
    return false;
}

Result<std::shared_ptr<void>> openWindow(const WindowOptions&, driver::SessionContext&) {
    return Error("MurmeloWindow", 1, "this build has no window (GTK 4 was not found when it was built)");
}

} // namespace murmelo::window
