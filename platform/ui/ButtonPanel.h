// ButtonPanel: what alerts and action sheets share — a list of titled
// buttons by index (one of them may be the cancel button), showing in the
// alert overlay (the newest in front; only the front one takes taps), and
// dismissal by a tap or from code.
//
// A tap on button i: the delegate's clickedButtonAtIndex(i), then
// willDismissWithButtonIndex(i); the panel leaves the screen at once and,
// after the dismissal animation (0.25 s) on the main run loop,
// didDismissWithButtonIndex(i) follows. Dismissing from code skips the
// click. Showing calls willPresent, puts the panel in front, lays it out
// (its layoutSubviews, subclasses' too) and calls didPresent.
//
// The panel's own labels and buttons stay below any view a subclass adds,
// and are placed once for their contents (again only when the title,
// message or buttons change), so a subclass may move them in its
// layoutSubviews after calling the base.
//
// Main thread only. Panels must be owned by a shared_ptr; while shown the
// overlay holds them. Delegates are held weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/View.h"

namespace murmelo {

class Button;

class ButtonPanel : public View {
public:
    static constexpr double kDismissDuration = 0.25;

    // The new button's index.
    int addButtonWithTitle(std::string title);
    int numberOfButtons() const { return static_cast<int>(m_titles.size()); }
    std::optional<std::string> buttonTitleAtIndex(int index) const;
    // -1 when there is none.
    int cancelButtonIndex() const { return m_cancelIndex; }
    void setCancelButtonIndex(int index);
    bool isVisible() const { return m_visible; }
    void dismissWithClickedButtonIndex(int buttonIndex, bool animated);
    // The button view shown for an index (the interaction API taps it).
    std::shared_ptr<Button> buttonAtIndex(int index) const;

    void layoutSubviews() override;

protected:
    ButtonPanel();

    // Puts the panel in front on the screen (see above).
    void present();
    void markContentsChanged();
    bool contentsChanged() const { return m_contentsDirty; }
    // Places the panel's own labels and buttons and sets its frame.
    virtual void placeContents() = 0;
    // Adds one of the panel's own views below anything a subclass added.
    void insertOwnView(const std::shared_ptr<View>& view);
    bool isOwnView(const View& view) const;
    virtual void styleButton(Button& button, int index) const;

    virtual void notifyWillPresent() {}
    virtual void notifyDidPresent() {}
    virtual void notifyClicked(int) {}
    virtual void notifyWillDismiss(int) {}
    virtual void notifyDidDismiss(int) {}

    // "[i] "title" (cancel)" lines, plus what subclasses mark.
    void dumpButtons(ScreenDumpWriter& writer) const;
    virtual std::string buttonMarker(int index) const;
    // Views a subclass added, in order.
    void dumpAddedViews(ScreenDumpWriter& writer) const;

private:
    void buttonTapped(int index);

    std::vector<std::string> m_titles;
    std::vector<std::shared_ptr<Button>> m_buttons;
    std::vector<const View*> m_ownViews;
    int m_cancelIndex = -1;
    bool m_visible = false;
    bool m_contentsDirty = true;
};

} // namespace murmelo
