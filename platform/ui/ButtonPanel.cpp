#include "platform/ui/ButtonPanel.h"

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/internal/AlertOverlay.h"
#include "platform/ui/internal/AnimationScheduler.h"

namespace murmelo {

ButtonPanel::ButtonPanel() : View(Rect()) {}

int ButtonPanel::addButtonWithTitle(std::string title) {
    int index = static_cast<int>(m_titles.size());
    m_titles.push_back(title);
    auto button = std::make_shared<Button>(Rect(), ButtonType::RoundedRect);
    button->setTitle(std::move(title), ControlState::Normal);
    // The panel owns the button; a button taken out of it no longer reaches it.
    button->addAction(
        [this, index](Control& sender) {
            if (sender.superview() == this) {
                buttonTapped(index);
            }
        },
        ControlEvents::TouchUpInside);
    m_buttons.push_back(button);
    styleButton(*button, index);
    insertOwnView(button);
    markContentsChanged();
    return index;
}

std::optional<std::string> ButtonPanel::buttonTitleAtIndex(int index) const {
    if (index < 0 || index >= numberOfButtons()) {
        return std::nullopt;
    }
    return m_titles[static_cast<size_t>(index)];
}

void ButtonPanel::setCancelButtonIndex(int index) {
    m_cancelIndex = index >= 0 && index < numberOfButtons() ? index : -1;
    for (int i = 0; i < numberOfButtons(); ++i) {
        styleButton(*m_buttons[static_cast<size_t>(i)], i);
    }
}

std::shared_ptr<Button> ButtonPanel::buttonAtIndex(int index) const {
    if (index < 0 || index >= numberOfButtons()) {
        return nullptr;
    }
    return m_buttons[static_cast<size_t>(index)];
}

void ButtonPanel::styleButton(Button&, int) const {}

void ButtonPanel::insertOwnView(const std::shared_ptr<View>& view) {
    size_t below = 0;
    for (const auto& subview : subviews()) {
        if (isOwnView(*subview)) {
            ++below;
        }
    }
    m_ownViews.push_back(view.get());
    insertSubview(view, below);
}

bool ButtonPanel::isOwnView(const View& view) const {
    return std::find(m_ownViews.begin(), m_ownViews.end(), &view) != m_ownViews.end();
}

void ButtonPanel::markContentsChanged() {
    m_contentsDirty = true;
    setNeedsLayout();
}

void ButtonPanel::layoutSubviews() {
    if (m_contentsDirty) {
        m_contentsDirty = false;
        placeContents();
    }
}

void ButtonPanel::present() {
    assertMainThread();
    if (m_visible) {
        return;
    }
    auto self = sharedAs<View>();
    if (!self) {
        logLine("%s: only a panel owned by a shared_ptr can be shown", className().c_str());
        return;
    }
    notifyWillPresent();
    m_visible = true;
    internal::AlertOverlay::shared().show(self);
    setNeedsLayout();
    layoutIfNeeded();
    notifyDidPresent();
}

void ButtonPanel::buttonTapped(int index) {
    if (!m_visible) {
        return;
    }
    auto keepAlive = sharedAs<View>();
    notifyClicked(index);
    dismissWithClickedButtonIndex(index, true);
}

void ButtonPanel::dismissWithClickedButtonIndex(int buttonIndex, bool animated) {
    assertMainThread();
    if (!m_visible) {
        return;
    }
    auto self = sharedAs<ButtonPanel>();
    notifyWillDismiss(buttonIndex);
    m_visible = false;
    internal::AlertOverlay::shared().remove(*this);
    if (!animated || !self) {
        notifyDidDismiss(buttonIndex);
        return;
    }
    internal::AnimationScheduler::shared().schedule(
        kDismissDuration, [self, buttonIndex] { self->notifyDidDismiss(buttonIndex); });
}

std::string ButtonPanel::buttonMarker(int index) const {
    return index == m_cancelIndex ? " (cancel)" : "";
}

void ButtonPanel::dumpButtons(ScreenDumpWriter& writer) const {
    for (int i = 0; i < numberOfButtons(); ++i) {
        const auto& button = m_buttons[static_cast<size_t>(i)];
        if (button->isHidden()) {
            continue;
        }
        std::string line = "[";
        line += std::to_string(i);
        line += "] ";
        line += ScreenDumpWriter::quote(m_titles[static_cast<size_t>(i)]) + buttonMarker(i);
        line += button->isEnabled() ? "" : " (disabled)";
        writer.line(line);
    }
}

void ButtonPanel::dumpAddedViews(ScreenDumpWriter& writer) const {
    for (const auto& subview : subviews()) {
        if (!isOwnView(*subview)) {
            writer.visit(*subview);
        }
    }
}

} // namespace murmelo
