#include "platform/ui/TabBarController.h"

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/View.h"

namespace murmelo {

class TabBarController::ContainerView : public View {
public:
    using View::View;
    void layoutSubviews() override {
        if (auto* tabs = dynamic_cast<TabBarController*>(viewController())) {
            tabs->layoutContent();
        }
    }
};

bool TabBarControllerDelegate::shouldSelectViewController(TabBarController&, ViewController&) {
    return true;
}
void TabBarControllerDelegate::didSelectViewController(TabBarController&, ViewController&) {}

TabBarController::~TabBarController() {
    for (auto& child : m_controllers) {
        releaseChild(*child);
    }
    if (m_tabBar) {
        m_tabBar->m_controller = nullptr;
    }
}

std::vector<ViewController*> TabBarController::appearanceChildren() const {
    if (auto selected = selectedViewController()) {
        return {selected.get()};
    }
    return {};
}

void TabBarController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool) {
    assertMainThread();
    finishTransition();
    std::vector<std::shared_ptr<ViewController>> accepted;
    for (auto& c : controllers) {
        if (!c || c.get() == this || std::find(accepted.begin(), accepted.end(), c) != accepted.end()) {
            continue;
        }
        bool mine = std::find(m_controllers.begin(), m_controllers.end(), c) != m_controllers.end();
        if (!mine && (c->parentViewController() || c->appearanceState() != AppearanceState::Disappeared)) {
            logLine("TabBarController: %s is already shown; leaving it out", c->className().c_str());
            continue;
        }
        accepted.push_back(c);
    }
    auto previous = selectedViewController();
    for (auto& c : m_controllers) {
        if (std::find(accepted.begin(), accepted.end(), c) == accepted.end()) {
            releaseChild(*c);
        }
    }
    for (auto& c : accepted) {
        adoptChild(*c);
    }
    m_controllers = std::move(accepted);
    if (m_controllers.empty()) {
        m_selected.reset();
    } else if (!m_selected || *m_selected >= m_controllers.size()) {
        m_selected = 0;
    }
    showSelected(previous);
}

std::shared_ptr<ViewController> TabBarController::selectedViewController() const {
    if (!m_selected || *m_selected >= m_controllers.size()) {
        return nullptr;
    }
    return m_controllers[*m_selected];
}

void TabBarController::setSelectedIndex(size_t index) {
    assertMainThread();
    select(index);
}

void TabBarController::setSelectedViewController(const std::shared_ptr<ViewController>& controller) {
    auto it = std::find(m_controllers.begin(), m_controllers.end(), controller);
    if (it != m_controllers.end()) {
        select(static_cast<size_t>(it - m_controllers.begin()));
    }
}

void TabBarController::select(size_t index) {
    if (index >= m_controllers.size() || m_selected == index) {
        return;
    }
    auto previous = selectedViewController();
    m_selected = index;
    showSelected(previous);
}

void TabBarController::userSelectedTab(size_t index) {
    if (index >= m_controllers.size()) {
        return;
    }
    auto controller = m_controllers[index];
    auto delegate = m_delegate.lock();
    if (delegate && !delegate->shouldSelectViewController(*this, *controller)) {
        return;
    }
    select(index);
    if (delegate) {
        delegate->didSelectViewController(*this, *controller);
    }
}

void TabBarController::showSelected(const std::shared_ptr<ViewController>& previous) {
    if (m_tabBar) {
        m_tabBar->setNeedsDisplay();
    }
    auto current = selectedViewController();
    if (!isViewLoaded() || current == previous) {
        return;
    }
    if (current) {
        (void)current->view(); // built before it is told it appears
    }
    bool onScreen = isOnScreen();
    if (onScreen) {
        if (previous) {
            beginAppearance(*previous, false, false);
        }
        if (current) {
            beginAppearance(*current, true, false);
        }
    }
    if (previous && previous->isViewLoaded() && previous->view()->superview() == view().get()) {
        previous->view()->removeFromSuperview();
    }
    if (current) {
        const auto& currentView = current->view();
        currentView->setFrame(contentFrame());
        view()->insertSubviewBelow(currentView, *m_tabBar);
    }
    if (onScreen) {
        if (previous) {
            endAppearance(*previous);
        }
        if (current) {
            endAppearance(*current);
        }
    }
}

const std::shared_ptr<TabBar>& TabBarController::tabBar() {
    (void)view();
    return m_tabBar;
}

Rect TabBarController::contentFrame() const {
    const auto& b = const_cast<TabBarController*>(this)->view()->bounds();
    return {b.origin.x, b.origin.y, b.size.width, std::max(0.0, b.size.height - TabBar::kHeight)};
}

void TabBarController::layoutContent() {
    if (!isViewLoaded()) {
        return;
    }
    const auto& b = view()->bounds();
    m_tabBar->setFrame(
        Rect(b.origin.x, b.origin.y + b.size.height - TabBar::kHeight, b.size.width, TabBar::kHeight));
    if (auto current = selectedViewController();
        current && current->isViewLoaded() && current->view()->superview() == view().get()) {
        current->view()->setFrame(contentFrame());
    }
}

void TabBarController::loadView() {
    Rect frame = Screen::mainScreen().applicationFrame();
    auto container = std::make_shared<ContainerView>(frame);
    setView(container);
    m_tabBar = std::make_shared<TabBar>(
        Rect(0, frame.size.height - TabBar::kHeight, frame.size.width, TabBar::kHeight));
    m_tabBar->m_controller = this;
    container->addSubview(m_tabBar);
    if (auto current = selectedViewController()) {
        const auto& currentView = current->view();
        currentView->setFrame(contentFrame());
        container->insertSubviewBelow(currentView, *m_tabBar);
    }
}

void TabBarController::dump(ScreenDumpWriter& writer) const {
    writer.line("tab bar controller");
    if (isViewLoaded()) {
        auto* self = const_cast<TabBarController*>(this);
        writer.nested([&] {
            // The tabs first, then the selected screen.
            writer.visit(*m_tabBar);
            for (const auto& subview : self->view()->subviews()) {
                if (subview != m_tabBar) {
                    writer.visit(*subview);
                }
            }
        });
    }
}

} // namespace murmelo
