#include "platform/ui/Keyboard.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Responder.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextInput.h"

namespace murmelo {

namespace {
bool& shownFlag() {
    static bool shown = false;
    return shown;
}

std::string rectText(const Rect& r) {
    return "{{" + formatNumber(r.x()) + ", " + formatNumber(r.y()) + "}, {" + formatNumber(r.width()) + ", " +
           formatNumber(r.height()) + "}}";
}
} // namespace

bool Keyboard::isShown() {
    auto responder = Responder::currentFirstResponder();
    return dynamic_cast<TextInput*>(responder.get()) != nullptr;
}

Rect Keyboard::frame() {
    Rect screen = Screen::mainScreen().bounds();
    return {0, screen.size.height - kHeight, screen.size.width, kHeight};
}

void Keyboard::firstResponderChanged() {
    auto responder = Responder::currentFirstResponder();
    bool wanted = dynamic_cast<TextInput*>(responder.get()) != nullptr;
    if (wanted == shownFlag()) {
        return;
    }
    shownFlag() = wanted;
    Rect end = wanted ? frame() : frame().offsetBy(0, kHeight);
    Dictionary info{{std::string(kFrameEndUserInfoKey), rectText(end)}};
    auto& center = NotificationCenter::defaultCenter();
    center.postNotificationName(wanted ? kWillShowNotification : kWillHideNotification, nullptr, info);
    center.postNotificationName(wanted ? kDidShowNotification : kDidHideNotification, nullptr, info);
}

} // namespace murmelo
