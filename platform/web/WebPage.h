// WebPage: a loaded page as the web view shows it — its address, title, the
// readable content in document order (blocks of inline runs), and the links
// and forms a person can act on. The web view builds it from the parsed
// document after each load and after scripts change the document; the text
// dump, the screen renderer and the interaction API read it.
//
// Links and forms are numbered from 0 in document order; the text dump and
// the renderer show them numbered from 1 ("[1] Next page").
//
// A plain value; copy it freely.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace murmelo {

struct WebLink {
    std::string text; // the link's visible text, whitespace collapsed
    std::string url;  // absolute, resolved against the document (and <base>)
};

struct WebFormField {
    // "text", "password", "hidden", "checkbox", "radio", "submit", "button",
    // "image", "reset", "file", "email", "search", "number", "textarea",
    // "select", ... (the lower-cased type attribute; unknown types read as
    // "text").
    std::string type;
    std::string name;
    std::string value; // current value (a select: the selected option's value)
    std::string id;
    std::string placeholder;
    bool checked = false; // checkboxes and radio buttons
    bool disabled = false;
    std::vector<std::string> options; // a select's option values, in order
    std::string label;                // a submit button's title, else a label for the field
};

struct WebForm {
    std::string action;  // absolute; the document's address when the form has none
    std::string method;  // "GET" or "POST"
    std::string enctype; // "application/x-www-form-urlencoded" or "multipart/form-data"
    std::string id;
    std::string name;
    std::vector<WebFormField> fields;
};

// One run of inline content.
struct WebInline {
    enum class Kind { Text, Link, Field, Image, LineBreak };
    Kind kind = Kind::Text;
    // Text and Link: the words, whitespace collapsed but kept between runs
    // ("Hello <b>world</b>" gives "Hello " and "world"); Image: the alt text.
    std::string text;
    bool bold = false;
    bool italic = false;
    std::optional<std::size_t> linkIndex;  // Link: index into WebPage::links
    std::optional<std::size_t> formIndex;  // Field: index into WebPage::forms
    std::optional<std::size_t> fieldIndex; // Field: index into WebForm::fields
    std::string imageURL;                  // Image: absolute address
    double imageWidth = 0;                 // Image: from the attributes, 0 when not given
    double imageHeight = 0;
};

// A block of the page in reading order.
struct WebBlock {
    enum class Kind { Paragraph, Heading, ListItem, Preformatted, Rule, Quote };
    Kind kind = Kind::Paragraph;
    int level = 0; // Heading: 1...6
    std::vector<WebInline> inlines;
};

struct WebPage {
    std::string url; // the document's address ("" before any load)
    std::string title;
    std::vector<WebBlock> blocks;
    std::vector<WebLink> links;
    std::vector<WebForm> forms;
    // The page's background colour from <body bgcolor> or a style, as
    // "#rrggbb", when it sets one.
    std::optional<std::string> backgroundColor;

    // The readable text: one line per block (empty blocks left out), runs
    // joined as they stand.
    std::string text() const;
};

} // namespace murmelo
