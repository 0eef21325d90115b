// SearchBar: a search field in a bar. A tap makes it the first responder
// (asking searchBarShouldBeginEditing); typing reports textDidChange; the
// keyboard's search key reports searchBarSearchButtonClicked.
// Main thread only. The delegate is held weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/TextInput.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/View.h"

namespace murmelo {

class SearchBar;

class SearchBarDelegate {
public:
    virtual ~SearchBarDelegate() = default;
    virtual bool searchBarShouldBeginEditing(SearchBar&) { return true; }
    virtual void searchBarTextDidBeginEditing(SearchBar&) {}
    virtual bool searchBarShouldEndEditing(SearchBar&) { return true; }
    virtual void searchBarTextDidEndEditing(SearchBar&) {}
    // searchBar:textDidChange:
    virtual void textDidChange(SearchBar&, const std::string&) {}
    // searchBar:shouldChangeTextInRange:replacementText:
    virtual bool shouldChangeTextInRange(SearchBar&, TextRange, const std::string&) { return true; }
    virtual void searchBarSearchButtonClicked(SearchBar&) {}
    virtual void searchBarCancelButtonClicked(SearchBar&) {}
};

class SearchBar : public View, public TextInput {
public:
    static constexpr double kHeight = 44;

    explicit SearchBar(const Rect& frame = Rect(0, 0, 320, kHeight));

    const std::string& text() const { return currentText(); }
    void setText(std::string text);
    const std::optional<std::string>& placeholder() const { return m_placeholder; }
    void setPlaceholder(std::optional<std::string> placeholder) { m_placeholder = std::move(placeholder); }
    const std::optional<Color>& tintColor() const { return m_tintColor; }
    void setTintColor(std::optional<Color> tint) { m_tintColor = std::move(tint); }
    BarStyle barStyle() const { return m_barStyle; }
    void setBarStyle(BarStyle style) { m_barStyle = style; }
    bool showsCancelButton() const { return m_showsCancelButton; }
    void setShowsCancelButton(bool shows) { m_showsCancelButton = shows; }

    void setDelegate(std::weak_ptr<SearchBarDelegate> delegate) { m_delegate = std::move(delegate); }
    // The cancel button, when shown.
    void tapCancelButton();

    bool canBecomeFirstResponder() const override { return true; }
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
    std::optional<Color> m_tintColor;
    BarStyle m_barStyle = BarStyle::Default;
    bool m_showsCancelButton = false;
    std::weak_ptr<SearchBarDelegate> m_delegate;
};

} // namespace murmelo
