#include "platform/ui/internal/AlertOverlay.h"

#include <algorithm>

#include "platform/ui/Application.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace murmelo::internal {

AlertOverlay& AlertOverlay::shared() {
    static AlertOverlay* overlay = new AlertOverlay(); // lives for the whole process
    return *overlay;
}

std::shared_ptr<Window> AlertOverlay::window() {
    if (!m_window) {
        m_window = std::make_shared<Window>(Screen::mainScreen().bounds());
        m_window->setWindowLevel(kWindowLevelAlert);
        m_window->setBackgroundColor(Color(0, 0, 0, 0.4));
        m_window->setOpaque(false);
    }
    return m_window;
}

void AlertOverlay::show(std::shared_ptr<View> panel) {
    assertMainThread();
    if (!panel) {
        return;
    }
    auto overlay = window();
    if (overlay->subviews().empty()) {
        auto key = Application::sharedApplication().keyWindow();
        if (key != overlay) {
            m_previousKey = key;
        }
    }
    for (const auto& other : overlay->subviews()) {
        other->setHidden(true);
    }
    panel->setHidden(false);
    overlay->addSubview(std::move(panel));
    if (overlay->isHidden() || !overlay->isKeyWindow()) {
        overlay->makeKeyAndVisible();
    }
}

void AlertOverlay::remove(View& panel) {
    assertMainThread();
    if (!m_window || panel.superview() != m_window.get()) {
        return;
    }
    panel.removeFromSuperview();
    restoreFront();
}

void AlertOverlay::restoreFront() {
    if (!m_window) {
        return;
    }
    if (!m_window->subviews().empty()) {
        m_window->subviews().back()->setHidden(false);
        return;
    }
    m_window->setHidden(true);
    auto previous = m_previousKey.lock();
    m_previousKey.reset();
    if (!previous) {
        for (const auto& candidate : Application::sharedApplication().windows()) {
            if (candidate != m_window && !candidate->isHidden()) {
                previous = candidate;
                break;
            }
        }
    }
    if (previous) {
        previous->makeKeyWindow();
    }
}

bool AlertOverlay::contains(const View& panel) const {
    return m_window && panel.superview() == m_window.get();
}

std::vector<std::shared_ptr<View>> AlertOverlay::panels() const {
    if (!m_window) {
        return {};
    }
    return m_window->subviews();
}

std::shared_ptr<View> AlertOverlay::front() const {
    if (!m_window || m_window->subviews().empty()) {
        return nullptr;
    }
    return m_window->subviews().back();
}

void AlertOverlay::reset() {
    if (!m_window) {
        return;
    }
    for (auto& panel : std::vector<std::shared_ptr<View>>(m_window->subviews())) {
        panel->removeFromSuperview();
    }
    m_window->setHidden(true);
    m_previousKey.reset();
}

} // namespace murmelo::internal
