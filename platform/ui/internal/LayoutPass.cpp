#include "platform/ui/internal/LayoutPass.h"

#include "platform/runloop/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/Window.h"

namespace murmelo::internal {

namespace {
bool& pendingFlag() {
    static bool pending = false;
    return pending;
}
} // namespace

void scheduleLayoutPass() {
    if (pendingFlag() || !RunLoop::isMainThread()) {
        return;
    }
    pendingFlag() = true;
    RunLoop::main().post([] {
        if (pendingFlag()) {
            runLayoutPass();
        }
    });
}

void runLayoutPass() {
    assertMainThread();
    pendingFlag() = false;
    for (const auto& window : Application::sharedApplication().windows()) {
        window->layoutIfNeeded();
    }
}

bool isLayoutPassPending() {
    return pendingFlag();
}

} // namespace murmelo::internal
