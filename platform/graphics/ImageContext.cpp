#include "platform/graphics/ImageContext.h"

#include <cmath>
#include <vector>

namespace murmelo {

Result<std::unique_ptr<ImageContext>> ImageContext::create(Size size, double scale) {
    if (!(scale > 0) || !std::isfinite(scale) || !std::isfinite(size.width) || !std::isfinite(size.height) ||
        size.width <= 0 || size.height <= 0) {
        return Error("MurmeloGraphicsErrorDomain", 1, "offscreen drawing of no size refused");
    }
    double width = std::ceil(size.width * scale);
    double height = std::ceil(size.height * scale);
    if (width > Bitmap::kMaxSide || height > Bitmap::kMaxSide) {
        return Error("MurmeloGraphicsErrorDomain", 1, "offscreen drawing too large");
    }
    MURMELO_TRY_VALUE(auto bitmap, Bitmap::create(std::uint32_t(width), std::uint32_t(height)));
    return std::unique_ptr<ImageContext>(new ImageContext(std::move(bitmap), scale));
}

ImageContext::ImageContext(Bitmap bitmap, double scale)
    : m_bitmap(std::move(bitmap)), m_scale(scale),
      m_context(std::make_unique<DrawingContext>(m_bitmap, scale)) {}

std::shared_ptr<const Image> ImageContext::image() const {
    return Image::imageWithBitmap(std::make_shared<const Bitmap>(m_bitmap), m_scale);
}

namespace {

struct StackEntry {
    DrawingContext* context;
    std::unique_ptr<ImageContext> offscreen; // set when begun here
};

std::vector<StackEntry>& contextStack() {
    thread_local std::vector<StackEntry> stack;
    return stack;
}

} // namespace

bool graphicsBeginImageContext(Size size, double scale) {
    auto offscreen = ImageContext::create(size, scale);
    if (!offscreen) {
        return false;
    }
    DrawingContext* context = &(*offscreen)->context();
    contextStack().push_back({context, std::move(*offscreen)});
    return true;
}

DrawingContext* graphicsGetCurrentContext() {
    auto& stack = contextStack();
    return stack.empty() ? nullptr : stack.back().context;
}

std::shared_ptr<const Image> graphicsGetImageFromCurrentImageContext() {
    auto& stack = contextStack();
    if (stack.empty() || !stack.back().offscreen) {
        return nullptr;
    }
    return stack.back().offscreen->image();
}

void graphicsEndImageContext() {
    auto& stack = contextStack();
    if (!stack.empty() && stack.back().offscreen) {
        stack.pop_back();
    }
}

void graphicsPushContext(DrawingContext& context) {
    contextStack().push_back({&context, nullptr});
}

void graphicsPopContext() {
    auto& stack = contextStack();
    if (!stack.empty() && !stack.back().offscreen) {
        stack.pop_back();
    }
}

} // namespace murmelo
