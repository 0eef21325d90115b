#include "platform/ui/TextView.h"

#include "platform/ui/ScreenDump.h"

namespace murmelo {

TextView::TextView(const Rect& frame) : View(frame) {
    setBackgroundColor(Color::whiteColor());
}

void TextView::setText(std::string text) {
    m_text = std::move(text);
    setNeedsDisplay();
}

bool TextView::becomeFirstResponder() {
    if (isFirstResponder()) {
        return true;
    }
    if (!canBecomeFirstResponder()) {
        return false;
    }
    auto delegate = m_delegate.lock();
    if (delegate && !delegate->textViewShouldBeginEditing(*this)) {
        return false;
    }
    if (!View::becomeFirstResponder()) {
        return false;
    }
    m_editing = true;
    if (delegate) {
        delegate->textViewDidBeginEditing(*this);
    }
    return true;
}

bool TextView::resignFirstResponder() {
    if (!isFirstResponder()) {
        return true;
    }
    auto delegate = m_delegate.lock();
    if (delegate && !delegate->textViewShouldEndEditing(*this)) {
        return false;
    }
    if (!View::resignFirstResponder()) {
        return false;
    }
    m_editing = false;
    if (delegate) {
        delegate->textViewDidEndEditing(*this);
    }
    return true;
}

bool TextView::replaceEnd(size_t bytes, std::string_view replacement) {
    std::string_view removed = std::string_view(m_text).substr(m_text.size() - bytes);
    TextRange range{utf16Length(m_text) - utf16Length(removed), utf16Length(removed)};
    auto delegate = m_delegate.lock();
    if (delegate && !delegate->shouldChangeTextInRange(*this, range, std::string(replacement))) {
        return false;
    }
    m_text.replace(m_text.size() - bytes, bytes, replacement);
    setNeedsDisplay();
    if (delegate) {
        delegate->textViewDidChange(*this);
    }
    return true;
}

bool TextView::insertText(std::string_view text) {
    return replaceEnd(0, text);
}

bool TextView::deleteBackward() {
    size_t bytes = lastCharacterBytes(m_text);
    return bytes > 0 && replaceEnd(bytes, {});
}

void TextView::pressReturn() {
    (void)insertText("\n");
}

void TextView::touchesEnded(const TouchSet& touches, const Event* event) {
    if (!m_editable || touches.empty()) {
        View::touchesEnded(touches, event);
        return;
    }
    (void)becomeFirstResponder();
}

void TextView::dump(ScreenDumpWriter& writer) const {
    std::string text = "text view " + ScreenDumpWriter::quote(m_text);
    if (!m_editable) {
        text += " (read-only)";
    }
    if (m_editing) {
        text += " (editing)";
    }
    writer.line(text);
}

} // namespace murmelo
