#include "platform/ui/SearchBar.h"

#include "platform/ui/ScreenDump.h"

namespace murmelo {

SearchBar::SearchBar(const Rect& frame) : View(frame) {}

void SearchBar::setText(std::string text) {
    assignText(std::move(text));
    setNeedsDisplay();
}

bool SearchBar::becomeFirstResponder() {
    return beginEditing(isFirstResponder(), [this] { return View::becomeFirstResponder(); });
}

bool SearchBar::resignFirstResponder() {
    return endEditing(isFirstResponder(), [this] { return View::resignFirstResponder(); });
}

bool SearchBar::textShouldBeginEditing() {
    auto delegate = m_delegate.lock();
    return !delegate || delegate->searchBarShouldBeginEditing(*this);
}

void SearchBar::textDidBeginEditing() {
    if (auto delegate = m_delegate.lock()) {
        delegate->searchBarTextDidBeginEditing(*this);
    }
}

bool SearchBar::textShouldEndEditing() {
    auto delegate = m_delegate.lock();
    return !delegate || delegate->searchBarShouldEndEditing(*this);
}

void SearchBar::textDidEndEditing() {
    if (auto delegate = m_delegate.lock()) {
        delegate->searchBarTextDidEndEditing(*this);
    }
}

bool SearchBar::textShouldChange(TextRange range, const std::string& replacement) {
    auto delegate = m_delegate.lock();
    return !delegate || delegate->shouldChangeTextInRange(*this, range, replacement);
}

void SearchBar::textDidChange() {
    setNeedsDisplay();
    if (auto delegate = m_delegate.lock()) {
        delegate->textDidChange(*this, currentText());
    }
}

std::shared_ptr<const void> SearchBar::retainDuringEdit() const {
    return sharedAs<SearchBar>();
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
    std::string text = "search bar " + ScreenDumpWriter::quote(currentText());
    if (currentText().empty() && m_placeholder) {
        text += " placeholder " + ScreenDumpWriter::quote(*m_placeholder);
    }
    if (isEditing()) {
        text += " (editing)";
    }
    writer.line(text);
}

} // namespace murmelo
