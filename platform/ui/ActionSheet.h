// ActionSheet: a choice of buttons rising from the bottom of the screen
// (see ButtonPanel for the delegate calls). Buttons are numbered: the
// destructive button first when there is one, then the other titles, then
// the cancel button, then those added later — so a sheet made with only a
// cancel button and given its choices with addButtonWithTitle has the cancel
// button at index 0.
//
// Layout: the screen's width; the title (14) on as many lines as it needs,
// then one button per row, 44 high, 8 apart, the sheet resting on the
// bottom edge.
//
// Main thread only. Must be owned by a shared_ptr to be shown; the screen
// keeps it while shown. The delegate is held weakly; the view it was shown
// in is remembered weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ButtonPanel.h"

namespace murmelo {

class ActionSheet;
class Label;
class TabBar;
class Toolbar;

enum class ActionSheetStyle { Automatic = -1, Default = 0, BlackTranslucent = 1, BlackOpaque = 2 };
const char* actionSheetStyleName(ActionSheetStyle style);

class ActionSheetDelegate {
public:
    virtual ~ActionSheetDelegate() = default;
    // actionSheet:clickedButtonAtIndex:
    virtual void clickedButtonAtIndex(ActionSheet&, int) {}
    virtual void actionSheetCancel(ActionSheet&) {}
    virtual void willPresentActionSheet(ActionSheet&) {}
    virtual void didPresentActionSheet(ActionSheet&) {}
    // actionSheet:willDismissWithButtonIndex:
    virtual void willDismissWithButtonIndex(ActionSheet&, int) {}
    // actionSheet:didDismissWithButtonIndex:
    virtual void didDismissWithButtonIndex(ActionSheet&, int) {}
};

class ActionSheet : public ButtonPanel {
public:
    // initWithTitle:delegate:cancelButtonTitle:destructiveButtonTitle:otherButtonTitles:
    ActionSheet(std::optional<std::string> title, std::weak_ptr<ActionSheetDelegate> delegate,
                std::optional<std::string> cancelButtonTitle,
                std::optional<std::string> destructiveButtonTitle,
                const std::vector<std::string>& otherButtonTitles = {});

    const std::optional<std::string>& title() const { return m_title; }
    void setTitle(std::optional<std::string> title);
    std::shared_ptr<ActionSheetDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<ActionSheetDelegate> delegate) { m_delegate = std::move(delegate); }
    int destructiveButtonIndex() const { return m_destructiveIndex; }
    void setDestructiveButtonIndex(int index);
    int firstOtherButtonIndex() const;
    ActionSheetStyle actionSheetStyle() const { return m_style; }
    void setActionSheetStyle(ActionSheetStyle style) { m_style = style; }

    void showInView(View& view);
    void showFromToolbar(Toolbar& toolbar);
    void showFromTabBar(TabBar& tabBar);
    // The view it was last shown in, while that exists.
    std::shared_ptr<View> shownInView() const { return m_shownIn.lock(); }

    void dump(ScreenDumpWriter& writer) const override;

protected:
    void placeContents() override;
    std::string buttonMarker(int index) const override;
    void notifyWillPresent() override;
    void notifyDidPresent() override;
    void notifyClicked(int index) override;
    void notifyWillDismiss(int index) override;
    void notifyDidDismiss(int index) override;

private:
    std::optional<std::string> m_title;
    std::weak_ptr<ActionSheetDelegate> m_delegate;
    std::shared_ptr<Label> m_titleLabel;
    int m_destructiveIndex = -1;
    ActionSheetStyle m_style = ActionSheetStyle::Automatic;
    std::weak_ptr<View> m_shownIn;
};

} // namespace murmelo
