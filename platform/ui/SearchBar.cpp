#include "platform/ui/SearchBar.h"

#include "platform/ui/ScreenDump.h"

namespace murmelo {

SearchBar::SearchBar(const Rect& frame) : View(frame) {}

void SearchBar::setText(std::string text) {
    m_text = std::move(text);
    setNeedsDisplay();
}

bool SearchBar::becomeFirstResponder() {
    if (isFirstResponder()) {
        return true;
    }
    auto delegate = m_delegate.lock();
    if (delegate && !delegate->searchBarShouldBeginEditing(*this)) {
        return false;
    }
    if (!View::becomeFirstResponder()) {
        return false;
    }
    m_editing = true;
    if (delegate) {
        delegate->searchBarTextDidBeginEditing(*this);
    }
    return true;
}

bool SearchBar::resignFirstResponder() {
    if (!isFirstResponder()) {
        return true;
    }
    auto delegate = m_delegate.lock();
    if (delegate && !delegate->searchBarShouldEndEditing(*this)) {
        return false;
    }
    if (!View::resignFirstResponder()) {
        return false;
    }
    m_editing = false;
    if (delegate) {
        delegate->searchBarTextDidEndEditing(*this);
    }
    return true;
}

bool SearchBar::replaceEnd(size_t bytes, std::string_view replacement) {
    std::string_view removed = std::string_view(m_text).substr(m_text.size() - bytes);
    TextRange range{utf16Length(m_text) - utf16Length(removed), utf16Length(removed)};
    auto delegate = m_delegate.lock();
    if (delegate && !delegate->shouldChangeTextInRange(*this, range, std::string(replacement))) {
        return false;
    }
    m_text.replace(m_text.size() - bytes, bytes, replacement);
    setNeedsDisplay();
    if (delegate) {
        delegate->textDidChange(*this, m_text);
    }
    return true;
}

bool SearchBar::insertText(std::string_view text) {
    return replaceEnd(0, text);
}

bool SearchBar::deleteBackward() {
    size_t bytes = lastCharacterBytes(m_text);
    return bytes > 0 && replaceEnd(bytes, {});
}

void SearchBar::pressReturn() {
    if (auto delegate = m_delegate.lock()) {
        delegate->searchBarSearchButtonClicked(*this);
    }
}

void SearchBar::tapCancelButton() {
    if (!m_showsCancelButton) {
        return;
    }
    if (auto delegate = m_delegate.lock()) {
        delegate->searchBarCancelButtonClicked(*this);
    }
}

void SearchBar::touchesEnded(const TouchSet& touches, const Event*) {
    if (!touches.empty()) {
        (void)becomeFirstResponder();
    }
}

void SearchBar::dump(ScreenDumpWriter& writer) const {
    std::string text = "search bar " + ScreenDumpWriter::quote(m_text);
    if (m_text.empty() && m_placeholder) {
        text += " placeholder " + ScreenDumpWriter::quote(*m_placeholder);
    }
    if (m_editing) {
        text += " (editing)";
    }
    writer.line(text);
}

} // namespace murmelo
