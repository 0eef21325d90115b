// ImageView: shows an image. Lets touches through (no user interaction).
// Main thread only; shares its image.
#pragma once

#include <memory>

#include "platform/graphics/Image.h"
#include "platform/ui/View.h"

namespace murmelo {

class ImageView : public View {
public:
    // initWithImage: — the view takes the image's size.
    explicit ImageView(std::shared_ptr<const Image> image);
    explicit ImageView(const Rect& frame = {});

    const std::shared_ptr<const Image>& image() const { return m_image; }
    void setImage(std::shared_ptr<const Image> image);

    Size sizeThatFits(Size size) const override;
    void dump(ScreenDumpWriter& writer) const override;

private:
    std::shared_ptr<const Image> m_image;
};

} // namespace murmelo
