// TextView: a multi-line text box. A tap makes it the first responder when
// it is editable; typed text goes through the delegate, and the return key
// types a line break. Setting the text from code asks nobody.
// Main thread only. The delegate is held weakly.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/Label.h"
#include "platform/ui/TextInput.h"
#include "platform/ui/View.h"

namespace murmelo {

class TextView;

class TextViewDelegate {
public:
    virtual ~TextViewDelegate() = default;
    virtual bool textViewShouldBeginEditing(TextView&) { return true; }
    virtual void textViewDidBeginEditing(TextView&) {}
    virtual bool textViewShouldEndEditing(TextView&) { return true; }
    virtual void textViewDidEndEditing(TextView&) {}
    // textView:shouldChangeTextInRange:replacementText:
    virtual bool shouldChangeTextInRange(TextView&, TextRange, const std::string&) { return true; }
    virtual void textViewDidChange(TextView&) {}
};

class TextView : public View, public TextInput {
public:
    explicit TextView(const Rect& frame = {});

    const std::string& text() const { return currentText(); }
    void setText(std::string text);
    const Font& font() const { return m_font; }
    void setFont(Font font) { m_font = std::move(font); }
    const Color& textColor() const { return m_textColor; }
    void setTextColor(Color color) { m_textColor = std::move(color); }
    TextAlignment textAlignment() const { return m_alignment; }
    void setTextAlignment(TextAlignment alignment) { m_alignment = alignment; }
    bool isEditable() const { return m_editable; }
    void setEditable(bool editable) { m_editable = editable; }

    void setDelegate(std::weak_ptr<TextViewDelegate> delegate) { m_delegate = std::move(delegate); }

    bool canBecomeFirstResponder() const override { return m_editable; }
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
    Font m_font = Font::systemFontOfSize(12);
    Color m_textColor = Color::blackColor();
    TextAlignment m_alignment = TextAlignment::Left;
    bool m_editable = true;
    std::weak_ptr<TextViewDelegate> m_delegate;
};

} // namespace murmelo
