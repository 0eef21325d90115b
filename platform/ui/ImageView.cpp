#include "platform/ui/ImageView.h"

#include "platform/ui/ScreenDump.h"

namespace murmelo {

ImageView::ImageView(std::shared_ptr<const Image> image)
    : View(Rect(Point{}, image ? image->size() : Size{})), m_image(std::move(image)) {
    setUserInteractionEnabled(false);
}

ImageView::ImageView(const Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
}

void ImageView::setImage(std::shared_ptr<const Image> image) {
    m_image = std::move(image);
    setNeedsDisplay();
}

Size ImageView::sizeThatFits(Size) const {
    return m_image ? m_image->size() : Size{};
}

void ImageView::dump(ScreenDumpWriter& writer) const {
    if (m_image) {
        writer.line("image " + ScreenDumpWriter::quote(m_image->name()));
    }
    dumpSubviews(writer);
}

} // namespace murmelo
