// Interaction: acting on the screen like a person — what tests and the
// `murmelo` driver use. Taps go where a finger would: the front-most visible
// window under the point hit-tests it and the view found gets the touches,
// so a view covered by an alert or another screen is not reached (the tap
// is refused with the name of what covers it). Typing goes, one character
// at a time, into the text input that has the keyboard.
//
// Elements are found by what a person reads: a tab by its title, a bar item
// by its title, system name ("refresh", "flexible", ...) or image name, a
// button by its title, a text field by its placeholder or text; the
// front-most match wins (alerts and sheets first, then the windows from the
// highest level, the views nearest the front first).
//
// settle() runs the main run loop until no animation or screen transition is
// running and no layout is pending, bounded by a time-out.
//
// Main thread only; stateless.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Result.h"
#include "platform/graphics/Geometry.h"

namespace murmelo {

class View;

class Interaction {
public:
    static constexpr double kDefaultTimeout = 5.0;

    // ---- time
    // Runs ready work, then the loop until the screen is settled; false when
    // the time-out passed first.
    static bool settle(double timeoutSeconds = kDefaultTimeout);
    static bool isSettled();
    // Runs the main loop until `condition` holds; false on time-out.
    static bool runUntil(const std::function<bool()>& condition, double timeoutSeconds = kDefaultTimeout);

    // ---- touches
    static Result<void> tapAt(Point screenPoint);
    // The middle of the view; refused when it is not visible in a window or
    // something else is in front of it there.
    static Result<void> tapView(const View& view);
    static Result<void> tapTab(std::string_view title);
    static Result<void> tapTabAtIndex(size_t index);
    static Result<void> tapBarItem(std::string_view name);
    static Result<void> tapButton(std::string_view title);
    // A button of the front alert or action sheet, by index.
    static Result<void> tapAlertButton(int index);
    static Result<void> tapSheetButton(int index);

    // ---- typing
    // Taps the text field, text view or search bar (found by placeholder or
    // text) so it gets the keyboard.
    static Result<void> tapTextInput(std::string_view placeholderOrText);
    // Types into the input with the keyboard; "\n" presses return.
    static Result<void> typeText(std::string_view text);
    static Result<void> pressReturn();
    static Result<void> deleteBackward(size_t count = 1);

    // ---- screens and the application
    // Dismisses the last screen presented on the key window's root screen.
    static Result<void> dismissModal(bool animated = true);
    static void memoryWarning();
    static void resignActive();
    static void becomeActive();

    // The alerts and action sheets shown, back to front; only the front one
    // is visible and takes touches.
    static std::vector<std::shared_ptr<View>> shownPanels();

    // The screen as text (dumpScreen()).
    static std::string dump();
};

} // namespace murmelo
