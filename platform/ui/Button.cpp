#include "platform/ui/Button.h"

#include "platform/ui/Label.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

std::shared_ptr<Button> Button::buttonWithType(ButtonType type) {
    return std::make_shared<Button>(Rect(), type);
}

Button::Button(const Rect& frame, ButtonType type) : Control(frame), m_type(type) {
    m_titleLabel = std::make_shared<Label>(bounds());
    m_titleLabel->setBackgroundColor(std::nullopt);
    m_titleLabel->setTextAlignment(TextAlignment::Center);
    m_titleLabel->setFont(Font::boldSystemFontOfSize(15));
    m_titleLabel->setAutoresizingMask(AutoresizingMask::FlexibleWidth | AutoresizingMask::FlexibleHeight);
    addSubview(m_titleLabel);
    if (type == ButtonType::RoundedRect) {
        setBackgroundColor(Color::whiteColor());
    }
}

template <class T> T Button::lookup(const std::map<ControlState, T>& values, ControlState state) {
    if (auto it = values.find(state); it != values.end() && it->second) {
        return it->second;
    }
    // Highlighted while selected falls back to selected, then to normal.
    if (hasAny(state, ControlState::Selected)) {
        if (auto it = values.find(ControlState::Selected); it != values.end() && it->second) {
            return it->second;
        }
    }
    if (auto it = values.find(ControlState::Normal); it != values.end()) {
        return it->second;
    }
    return T{};
}

void Button::setTitle(std::optional<std::string> title, ControlState state) {
    m_titles[state] = std::move(title);
    refreshTitle();
}

std::optional<std::string> Button::titleForState(ControlState state) const {
    return lookup(m_titles, state);
}

void Button::setTitleColor(std::optional<Color> color, ControlState state) {
    m_titleColors[state] = std::move(color);
    refreshTitle();
}

std::optional<Color> Button::titleColorForState(ControlState state) const {
    return lookup(m_titleColors, state);
}

void Button::setImage(std::shared_ptr<const Image> image, ControlState state) {
    m_images[state] = std::move(image);
    setNeedsDisplay();
}

std::shared_ptr<const Image> Button::imageForState(ControlState state) const {
    return lookup(m_images, state);
}

void Button::setBackgroundImage(std::shared_ptr<const Image> image, ControlState state) {
    m_backgroundImages[state] = std::move(image);
    setNeedsDisplay();
}

std::shared_ptr<const Image> Button::backgroundImageForState(ControlState state) const {
    return lookup(m_backgroundImages, state);
}

void Button::refreshTitle() {
    m_titleLabel->setText(currentTitle().value_or(""));
    m_titleLabel->setTextColor(currentTitleColor().value_or(
        m_type == ButtonType::RoundedRect ? Color(0.22, 0.33, 0.53) : Color::whiteColor()));
    setNeedsDisplay();
}

void Button::setEnabled(bool enabled) {
    Control::setEnabled(enabled);
    refreshTitle();
}

void Button::setSelected(bool selected) {
    Control::setSelected(selected);
    refreshTitle();
}

void Button::setHighlighted(bool highlighted) {
    Control::setHighlighted(highlighted);
    refreshTitle();
}

void Button::layoutSubviews() {
    m_titleLabel->setFrame(bounds());
}

void Button::dump(ScreenDumpWriter& writer) const {
    std::string text = "button";
    if (auto title = currentTitle(); title && !title->empty()) {
        text += ' ';
        text += ScreenDumpWriter::quote(*title);
    } else if (auto image = currentImage()) {
        text += " [image " + image->name() + "]";
    } else if (auto background = currentBackgroundImage()) {
        text += " [image " + background->name() + "]";
    }
    writer.line(text + stateSuffix());
    // Views placed on the button (a house ad's text, say) show below it.
    writer.nested([&] {
        for (const auto& subview : subviews()) {
            if (subview != m_titleLabel) {
                writer.visit(*subview);
            }
        }
    });
}

} // namespace murmelo
