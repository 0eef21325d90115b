// TextField: a one-line text entry. A tap makes it the first responder (the
// keyboard comes up); typed text goes through the delegate's
// shouldChangeCharactersInRange, and the return key asks
// textFieldShouldReturn. Setting the text from code asks nobody.
//
// Main thread only. The delegate is held weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/Control.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextInput.h"

namespace murmelo {

class TextField;

enum class TextBorderStyle { None, Line, Bezel, RoundedRect };
enum class KeyboardType {
    Default,
    ASCIICapable,
    NumbersAndPunctuation,
    URL,
    NumberPad,
    PhonePad,
    NamePhonePad,
    EmailAddress,
};
enum class ReturnKeyType { Default, Go, Google, Join, Next, Route, Search, Send, Yahoo, Done, EmergencyCall };

class TextFieldDelegate {
public:
    virtual ~TextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(TextField&) { return true; }
    virtual void textFieldDidBeginEditing(TextField&) {}
    virtual bool textFieldShouldEndEditing(TextField&) { return true; }
    virtual void textFieldDidEndEditing(TextField&) {}
    // textField:shouldChangeCharactersInRange:replacementString:
    virtual bool shouldChangeCharactersInRange(TextField&, TextRange, const std::string&) { return true; }
    virtual bool textFieldShouldClear(TextField&) { return true; }
    virtual bool textFieldShouldReturn(TextField&) { return true; }
};

class TextField : public Control, public TextInput {
public:
    static constexpr std::string_view kTextDidChangeNotification = "UITextFieldTextDidChangeNotification";

    explicit TextField(const Rect& frame = {});

    const std::string& text() const { return currentText(); }
    void setText(std::string text);
    const std::optional<std::string>& placeholder() const { return m_placeholder; }
    void setPlaceholder(std::optional<std::string> placeholder) { m_placeholder = std::move(placeholder); }
    bool isSecureTextEntry() const { return m_secure; }
    void setSecureTextEntry(bool secure) { m_secure = secure; }
    TextBorderStyle borderStyle() const { return m_borderStyle; }
    void setBorderStyle(TextBorderStyle style) { m_borderStyle = style; }
    KeyboardType keyboardType() const { return m_keyboardType; }
    void setKeyboardType(KeyboardType type) { m_keyboardType = type; }
    ReturnKeyType returnKeyType() const { return m_returnKeyType; }
    void setReturnKeyType(ReturnKeyType type) { m_returnKeyType = type; }
    const Font& font() const { return m_font; }
    void setFont(Font font) { m_font = std::move(font); }
    const Color& textColor() const { return m_textColor; }
    void setTextColor(Color color) { m_textColor = std::move(color); }
    TextAlignment textAlignment() const { return m_alignment; }
    void setTextAlignment(TextAlignment alignment) { m_alignment = alignment; }

    void setDelegate(std::weak_ptr<TextFieldDelegate> delegate) { m_delegate = std::move(delegate); }
    std::shared_ptr<TextFieldDelegate> delegate() const { return m_delegate.lock(); }

    // The clear button: empties the text when the delegate agrees.
    bool clearText();

    bool canBecomeFirstResponder() const override { return isEnabled(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;

    void pressReturn() override;

    void touchesEnded(const TouchSet& touches, const Event* event) override;
    void dump(ScreenDumpWriter& writer) const override;

protected:
    bool textShouldBeginEditing() override;
    void textDidBeginEditing() override;
    bool textShouldEndEditing() override;
    void textDidEndEditing() override;
    bool textShouldChange(TextRange range, const std::string& replacement) override;
    void textDidChange() override;
    std::shared_ptr<const void> retainDuringEdit() const override;

private:
    std::optional<std::string> m_placeholder;
    bool m_secure = false;
    TextBorderStyle m_borderStyle = TextBorderStyle::None;
    KeyboardType m_keyboardType = KeyboardType::Default;
    ReturnKeyType m_returnKeyType = ReturnKeyType::Default;
    Font m_font = Font::systemFontOfSize(17);
    Color m_textColor = Color::blackColor();
    TextAlignment m_alignment = TextAlignment::Left;
    std::weak_ptr<TextFieldDelegate> m_delegate;
};

} // namespace murmelo
