// Button: a control with a title, title colour, image and background image
// per control state (a state without its own value shows the normal one),
// and an optional glow while touched. The title is shown by a label subview.
// Main thread only; the button owns its title label and shares its images.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/Image.h"
#include "platform/ui/Control.h"

namespace murmelo {

class Label;

enum class ButtonType { Custom, RoundedRect, DetailDisclosure, InfoLight, InfoDark, ContactAdd };

class Button : public Control {
public:
    // buttonWithType: — a rounded-rect button is 0 by 0 until placed, like
    // a custom one; both start without a title.
    static std::shared_ptr<Button> buttonWithType(ButtonType type);

    explicit Button(const Rect& frame = {}, ButtonType type = ButtonType::Custom);

    ButtonType buttonType() const { return m_type; }

    void setTitle(std::optional<std::string> title, ControlState state);
    std::optional<std::string> titleForState(ControlState state) const;
    void setTitleColor(std::optional<Color> color, ControlState state);
    std::optional<Color> titleColorForState(ControlState state) const;
    void setImage(std::shared_ptr<const Image> image, ControlState state);
    std::shared_ptr<const Image> imageForState(ControlState state) const;
    void setBackgroundImage(std::shared_ptr<const Image> image, ControlState state);
    std::shared_ptr<const Image> backgroundImageForState(ControlState state) const;

    std::optional<std::string> currentTitle() const { return titleForState(state()); }
    std::optional<Color> currentTitleColor() const { return titleColorForState(state()); }
    std::shared_ptr<const Image> currentImage() const { return imageForState(state()); }
    std::shared_ptr<const Image> currentBackgroundImage() const { return backgroundImageForState(state()); }

    bool showsTouchWhenHighlighted() const { return m_showsTouch; }
    void setShowsTouchWhenHighlighted(bool shows) { m_showsTouch = shows; }

    // The label that shows the current title (its font may be changed).
    const std::shared_ptr<Label>& titleLabel() const { return m_titleLabel; }

    void setEnabled(bool enabled) override;
    void setSelected(bool selected) override;
    void setHighlighted(bool highlighted) override;
    void layoutSubviews() override;
    void dump(ScreenDumpWriter& writer) const override;

private:
    template <class T> static T lookup(const std::map<ControlState, T>& values, ControlState state);
    void refreshTitle();

    ButtonType m_type;
    std::map<ControlState, std::optional<std::string>> m_titles;
    std::map<ControlState, std::optional<Color>> m_titleColors;
    std::map<ControlState, std::shared_ptr<const Image>> m_images;
    std::map<ControlState, std::shared_ptr<const Image>> m_backgroundImages;
    bool m_showsTouch = false;
    std::shared_ptr<Label> m_titleLabel;
};

} // namespace murmelo
