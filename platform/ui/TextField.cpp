#include "platform/ui/TextField.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

TextField::TextField(const Rect& frame) : Control(frame) {}

void TextField::setText(std::string text) {
    assignText(std::move(text));
    setNeedsDisplay();
}

bool TextField::becomeFirstResponder() {
    if (!isFirstResponder() && !canBecomeFirstResponder()) {
        return false;
    }
    return beginEditing(isFirstResponder(), [this] { return Control::becomeFirstResponder(); });
}

bool TextField::resignFirstResponder() {
    return endEditing(isFirstResponder(), [this] { return Control::resignFirstResponder(); });
}

bool TextField::textShouldBeginEditing() {
    auto delegate = m_delegate.lock();
    return !delegate || delegate->textFieldShouldBeginEditing(*this);
}

void TextField::textDidBeginEditing() {
    if (auto delegate = m_delegate.lock()) {
        delegate->textFieldDidBeginEditing(*this);
    }
    sendActionsForControlEvents(ControlEvents::EditingDidBegin);
}

bool TextField::textShouldEndEditing() {
    auto delegate = m_delegate.lock();
    return !delegate || delegate->textFieldShouldEndEditing(*this);
}

void TextField::textDidEndEditing() {
    if (auto delegate = m_delegate.lock()) {
        delegate->textFieldDidEndEditing(*this);
    }
    sendActionsForControlEvents(ControlEvents::EditingDidEnd);
}

bool TextField::textShouldChange(TextRange range, const std::string& replacement) {
    auto delegate = m_delegate.lock();
    return !delegate || delegate->shouldChangeCharactersInRange(*this, range, replacement);
}

void TextField::textDidChange() {
    setNeedsDisplay();
    sendActionsForControlEvents(ControlEvents::EditingChanged);
    NotificationCenter::defaultCenter().postNotificationName(kTextDidChangeNotification, this);
}

std::shared_ptr<const void> TextField::retainDuringEdit() const {
    return sharedAs<TextField>();
}

bool TextField::clearText() {
    if (auto delegate = m_delegate.lock(); delegate && !delegate->textFieldShouldClear(*this)) {
        return false;
    }
    assignText({});
    sendActionsForControlEvents(ControlEvents::EditingChanged);
    NotificationCenter::defaultCenter().postNotificationName(kTextDidChangeNotification, this);
    return true;
}

void TextField::pressReturn() {
    auto keepAlive = sharedAs<TextField>();
    bool accepted = true;
    if (auto delegate = m_delegate.lock()) {
        accepted = delegate->textFieldShouldReturn(*this);
    }
    if (accepted && actionCount(ControlEvents::EditingDidEndOnExit) > 0) {
        sendActionsForControlEvents(ControlEvents::EditingDidEndOnExit);
        (void)resignFirstResponder();
    }
}

void TextField::touchesEnded(const TouchSet& touches, const Event* event) {
    bool tracked = isTracking();
    Control::touchesEnded(touches, event);
    if (tracked && !touches.empty() && bounds().contains(touches.front().locationInView(this))) {
        (void)becomeFirstResponder();
    }
}

void TextField::dump(ScreenDumpWriter& writer) const {
    std::string text = "text field ";
    if (m_secure) {
        text += "(secure, " + std::to_string(utf16Length(currentText())) + " characters)";
    } else {
        text += ScreenDumpWriter::quote(currentText());
    }
    if (currentText().empty() && m_placeholder) {
        text += " placeholder " + ScreenDumpWriter::quote(*m_placeholder);
    }
    if (isEditing()) {
        text += " (editing)";
    }
    writer.line(text + stateSuffix());
}

} // namespace murmelo
