// DomNode: one node of a parsed page — the document, an element, a run of
// text or a comment — with its attributes, children and the live state of a
// form control (what was typed or chosen since the page loaded).
//
// The tree is owned top-down (unique_ptr children); parent is a back
// reference valid as long as the tree. Main thread only, like the web view.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace murmelo::web {

class DomNode {
public:
    enum class Type { Document, Element, Text, Comment };

    DomNode(Type type, std::string tagOrText);

    Type type() const { return m_type; }
    bool isElement() const { return m_type == Type::Element; }
    bool isElement(std::string_view tag) const { return m_type == Type::Element && m_tag == tag; }
    // Elements: the lower-cased tag name.
    const std::string& tag() const { return m_tag; }
    // Text and comments: the characters.
    const std::string& text() const { return m_text; }
    void setText(std::string text) { m_text = std::move(text); }

    // Attribute names are lower-cased; the first of duplicates wins, as parsing gives it.
    const std::vector<std::pair<std::string, std::string>>& attributes() const { return m_attributes; }
    const std::string* attribute(std::string_view name) const;
    std::string attributeOr(std::string_view name, std::string_view fallback = {}) const;
    bool hasAttribute(std::string_view name) const { return attribute(name) != nullptr; }
    void setAttribute(std::string_view name, std::string value);
    void removeAttribute(std::string_view name);

    DomNode* parent() const { return m_parent; }
    const std::vector<std::unique_ptr<DomNode>>& children() const { return m_children; }
    DomNode& appendChild(std::unique_ptr<DomNode> child);
    void removeAllChildren() { m_children.clear(); }

    // The concatenated text of all descendant text nodes.
    std::string textContent() const;
    // The nearest ancestor element with the tag, or null.
    DomNode* closest(std::string_view tag) const;

    // Live control state: set by typing, choosing or scripts; nothing while
    // the markup's default holds.
    const std::optional<std::string>& liveValue() const { return m_liveValue; }
    void setLiveValue(std::optional<std::string> value) { m_liveValue = std::move(value); }
    const std::optional<bool>& liveChecked() const { return m_liveChecked; }
    void setLiveChecked(std::optional<bool> checked) { m_liveChecked = checked; }

private:
    Type m_type;
    std::string m_tag;
    std::string m_text;
    std::vector<std::pair<std::string, std::string>> m_attributes;
    DomNode* m_parent = nullptr;
    std::vector<std::unique_ptr<DomNode>> m_children;
    std::optional<std::string> m_liveValue;
    std::optional<bool> m_liveChecked;
};

// Calls `visit` for `node` and every descendant in document order; `visit`
// answers whether to descend into the node's children. Iterative, so deep
// trees cannot exhaust the stack.
template <class Visit> void walkDom(const DomNode& node, Visit&& visit) {
    std::vector<const DomNode*> stack{&node};
    while (!stack.empty()) {
        const DomNode* current = stack.back();
        stack.pop_back();
        if (!visit(*current))
            continue;
        const auto& children = current->children();
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back(it->get());
    }
}

} // namespace murmelo::web
