#include "platform/ui/ActionSheet.h"

#include "platform/core/Log.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/Toolbar.h"

namespace murmelo {

namespace {
constexpr double kMargin = 10;
constexpr double kPadding = 12;
constexpr double kButtonHeight = 44;
constexpr double kButtonGap = 8;
} // namespace

const char* actionSheetStyleName(ActionSheetStyle style) {
    switch (style) {
    case ActionSheetStyle::Default:
        return "default";
    case ActionSheetStyle::BlackTranslucent:
        return "black-translucent";
    case ActionSheetStyle::BlackOpaque:
        return "black-opaque";
    case ActionSheetStyle::Automatic:
        break;
    }
    return "automatic";
}

ActionSheet::ActionSheet(std::optional<std::string> title, std::weak_ptr<ActionSheetDelegate> delegate,
                         std::optional<std::string> cancelButtonTitle,
                         std::optional<std::string> destructiveButtonTitle,
                         const std::vector<std::string>& otherButtonTitles)
    : m_delegate(std::move(delegate)) {
    setBackgroundColor(Color(0.2, 0.2, 0.2, 0.9));
    setTitle(std::move(title));
    if (destructiveButtonTitle) {
        m_destructiveIndex = addButtonWithTitle(std::move(*destructiveButtonTitle));
    }
    for (const auto& other : otherButtonTitles) {
        addButtonWithTitle(other);
    }
    if (cancelButtonTitle) {
        setCancelButtonIndex(addButtonWithTitle(std::move(*cancelButtonTitle)));
    }
}

void ActionSheet::setTitle(std::optional<std::string> title) {
    m_title = std::move(title);
    if (!m_title || m_title->empty()) {
        if (m_titleLabel) {
            m_titleLabel->removeFromSuperview();
            m_titleLabel.reset();
        }
    } else {
        if (!m_titleLabel) {
            m_titleLabel = std::make_shared<Label>();
            m_titleLabel->setBackgroundColor(std::nullopt);
            m_titleLabel->setTextColor(Color::whiteColor());
            m_titleLabel->setTextAlignment(TextAlignment::Center);
            m_titleLabel->setNumberOfLines(0);
            m_titleLabel->setLineBreakMode(LineBreakMode::WordWrap);
            m_titleLabel->setFont(Font::systemFontOfSize(14));
            insertOwnView(m_titleLabel);
        }
        m_titleLabel->setText(*m_title);
    }
    markContentsChanged();
}

void ActionSheet::setDestructiveButtonIndex(int index) {
    m_destructiveIndex = index >= 0 && index < numberOfButtons() ? index : -1;
}

int ActionSheet::firstOtherButtonIndex() const {
    for (int i = 0; i < numberOfButtons(); ++i) {
        if (i != cancelButtonIndex() && i != m_destructiveIndex) {
            return i;
        }
    }
    return -1;
}

void ActionSheet::showInView(View& view) {
    if (!view.window()) {
        logLine("ActionSheet: shown in a %s that is in no window", view.className().c_str());
    }
    m_shownIn = view.sharedAs<View>();
    present();
}

void ActionSheet::showFromToolbar(Toolbar& toolbar) {
    showInView(toolbar);
}

void ActionSheet::showFromTabBar(TabBar& tabBar) {
    showInView(tabBar);
}

void ActionSheet::placeContents() {
    Rect screen = Screen::mainScreen().bounds();
    const double inner = screen.size.width - 2 * kMargin;
    double y = kPadding;
    if (m_titleLabel) {
        double height = m_titleLabel->sizeThatFits(Size{inner, 0}).height;
        m_titleLabel->setFrame(Rect(kMargin, y, inner, height));
        y += height + kPadding;
    }
    for (int i = 0; i < numberOfButtons(); ++i) {
        buttonAtIndex(i)->setFrame(Rect(kMargin, y, inner, kButtonHeight));
        y += kButtonHeight + kButtonGap;
    }
    y += kPadding - kButtonGap;
    setFrame(Rect(0, screen.size.height - y, screen.size.width, y));
}

std::string ActionSheet::buttonMarker(int index) const {
    std::string marker = ButtonPanel::buttonMarker(index);
    if (index == m_destructiveIndex) {
        marker += " (destructive)";
    }
    return marker;
}

void ActionSheet::notifyWillPresent() {
    if (auto d = m_delegate.lock()) {
        d->willPresentActionSheet(*this);
    }
}

void ActionSheet::notifyDidPresent() {
    if (auto d = m_delegate.lock()) {
        d->didPresentActionSheet(*this);
    }
}

void ActionSheet::notifyClicked(int index) {
    if (auto d = m_delegate.lock()) {
        d->clickedButtonAtIndex(*this, index);
    }
}

void ActionSheet::notifyWillDismiss(int index) {
    if (auto d = m_delegate.lock()) {
        d->willDismissWithButtonIndex(*this, index);
    }
}

void ActionSheet::notifyDidDismiss(int index) {
    if (auto d = m_delegate.lock()) {
        d->didDismissWithButtonIndex(*this, index);
    }
}

void ActionSheet::dump(ScreenDumpWriter& writer) const {
    std::string heading = "sheet";
    if (tag() != 0) {
        heading += " tag " + std::to_string(tag());
    }
    if (m_style != ActionSheetStyle::Automatic) {
        heading += std::string(" style ") + actionSheetStyleName(m_style);
    }
    writer.line(heading);
    writer.nested([&] {
        if (m_title && !m_title->empty()) {
            writer.line("title " + ScreenDumpWriter::quote(*m_title));
        }
        dumpAddedViews(writer);
        dumpButtons(writer);
    });
}

} // namespace murmelo
