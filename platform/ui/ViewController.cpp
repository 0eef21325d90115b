#include "platform/ui/ViewController.h"

#include "platform/core/Log.h"
#include "platform/ui/Application.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace murmelo {

const char* modalTransitionStyleName(ModalTransitionStyle style) {
    switch (style) {
    case ModalTransitionStyle::FlipHorizontal:
        return "flip-horizontal";
    case ModalTransitionStyle::CrossDissolve:
        return "cross-dissolve";
    case ModalTransitionStyle::PartialCurl:
        return "partial-curl";
    case ModalTransitionStyle::CoverVertical:
        break;
    }
    return "cover-vertical";
}

ViewController::ViewController() {
    m_memoryWarningObserver = NotificationCenter::defaultCenter().addObserver(
        std::string(Application::kDidReceiveMemoryWarningNotification), nullptr,
        [this](const Notification&) { didReceiveMemoryWarning(); });
}

ViewController::~ViewController() {
    m_memoryWarningObserver.remove();
    if (m_view) {
        m_view->m_viewController = nullptr;
    }
    if (m_presented) {
        m_presented->m_presenting = nullptr;
    }
}

// ---- the view

const std::shared_ptr<View>& ViewController::view() {
    assertMainThread();
    if (!m_view && !m_loadingView) {
        m_loadingView = true;
        loadView();
        m_loadingView = false;
        if (!m_view) {
            logLine("%s: loadView made no view; a plain one stands in", className().c_str());
            setView(std::make_shared<View>(Screen::mainScreen().applicationFrame()));
        }
        viewDidLoad();
    }
    return m_view;
}

void ViewController::setView(std::shared_ptr<View> view) {
    assertMainThread();
    if (view == m_view) {
        return;
    }
    if (m_view) {
        m_view->m_viewController = nullptr;
    }
    if (view && view->m_viewController && view->m_viewController != this) {
        ViewController* previous = view->m_viewController;
        previous->m_view.reset();
    }
    m_view = std::move(view);
    if (m_view) {
        m_view->m_viewController = this;
    }
}

void ViewController::loadView() {
    setView(std::make_shared<View>(Screen::mainScreen().applicationFrame()));
}

void ViewController::viewWillAppear(bool) {}
void ViewController::viewDidAppear(bool) {}
void ViewController::viewWillDisappear(bool) {}
void ViewController::viewDidDisappear(bool) {}

void ViewController::didReceiveMemoryWarning() {
    if (m_view && !m_view->window()) {
        unloadView();
    }
}

void ViewController::unloadView() {
    auto old = m_view;
    if (old->superview()) {
        old->removeFromSuperview();
    }
    old->m_viewController = nullptr;
    m_view.reset();
    viewDidUnload();
}

// ---- identity

void ViewController::setTitle(std::string title) {
    m_title = std::move(title);
}

std::shared_ptr<TabBarItem> ViewController::tabBarItem() {
    if (!m_tabBarItem) {
        m_tabBarItem = std::make_shared<TabBarItem>(m_title, nullptr, 0);
    }
    return m_tabBarItem;
}

void ViewController::setTabBarItem(std::shared_ptr<TabBarItem> item) {
    m_tabBarItem = std::move(item);
}

// ---- family

ViewController* ViewController::parentViewController() const {
    return m_container ? m_container : m_presenting;
}

NavigationController* ViewController::navigationController() const {
    for (ViewController* c = m_container; c; c = c->m_container) {
        if (auto* navigation = dynamic_cast<NavigationController*>(c)) {
            return navigation;
        }
    }
    return nullptr;
}

TabBarController* ViewController::tabBarController() const {
    for (ViewController* c = m_container; c; c = c->m_container) {
        if (auto* tabs = dynamic_cast<TabBarController*>(c)) {
            return tabs;
        }
    }
    return nullptr;
}

void ViewController::adoptChild(ViewController& child) {
    child.m_container = this;
}

void ViewController::releaseChild(ViewController& child) {
    if (child.m_container == this) {
        child.m_container = nullptr;
    }
}

Responder* ViewController::nextResponder() const {
    return m_view ? m_view->superview() : nullptr;
}

InterfaceOrientation ViewController::interfaceOrientation() const {
    return Application::sharedApplication().statusBarOrientation();
}

bool ViewController::shouldAutorotateToInterfaceOrientation(InterfaceOrientation orientation) {
    return orientation == InterfaceOrientation::Portrait;
}

// ---- appearance

void ViewController::beginAppearance(ViewController& c, bool appearing, bool animated) {
    if (appearing) {
        if (c.m_appearance == AppearanceState::Appearing || c.m_appearance == AppearanceState::Appeared) {
            return;
        }
        (void)c.view(); // a screen that appears has its view
        c.m_appearance = AppearanceState::Appearing;
        c.m_appearanceAnimated = animated;
        c.viewWillAppear(animated);
    } else {
        if (c.m_appearance == AppearanceState::Disappearing ||
            c.m_appearance == AppearanceState::Disappeared) {
            return;
        }
        c.m_appearance = AppearanceState::Disappearing;
        c.m_appearanceAnimated = animated;
        c.viewWillDisappear(animated);
    }
    for (ViewController* child : c.appearanceChildren()) {
        beginAppearance(*child, appearing, animated);
    }
}

void ViewController::endAppearance(ViewController& c) {
    bool animated = c.m_appearanceAnimated;
    if (c.m_appearance == AppearanceState::Appearing) {
        c.m_appearance = AppearanceState::Appeared;
        c.viewDidAppear(animated);
    } else if (c.m_appearance == AppearanceState::Disappearing) {
        c.m_appearance = AppearanceState::Disappeared;
        c.viewDidDisappear(animated);
    } else {
        return;
    }
    for (ViewController* child : c.appearanceChildren()) {
        endAppearance(*child);
    }
}

bool ViewController::isOnScreen() const {
    return m_appearance == AppearanceState::Appearing || m_appearance == AppearanceState::Appeared;
}

void ViewController::appearFromHierarchy(bool appearing) {
    if (appearing && m_appearance == AppearanceState::Disappeared) {
        beginAppearance(*this, true, false);
        endAppearance(*this);
    } else if (!appearing && m_appearance == AppearanceState::Appeared) {
        beginAppearance(*this, false, false);
        endAppearance(*this);
    }
}

// ---- transitions

void ViewController::finishTransition() {
    if (m_transition != 0) {
        auto id = m_transition;
        m_transition = 0;
        internal::AnimationScheduler::shared().finishNow(id);
    }
}

void ViewController::runTransition(bool animated, double duration, std::function<void()> completion) {
    auto self = sharedAs<ViewController>();
    if (!animated || !self) {
        completion();
        return;
    }
    m_transition =
        internal::AnimationScheduler::shared().schedule(duration, [self, completion = std::move(completion)] {
            self->m_transition = 0;
            completion();
        });
}

// ---- modal presentation

ViewController* ViewController::presentationRoot() {
    ViewController* c = this;
    while (c->m_container) {
        c = c->m_container;
    }
    return c;
}

const ViewController* ViewController::presentationRoot() const {
    return const_cast<ViewController*>(this)->presentationRoot();
}

std::shared_ptr<ViewController> ViewController::modalViewController() const {
    return presentationRoot()->m_presented;
}

void ViewController::presentModalViewController(std::shared_ptr<ViewController> controller, bool animated) {
    assertMainThread();
    if (!controller || controller.get() == this) {
        return;
    }
    if (controller->m_presenting || controller->m_container || controller->isOnScreen()) {
        logLine("%s: %s is already shown; not presenting it again", className().c_str(),
                controller->className().c_str());
        return;
    }
    ViewController* presenter = presentationRoot();
    if (presenter->m_presented) {
        logLine("%s: already presents %s; present from that screen instead", presenter->className().c_str(),
                presenter->m_presented->className().c_str());
        return;
    }
    presenter->finishTransition();
    presenter->m_presented = controller;
    controller->m_presenting = presenter;

    Window* window = presenter->m_view ? presenter->m_view->window() : nullptr;
    if (!window || !presenter->isOnScreen()) {
        return; // not on screen: the link alone
    }
    const auto& presentedView = controller->view();
    presentedView->setFrame(Screen::mainScreen().applicationFrame());
    beginAppearance(*presenter, false, animated);
    beginAppearance(*controller, true, animated);
    window->addSubview(presentedView);

    presenter->runTransition(animated, kModalTransitionDuration, [presenter, controller] {
        if (presenter->m_presented == controller && presenter->m_view && presenter->m_view->superview()) {
            View* superview = presenter->m_view->superview();
            const auto& siblings = superview->subviews();
            for (size_t i = 0; i < siblings.size(); ++i) {
                if (siblings[i] == presenter->m_view) {
                    presenter->m_restoreIndex = i;
                }
            }
            presenter->m_restoreSuperview = superview->sharedAs<View>();
            presenter->m_view->removeFromSuperview();
        }
        endAppearance(*presenter);
        endAppearance(*controller);
    });
}

void ViewController::dismissModalViewControllerAnimated(bool animated) {
    assertMainThread();
    ViewController* root = presentationRoot();
    if (root->m_presented) {
        root->dismissPresented(animated);
    } else if (root->m_presenting) {
        root->m_presenting->dismissPresented(animated);
    } else {
        logLine("%s: nothing to dismiss", className().c_str());
    }
}

void ViewController::dismissPresented(bool animated) {
    finishTransition();
    if (!m_presented) {
        return;
    }
    std::vector<std::shared_ptr<ViewController>> chain;
    for (auto c = m_presented; c; c = c->m_presented) {
        chain.push_back(c);
    }
    for (auto& c : chain) {
        c->finishTransition();
        c->m_presenting = nullptr;
    }
    for (auto& c : chain) {
        c->m_presented.reset();
    }
    m_presented.reset();

    auto top = chain.back();
    Window* window = top->m_view ? top->m_view->window() : nullptr;
    bool visible = window && !window->isHidden() && top->isOnScreen();
    auto restoreTo = m_restoreSuperview.lock();
    m_restoreSuperview.reset();
    if (visible) {
        (void)view(); // built again if a memory warning took it
        beginAppearance(*top, false, animated);
        beginAppearance(*this, true, animated);
    }
    // The presenter's view goes back where it was, also when nothing shows.
    if (restoreTo || visible) {
        const auto& own = view();
        if (!own->superview()) {
            if (restoreTo) {
                restoreTo->insertSubview(own, m_restoreIndex);
            } else {
                window->insertSubview(own, 0);
            }
        }
    }
    runTransition(animated && visible, kModalTransitionDuration, [this, chain, top, visible] {
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if ((*it)->m_view && (*it)->m_view->superview()) {
                (*it)->m_view->removeFromSuperview();
            }
        }
        if (visible) {
            endAppearance(*top);
            endAppearance(*this);
        }
    });
}

void ViewController::dump(ScreenDumpWriter& writer) const {
    std::string heading = "screen " + className();
    if (m_presenting) {
        heading +=
            m_modalTransitionStyle == ModalTransitionStyle::CoverVertical
                ? std::string(" (presented)")
                : std::string(" (presented, ") + modalTransitionStyleName(m_modalTransitionStyle) + ")";
    }
    writer.line(heading);
    if (m_view) {
        writer.nested([&] { writer.visitContent(*m_view); });
    }
}

} // namespace murmelo
