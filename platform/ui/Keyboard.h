// Keyboard: the on-screen keyboard, up while a text input (text field, text
// view, search bar) is the first responder. Its coming and going are posted
// as the platform's notifications (will, then did), with the keyboard's
// frame at the end of the change in the user info
// ("UIKeyboardFrameEndUserInfoKey", written "{{x, y}, {w, h}}"). Moving the
// keyboard from one input to another posts nothing.
//
// Main thread only; the state follows the process's one first responder.
#pragma once

#include <string_view>

#include "platform/graphics/Geometry.h"

namespace murmelo {

class Keyboard {
public:
    static constexpr std::string_view kWillShowNotification = "UIKeyboardWillShowNotification";
    static constexpr std::string_view kDidShowNotification = "UIKeyboardDidShowNotification";
    static constexpr std::string_view kWillHideNotification = "UIKeyboardWillHideNotification";
    static constexpr std::string_view kDidHideNotification = "UIKeyboardDidHideNotification";
    static constexpr std::string_view kFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
    static constexpr double kHeight = 216;

    static bool isShown();
    // Where the keyboard is (or would be): the bottom of the screen.
    static Rect frame();

private:
    friend class Responder;
    // Posts the notifications when the keyboard's state no longer matches
    // the first responder.
    static void firstResponderChanged();
};

} // namespace murmelo
