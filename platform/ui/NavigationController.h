// NavigationController: a stack of screens, the top one shown below an
// optional navigation bar. push and pop change the top with an animation of
// 0.35 s (or at once); the appearance calls follow the order of
// ViewController (the outgoing screen first, the "did" calls when the
// animation ends). Starting a change while one runs completes the running
// one first. A screen that is already shown elsewhere is not pushed (logged).
//
// Ownership: the controller owns the screens on its stack (a popped screen
// until its pop has finished) and its view and bar. The delegate is held
// weakly. Main thread only.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/ViewController.h"

namespace murmelo {

class NavigationBar;
class NavigationController;

class NavigationControllerDelegate {
public:
    virtual ~NavigationControllerDelegate() = default;
    // navigationController:willShowViewController:animated:
    virtual void willShowViewController(NavigationController& navigation, ViewController& controller,
                                        bool animated);
    virtual void didShowViewController(NavigationController& navigation, ViewController& controller,
                                       bool animated);
};

class NavigationController : public ViewController {
public:
    static constexpr double kTransitionDuration = 0.35;

    NavigationController();
    // initWithRootViewController:
    explicit NavigationController(std::shared_ptr<ViewController> root);
    ~NavigationController() override;

    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return m_stack; }
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated);
    std::shared_ptr<ViewController> topViewController() const;
    // The top screen's modal screen when it presents one, else the top.
    std::shared_ptr<ViewController> visibleViewController() const;

    void pushViewController(std::shared_ptr<ViewController> controller, bool animated);
    // The popped screen; nothing at the root.
    std::shared_ptr<ViewController> popViewControllerAnimated(bool animated);
    std::vector<std::shared_ptr<ViewController>> popToRootViewControllerAnimated(bool animated);
    std::vector<std::shared_ptr<ViewController>> popToViewController(const ViewController& controller,
                                                                     bool animated);

    bool isNavigationBarHidden() const { return m_barHidden; }
    void setNavigationBarHidden(bool hidden, bool animated = false);
    // Made with the view.
    const std::shared_ptr<NavigationBar>& navigationBar();

    void setDelegate(std::weak_ptr<NavigationControllerDelegate> delegate) {
        m_delegate = std::move(delegate);
    }

    std::shared_ptr<TabBarItem> tabBarItem() override;
    void loadView() override;
    void dump(ScreenDumpWriter& writer) const override;

protected:
    std::vector<ViewController*> appearanceChildren() const override;

private:
    class ContainerView;

    bool canShow(const ViewController& controller) const;
    void changeTop(std::shared_ptr<ViewController> oldTop,
                   std::vector<std::shared_ptr<ViewController>> removed, bool animated);
    void layoutContent();
    Rect contentFrame() const;
    void updateBar();

    std::vector<std::shared_ptr<ViewController>> m_stack;
    std::shared_ptr<NavigationBar> m_bar;
    bool m_barHidden = false;
    std::weak_ptr<NavigationControllerDelegate> m_delegate;
};

} // namespace murmelo
