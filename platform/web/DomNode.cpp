#include "platform/web/DomNode.h"

namespace murmelo::web {

DomNode::DomNode(Type type, std::string tagOrText) : m_type(type) {
    if (type == Type::Element)
        m_tag = std::move(tagOrText);
    else
        m_text = std::move(tagOrText);
}

const std::string* DomNode::attribute(std::string_view name) const {
    for (const auto& [key, value] : m_attributes) {
        if (key == name)
            return &value;
    }
    return nullptr;
}

std::string DomNode::attributeOr(std::string_view name, std::string_view fallback) const {
    const std::string* value = attribute(name);
    return value ? *value : std::string(fallback);
}

void DomNode::setAttribute(std::string_view name, std::string value) {
    for (auto& [key, existing] : m_attributes) {
        if (key == name) {
            existing = std::move(value);
            return;
        }
    }
    m_attributes.emplace_back(std::string(name), std::move(value));
}

void DomNode::removeAttribute(std::string_view name) {
    std::erase_if(m_attributes, [&](const auto& pair) { return pair.first == name; });
}

DomNode& DomNode::appendChild(std::unique_ptr<DomNode> child) {
    child->m_parent = this;
    m_children.push_back(std::move(child));
    return *m_children.back();
}

std::string DomNode::textContent() const {
    std::string out;
    walkDom(*this, [&](const DomNode& node) {
        if (node.type() == Type::Text)
            out += node.text();
        return node.type() != Type::Comment;
    });
    return out;
}

DomNode* DomNode::closest(std::string_view tag) const {
    for (DomNode* node = m_parent; node; node = node->m_parent) {
        if (node->isElement(tag))
            return node;
    }
    return nullptr;
}

} // namespace murmelo::web
