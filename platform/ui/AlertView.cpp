#include "platform/ui/AlertView.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/TextMetrics.h"

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

namespace {
constexpr double kMargin = 12;
constexpr double kTopPadding = 16;
constexpr double kBottomPadding = 16;
constexpr double kLabelGap = 8;
constexpr double kButtonHeight = 43;
constexpr double kButtonGap = 8;
// Room kept free around an alert: below the status bar and above the
// screen's bottom edge.
constexpr double kScreenTopInset = 20 + 10;
constexpr double kScreenBottomInset = 10;
constexpr int kTitleLines = 3;
} // namespace

AlertView::AlertView(std::optional<std::string> title, std::optional<std::string> message,
                     std::weak_ptr<AlertViewDelegate> delegate, std::optional<std::string> cancelButtonTitle,
                     const std::vector<std::string>& otherButtonTitles)
    : m_delegate(std::move(delegate)) {
    setBackgroundColor(Color(0.09, 0.16, 0.33, 0.9));
    setTitle(std::move(title));
    setMessage(std::move(message));
    if (cancelButtonTitle) {
        setCancelButtonIndex(addButtonWithTitle(std::move(*cancelButtonTitle)));
    }
    for (const auto& other : otherButtonTitles) {
        addButtonWithTitle(other);
    }
}

void AlertView::updateLabel(std::shared_ptr<Label>& label, const std::optional<std::string>& text,
                            bool bold) {
    if (!text || text->empty()) {
        if (label) {
            label->removeFromSuperview();
            label.reset();
        }
        return;
    }
    if (!label) {
        label = std::make_shared<Label>();
        label->setBackgroundColor(std::nullopt);
        label->setTextColor(Color::whiteColor());
        label->setTextAlignment(TextAlignment::Center);
        label->setLineBreakMode(LineBreakMode::TailTruncation);
        label->setFont(bold ? Font::boldSystemFontOfSize(18) : Font::systemFontOfSize(16));
        insertOwnView(label);
    }
    label->setText(*text);
}

void AlertView::setTitle(std::optional<std::string> title) {
    m_title = std::move(title);
    updateLabel(m_titleLabel, m_title, true);
    markContentsChanged();
}

void AlertView::setMessage(std::optional<std::string> message) {
    m_message = std::move(message);
    updateLabel(m_messageLabel, m_message, false);
    markContentsChanged();
}

int AlertView::firstOtherButtonIndex() const {
    for (int i = 0; i < numberOfButtons(); ++i) {
        if (i != cancelButtonIndex()) {
            return i;
        }
    }
    return -1;
}

void AlertView::styleButton(Button& button, int index) const {
    button.titleLabel()->setFont(index == cancelButtonIndex() ? Font::boldSystemFontOfSize(18)
                                                              : Font::systemFontOfSize(18));
}

void AlertView::placeContents() {
    const double inner = kWidth - 2 * kMargin;
    const Rect screen = Screen::mainScreen().bounds();
    const double room = std::max(0.0, screen.size.height - kScreenTopInset - kScreenBottomInset);
    const int count = numberOfButtons();
    const int rows = count == 2 ? 1 : count;

    // The buttons always fit, shrinking when there are too many for the
    // screen; the title takes at most a few lines and the message what is
    // left, each ending in an ellipsis when cut.
    double titleHeight = 0;
    if (m_titleLabel) {
        m_titleLabel->setNumberOfLines(kTitleLines);
        titleHeight = m_titleLabel->sizeThatFits(Size{inner, 0}).height;
    }
    double fixed = kTopPadding + (m_titleLabel ? titleHeight + kLabelGap : 0) + kLabelGap + kBottomPadding;
    double pitch = kButtonHeight + kButtonGap;
    if (rows > 0 && fixed + rows * pitch - kButtonGap > room) {
        pitch = std::max(0.0, room - fixed + kButtonGap) / rows;
    }
    const double buttonHeight =
        std::max(0.0, std::min(kButtonHeight, pitch - std::min(kButtonGap, pitch / 5)));
    const double buttonGap = pitch - buttonHeight;
    const double buttonsHeight = rows > 0 ? rows * pitch - buttonGap : 0;

    double messageHeight = 0;
    if (m_messageLabel) {
        const double lineHeight = TextMetrics::lineHeight(m_messageLabel->font());
        const int lines =
            static_cast<int>(std::floor((room - fixed - buttonsHeight - kLabelGap) / lineHeight));
        m_messageLabel->setHidden(lines < 1);
        m_messageLabel->setNumberOfLines(std::max(lines, 1));
        messageHeight = lines < 1 ? 0 : m_messageLabel->sizeThatFits(Size{inner, 0}).height;
    }

    double y = kTopPadding;
    if (m_titleLabel) {
        m_titleLabel->setFrame(Rect(kMargin, y, inner, titleHeight));
        y += titleHeight + kLabelGap;
    }
    if (m_messageLabel && !m_messageLabel->isHidden()) {
        m_messageLabel->setFrame(Rect(kMargin, y, inner, messageHeight));
        y += messageHeight + kLabelGap;
    }
    y += kLabelGap;
    if (count == 2) {
        double width = (inner - kButtonGap) / 2;
        buttonAtIndex(0)->setFrame(Rect(kMargin, y, width, buttonHeight));
        buttonAtIndex(1)->setFrame(Rect(kMargin + width + kButtonGap, y, width, buttonHeight));
    } else {
        for (int i = 0; i < count; ++i) {
            buttonAtIndex(i)->setFrame(Rect(kMargin, y + i * pitch, inner, buttonHeight));
        }
    }
    y += buttonsHeight + kBottomPadding;
    // Centred on the screen; a tall alert keeps clear of the status bar.
    double top = std::max(kScreenTopInset, (screen.size.height - y) / 2);
    setFrame(Rect((screen.size.width - kWidth) / 2, top, kWidth, y));
}

void AlertView::show() {
    present();
}

void AlertView::notifyWillPresent() {
    if (auto d = m_delegate.lock()) {
        d->willPresentAlertView(*this);
    }
}

void AlertView::notifyDidPresent() {
    if (auto d = m_delegate.lock()) {
        d->didPresentAlertView(*this);
    }
}

void AlertView::notifyClicked(int index) {
    if (auto d = m_delegate.lock()) {
        d->clickedButtonAtIndex(*this, index);
    }
}

void AlertView::notifyWillDismiss(int index) {
    if (auto d = m_delegate.lock()) {
        d->willDismissWithButtonIndex(*this, index);
    }
}

void AlertView::notifyDidDismiss(int index) {
    if (auto d = m_delegate.lock()) {
        d->didDismissWithButtonIndex(*this, index);
    }
}

void AlertView::dump(ScreenDumpWriter& writer) const {
    std::string heading = "alert";
    if (tag() != 0) {
        heading += " tag " + std::to_string(tag());
    }
    writer.line(heading);
    writer.nested([&] {
        if (m_title && !m_title->empty()) {
            writer.line("title " + ScreenDumpWriter::quote(*m_title));
        }
        if (m_message && !m_message->empty()) {
            writer.line("message " + ScreenDumpWriter::quote(*m_message));
        }
        dumpAddedViews(writer);
        dumpButtons(writer);
    });
}

} // namespace murmelo
