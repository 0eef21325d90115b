#include <gtest/gtest.h>

#include "platform/net/XMLEventParser.h"

using namespace murmelo;

namespace {

// Records every event as one line of text.
class Recorder : public XMLEventParserDelegate {
public:
    std::vector<std::string> events;
    std::optional<std::string> abortAtElement;

    void didStartDocument(XMLEventParser&) override { events.push_back("begin"); }
    void didEndDocument(XMLEventParser&) override { events.push_back("end"); }
    void didStartElement(XMLEventParser& parser, const std::string& name,
                         const XMLAttributes& attributes) override {
        std::string line = "<" + name;
        for (const auto& [key, value] : attributes.items) {
            line += " " + key + "=" + value;
        }
        events.push_back(line + ">");
        if (abortAtElement == name) {
            parser.abortParsing();
        }
    }
    void didEndElement(XMLEventParser&, const std::string& name) override {
        events.push_back("</" + name + ">");
    }
    void foundCharacters(XMLEventParser&, const std::string& text) override {
        events.push_back("'" + text + "'");
    }
    void parseErrorOccurred(XMLEventParser&, const Error& error) override {
        events.push_back("error " + std::to_string(error.code()));
    }
};

} // namespace

TEST(XMLEventParser, ReportsEventsInDocumentOrder) {
    struct Case {
        std::string label;
        std::string xml;
        std::vector<std::string> events;
    };
    const std::vector<Case> cases = {
        {"REST answer",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<users_getInfo_response list=\"true\"><user><uid>42</uid><name>A &amp; B</name></user>"
         "</users_getInfo_response>",
         {"begin", "<users_getInfo_response list=true>", "<user>", "<uid>", "'42'", "</uid>", "<name>",
          "'A & B'", "</name>", "</user>", "</users_getInfo_response>", "end"}},
        {"attributes in order",
         "<a z=\"1\" b='2' m=\"&lt;&#x41;\"/>",
         {"begin", "<a z=1 b=2 m=<A>", "</a>", "end"}},
        {"whitespace text is reported",
         "<a>\n  <b/>\n</a>",
         {"begin", "<a>", "'\n  '", "<b>", "</b>", "'\n'", "</a>", "end"}},
        {"CDATA joins neighbouring text",
         "<a>x<![CDATA[<y>]]>z</a>",
         {"begin", "<a>", "'x<y>z'", "</a>", "end"}},
        {"comments and PIs are skipped",
         "<a><!-- c -->t<?pi x?></a>",
         {"begin", "<a>", "'t'", "</a>", "end"}},
        {"internal entity",
         "<!DOCTYPE a [<!ENTITY e \"val\">]><a>&e;</a>",
         {"begin", "<a>", "'val'", "</a>", "end"}},
        {"non-ASCII stays UTF-8",
         "<a>caf\xC3\xA9 \xE4\xB8\xAD</a>",
         {"begin", "<a>", "'caf\xC3\xA9 \xE4\xB8\xAD'", "</a>", "end"}},
        {"Latin-1 input comes out as UTF-8",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>",
         {"begin", "<a>", "'caf\xC3\xA9'", "</a>", "end"}},
        {"namespaces as written",
         "<x:a xmlns:x=\"urn:x\"><x:b/></x:a>",
         {"begin", "<x:a xmlns:x=urn:x>", "<x:b>", "</x:b>", "</x:a>", "end"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Recorder recorder;
        XMLEventParser parser(c.xml);
        parser.setDelegate(&recorder);
        auto parsed = parser.parse();
        EXPECT_TRUE(parsed.ok()) << (parsed.ok() ? "" : parsed.error().localizedDescription());
        EXPECT_EQ(recorder.events, c.events);
        EXPECT_FALSE(parser.parserError().has_value());
    }
}

TEST(XMLEventParser, ErrorsCarryCodeLineAndColumn) {
    struct Case {
        std::string label;
        std::string xml;
        long code;
        long line;
        long column;
    };
    const std::vector<Case> cases = {
        {"empty", "", 3 /* no element found */, 1, 1},
        {"not XML", "Bad Gateway", 2 /* syntax error */, 1, 1},
        {"mismatched tag", "<a>\n<b></a>", 7, 2, 6},
        {"unclosed", "<a><b>", 3, 1, 7},
        {"junk after root", "<a/><b/>", 9, 1, 5},
        {"undefined entity", "<a>&nope;</a>", 11, 1, 4},
        {"bad byte", "<a>\xFF</a>", 4 /* invalid token */, 1, 4},
        {"duplicate attribute", "<a x='1' x='2'/>", 8, 1, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Recorder recorder;
        XMLEventParser parser(c.xml);
        parser.setDelegate(&recorder);
        auto parsed = parser.parse();
        ASSERT_FALSE(parsed.ok());
        const Error& error = parsed.error();
        EXPECT_EQ(error.domain(), "NSXMLParserErrorDomain");
        EXPECT_EQ(error.code(), c.code) << error.localizedDescription();
        EXPECT_EQ(parser.lineNumber(), c.line);
        EXPECT_EQ(parser.columnNumber(), c.column);
        ASSERT_NE(error.userInfo().find("lineNumber"), nullptr);
        EXPECT_EQ(error.userInfo().find("lineNumber")->integerValue(), c.line);
        ASSERT_TRUE(parser.parserError().has_value());
        EXPECT_EQ(recorder.events.back(), "error " + std::to_string(c.code));
        EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "end"), 0);
    }
}

TEST(XMLEventParser, HostileDocumentsFailCleanly) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    laughs += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">";
    for (int i = 2; i <= 9; ++i) {
        std::string previous = "&lol" + std::to_string(i - 1) + ";";
        std::string body;
        for (int k = 0; k < 10; ++k) {
            body += previous;
        }
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"" + body + "\">";
    }
    laughs += "]><lolz>&lol9;</lolz>";

    std::string quadratic = "<!DOCTYPE a [<!ENTITY big \"" + std::string(50000, 'x') + "\">]><a>";
    for (int i = 0; i < 2000; ++i) {
        quadratic += "&big;";
    }
    quadratic += "</a>";

    struct Case {
        std::string label;
        std::string xml;
        long code;
    };
    const std::vector<Case> cases = {
        {"billion laughs", laughs, 43 /* amplification limit breach */},
        {"quadratic blowup", quadratic, 43},
        {"external general entity", "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><a>&x;</a>",
         21 /* error in processing external entity reference */},
    };
    for (const auto& [label, xml, code] : cases) {
        SCOPED_TRACE(label);
        Recorder recorder;
        XMLEventParser parser(xml);
        parser.setDelegate(&recorder);
        auto parsed = parser.parse();
        ASSERT_FALSE(parsed.ok());
        EXPECT_EQ(parsed.error().domain(), "NSXMLParserErrorDomain");
        EXPECT_EQ(parsed.error().code(), code) << parsed.error().localizedDescription();
        size_t delivered = 0;
        for (const auto& event : recorder.events) {
            delivered += event.size();
            EXPECT_EQ(event.find("root:"), std::string::npos); // nothing from /etc/passwd
        }
        EXPECT_LT(delivered, 4u * 1024 * 1024);
    }
    // An external DTD or parameter entity is never fetched: the document is
    // read without it, and entities it might declare are skipped.
    const std::vector<std::string> skipped = {
        "<!DOCTYPE a SYSTEM \"file:///etc/passwd\"><a>t&maybe;</a>",
        "<!DOCTYPE a [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]><a>t&undeclared;</a>",
    };
    for (const auto& xml : skipped) {
        SCOPED_TRACE(xml);
        Recorder recorder;
        XMLEventParser parser(xml);
        parser.setDelegate(&recorder);
        EXPECT_TRUE(parser.parse().ok());
        EXPECT_EQ(recorder.events, (std::vector<std::string>{"begin", "<a>", "'t'", "</a>", "end"}));
    }
}

TEST(XMLEventParser, AbortAndSingleUse) {
    Recorder recorder;
    recorder.abortAtElement = "b";
    XMLEventParser parser("<a>x<b>y</b><c/></a>");
    parser.setDelegate(&recorder);
    auto parsed = parser.parse();
    ASSERT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.error().code(), XMLEventParser::kAbortedCode);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"begin", "<a>", "'x'", "<b>", "error 512"}));
    EXPECT_FALSE(parser.parse().ok()); // a parser parses one document

    // Without a delegate the parse still validates.
    XMLEventParser silent("<a><b></a>");
    EXPECT_FALSE(silent.parse().ok());
    XMLEventParser fine("<a/>");
    EXPECT_TRUE(fine.parse().ok());
}
