// XMLEventParser: the device's event-driven XML parser (the NSXMLParser
// kind), over expat. It reports the document start and end, each element
// start with its attributes, each element end, the text between (adjacent
// pieces, CDATA included, joined into one call), and the first error with
// its line and column.
//
//   struct Handler : XMLEventParserDelegate { ... };
//   XMLEventParser parser(replyBytes);
//   parser.setDelegate(&handler);
//   if (auto parsed = parser.parse(); !parsed) use(parsed.error());
//
// Untrusted input is safe to feed: no external entity or external DTD is
// ever loaded (a reference to one is an error), and entity expansion is
// bounded (a document whose entities blow up more than kMaximumAmplification
// times past kAmplificationThreshold bytes fails, so "billion laughs" ends in
// an error, not in exhaustion). Names are reported as written (no namespace
// processing). Input may be UTF-8, UTF-16, ISO-8859-1 or US-ASCII; every
// string reported is UTF-8.
//
// Errors: domain "NSXMLParserErrorDomain"; the code is expat's error number,
// or kAbortedCode when the delegate called abortParsing(); user info holds
// "lineNumber" and "columnNumber" (both from 1).
//
// Single-threaded: one parse on the calling thread; callbacks arrive on it.
// The delegate is not owned and must outlive parse(); it must not destroy
// the parser from a callback.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/Result.h"

namespace murmelo {

class XMLEventParser;

// Attributes of one element, in document order.
struct XMLAttributes {
    std::vector<std::pair<std::string, std::string>> items;
    std::optional<std::string> value(const std::string& name) const;
};

class XMLEventParserDelegate {
public:
    virtual ~XMLEventParserDelegate() = default;
    virtual void didStartDocument(XMLEventParser&) {}
    virtual void didEndDocument(XMLEventParser&) {}
    virtual void didStartElement(XMLEventParser&, const std::string& /*name*/, const XMLAttributes&) {}
    virtual void didEndElement(XMLEventParser&, const std::string& /*name*/) {}
    virtual void foundCharacters(XMLEventParser&, const std::string& /*text*/) {}
    virtual void parseErrorOccurred(XMLEventParser&, const Error&) {}
};

class XMLEventParser {
public:
    static constexpr const char* kErrorDomain = "NSXMLParserErrorDomain";
    static constexpr long kAbortedCode = 512;
    static constexpr float kMaximumAmplification = 100.0f;
    static constexpr unsigned long long kAmplificationThreshold = 1024 * 1024;

    explicit XMLEventParser(std::string data);
    XMLEventParser(const XMLEventParser&) = delete;
    XMLEventParser& operator=(const XMLEventParser&) = delete;

    void setDelegate(XMLEventParserDelegate* delegate) { m_delegate = delegate; }

    // Parses the whole document, calling the delegate; once per parser.
    Result<void> parse();
    // From a delegate callback: stop; parse() then fails with kAbortedCode.
    void abortParsing();

    const std::optional<Error>& parserError() const { return m_error; }
    // Position of the current event (during callbacks) or of the error.
    long lineNumber() const { return m_line; }
    long columnNumber() const { return m_column; }

private:
    struct Callbacks;
    void flushCharacters();
    void updatePosition();

    std::string m_data;
    XMLEventParserDelegate* m_delegate = nullptr;
    void* m_parser = nullptr; // the expat parser while parse() runs
    std::string m_pendingText;
    std::optional<Error> m_error;
    bool m_aborted = false;
    bool m_used = false;
    long m_line = 0;
    long m_column = 0;
};

} // namespace murmelo
