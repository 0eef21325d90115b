// ImageContext: an offscreen drawing — a transparent bitmap of a size in
// points at a scale, its drawing context, and the picture taken from it as
// an Image (UIGraphicsBeginImageContext ... GetImageFromCurrentImageContext).
//
// The platform's current-context calls are here too: a per-thread stack of
// contexts. graphicsBeginImageContext pushes a new offscreen context,
// graphicsEndImageContext pops it; the screen renderer pushes the context a
// view draws into around its drawRect, so graphicsGetCurrentContext() answers
// there as on the phone.
//
// An ImageContext belongs to the thread that made it; the stack is
// thread-local. The stack owns the contexts begun on it; pushed contexts
// are the pusher's and must be popped before they go away.
//
//   auto offscreen = ImageContext::create(Size{25, 25});
//   DrawingContext& c = (*offscreen)->context();
//   c.setFillColor(Color::whiteColor());
//   c.moveToPoint(19, 2); c.addLineToPoint(4, 11); c.addLineToPoint(19, 20);
//   c.closePath(); c.fillPath();
//   std::shared_ptr<const Image> arrow = (*offscreen)->image();
#pragma once

#include <memory>

#include "platform/core/Result.h"
#include "platform/graphics/DrawingContext.h"
#include "platform/graphics/Image.h"

namespace murmelo {

class ImageContext {
public:
    // An error when size × scale gives no pixels or too many.
    static Result<std::unique_ptr<ImageContext>> create(Size size, double scale = 1);

    DrawingContext& context() { return *m_context; }
    // A copy of what is drawn so far; drawing on does not change it.
    std::shared_ptr<const Image> image() const;

private:
    ImageContext(Bitmap bitmap, double scale);
    ImageContext(const ImageContext&) = delete;
    ImageContext& operator=(const ImageContext&) = delete;

    Bitmap m_bitmap;
    double m_scale;
    std::unique_ptr<DrawingContext> m_context;
};

// UIGraphicsBeginImageContextWithOptions (opaque is not needed: contexts
// start transparent). False when the size is refused.
bool graphicsBeginImageContext(Size size, double scale = 1);
// The context on top of this thread's stack, or null.
DrawingContext* graphicsGetCurrentContext();
// The picture of the top context when it is an offscreen one.
std::shared_ptr<const Image> graphicsGetImageFromCurrentImageContext();
// Pops (and destroys) the top offscreen context; nothing when the top is
// not one begun here.
void graphicsEndImageContext();
// UIGraphicsPushContext / PopContext: `context` stays the caller's.
void graphicsPushContext(DrawingContext& context);
void graphicsPopContext();

} // namespace murmelo
