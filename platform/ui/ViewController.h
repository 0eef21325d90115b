// ViewController: one screen — it makes its view on first use (loadView,
// then viewDidLoad), is told when the view appears and disappears, lets go of
// the view under memory pressure when it is off screen (viewDidUnload; the
// next use builds it again), and presents other screens modally.
//
// Appearance: viewWillAppear / viewDidAppear / viewWillDisappear /
// viewDidDisappear are called once per change, never twice in a row.
// Containers (navigation, tab bar) pass them on to the child they show; a
// root screen (its view put straight into a visible window) gets them from
// the window. In a change between two screens the outgoing one is told
// first: old.viewWillDisappear, new.viewWillAppear, (animation),
// old.viewDidDisappear, new.viewDidAppear.
//
// Modal presentation: presentModalViewController() presents from the
// outermost container of the receiver (its "presentation root"); the
// presented screen's view covers the application frame and, once it is
// shown, the presenter's view leaves the window (so a memory warning may
// unload it) and comes back on dismissal. A presented screen may present
// another: the chain runs from the root to the last one.
// dismissModalViewControllerAnimated() on a presenter dismisses what it
// presents (with everything that presents); on a presented screen it
// dismisses that screen. A screen that already presents refuses a second
// presentation (logged).
//
// Ownership: a controller owns its view; containers own their children; a
// presenter owns what it presents until the dismissal has finished. Parent
// and presenter links are back references their owner clears. Controllers
// must be owned by a shared_ptr (std::make_shared). Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Responder.h"
#include "platform/ui/internal/AnimationScheduler.h"

namespace murmelo {

class NavigationController;
class ScreenDumpWriter;
class TabBarController;
class TabBarItem;
class View;

enum class ModalTransitionStyle { CoverVertical, FlipHorizontal, CrossDissolve, PartialCurl };
const char* modalTransitionStyleName(ModalTransitionStyle style);

enum class AppearanceState { Disappeared, Appearing, Appeared, Disappearing };

class ViewController : public Responder {
public:
    static constexpr double kModalTransitionDuration = 0.4;

    ViewController();
    ~ViewController() override;

    // ---- the view
    // Loads the view on first use.
    const std::shared_ptr<View>& view();
    bool isViewLoaded() const { return m_view != nullptr; }
    void setView(std::shared_ptr<View> view);
    // Makes the view; the default makes a plain view filling the screen's
    // application frame.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewDidUnload() {}

    virtual void viewWillAppear(bool animated);
    virtual void viewDidAppear(bool animated);
    virtual void viewWillDisappear(bool animated);
    virtual void viewDidDisappear(bool animated);
    AppearanceState appearanceState() const { return m_appearance; }

    // Lets go of the view when it is loaded but not in a window, then calls
    // viewDidUnload. Called for every memory warning of the application.
    virtual void didReceiveMemoryWarning();

    // ---- identity
    const std::string& title() const { return m_title; }
    virtual void setTitle(std::string title);
    // Made on first use with the title; a navigation controller without an
    // item of its own shows its root's.
    virtual std::shared_ptr<TabBarItem> tabBarItem();
    void setTabBarItem(std::shared_ptr<TabBarItem> item);

    // ---- family
    // The container, else the presenter, else null.
    ViewController* parentViewController() const;
    // The screen that presents this one modally, or null.
    ViewController* presentingViewController() const { return m_presenting; }
    NavigationController* navigationController() const;
    TabBarController* tabBarController() const;
    // A controller shown by no container and presented by nobody.
    bool isRootScreen() const { return !m_container && !m_presenting; }

    // ---- modal presentation
    void presentModalViewController(std::shared_ptr<ViewController> controller, bool animated);
    void dismissModalViewControllerAnimated(bool animated);
    // What this screen's presentation root presents, or null.
    std::shared_ptr<ViewController> modalViewController() const;
    ModalTransitionStyle modalTransitionStyle() const { return m_modalTransitionStyle; }
    void setModalTransitionStyle(ModalTransitionStyle style) { m_modalTransitionStyle = style; }

    // ---- rotation
    virtual bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation orientation);
    // The status bar's orientation (screens turn with it).
    InterfaceOrientation interfaceOrientation() const;

    // The superview of the view.
    Responder* nextResponder() const override;

    // Writes "screen <Class>" and the view's contents; containers override.
    virtual void dump(ScreenDumpWriter& writer) const;

protected:
    // The children shown with this controller, which appear and disappear
    // with it (containers override).
    virtual std::vector<ViewController*> appearanceChildren() const { return {}; }

    bool hasOwnTabBarItem() const { return m_tabBarItem != nullptr; }

    // For containers: adopt or release a child.
    void adoptChild(ViewController& child);
    void releaseChild(ViewController& child);

    // For containers: tell a child its view comes or goes (appearance
    // calls, when the container is itself on screen).
    static void beginAppearance(ViewController& controller, bool appearing, bool animated);
    static void endAppearance(ViewController& controller);
    bool isOnScreen() const;

    // Completes a running transition of this controller at once (before the
    // next one starts).
    void finishTransition();
    void runTransition(bool animated, double duration, std::function<void()> completion);

private:
    friend class Window;

    void appearFromHierarchy(bool appearing);
    ViewController* presentationRoot();
    const ViewController* presentationRoot() const;
    void dismissPresented(bool animated);
    void unloadView();
    void callWillAppear(bool animated);

    std::shared_ptr<View> m_view;
    std::string m_title;
    std::shared_ptr<TabBarItem> m_tabBarItem;
    AppearanceState m_appearance = AppearanceState::Disappeared;
    bool m_appearanceAnimated = false;
    bool m_loadingView = false;

    ViewController* m_container = nullptr;
    ViewController* m_presenting = nullptr;
    std::shared_ptr<ViewController> m_presented;
    ModalTransitionStyle m_modalTransitionStyle = ModalTransitionStyle::CoverVertical;
    // Where the presenter's view goes back on dismissal.
    std::weak_ptr<View> m_restoreSuperview;
    size_t m_restoreIndex = 0;
    internal::AnimationScheduler::Id m_transition = 0;

    ObserverToken m_memoryWarningObserver; // last: removed first on destruction
};

} // namespace murmelo
