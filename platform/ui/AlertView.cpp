#include "platform/ui/AlertView.h"

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
        label->setNumberOfLines(0);
        label->setLineBreakMode(LineBreakMode::WordWrap);
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
    double y = kTopPadding;
    for (Label* label : {m_titleLabel.get(), m_messageLabel.get()}) {
        if (!label) {
            continue;
        }
        double height = label->sizeThatFits(Size{inner, 0}).height;
        label->setFrame(Rect(kMargin, y, inner, height));
        y += height + kLabelGap;
    }
    y += kLabelGap;
    int count = numberOfButtons();
    if (count == 2) {
        double width = (inner - kButtonGap) / 2;
        buttonAtIndex(0)->setFrame(Rect(kMargin, y, width, kButtonHeight));
        buttonAtIndex(1)->setFrame(Rect(kMargin + width + kButtonGap, y, width, kButtonHeight));
        y += kButtonHeight;
    } else {
        for (int i = 0; i < count; ++i) {
            buttonAtIndex(i)->setFrame(Rect(kMargin, y, inner, kButtonHeight));
            y += kButtonHeight + (i + 1 < count ? kButtonGap : 0);
        }
    }
    y += kBottomPadding;
    Rect screen = Screen::mainScreen().bounds();
    setFrame(Rect((screen.size.width - kWidth) / 2, (screen.size.height - y) / 2, kWidth, y));
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
