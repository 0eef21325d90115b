#include "platform/ui/NavigationController.h"

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/View.h"

namespace murmelo {

class NavigationController::ContainerView : public View {
public:
    using View::View;
    void layoutSubviews() override {
        if (auto* navigation = dynamic_cast<NavigationController*>(viewController())) {
            navigation->layoutContent();
        }
    }
};

void NavigationControllerDelegate::willShowViewController(NavigationController&, ViewController&, bool) {}
void NavigationControllerDelegate::didShowViewController(NavigationController&, ViewController&, bool) {}

NavigationController::NavigationController() = default;

NavigationController::NavigationController(std::shared_ptr<ViewController> root) {
    if (root && canShow(*root)) {
        adoptChild(*root);
        m_stack.push_back(std::move(root));
    }
}

NavigationController::~NavigationController() {
    for (auto& child : m_stack) {
        releaseChild(*child);
    }
    if (m_bar) {
        m_bar->m_controller = nullptr;
    }
}

bool NavigationController::canShow(const ViewController& controller) const {
    if (&controller == this || controller.parentViewController() ||
        controller.appearanceState() != AppearanceState::Disappeared) {
        return false;
    }
    return std::none_of(m_stack.begin(), m_stack.end(),
                        [&](const auto& c) { return c.get() == &controller; });
}

std::shared_ptr<ViewController> NavigationController::topViewController() const {
    return m_stack.empty() ? nullptr : m_stack.back();
}

std::shared_ptr<ViewController> NavigationController::visibleViewController() const {
    auto top = topViewController();
    if (top) {
        if (auto modal = top->modalViewController()) {
            return modal;
        }
    }
    return top;
}

std::vector<ViewController*> NavigationController::appearanceChildren() const {
    if (m_stack.empty()) {
        return {};
    }
    return {m_stack.back().get()};
}

void NavigationController::pushViewController(std::shared_ptr<ViewController> controller, bool animated) {
    assertMainThread();
    if (!controller) {
        return;
    }
    finishTransition();
    if (!canShow(*controller)) {
        logLine("NavigationController: %s is already shown; not pushing it", controller->className().c_str());
        return;
    }
    auto oldTop = topViewController();
    adoptChild(*controller);
    m_stack.push_back(std::move(controller));
    changeTop(std::move(oldTop), {}, animated);
}

std::shared_ptr<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
    assertMainThread();
    finishTransition();
    if (m_stack.size() <= 1) {
        return nullptr;
    }
    auto popped = m_stack.back();
    m_stack.pop_back();
    changeTop(popped, {popped}, animated);
    return popped;
}

std::vector<std::shared_ptr<ViewController>>
NavigationController::popToRootViewControllerAnimated(bool animated) {
    if (m_stack.empty()) {
        return {};
    }
    return popToViewController(*m_stack.front(), animated);
}

std::vector<std::shared_ptr<ViewController>>
NavigationController::popToViewController(const ViewController& target, bool animated) {
    assertMainThread();
    finishTransition();
    auto it = std::find_if(m_stack.begin(), m_stack.end(), [&](const auto& c) { return c.get() == &target; });
    if (it == m_stack.end() || it + 1 == m_stack.end()) {
        return {};
    }
    std::vector<std::shared_ptr<ViewController>> removed(it + 1, m_stack.end());
    m_stack.erase(it + 1, m_stack.end());
    changeTop(removed.back(), removed, animated);
    return removed;
}

void NavigationController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers,
                                              bool animated) {
    assertMainThread();
    finishTransition();
    std::vector<std::shared_ptr<ViewController>> accepted;
    for (auto& c : controllers) {
        if (!c || std::find(accepted.begin(), accepted.end(), c) != accepted.end()) {
            continue;
        }
        bool mine = std::find(m_stack.begin(), m_stack.end(), c) != m_stack.end();
        if (!mine && !canShow(*c)) {
            logLine("NavigationController: %s is already shown; leaving it out", c->className().c_str());
            continue;
        }
        accepted.push_back(c);
    }
    auto oldTop = topViewController();
    std::vector<std::shared_ptr<ViewController>> removed;
    for (auto& c : m_stack) {
        if (std::find(accepted.begin(), accepted.end(), c) == accepted.end()) {
            removed.push_back(c);
        }
    }
    for (auto& c : accepted) {
        adoptChild(*c);
    }
    m_stack = std::move(accepted);
    changeTop(std::move(oldTop), std::move(removed), animated);
}

void NavigationController::changeTop(std::shared_ptr<ViewController> oldTop,
                                     std::vector<std::shared_ptr<ViewController>> removed, bool animated) {
    auto newTop = topViewController();
    updateBar();
    auto delegate = m_delegate.lock();
    if (newTop && delegate && newTop != oldTop) {
        delegate->willShowViewController(*this, *newTop, animated);
    }
    bool loaded = isViewLoaded();
    bool onScreen = loaded && isOnScreen();
    if (loaded && newTop && newTop != oldTop) {
        const auto& newView = newTop->view();
        newView->setFrame(contentFrame());
        if (onScreen) {
            if (oldTop) {
                beginAppearance(*oldTop, false, animated);
            }
            beginAppearance(*newTop, true, animated);
        }
        if (newView->superview() != view().get()) {
            view()->insertSubviewBelow(newView, *m_bar);
        }
    }
    bool animate = animated && onScreen && oldTop && newTop && newTop != oldTop;
    runTransition(animate, kTransitionDuration, [this, oldTop, newTop, removed, onScreen, animated] {
        auto top = topViewController();
        auto leave = [&](const std::shared_ptr<ViewController>& c) {
            if (c && c != top && c->isViewLoaded() && isViewLoaded() &&
                c->view()->superview() == view().get()) {
                c->view()->removeFromSuperview();
            }
        };
        leave(oldTop);
        for (const auto& c : removed) {
            leave(c);
        }
        if (onScreen && newTop != oldTop) {
            if (oldTop) {
                endAppearance(*oldTop);
            }
            if (newTop) {
                endAppearance(*newTop);
            }
        }
        for (const auto& c : removed) {
            if (std::find(m_stack.begin(), m_stack.end(), c) == m_stack.end()) {
                releaseChild(*c);
            }
        }
        auto delegate = m_delegate.lock();
        if (newTop && delegate && newTop != oldTop) {
            delegate->didShowViewController(*this, *newTop, animated);
        }
    });
}

void NavigationController::setNavigationBarHidden(bool hidden, bool) {
    m_barHidden = hidden;
    if (isViewLoaded()) {
        m_bar->setHidden(hidden);
        layoutContent();
    }
}

const std::shared_ptr<NavigationBar>& NavigationController::navigationBar() {
    (void)view();
    return m_bar;
}

Rect NavigationController::contentFrame() const {
    const auto& b = const_cast<NavigationController*>(this)->view()->bounds();
    if (m_barHidden) {
        return b;
    }
    return {b.origin.x, b.origin.y + NavigationBar::kHeight, b.size.width,
            b.size.height - NavigationBar::kHeight};
}

void NavigationController::layoutContent() {
    if (!isViewLoaded()) {
        return;
    }
    const auto& b = view()->bounds();
    m_bar->setFrame(Rect(b.origin.x, b.origin.y, b.size.width, NavigationBar::kHeight));
    m_bar->setHidden(m_barHidden);
    if (auto top = topViewController();
        top && top->isViewLoaded() && top->view()->superview() == view().get()) {
        top->view()->setFrame(contentFrame());
    }
}

void NavigationController::updateBar() {
    if (!m_bar) {
        return;
    }
    std::string topTitle = m_stack.empty() ? std::string() : m_stack.back()->title();
    std::optional<std::string> backTitle;
    if (m_stack.size() >= 2) {
        const auto& previous = m_stack[m_stack.size() - 2]->title();
        backTitle = previous.empty() ? std::string("Back") : previous;
    }
    m_bar->update(std::move(topTitle), std::move(backTitle));
}

void NavigationController::loadView() {
    Rect frame = Screen::mainScreen().applicationFrame();
    auto container = std::make_shared<ContainerView>(frame);
    setView(container);
    m_bar = std::make_shared<NavigationBar>(Rect(0, 0, frame.size.width, NavigationBar::kHeight));
    m_bar->m_controller = this;
    m_bar->setHidden(m_barHidden);
    container->addSubview(m_bar);
    updateBar();
    if (auto top = topViewController()) {
        const auto& topView = top->view();
        topView->setFrame(contentFrame());
        container->insertSubviewBelow(topView, *m_bar);
    }
}

std::shared_ptr<TabBarItem> NavigationController::tabBarItem() {
    if (!hasOwnTabBarItem() && !m_stack.empty()) {
        return m_stack.front()->tabBarItem();
    }
    return ViewController::tabBarItem();
}

void NavigationController::dump(ScreenDumpWriter& writer) const {
    std::string text = "navigation:";
    for (size_t i = 0; i < m_stack.size(); ++i) {
        text += (i == 0 ? " " : " > ") + m_stack[i]->className();
    }
    if (m_barHidden) {
        text += " (bar hidden)";
    }
    writer.line(text);
    if (isViewLoaded()) {
        auto* self = const_cast<NavigationController*>(this);
        writer.nested([&] { writer.visitContent(*self->view()); });
    }
}

} // namespace murmelo
