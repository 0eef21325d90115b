#include "platform/web/HtmlDocument.h"

#include <gumbo.h>

#include <cctype>

namespace murmelo::web {

namespace {

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The tag name of an element gumbo does not know, from its original text ("<my-tag a=1>").
std::string unknownTagName(const GumboElement& element) {
    GumboStringPiece piece = element.original_tag;
    std::string_view text(piece.data ? piece.data : "", piece.data ? piece.length : 0);
    if (!text.empty() && text.front() == '<')
        text.remove_prefix(1);
    std::size_t end = 0;
    while (end < text.size() && !isHtmlSpace(text[end]) && text[end] != '/' && text[end] != '>')
        ++end;
    std::string name = lowerCase(text.substr(0, end));
    return name.empty() ? "unknown" : name;
}

std::unique_ptr<DomNode> makeNode(const GumboNode& node) {
    switch (node.type) {
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE: {
        const GumboElement& element = node.v.element;
        std::string tag = element.tag == GUMBO_TAG_UNKNOWN
                              ? unknownTagName(element)
                              : std::string(gumbo_normalized_tagname(element.tag));
        auto out = std::make_unique<DomNode>(DomNode::Type::Element, std::move(tag));
        for (unsigned i = 0; i < element.attributes.length; ++i) {
            const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
            std::string name = lowerCase(attribute->name);
            if (!out->hasAttribute(name))
                out->setAttribute(name, attribute->value);
        }
        return out;
    }
    case GUMBO_NODE_TEXT:
    case GUMBO_NODE_WHITESPACE:
    case GUMBO_NODE_CDATA:
        return std::make_unique<DomNode>(DomNode::Type::Text, node.v.text.text);
    case GUMBO_NODE_COMMENT:
        return std::make_unique<DomNode>(DomNode::Type::Comment, node.v.text.text);
    case GUMBO_NODE_DOCUMENT:
        break;
    }
    return nullptr;
}

const GumboVector* childrenOf(const GumboNode& node) {
    if (node.type == GUMBO_NODE_DOCUMENT)
        return &node.v.document.children;
    if (node.type == GUMBO_NODE_ELEMENT || node.type == GUMBO_NODE_TEMPLATE)
        return &node.v.element.children;
    return nullptr;
}

} // namespace

bool isHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string collapseWhitespace(std::string_view text) {
    std::string out;
    bool pendingSpace = false;
    for (char c : text) {
        if (isHtmlSpace(c)) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace)
            out += ' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

HtmlDocument::HtmlDocument() : m_root(std::make_unique<DomNode>(DomNode::Type::Document, std::string())) {}

std::unique_ptr<HtmlDocument> HtmlDocument::parse(std::string_view utf8) {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0; // we never read the error list; don't let broken pages grow it
    GumboOutput* output = gumbo_parse_with_options(&options, utf8.data(), utf8.size());
    std::unique_ptr<HtmlDocument> document(new HtmlDocument());

    // Depth-first copy with an explicit stack; beyond kMaxDepth children are
    // attached to the deepest allowed element.
    struct Pending {
        const GumboNode* source;
        DomNode* target;
        int depth;
    };
    std::vector<Pending> stack{{output->document, document->m_root.get(), 0}};
    while (!stack.empty()) {
        Pending current = stack.back();
        stack.pop_back();
        const GumboVector* children = childrenOf(*current.source);
        if (!children)
            continue;
        if (current.depth >= kMaxDepth) {
            // Too deep: keep the text of the whole subtree, in order, without its nesting.
            std::vector<const GumboNode*> pending;
            for (unsigned i = children->length; i-- > 0;)
                pending.push_back(static_cast<const GumboNode*>(children->data[i]));
            while (!pending.empty()) {
                const GumboNode* node = pending.back();
                pending.pop_back();
                if (const GumboVector* inner = childrenOf(*node)) {
                    for (unsigned i = inner->length; i-- > 0;)
                        pending.push_back(static_cast<const GumboNode*>(inner->data[i]));
                } else if (std::unique_ptr<DomNode> made = makeNode(*node); made && !made->isElement()) {
                    current.target->appendChild(std::move(made));
                }
            }
            continue;
        }
        std::vector<Pending> next;
        for (unsigned i = 0; i < children->length; ++i) {
            const auto* child = static_cast<const GumboNode*>(children->data[i]);
            std::unique_ptr<DomNode> made = makeNode(*child);
            if (!made)
                continue;
            DomNode& added = current.target->appendChild(std::move(made));
            next.push_back({child, &added, current.depth + 1});
        }
        for (auto it = next.rbegin(); it != next.rend(); ++it)
            stack.push_back(*it);
    }
    gumbo_destroy_output(&options, output);
    return document;
}

DomNode* HtmlDocument::documentElement() const {
    for (const auto& child : m_root->children()) {
        if (child->isElement("html"))
            return child.get();
    }
    return nullptr;
}

DomNode* HtmlDocument::head() const {
    if (DomNode* html = documentElement()) {
        for (const auto& child : html->children()) {
            if (child->isElement("head"))
                return child.get();
        }
    }
    return nullptr;
}

DomNode* HtmlDocument::body() const {
    if (DomNode* html = documentElement()) {
        for (const auto& child : html->children()) {
            if (child->isElement("body"))
                return child.get();
        }
    }
    return nullptr;
}

namespace {
DomNode* firstElement(const DomNode& root, std::string_view tag) {
    DomNode* found = nullptr;
    walkDom(root, [&](const DomNode& node) {
        if (found)
            return false;
        if (node.isElement(tag)) {
            found = const_cast<DomNode*>(&node);
            return false;
        }
        return true;
    });
    return found;
}
} // namespace

std::string HtmlDocument::title() const {
    DomNode* title = firstElement(*m_root, "title");
    return title ? collapseWhitespace(title->textContent()) : std::string();
}

void HtmlDocument::setTitle(std::string_view text) {
    DomNode* title = firstElement(*m_root, "title");
    if (!title) {
        DomNode* parent = head();
        if (!parent)
            parent = m_root.get();
        title = &parent->appendChild(std::make_unique<DomNode>(DomNode::Type::Element, "title"));
    }
    title->removeAllChildren();
    title->appendChild(std::make_unique<DomNode>(DomNode::Type::Text, std::string(text)));
}

DomNode* HtmlDocument::getElementById(std::string_view id) const {
    DomNode* found = nullptr;
    walkDom(*m_root, [&](const DomNode& node) {
        if (found)
            return false;
        const std::string* value = node.isElement() ? node.attribute("id") : nullptr;
        if (value && *value == id) {
            found = const_cast<DomNode*>(&node);
            return false;
        }
        return true;
    });
    return found;
}

} // namespace murmelo::web
