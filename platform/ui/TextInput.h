// TextInput: what the keyboard types into — text fields, text views and
// search bars. The interaction API types through it into the first
// responder, one character at a time, so delegates see every change as
// they would on the phone. Main thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace murmelo {

// A range of text in UTF-16 code units, as the platform counts characters.
struct TextRange {
    size_t location = 0;
    size_t length = 0;
    bool operator==(const TextRange&) const = default;
};

// UTF-16 code units of UTF-8 text (a stray byte counts as one).
size_t utf16Length(std::string_view text);
// The byte length of the last character of UTF-8 text (0 when empty).
size_t lastCharacterBytes(std::string_view text);

class TextInput {
public:
    virtual ~TextInput() = default;

    const std::string& currentText() const { return m_text; }
    bool isEditing() const { return m_editing; }
    // Inserts at the end (where the caret is after typing); false when the
    // delegate refused the change.
    bool insertText(std::string_view text);
    // Removes the last character; false when there is none or it was refused.
    bool deleteBackward();
    // The keyboard's return key.
    virtual void pressReturn() = 0;

protected:
    // Each kind of input answers these through its own delegate protocol.
    virtual bool textShouldBeginEditing() = 0;
    virtual void textDidBeginEditing() = 0;
    virtual bool textShouldEndEditing() = 0;
    virtual void textDidEndEditing() = 0;
    virtual bool textShouldChange(TextRange range, const std::string& replacement) = 0;
    virtual void textDidChange() = 0;
    // Holds the input alive while its delegate runs: a delegate may remove
    // the input from the screen in the middle of an edit.
    virtual std::shared_ptr<const void> retainDuringEdit() const = 0;

    // The editing flow around the responder change: ask, change the
    // responder (`changeResponder`), then tell. Each answers whether the
    // input is (begin) or is no longer (end) editing afterwards.
    bool beginEditing(bool isResponder, const std::function<bool()>& changeResponder);
    bool endEditing(bool isResponder, const std::function<bool()>& changeResponder);
    // Replaces the text without asking anybody (the programmatic setter).
    void assignText(std::string text) { m_text = std::move(text); }

private:
    bool replaceEnd(size_t bytes, std::string_view replacement);

    std::string m_text;
    bool m_editing = false;
};

} // namespace murmelo
