// DeviceControls: what the window's mouse and keyboard do on the device, in
// the device's own terms — taps through hit testing, typing into the first
// responder, the keys a phone user expects — and the frame it shows. The
// window calls these on the main run loop (never from its own thread).
//
//   tapAt({160, 450});                  // the second tab
//   pressKey(WindowKey::Return);        // the keyboard's return, or an alert's default
//
// Main thread only; stateless.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Geometry.h"

namespace murmelo::window {

enum class WindowKey {
    // The keyboard's return in a text input; else the one button of an
    // alert, or the one that is not its cancel button.
    Return,
    // The front alert's or action sheet's cancel button; else the keyboard
    // goes away.
    Escape,
    Backspace,
    // The driver's `back`: a presented screen, a stacked screen, the page history.
    Back,
    MemoryWarning,
    // The web view under the last pointer position, or the front-most one.
    ScrollUp,
    ScrollDown,
    PageUp,
    PageDown,
};

// A window position (pixels of the window, `zoom` of them per pixel of the
// frame) as a screen point of the device at `scale` pixels per point.
Point pointForWindowPosition(double x, double y, double zoom, double scale);

Result<void> tapAt(Point screenPoint);
// Scrolls the web view under the point by `points` (down positive); an error
// when no web view is there or it cannot move further.
Result<void> scrollAt(Point screenPoint, double points);
// Types UTF-8 text into the text input that has the keyboard.
Result<void> typeText(std::string_view text);
// `at`: where the pointer is, for the scroll keys.
Result<void> pressKey(WindowKey key, std::optional<Point> at = std::nullopt);

// The screen as the screen renderer draws it, at the device's scale.
Result<Bitmap> renderFrame();
// The device's pixels per point.
double deviceScale();

} // namespace murmelo::window
