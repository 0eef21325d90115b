// PageBuilder: turns a parsed document into the WebPage the text dump, the
// renderer and the driver read — readable blocks, links, forms and their
// fields — and remembers which DOM node stands behind each link, form and
// field so clicks and form filling can act on the document.
//
// Relative addresses resolve against the document's base: the first
// <base href> (itself resolved against the document's address), else the
// document's address. Main thread only; the bindings point into the
// document they were built from and are valid as long as it is unchanged
// in structure.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/URL.h"
#include "platform/web/HtmlDocument.h"
#include "platform/web/WebPage.h"

namespace murmelo::web {

struct PageBindings {
    struct Form {
        DomNode* node = nullptr;
        std::vector<DomNode*> fields;
    };
    std::vector<DomNode*> links;
    std::vector<Form> forms;
};

struct BuiltPage {
    WebPage page;
    PageBindings bindings;
};

// `documentURL` nothing for a page without an address ("about:blank").
BuiltPage buildPage(const HtmlDocument& document, const std::optional<URL>& documentURL);

// The base URL relative references of the document resolve against.
std::optional<URL> documentBaseURL(const HtmlDocument& document, const std::optional<URL>& documentURL);

// Resolves an attribute's address as a browser does: surrounding white space
// dropped, tabs and line breaks removed, blanks and non-ASCII characters
// escaped; nothing when it still is no URL.
std::optional<URL> resolveReference(const std::optional<URL>& base, std::string_view reference);

// The field as the page model shows it (type, value, checked state, label).
WebFormField describeField(const DomNode& node);

// "#rrggbb" for a colour value of HTML or CSS ("#abc", "#a0b0c0", "white",
// "rgb(1,2,3)"), nothing when it is none of them.
std::optional<std::string> parseHtmlColor(std::string_view text);

} // namespace murmelo::web
