#include "app/twitter/AlertPrompt.h"

#include <algorithm>

#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"

namespace murmelo {

namespace {

std::shared_ptr<TextField> makeField(const std::optional<std::string>& stored, const char* placeholder,
                                     KeyboardType keyboard) {
    auto field = std::make_shared<TextField>(Rect(0, 0, 0, AlertPrompt::kFieldHeight));
    field->setBackgroundColor(Color::whiteColor());
    field->setBorderStyle(TextBorderStyle::Line);
    field->setKeyboardType(keyboard);
    // One character or fewer is taken for nothing stored.
    if (stored && stored->size() > 1) {
        field->setText(*stored);
    } else {
        field->setPlaceholder(std::string(placeholder));
    }
    return field;
}

} // namespace

AlertPrompt::AlertPrompt(std::optional<std::string> title, std::optional<std::string> message,
                         std::weak_ptr<AlertViewDelegate> delegate,
                         const std::optional<std::string>& textFieldText,
                         const std::optional<std::string>& usernameFieldText,
                         const std::optional<std::string>& passwordFieldText,
                         std::optional<std::string> cancelButtonTitle, const std::string& otherButtonTitle)
    : AlertView(std::move(title), std::move(message), std::move(delegate), std::move(cancelButtonTitle),
                {otherButtonTitle}) {
    m_userNameField = makeField(usernameFieldText, "twitter username", KeyboardType::EmailAddress);
    m_userNameField->setAlpha(0.75);
    m_passwordField = makeField(passwordFieldText, "twitter password", KeyboardType::Default);
    m_passwordField->setSecureTextEntry(true);
    m_textField = makeField(textFieldText, "add extra message here", KeyboardType::Default);
    addSubview(m_userNameField);
    addSubview(m_passwordField);
    addSubview(m_textField);
    if (!Screen::mainScreen().respondsToScale()) {
        setTransform(AffineTransform::translation(0, kLowScreenDrop));
    }
}

void AlertPrompt::addFields() {
    // The fields' delegate is the prompt, which needs its shared owner first.
    auto self = sharedAs<AlertPrompt>();
    for (auto* field : {&m_userNameField, &m_passwordField, &m_textField}) {
        (*field)->setDelegate(self);
    }
}

void AlertPrompt::show() {
    addFields();
    (void)m_textField->becomeFirstResponder();
    AlertView::show();
}

bool AlertPrompt::textFieldShouldReturn(TextField& field) {
    (void)field.resignFirstResponder();
    return true;
}

void AlertPrompt::layoutSubviews() {
    AlertView::layoutSubviews();
    const double width = frame().width() - 50;
    if (m_layoutDone) {
        for (const auto& view : subviews()) {
            if (dynamic_cast<TextField*>(view.get())) {
                Rect f = view->frame();
                view->setFrame(Rect(22, f.y(), width - 44, f.height()));
            }
        }
        return;
    }
    double labelsBottom = 0;
    for (const auto& view : subviews()) {
        if (dynamic_cast<Label*>(view.get())) {
            labelsBottom = std::max(labelsBottom, view->frame().y() + view->frame().height());
        }
    }
    int n = 0;
    for (const auto& view : subviews()) {
        if (dynamic_cast<TextField*>(view.get())) {
            view->setFrame(Rect(22, labelsBottom + kFieldSpacing * n, width - 44, kFieldHeight));
            ++n;
        } else if (!dynamic_cast<Label*>(view.get())) {
            Rect f = view->frame();
            view->setFrame(Rect(f.x(), f.y() + kButtonDrop, f.width(), f.height()));
        }
    }
    Rect f = frame();
    setFrame(Rect(f.x(), f.y(), f.width(), f.height() + kExtraHeight));
    m_layoutDone = true;
}

} // namespace murmelo
