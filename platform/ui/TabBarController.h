// TabBarController: screens side by side behind a tab bar; the selected one
// is shown above the bar. A tap on a tab item (the user's choice) asks the
// delegate whether to select it, selects it and then tells the delegate —
// also when the tab was already selected. Selecting from code (selected
// index or controller) never calls the delegate. Switching tabs is not
// animated; the appearance calls follow ViewController's order.
//
// Ownership: the controller owns its screens, view and tab bar; the delegate
// is held weakly. Main thread only.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/ViewController.h"

namespace murmelo {

class TabBar;
class TabBarController;

class TabBarControllerDelegate {
public:
    virtual ~TabBarControllerDelegate() = default;
    // tabBarController:shouldSelectViewController: (default: yes)
    virtual bool shouldSelectViewController(TabBarController& tabBarController, ViewController& controller);
    // tabBarController:didSelectViewController:
    virtual void didSelectViewController(TabBarController& tabBarController, ViewController& controller);
};

class TabBarController : public ViewController {
public:
    TabBarController() = default;
    ~TabBarController() override;

    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return m_controllers; }
    // Keeps the selected index when it is still valid, else selects the first.
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated);

    // Nothing while there are no screens.
    std::optional<size_t> selectedIndex() const { return m_selected; }
    void setSelectedIndex(size_t index);
    std::shared_ptr<ViewController> selectedViewController() const;
    void setSelectedViewController(const std::shared_ptr<ViewController>& controller);

    void setDelegate(std::weak_ptr<TabBarControllerDelegate> delegate) { m_delegate = std::move(delegate); }
    // Made with the view.
    const std::shared_ptr<TabBar>& tabBar();

    void loadView() override;
    void dump(ScreenDumpWriter& writer) const override;

protected:
    std::vector<ViewController*> appearanceChildren() const override;

private:
    friend class TabBar;
    class ContainerView;

    void userSelectedTab(size_t index);
    void select(size_t index);
    void showSelected(const std::shared_ptr<ViewController>& previous);
    void layoutContent();
    Rect contentFrame() const;

    std::vector<std::shared_ptr<ViewController>> m_controllers;
    std::optional<size_t> m_selected;
    std::shared_ptr<TabBar> m_tabBar;
    std::weak_ptr<TabBarControllerDelegate> m_delegate;
};

} // namespace murmelo
