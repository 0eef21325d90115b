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

bool isTagNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == ':' || c == '_';
}

// Tags that never stay open (void) or that the parser closes by itself when
// the next sibling starts, so they cannot build deep nesting.
bool neverNests(std::string_view tag) {
    static constexpr std::string_view kTags[] = {
        "area",  "base",   "br",       "col",   "embed",  "hr",       "img",      "input", "link",  "meta",
        "param", "source", "track",    "wbr",   "p",      "li",       "dt",       "dd",    "tr",    "td",
        "th",    "option", "optgroup", "rb",    "rt",     "rp",       "colgroup", "tbody", "thead", "tfoot",
        "head",  "body",   "html",     "frame", "keygen", "basefont", "bgsound"};
    for (std::string_view known : kTags) {
        if (known == tag)
            return true;
    }
    return false;
}

bool isRawText(std::string_view tag) {
    return tag == "script" || tag == "style" || tag == "textarea" || tag == "title" || tag == "xmp" ||
           tag == "iframe" || tag == "noembed" || tag == "noframes";
}

} // namespace

std::size_t markupNestingCutOff(std::string_view html, std::size_t limit) {
    std::size_t depth = 0;
    std::size_t i = 0;
    auto skipTag = [&](std::size_t from) {
        // To the '>' that ends the tag, past quoted attribute values.
        char quote = 0;
        for (std::size_t k = from; k < html.size(); ++k) {
            char c = html[k];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return k + 1;
            }
        }
        return html.size();
    };
    while (i < html.size()) {
        std::size_t open = html.find('<', i);
        if (open == std::string_view::npos || open + 1 >= html.size())
            break;
        char next = html[open + 1];
        if (next == '!') {
            std::size_t end =
                html.compare(open, 4, "<!--") == 0 ? html.find("-->", open + 4) : html.find('>', open);
            i = end == std::string_view::npos ? html.size() : end + 1;
            continue;
        }
        if (next == '/') {
            if (open + 2 < html.size() && std::isalpha(static_cast<unsigned char>(html[open + 2])) &&
                depth > 0)
                --depth;
            i = skipTag(open + 2);
            continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(next))) {
            i = open + 1;
            continue;
        }
        std::size_t nameEnd = open + 1;
        while (nameEnd < html.size() && isTagNameChar(html[nameEnd]))
            ++nameEnd;
        std::string name = lowerCase(html.substr(open + 1, nameEnd - open - 1));
        std::size_t end = skipTag(nameEnd);
        bool selfClosing = end >= 2 && end <= html.size() && html[end - 1] == '>' && html[end - 2] == '/';
        if (isRawText(name)) {
            // Its text is not markup: skip to the end tag.
            std::string closing = "</" + name;
            std::size_t k = end;
            while (k < html.size()) {
                std::size_t found = html.find("</", k);
                if (found == std::string_view::npos) {
                    k = html.size();
                    break;
                }
                if (lowerCase(html.substr(found, closing.size())) == closing) {
                    k = found;
                    break;
                }
                k = found + 2;
            }
            i = k;
            continue;
        }
        if (name == "plaintext")
            break;
        if (!selfClosing && !neverNests(name) && ++depth > limit)
            return open;
        i = end;
    }
    return html.size();
}

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
    // The parser takes time in the square of the nesting depth; markup
    // nested beyond kMaxMarkupNesting is cut off before it gets there.
    utf8 = utf8.substr(0, markupNestingCutOff(utf8, kMaxMarkupNesting));
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
