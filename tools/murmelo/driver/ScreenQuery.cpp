#include "tools/murmelo/driver/ScreenQuery.h"

#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace murmelo::driver {

namespace {

bool isShown(const View& view) {
    return !view.isHidden() && view.alpha() >= 0.01;
}

void collectShown(View& view, std::vector<View*>& out) {
    if (!isShown(view)) {
        return;
    }
    out.push_back(&view);
    for (const auto& subview : view.subviews()) {
        collectShown(*subview, out);
    }
}

} // namespace

std::vector<View*> visibleViewsOf(Window& window) {
    std::vector<View*> views;
    collectShown(window, views);
    return views;
}

std::vector<View*> visibleViewsFrontFirst() {
    auto windows = Application::sharedApplication().windows();
    std::vector<View*> all;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (!isShown(**it)) {
            continue;
        }
        auto views = visibleViewsOf(**it);
        all.insert(all.end(), views.rbegin(), views.rend());
    }
    return all;
}

} // namespace murmelo::driver
