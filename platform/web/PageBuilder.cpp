#include "platform/web/PageBuilder.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "platform/core/Text.h"

namespace murmelo::web {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && isHtmlSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isHtmlSpace(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

const std::array<std::string_view, 22> kInputTypes = {
    "text",  "password",       "hidden", "checkbox", "radio",  "submit", "button", "image",
    "reset", "file",           "email",  "search",   "number", "tel",    "url",    "date",
    "time",  "datetime-local", "month",  "week",     "color",  "range"};

bool isBlockTag(std::string_view tag) {
    static const std::array<std::string_view, 28> kBlocks = {
        "p",        "div",  "section", "article", "header", "footer", "nav",   "main",   "aside",   "form",
        "table",    "tr",   "ul",      "ol",      "dl",     "dt",     "dd",    "center", "address", "figure",
        "fieldset", "body", "html",    "caption", "tbody",  "thead",  "tfoot", "details"};
    for (std::string_view block : kBlocks) {
        if (block == tag)
            return true;
    }
    return false;
}

bool isSkippedTag(std::string_view tag) {
    return tag == "head" || tag == "script" || tag == "style" || tag == "template" || tag == "noscript" ||
           tag == "title" || tag == "iframe" || tag == "object" || tag == "option" || tag == "optgroup" ||
           tag == "datalist" || tag == "map";
}

double numberAttribute(const DomNode& node, std::string_view name) {
    const std::string* value = node.attribute(name);
    if (!value)
        return 0;
    char* end = nullptr;
    double number = std::strtod(value->c_str(), &end);
    return (end != value->c_str() && number > 0 && number < 1e6) ? number : 0;
}

struct OptionInfo {
    std::vector<std::string> values;
    std::optional<std::size_t> selected;
};

OptionInfo selectOptions(const DomNode& select) {
    OptionInfo info;
    walkDom(select, [&](const DomNode& node) {
        if (node.isElement("option")) {
            const std::string* value = node.attribute("value");
            info.values.push_back(value ? *value : collapseWhitespace(node.textContent()));
            if (node.hasAttribute("selected"))
                info.selected = info.values.size() - 1;
            return false;
        }
        return true;
    });
    if (!info.selected && !info.values.empty())
        info.selected = 0;
    return info;
}

WebInline makeInline(WebInline::Kind kind, std::string text = {}) {
    WebInline run;
    run.kind = kind;
    run.text = std::move(text);
    return run;
}

WebBlock makeBlock(WebBlock::Kind kind) {
    WebBlock block;
    block.kind = kind;
    return block;
}

class Builder {
public:
    Builder(const HtmlDocument& document, const std::optional<URL>& documentURL)
        : m_document(document), m_base(documentBaseURL(document, documentURL)) {
        m_result.page.url = documentURL ? documentURL->absoluteString() : std::string();
        m_result.page.title = document.title();
        collectLabels();
    }

    BuiltPage build() {
        if (const DomNode* body = m_document.body()) {
            readBackground(*body);
            visitChildren(*body);
        } else {
            visitChildren(m_document.root());
        }
        flush(WebBlock::Kind::Paragraph);
        return std::move(m_result);
    }

private:
    void collectLabels() {
        walkDom(m_document.root(), [&](const DomNode& node) {
            if (node.isElement("label")) {
                if (const std::string* target = node.attribute("for"))
                    m_labels.emplace(*target, collapseWhitespace(node.textContent()));
            }
            return true;
        });
    }

    void readBackground(const DomNode& body) {
        std::optional<std::string> color;
        if (const std::string* style = body.attribute("style")) {
            std::string text = lower(*style);
            for (std::string_view property : {"background-color", "background"}) {
                std::size_t at = text.find(property);
                while (at != std::string::npos) {
                    std::size_t colon = at + property.size();
                    while (colon < text.size() && isHtmlSpace(text[colon]))
                        ++colon;
                    if (colon < text.size() && text[colon] == ':') {
                        std::size_t end = text.find(';', colon);
                        std::string value = trimmed(std::string_view(text).substr(
                            colon + 1, (end == std::string::npos ? text.size() : end) - colon - 1));
                        // "background: #fff url(x)" — the first word that is a colour.
                        std::size_t stop = value.starts_with("rgb(") ? value.find(')') : value.find(' ');
                        color = parseHtmlColor(value.substr(0, stop == std::string::npos ? stop : stop + 1));
                        break;
                    }
                    at = text.find(property, at + 1);
                }
                if (color)
                    break;
            }
        }
        if (!color) {
            if (const std::string* bgcolor = body.attribute("bgcolor"))
                color = parseHtmlColor(*bgcolor);
        }
        m_result.page.backgroundColor = color;
    }

    void visitChildren(const DomNode& node) {
        for (const auto& child : node.children())
            visit(*child);
    }

    void visit(const DomNode& node) {
        if (node.type() == DomNode::Type::Text) {
            addText(node.text());
            return;
        }
        if (!node.isElement())
            return;
        const std::string& tag = node.tag();
        if (isSkippedTag(tag))
            return;
        if (tag == "br") {
            m_current.inlines.push_back(makeInline(WebInline::Kind::LineBreak));
            m_pendingSpace = false;
            return;
        }
        if (tag == "hr") {
            flush(WebBlock::Kind::Paragraph);
            m_result.page.blocks.push_back(makeBlock(WebBlock::Kind::Rule));
            return;
        }
        if (tag == "img") {
            addImage(node);
            return;
        }
        if (tag == "input" || tag == "textarea" || tag == "select" || tag == "button") {
            addField(node);
            return;
        }
        if (tag == "form")
            beginForm(node);
        if (tag.size() == 2 && tag[0] == 'h' && tag[1] >= '1' && tag[1] <= '6') {
            block(node, WebBlock::Kind::Heading, tag[1] - '0');
            return;
        }
        if (tag == "li") {
            block(node, WebBlock::Kind::ListItem, 0);
            return;
        }
        if (tag == "blockquote") {
            block(node, WebBlock::Kind::Quote, 0);
            return;
        }
        if (tag == "pre" || tag == "listing" || tag == "xmp" || tag == "plaintext") {
            ++m_preformatted;
            block(node, WebBlock::Kind::Preformatted, 0);
            --m_preformatted;
            return;
        }
        if (isBlockTag(tag)) {
            block(node, WebBlock::Kind::Paragraph, 0);
            return;
        }
        if (tag == "td" || tag == "th") {
            space();
            if (tag == "th")
                ++m_bold;
            visitChildren(node);
            if (tag == "th")
                --m_bold;
            space();
            return;
        }
        if (tag == "a" && node.hasAttribute("href")) {
            addLink(node);
            return;
        }
        bool bold = tag == "b" || tag == "strong";
        bool italic = tag == "i" || tag == "em" || tag == "cite" || tag == "var" || tag == "dfn";
        m_bold += bold;
        m_italic += italic;
        visitChildren(node);
        m_bold -= bold;
        m_italic -= italic;
    }

    void block(const DomNode& node, WebBlock::Kind kind, int level) {
        flush(WebBlock::Kind::Paragraph);
        m_current.kind = kind;
        m_current.level = level;
        visitChildren(node);
        flush(WebBlock::Kind::Paragraph);
    }

    void flush(WebBlock::Kind nextKind) {
        auto& inlines = m_current.inlines;
        // No trailing blanks or line breaks at the end of a block.
        while (!inlines.empty()) {
            WebInline& last = inlines.back();
            if (last.kind == WebInline::Kind::LineBreak) {
                inlines.pop_back();
                continue;
            }
            if ((last.kind == WebInline::Kind::Text || last.kind == WebInline::Kind::Link) &&
                m_current.kind != WebBlock::Kind::Preformatted) {
                while (!last.text.empty() && last.text.back() == ' ')
                    last.text.pop_back();
                if (last.text.empty()) {
                    inlines.pop_back();
                    continue;
                }
            }
            break;
        }
        if (!inlines.empty())
            m_result.page.blocks.push_back(std::move(m_current));
        m_current = makeBlock(nextKind);
        m_pendingSpace = false;
    }

    bool blockHasContent() const {
        for (const WebInline& run : m_current.inlines) {
            if (run.kind != WebInline::Kind::LineBreak)
                return true;
        }
        return false;
    }

    // A blank between runs: at the end of the last word run when there is one.
    void space() {
        if (m_preformatted)
            return;
        if (m_current.inlines.empty() || m_current.inlines.back().kind == WebInline::Kind::LineBreak)
            return;
        WebInline& last = m_current.inlines.back();
        if (last.kind == WebInline::Kind::Text || last.kind == WebInline::Kind::Link) {
            if (!last.text.empty() && last.text.back() != ' ')
                last.text += ' ';
        } else {
            m_pendingSpace = true;
        }
    }

    WebInline& runForText() {
        auto kind = m_link ? WebInline::Kind::Link : WebInline::Kind::Text;
        if (!m_current.inlines.empty()) {
            WebInline& last = m_current.inlines.back();
            if (last.kind == kind && last.bold == (m_bold > 0) && last.italic == (m_italic > 0) &&
                last.linkIndex == m_link)
                return last;
        }
        WebInline run = makeInline(kind);
        run.bold = m_bold > 0;
        run.italic = m_italic > 0;
        run.linkIndex = m_link;
        m_current.inlines.push_back(std::move(run));
        return m_current.inlines.back();
    }

    void addText(const std::string& text) {
        if (m_preformatted) {
            if (!text.empty())
                runForText().text += text;
            return;
        }
        std::size_t i = 0;
        while (i < text.size()) {
            if (isHtmlSpace(text[i])) {
                while (i < text.size() && isHtmlSpace(text[i]))
                    ++i;
                space();
                continue;
            }
            std::size_t start = i;
            while (i < text.size() && !isHtmlSpace(text[i]))
                ++i;
            std::string word = text.substr(start, i - start);
            if (m_pendingSpace && blockHasContent())
                word.insert(word.begin(), ' ');
            m_pendingSpace = false;
            runForText().text += word;
        }
    }

    void addLink(const DomNode& node) {
        std::optional<URL> target = resolveReference(m_base, node.attributeOr("href"));
        WebLink link;
        link.url = target ? target->absoluteString() : trimmed(node.attributeOr("href"));
        link.text = collapseWhitespace(node.textContent());
        if (link.text.empty()) {
            walkDom(node, [&](const DomNode& inner) {
                if (link.text.empty() && inner.isElement("img"))
                    link.text = collapseWhitespace(inner.attributeOr("alt"));
                return link.text.empty();
            });
        }
        std::optional<std::size_t> outer = m_link;
        m_link = m_result.page.links.size();
        m_result.page.links.push_back(std::move(link));
        m_result.bindings.links.push_back(const_cast<DomNode*>(&node));
        visitChildren(node);
        m_link = outer;
    }

    void addImage(const DomNode& node) {
        WebInline image = makeInline(WebInline::Kind::Image);
        image.text = collapseWhitespace(node.attributeOr("alt"));
        if (auto source = resolveReference(m_base, node.attributeOr("src")))
            image.imageURL = source->absoluteString();
        image.imageWidth = numberAttribute(node, "width");
        image.imageHeight = numberAttribute(node, "height");
        image.linkIndex = m_link;
        if (m_pendingSpace && blockHasContent())
            m_current.inlines.push_back(makeInline(WebInline::Kind::Text, " "));
        m_pendingSpace = false;
        m_current.inlines.push_back(std::move(image));
    }

    void beginForm(const DomNode& node) {
        WebForm form;
        std::optional<URL> action;
        std::string actionText = trimmed(node.attributeOr("action"));
        if (!actionText.empty())
            action = resolveReference(m_base, actionText);
        if (actionText.empty() || !action)
            form.action = actionText.empty() ? m_result.page.url : actionText;
        else
            form.action = action->absoluteString();
        form.method = lower(trimmed(node.attributeOr("method"))) == "post" ? "POST" : "GET";
        form.enctype = lower(trimmed(node.attributeOr("enctype"))) == "multipart/form-data"
                           ? "multipart/form-data"
                           : "application/x-www-form-urlencoded";
        form.id = node.attributeOr("id");
        form.name = node.attributeOr("name");
        m_formIndex[&node] = m_result.page.forms.size();
        m_result.page.forms.push_back(std::move(form));
        PageBindings::Form binding;
        binding.node = const_cast<DomNode*>(&node);
        m_result.bindings.forms.push_back(std::move(binding));
    }

    void addField(const DomNode& node) {
        DomNode* formNode = node.closest("form");
        auto found = formNode ? m_formIndex.find(formNode) : m_formIndex.end();
        if (found == m_formIndex.end())
            return; // a control outside any form has nothing to submit
        WebForm& form = m_result.page.forms[found->second];
        WebFormField field = describeField(node);
        if (field.label.empty() && !field.id.empty()) {
            if (auto label = m_labels.find(field.id); label != m_labels.end())
                field.label = label->second;
        }
        if (field.label.empty()) {
            if (DomNode* label = node.closest("label"))
                field.label = collapseWhitespace(label->textContent());
        }
        bool visible = field.type != "hidden";
        WebInline run = makeInline(WebInline::Kind::Field);
        // What a person sees in the control.
        bool isButton = field.type == "submit" || field.type == "button" || field.type == "reset" ||
                        field.type == "image";
        if (field.type == "password")
            run.text = std::string(field.value.size(), '*');
        else if (field.type == "checkbox" || field.type == "radio")
            run.text = field.checked ? "[x]" : "[ ]";
        else if (isButton)
            run.text = field.label.empty() ? field.value : field.label;
        else
            run.text = field.value.empty() ? field.placeholder : field.value;
        run.formIndex = found->second;
        run.fieldIndex = form.fields.size();
        form.fields.push_back(std::move(field));
        m_result.bindings.forms[found->second].fields.push_back(const_cast<DomNode*>(&node));
        if (visible) {
            if (m_pendingSpace && blockHasContent())
                m_current.inlines.push_back(makeInline(WebInline::Kind::Text, " "));
            m_pendingSpace = false;
            m_current.inlines.push_back(std::move(run));
        }
    }

    const HtmlDocument& m_document;
    std::optional<URL> m_base;
    BuiltPage m_result;
    WebBlock m_current;
    int m_bold = 0;
    int m_italic = 0;
    int m_preformatted = 0;
    bool m_pendingSpace = false;
    std::optional<std::size_t> m_link;
    std::unordered_map<const DomNode*, std::size_t> m_formIndex;
    std::unordered_map<std::string, std::string> m_labels;
};

} // namespace

BuiltPage buildPage(const HtmlDocument& document, const std::optional<URL>& documentURL) {
    return Builder(document, documentURL).build();
}

std::optional<URL> resolveReference(const std::optional<URL>& base, std::string_view reference) {
    std::string cleaned;
    for (char c : trimmed(reference)) {
        if (c != '\t' && c != '\n' && c != '\r')
            cleaned += c;
    }
    static constexpr std::string_view kUnsafe = " \"<>\\^`{|}";
    std::string escaped;
    for (std::size_t i = 0; i < cleaned.size(); ++i) {
        auto byte = static_cast<unsigned char>(cleaned[i]);
        bool badPercent = byte == '%' && !(i + 2 < cleaned.size() && text::isHexDigit(cleaned[i + 1]) &&
                                           text::isHexDigit(cleaned[i + 2]));
        if (byte < 0x21 || byte >= 0x7F || kUnsafe.find(static_cast<char>(byte)) != std::string_view::npos ||
            badPercent) {
            text::appendPercentEscape(escaped, byte);
        } else {
            escaped += static_cast<char>(byte);
        }
    }
    if (base)
        return URL::resolve(*base, escaped);
    std::optional<URL> absolute = URL::strictParse(escaped);
    if (absolute && absolute->scheme())
        return absolute;
    return std::nullopt;
}

std::optional<URL> documentBaseURL(const HtmlDocument& document, const std::optional<URL>& documentURL) {
    const DomNode* base = nullptr;
    walkDom(document.root(), [&](const DomNode& node) {
        if (base)
            return false;
        if (node.isElement("base") && node.hasAttribute("href")) {
            base = &node;
            return false;
        }
        return true;
    });
    if (base) {
        if (auto resolved = resolveReference(documentURL, base->attributeOr("href")))
            return resolved->absoluteURL();
    }
    return documentURL;
}

WebFormField describeField(const DomNode& node) {
    WebFormField field;
    const std::string& tag = node.tag();
    if (tag == "textarea") {
        field.type = "textarea";
    } else if (tag == "select") {
        field.type = "select";
    } else if (tag == "button") {
        std::string type = lower(trimmed(node.attributeOr("type")));
        field.type = (type == "reset" || type == "button") ? type : "submit";
    } else {
        std::string type = lower(trimmed(node.attributeOr("type")));
        field.type = "text";
        for (std::string_view known : kInputTypes) {
            if (known == type)
                field.type = type;
        }
    }
    field.name = node.attributeOr("name");
    field.id = node.attributeOr("id");
    field.placeholder = node.attributeOr("placeholder");
    field.disabled = node.hasAttribute("disabled");

    const std::string& type = field.type;
    if (type == "checkbox" || type == "radio") {
        field.value = node.attributeOr("value", "on");
        field.checked = node.liveChecked().value_or(node.hasAttribute("checked"));
    } else if (type == "textarea") {
        field.value = node.liveValue().value_or(node.textContent());
    } else if (type == "select") {
        OptionInfo options = selectOptions(node);
        field.options = options.values;
        if (node.liveValue())
            field.value = *node.liveValue();
        else if (options.selected)
            field.value = options.values[*options.selected];
    } else if (tag == "button") {
        field.value = node.attributeOr("value");
        field.label = collapseWhitespace(node.textContent());
    } else if (type == "submit" || type == "reset" || type == "button") {
        field.value = node.attributeOr("value");
        field.label = field.value.empty() ? (type == "reset"    ? "Reset"
                                             : type == "submit" ? "Submit"
                                                                : "")
                                          : field.value;
    } else if (type == "image") {
        field.label = collapseWhitespace(node.attributeOr("alt", "Submit"));
    } else {
        std::string value = node.liveValue().value_or(node.attributeOr("value"));
        if (type != "file") {
            // Single-line fields hold no line breaks.
            std::erase_if(value, [](char c) { return c == '\n' || c == '\r'; });
            field.value = std::move(value);
        }
    }
    return field;
}

std::optional<std::string> parseHtmlColor(std::string_view raw) {
    std::string text = lower(trimmed(raw));
    auto format = [](int r, int g, int b) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", r & 0xFF, g & 0xFF, b & 0xFF);
        return std::string(buffer);
    };
    if (!text.empty() && text[0] == '#') {
        std::string digits = text.substr(1);
        for (char c : digits) {
            if (!text::isHexDigit(c))
                return std::nullopt;
        }
        if (digits.size() == 3)
            return format(text::hexDigitValue(digits[0]) * 17, text::hexDigitValue(digits[1]) * 17,
                          text::hexDigitValue(digits[2]) * 17);
        if (digits.size() == 6)
            return format(text::hexDigitValue(digits[0]) * 16 + text::hexDigitValue(digits[1]),
                          text::hexDigitValue(digits[2]) * 16 + text::hexDigitValue(digits[3]),
                          text::hexDigitValue(digits[4]) * 16 + text::hexDigitValue(digits[5]));
        return std::nullopt;
    }
    if (text.starts_with("rgb(") && text.back() == ')') {
        int r = 0, g = 0, b = 0;
        char close = 0;
        if (std::sscanf(text.c_str(), "rgb(%d ,%d ,%d %c", &r, &g, &b, &close) == 4 && close == ')' &&
            r >= 0 && r <= 255 && g >= 0 && g <= 255 && b >= 0 && b <= 255)
            return format(r, g, b);
        return std::nullopt;
    }
    static const std::array<std::pair<std::string_view, std::string_view>, 17> kNames = {{
        {"white", "#ffffff"},
        {"black", "#000000"},
        {"red", "#ff0000"},
        {"green", "#008000"},
        {"blue", "#0000ff"},
        {"yellow", "#ffff00"},
        {"gray", "#808080"},
        {"grey", "#808080"},
        {"silver", "#c0c0c0"},
        {"maroon", "#800000"},
        {"navy", "#000080"},
        {"purple", "#800080"},
        {"teal", "#008080"},
        {"olive", "#808000"},
        {"lime", "#00ff00"},
        {"aqua", "#00ffff"},
        {"orange", "#ffa500"},
    }};
    for (const auto& [name, value] : kNames) {
        if (name == text)
            return std::string(value);
    }
    return std::nullopt;
}

} // namespace murmelo::web
