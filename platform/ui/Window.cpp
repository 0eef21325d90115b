#include "platform/ui/Window.h"

#include "platform/ui/Application.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/ViewController.h"

namespace murmelo {

Window::Window(const Rect& frame) : View(frame) {
    assertMainThread();
    View::setHidden(true);
    Application::sharedApplication().registerWindow(this);
}

Window::~Window() {
    Application::sharedApplication().unregisterWindow(this);
}

bool Window::isKeyWindow() const {
    return Application::sharedApplication().keyWindow().get() == this;
}

void Window::makeKeyWindow() {
    assertMainThread();
    Application::sharedApplication().setKeyWindow(this);
}

void Window::makeKeyAndVisible() {
    makeKeyWindow();
    setHidden(false);
}

void Window::setHidden(bool hidden) {
    bool wasHidden = isHidden();
    View::setHidden(hidden);
    if (wasHidden != hidden) {
        setRootScreensAppearing(!hidden);
    }
}

void Window::setRootScreensAppearing(bool appearing) {
    for (const auto& subview : std::vector<std::shared_ptr<View>>(subviews())) {
        // Root screens and the screens presented over them.
        if (ViewController* controller = subview->viewController()) {
            controller->appearFromHierarchy(appearing);
        }
    }
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    assertMainThread();
    if (controller == m_rootViewController) {
        return;
    }
    if (m_rootViewController && m_rootViewController->isViewLoaded() &&
        m_rootViewController->view()->superview() == this) {
        m_rootViewController->view()->removeFromSuperview();
    }
    m_rootViewController = std::move(controller);
    if (m_rootViewController) {
        const auto& view = m_rootViewController->view();
        view->setFrame(Screen::mainScreen().applicationFrame());
        addSubview(view);
    }
}

Responder* Window::nextResponder() const {
    return &Application::sharedApplication();
}

void Window::sendEvent(const Event& event) {
    assertMainThread();
    for (const auto& touch : event.touches) {
        if (!touch.view) {
            continue;
        }
        TouchSet one{touch};
        switch (touch.phase) {
        case TouchPhase::Began:
            touch.view->touchesBegan(one, &event);
            break;
        case TouchPhase::Moved:
        case TouchPhase::Stationary:
            touch.view->touchesMoved(one, &event);
            break;
        case TouchPhase::Ended:
            touch.view->touchesEnded(one, &event);
            break;
        case TouchPhase::Cancelled:
            touch.view->touchesCancelled(one, &event);
            break;
        }
    }
}

void Window::didAddSubview(View& subview) {
    ViewController* controller = subview.viewController();
    if (!isHidden() && controller && controller->isRootScreen()) {
        controller->appearFromHierarchy(true);
    }
}

void Window::willRemoveSubview(View& subview) {
    ViewController* controller = subview.viewController();
    if (!isHidden() && controller && controller->isRootScreen()) {
        controller->appearFromHierarchy(false);
    }
}

void Window::dump(ScreenDumpWriter& writer) const {
    dumpSubviews(writer);
}

} // namespace murmelo
