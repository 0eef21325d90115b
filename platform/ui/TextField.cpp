#include "platform/ui/TextField.h"

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

TextField::TextField(const Rect& frame) : Control(frame) {}

void TextField::setText(std::string text) {
    m_text = std::move(text);
    setNeedsDisplay();
}

bool TextField::becomeFirstResponder() {
    if (isFirstResponder()) {
        return true;
    }
    if (!canBecomeFirstResponder()) {
        return false;
    }
    auto delegate = m_delegate.lock();
    if (delegate && !delegate->textFieldShouldBeginEditing(*this)) {
        return false;
    }
    if (!Control::becomeFirstResponder()) {
        return false;
    }
    m_editing = true;
    if (delegate) {
        delegate->textFieldDidBeginEditing(*this);
    }
    sendActionsForControlEvents(ControlEvents::EditingDidBegin);
    return true;
}

bool TextField::resignFirstResponder() {
    if (!isFirstResponder()) {
        return true;
    }
    auto delegate = m_delegate.lock();
    if (delegate && !delegate->textFieldShouldEndEditing(*this)) {
        return false;
    }
    if (!Control::resignFirstResponder()) {
        return false;
    }
    m_editing = false;
    if (delegate) {
        delegate->textFieldDidEndEditing(*this);
    }
    sendActionsForControlEvents(ControlEvents::EditingDidEnd);
    return true;
}

bool TextField::replaceEnd(size_t bytes, std::string_view replacement) {
    std::string_view removed = std::string_view(m_text).substr(m_text.size() - bytes);
    TextRange range{utf16Length(m_text) - utf16Length(removed), utf16Length(removed)};
    auto keepAlive = sharedAs<TextField>();
    if (auto delegate = m_delegate.lock();
        delegate && !delegate->shouldChangeCharactersInRange(*this, range, std::string(replacement))) {
        return false;
    }
    m_text.replace(m_text.size() - bytes, bytes, replacement);
    setNeedsDisplay();
    sendActionsForControlEvents(ControlEvents::EditingChanged);
    NotificationCenter::defaultCenter().postNotificationName(kTextDidChangeNotification, this);
    return true;
}

bool TextField::insertText(std::string_view text) {
    return replaceEnd(0, text);
}

bool TextField::deleteBackward() {
    size_t bytes = lastCharacterBytes(m_text);
    return bytes > 0 && replaceEnd(bytes, {});
}

bool TextField::clearText() {
    if (auto delegate = m_delegate.lock(); delegate && !delegate->textFieldShouldClear(*this)) {
        return false;
    }
    m_text.clear();
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
        text += "(secure, " + std::to_string(utf16Length(m_text)) + " characters)";
    } else {
        text += ScreenDumpWriter::quote(m_text);
    }
    if (m_text.empty() && m_placeholder) {
        text += " placeholder " + ScreenDumpWriter::quote(*m_placeholder);
    }
    if (m_editing) {
        text += " (editing)";
    }
    writer.line(text + stateSuffix());
}

} // namespace murmelo
