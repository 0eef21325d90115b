// BannerButton: the face of a banner ad — its picture filling the bounds, or
// its text on a plain ground while there is no picture — and a button that
// passes each finished touch on to the view behind it, so the banner that
// holds the ad counts the click too. Subclasses say what to show (face())
// and keep their own tap actions.
// Main thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/Image.h"
#include "platform/net/URL.h"
#include "platform/ui/Button.h"

namespace murmelo {

class BannerButton : public Button {
public:
    using Button::Button;

    void touchesEnded(const TouchSet& touches, const Event* event) override;
    void drawRect(DrawingContext& context, const Rect& rect) override;

protected:
    struct Face {
        std::shared_ptr<const Image> image;
        std::optional<std::string> text; // nothing: no ad yet, draw nothing
        Color ground;
        Color textColor;
        double textInset = 8; // above and below the text
    };
    virtual Face face() const = 0;

    // "NAME \"TEXT\" (image) -> LINK", or "NAME (loading)" without an ad.
    static std::string dumpLine(const std::string& name, const std::optional<std::string>& text, bool image,
                                const URL* link);
};

} // namespace murmelo
