// HtmlDocument: a page's markup parsed by gumbo (the HTML5 parsing rules, so
// broken markup gives the tree a browser would build) into our own DomNode
// tree, which scripts and form filling may then change.
//
//   auto document = HtmlDocument::parse("<title>Pool</title><a href=x>next</a>");
//   document->title();                 // "Pool"
//
// gumbo's time grows with the square of the nesting depth, so markup is cut
// off where its (estimated) element nesting passes kMaxMarkupNesting; a page
// of 400,000 nested <div>s would otherwise hold the main thread for minutes.
// Nesting deeper than kMaxDepth in the parsed tree is flattened into the
// element at that depth, so no later walk or destruction can run out of
// stack. Main thread only; the document owns its tree.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/web/DomNode.h"

namespace murmelo::web {

class HtmlDocument {
public:
    static constexpr int kMaxDepth = 256;
    static constexpr std::size_t kMaxMarkupNesting = 4096;

    // `utf8` must be valid UTF-8 (TextDecoding makes it so).
    static std::unique_ptr<HtmlDocument> parse(std::string_view utf8);

    DomNode& root() { return *m_root; }
    const DomNode& root() const { return *m_root; }
    // The <html>, <head> and <body> elements (the parser always makes them).
    DomNode* documentElement() const;
    DomNode* head() const;
    DomNode* body() const;

    // The first <title>'s text, whitespace collapsed and trimmed.
    std::string title() const;
    // Replaces the first <title>'s text, making one in <head> when there is none.
    void setTitle(std::string_view title);
    // The first element whose id is `id` in document order, or null.
    DomNode* getElementById(std::string_view id) const;

private:
    HtmlDocument();
    std::unique_ptr<DomNode> m_root;
};

// Collapses runs of HTML white space to one blank and trims both ends.
std::string collapseWhitespace(std::string_view text);
// Where markup must be cut so no element nests deeper than `limit`: a cheap
// estimate from start and end tags (void and self-closing elements and those
// the parser closes implicitly do not count; raw text is skipped). The
// markup's size when it never gets that deep.
std::size_t markupNestingCutOff(std::string_view html, std::size_t limit);
bool isHtmlSpace(char c);

} // namespace murmelo::web
