// AlertPrompt: the Twitter account prompt — an alert with three text
// fields (user name, password, extra message) under its title, made taller
// so its two buttons sit below them.
//
//   auto prompt = std::make_shared<AlertPrompt>("Twitter Account:\n", "", delegate, storedMessage,
//                                               storedUser, storedPassword, "Dismiss", "Post");
//   prompt->show();   // the message field takes the keyboard
//
// A stored text of one character or fewer is not shown: the field stays
// empty with its placeholder. On a screen without a scale factor the whole
// alert sits 100 points lower, clear of the keyboard.
//
// Main thread only; owned by a shared_ptr (the screen keeps it while shown).
// The prompt is its fields' delegate.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/AlertView.h"
#include "platform/ui/TextField.h"

namespace murmelo {

class AlertPrompt : public AlertView, public TextFieldDelegate {
public:
    static constexpr double kFieldHeight = 30;
    static constexpr double kFieldSpacing = 50;
    static constexpr double kButtonDrop = 150;
    static constexpr double kExtraHeight = 170;
    static constexpr double kLowScreenDrop = 100;

    // initWithTitle:message:delegate:textFieldText:usernameFieldText:passwordFieldText:cancelButtonTitle:otherButtonTitle:
    AlertPrompt(std::optional<std::string> title, std::optional<std::string> message,
                std::weak_ptr<AlertViewDelegate> delegate, const std::optional<std::string>& textFieldText,
                const std::optional<std::string>& usernameFieldText,
                const std::optional<std::string>& passwordFieldText,
                std::optional<std::string> cancelButtonTitle, const std::string& otherButtonTitle);

    void show() override;

    std::string enteredText() const { return m_textField->text(); }
    std::string usernameText() const { return m_userNameField->text(); }
    std::string passwordText() const { return m_passwordField->text(); }

    const std::shared_ptr<TextField>& textField() const { return m_textField; }
    const std::shared_ptr<TextField>& userNameField() const { return m_userNameField; }
    const std::shared_ptr<TextField>& passwordField() const { return m_passwordField; }
    bool layoutDone() const { return m_layoutDone; }

    bool textFieldShouldReturn(TextField& field) override;
    void layoutSubviews() override;

private:
    void addFields();

    std::shared_ptr<TextField> m_textField;
    std::shared_ptr<TextField> m_userNameField;
    std::shared_ptr<TextField> m_passwordField;
    bool m_layoutDone = false;
};

} // namespace murmelo
