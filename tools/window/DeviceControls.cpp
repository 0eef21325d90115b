#include "tools/window/DeviceControls.h"

#include <cmath>
#include <memory>

#include "platform/foundation/DeviceProfile.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/ButtonPanel.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/Responder.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenRenderer.h"
#include "platform/ui/TextInput.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "tools/murmelo/driver/GoBack.h"
#include "tools/murmelo/driver/ScreenQuery.h"

namespace murmelo::window {

namespace {

constexpr double kLineScroll = 40;

Error controlError(const std::string& description) {
    return Error("MurmeloWindow", 1, description);
}

// The view a finger at the point would touch: the front-most visible window
// that takes it decides, as for a tap.
View* viewAt(Point screenPoint) {
    auto windows = Application::sharedApplication().windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        Window& window = **it;
        if (window.isHidden() || window.alpha() < 0.01) {
            continue;
        }
        Rect frame = window.frame();
        Event probe;
        if (View* hit =
                window.hitTest({screenPoint.x - frame.origin.x, screenPoint.y - frame.origin.y}, &probe)) {
            return hit;
        }
    }
    return nullptr;
}

WebView* webViewAt(Point screenPoint) {
    for (View* view = viewAt(screenPoint); view; view = view->superview()) {
        if (auto* web = dynamic_cast<WebView*>(view)) {
            return web;
        }
    }
    return nullptr;
}

TextInput* keyboardInput() {
    return dynamic_cast<TextInput*>(Responder::currentFirstResponder().get());
}

std::shared_ptr<ButtonPanel> frontPanel() {
    auto panels = Interaction::shownPanels();
    return panels.empty() ? nullptr : std::dynamic_pointer_cast<ButtonPanel>(panels.back());
}

Result<void> pressReturn() {
    if (keyboardInput()) {
        return Interaction::pressReturn();
    }
    auto panel = frontPanel();
    // Only an alert has a default; a sheet's choices are the person's.
    if (!panel || !std::dynamic_pointer_cast<AlertView>(panel)) {
        return controlError("return: no text input has the keyboard and no alert is shown");
    }
    const int count = panel->numberOfButtons();
    const int cancel = panel->cancelButtonIndex();
    if (count == 1) {
        return Interaction::tapAlertButton(0);
    }
    if (count == 2 && cancel >= 0) {
        return Interaction::tapAlertButton(cancel == 0 ? 1 : 0);
    }
    return controlError("return: the alert has no single default button");
}

Result<void> pressEscape() {
    if (auto panel = frontPanel()) {
        if (panel->cancelButtonIndex() >= 0) {
            return Interaction::tapAlertButton(panel->cancelButtonIndex());
        }
        if (panel->numberOfButtons() == 1) {
            return Interaction::tapAlertButton(0);
        }
        return controlError("escape: the alert has no cancel button");
    }
    auto responder = Responder::currentFirstResponder();
    if (responder && dynamic_cast<TextInput*>(responder.get())) {
        if (!responder->resignFirstResponder()) {
            return controlError("escape: the text input keeps the keyboard");
        }
        return {};
    }
    return controlError("escape: nothing to cancel");
}

Result<void> scrollKey(double points, std::optional<Point> at) {
    WebView* web = at ? webViewAt(*at) : nullptr;
    if (!web) {
        web = driver::frontMostVisible<WebView>();
    }
    if (!web) {
        return controlError("no web view is shown");
    }
    (void)web->scrollBy(points);
    return {};
}

} // namespace

Point pointForWindowPosition(double x, double y, double zoom, double scale) {
    double pixelsPerPoint = zoom * scale;
    if (!(pixelsPerPoint > 0)) {
        return {x, y};
    }
    return {x / pixelsPerPoint, y / pixelsPerPoint};
}

Result<void> tapAt(Point screenPoint) {
    if (!std::isfinite(screenPoint.x) || !std::isfinite(screenPoint.y) ||
        !Screen::mainScreen().bounds().contains(screenPoint)) {
        return controlError("the point is off the screen");
    }
    return Interaction::tapAt(screenPoint);
}

Result<void> scrollAt(Point screenPoint, double points) {
    WebView* web = webViewAt(screenPoint);
    if (!web) {
        return controlError("no web view under the pointer");
    }
    if (!web->scrollBy(points)) {
        return controlError(points < 0 ? "the page is at its top" : "the page is at its end");
    }
    return {};
}

Result<void> typeText(std::string_view text) {
    return Interaction::typeText(text);
}

Result<void> pressKey(WindowKey key, std::optional<Point> at) {
    switch (key) {
    case WindowKey::Return:
        return pressReturn();
    case WindowKey::Escape:
        return pressEscape();
    case WindowKey::Backspace:
        return Interaction::deleteBackward(1);
    case WindowKey::Back:
        return driver::goBack();
    case WindowKey::MemoryWarning:
        Interaction::memoryWarning();
        return {};
    case WindowKey::ScrollUp:
        return scrollKey(-kLineScroll, at);
    case WindowKey::ScrollDown:
        return scrollKey(kLineScroll, at);
    case WindowKey::PageUp:
    case WindowKey::PageDown: {
        double page = Screen::mainScreen().bounds().height() * 0.8;
        return scrollKey(key == WindowKey::PageUp ? -page : page, at);
    }
    }
    return controlError("unknown key");
}

Result<Bitmap> renderFrame() {
    ScreenRenderer renderer;
    return renderer.renderScreen();
}

double deviceScale() {
    return ScreenRenderer().scale();
}

} // namespace murmelo::window
