// ScreenRenderer: the screen as pixels — what a person would see on the
// phone: the status bar, every visible window by level (the key window with
// its screens, bars, labels, buttons, fields, web pages and spinners), and
// alerts and action sheets as modal panels over a dimmed screen. Views are
// drawn back to front with their frames, transforms, backgrounds (pattern
// colours tiled), alpha (each view composited as one layer) and clipping;
// platform views get their platform look, and every view's own drawRect
// is called with the context (graphicsGetCurrentContext() answers there).
//
// The picture is 320×480 points (the screen's bounds) at the device's
// scale. Views draw settled states (animations end at once here).
//
// Main thread only (it reads the view tree); runs a layout pass first.
//
//   auto png = renderScreenToPNG();          // bytes
//   auto saved = renderKeyWindowToPNG(path); // the driver's "shot FILE"
#pragma once

#include <optional>
#include <string>

#include "platform/core/Result.h"
#include "platform/core/Value.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/DrawingContext.h"

namespace murmelo {

class View;

struct ScreenRenderOptions {
    // Pixels per point; nothing: the device profile's screen scale.
    std::optional<double> scale;
    // The clock in the status bar; nothing: the local time ("9:41 AM").
    std::optional<std::string> statusBarTime;
};

class ScreenRenderer {
public:
    explicit ScreenRenderer(ScreenRenderOptions options = {});

    // The whole screen.
    Result<Bitmap> renderScreen();
    // One view and its subviews alone, its frame filling the picture.
    Result<Bitmap> renderView(const View& view);

    // Draws `view` (and its subviews) placed in its superview's
    // coordinates, which the context is in.
    void drawView(DrawingContext& context, const View& view);

    double scale() const { return m_scale; }

private:
    void drawStatusBar(DrawingContext& context);

    double m_scale;
    std::string m_time;
};

Result<Data> renderScreenToPNG(const ScreenRenderOptions& options = {});
// The screen as the key window shows it (with whatever alert or sheet is in
// front of it), written to `path` as PNG.
Result<void> renderKeyWindowToPNG(const std::string& path, const ScreenRenderOptions& options = {});

} // namespace murmelo
