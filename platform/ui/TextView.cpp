#include "platform/ui/TextView.h"

#include "platform/ui/ScreenDump.h"

namespace murmelo {

TextView::TextView(const Rect& frame) : View(frame) {
    setBackgroundColor(Color::whiteColor());
}

void TextView::setText(std::string text) {
    assignText(std::move(text));
    setNeedsDisplay();
}

bool TextView::becomeFirstResponder() {
    if (!isFirstResponder() && !canBecomeFirstResponder()) {
        return false;
    }
    return beginEditing(isFirstResponder(), [this] { return View::becomeFirstResponder(); });
}

bool TextView::resignFirstResponder() {
    return endEditing(isFirstResponder(), [this] { return View::resignFirstResponder(); });
}

bool TextView::textShouldBeginEditing() {
    auto delegate = m_delegate.lock();
    return !delegate || delegate->textViewShouldBeginEditing(*this);
}

void TextView::textDidBeginEditing() {
    if (auto delegate = m_delegate.lock()) {
        delegate->textViewDidBeginEditing(*this);
    }
}

bool TextView::textShouldEndEditing() {
    auto delegate = m_delegate.lock();
    return !delegate || delegate->textViewShouldEndEditing(*this);
}

void TextView::textDidEndEditing() {
    if (auto delegate = m_delegate.lock()) {
        delegate->textViewDidEndEditing(*this);
    }
}

bool TextView::textShouldChange(TextRange range, const std::string& replacement) {
    auto delegate = m_delegate.lock();
    return !delegate || delegate->shouldChangeTextInRange(*this, range, replacement);
}

void TextView::textDidChange() {
    setNeedsDisplay();
    if (auto delegate = m_delegate.lock()) {
        delegate->textViewDidChange(*this);
    }
}

std::shared_ptr<const void> TextView::retainDuringEdit() const {
    return sharedAs<TextView>();
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
    std::string text = "text view " + ScreenDumpWriter::quote(currentText());
    if (!m_editable) {
        text += " (read-only)";
    }
    if (isEditing()) {
        text += " (editing)";
    }
    writer.line(text);
}

} // namespace murmelo
