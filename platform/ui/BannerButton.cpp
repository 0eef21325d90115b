#include "platform/ui/BannerButton.h"

#include "platform/graphics/DrawingContext.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

void BannerButton::touchesEnded(const TouchSet& touches, const Event* event) {
    auto self = sharedAs<BannerButton>(); // the tap may replace the ad
    Button::touchesEnded(touches, event);
    if (Responder* next = nextResponder()) {
        next->touchesEnded(touches, event);
    }
}

void BannerButton::drawRect(DrawingContext& context, const Rect&) {
    const Rect area(0, 0, bounds().size.width, bounds().size.height);
    const Face shown = face();
    if (shown.image) {
        context.drawImage(*shown.image, area);
        return;
    }
    if (!shown.text) {
        return;
    }
    context.setFillColor(shown.ground);
    context.fillRect(area);
    context.setFillColor(shown.textColor);
    context.drawText(*shown.text,
                     Rect(8, shown.textInset, area.size.width - 16, area.size.height - 2 * shown.textInset),
                     Font::boldSystemFontOfSize(14), TextAlignment::Center, LineBreakMode::TailTruncation, 2);
}

std::string BannerButton::dumpLine(const std::string& name, const std::optional<std::string>& text,
                                   bool image, const URL* link) {
    if (!text) {
        return name + " (loading)";
    }
    std::string line = name + " " + ScreenDumpWriter::quote(*text) + (image ? " (image)" : " (text)");
    if (link) {
        line += " -> " + link->absoluteString();
    }
    return line;
}

} // namespace murmelo
