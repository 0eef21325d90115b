// TextInput: what the keyboard types into — text fields, text views and
// search bars. The interaction API types through it into the first
// responder, one character at a time, so delegates see every change as
// they would on the phone. Main thread only.
#pragma once

#include <cstddef>
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

    virtual const std::string& currentText() const = 0;
    // Inserts at the end (where the caret is after typing); false when the
    // delegate refused the change.
    virtual bool insertText(std::string_view text) = 0;
    // Removes the last character; false when there is none or it was refused.
    virtual bool deleteBackward() = 0;
    // The keyboard's return key.
    virtual void pressReturn() = 0;
};

} // namespace murmelo
