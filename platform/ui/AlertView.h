// AlertView: a message with a title, a text and buttons, shown in front of
// everything until a button is tapped (see ButtonPanel for the order of the
// delegate calls). Buttons are numbered in the order they were given: the
// cancel button first (index 0) when there is one, then the other titles,
// then those added later.
//
// Subclasses may add their own views (text fields, say) and override
// layoutSubviews (calling the base first) to place them, move the buttons
// and make the alert taller.
//
// Layout: 284 points wide, centred on the screen and never taller than it
// (clear of the status bar, 10 points from the bottom edge), so the buttons
// can always be tapped. The title (bold 18) takes at most three lines, the
// message (16) the lines left over; a text cut short ends in "…". Then the
// buttons — side by side when there are exactly two, else one per row, 43
// high (lower when there are too many rows for the screen). Only what those
// lines can show is measured and laid out, so a text of any length costs
// the same.
//
// Main thread only. Must be owned by a shared_ptr to be shown; the screen
// keeps it while shown. The delegate is held weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ButtonPanel.h"

namespace murmelo {

class AlertView;
class Label;

class AlertViewDelegate {
public:
    virtual ~AlertViewDelegate() = default;
    // alertView:clickedButtonAtIndex:
    virtual void clickedButtonAtIndex(AlertView&, int) {}
    virtual void alertViewCancel(AlertView&) {}
    virtual void willPresentAlertView(AlertView&) {}
    virtual void didPresentAlertView(AlertView&) {}
    // alertView:willDismissWithButtonIndex:
    virtual void willDismissWithButtonIndex(AlertView&, int) {}
    // alertView:didDismissWithButtonIndex:
    virtual void didDismissWithButtonIndex(AlertView&, int) {}
};

class AlertView : public ButtonPanel {
public:
    static constexpr double kWidth = 284;

    // initWithTitle:message:delegate:cancelButtonTitle:otherButtonTitles:
    AlertView(std::optional<std::string> title, std::optional<std::string> message,
              std::weak_ptr<AlertViewDelegate> delegate, std::optional<std::string> cancelButtonTitle,
              const std::vector<std::string>& otherButtonTitles = {});

    const std::optional<std::string>& title() const { return m_title; }
    void setTitle(std::optional<std::string> title);
    const std::optional<std::string>& message() const { return m_message; }
    void setMessage(std::optional<std::string> message);
    std::shared_ptr<AlertViewDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<AlertViewDelegate> delegate) { m_delegate = std::move(delegate); }
    // -1 when every button is the cancel button or there is none.
    int firstOtherButtonIndex() const;

    virtual void show();

    void dump(ScreenDumpWriter& writer) const override;

protected:
    void placeContents() override;
    void styleButton(Button& button, int index) const override;
    void notifyWillPresent() override;
    void notifyDidPresent() override;
    void notifyClicked(int index) override;
    void notifyWillDismiss(int index) override;
    void notifyDidDismiss(int index) override;

private:
    void updateLabel(std::shared_ptr<Label>& label, const std::optional<std::string>& text, bool bold);

    std::optional<std::string> m_title;
    std::optional<std::string> m_message;
    std::weak_ptr<AlertViewDelegate> m_delegate;
    std::shared_ptr<Label> m_titleLabel;
    std::shared_ptr<Label> m_messageLabel;
};

} // namespace murmelo
