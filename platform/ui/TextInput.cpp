#include "platform/ui/TextInput.h"

namespace murmelo {

size_t utf16Length(std::string_view text) {
    size_t units = 0;
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t bytes = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
        if (i + bytes > text.size()) {
            bytes = 1;
        }
        units += bytes == 4 ? 2 : 1;
        i += bytes;
    }
    return units;
}

size_t lastCharacterBytes(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    size_t i = text.size() - 1;
    size_t steps = 0;
    while (i > 0 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80 && steps < 3) {
        --i;
        ++steps;
    }
    return text.size() - i;
}

bool TextInput::insertText(std::string_view text) {
    return replaceEnd(0, text);
}

bool TextInput::deleteBackward() {
    size_t bytes = lastCharacterBytes(m_text);
    return bytes > 0 && replaceEnd(bytes, {});
}

bool TextInput::replaceEnd(size_t bytes, std::string_view replacement) {
    std::string_view removed = std::string_view(m_text).substr(m_text.size() - bytes);
    TextRange range{utf16Length(m_text) - utf16Length(removed), utf16Length(removed)};
    auto keepAlive = retainDuringEdit();
    if (!textShouldChange(range, std::string(replacement))) {
        return false;
    }
    m_text.replace(m_text.size() - bytes, bytes, replacement);
    textDidChange();
    return true;
}

bool TextInput::beginEditing(bool isResponder, const std::function<bool()>& changeResponder) {
    if (isResponder) {
        return true;
    }
    auto keepAlive = retainDuringEdit();
    if (!textShouldBeginEditing() || !changeResponder()) {
        return false;
    }
    m_editing = true;
    textDidBeginEditing();
    return true;
}

bool TextInput::endEditing(bool isResponder, const std::function<bool()>& changeResponder) {
    if (!isResponder) {
        return true;
    }
    auto keepAlive = retainDuringEdit();
    if (!textShouldEndEditing() || !changeResponder()) {
        return false;
    }
    m_editing = false;
    textDidEndEditing();
    return true;
}

} // namespace murmelo
