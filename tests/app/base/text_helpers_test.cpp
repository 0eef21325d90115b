// URLParser, the XML entity decoder and the cookie value coding.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/base/NSStringHelper.h"
#include "app/base/URLParser.h"
#include "platform/core/Log.h"
#include "platform/foundation/Unicode.h"

using namespace murmelo;

namespace {

TEST(URLParserTest, SplitsQueryIntoPiecesAsWritten) {
    struct Case {
        const char* url;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"http://h/p?id=5&name=x", {"id=5", "name=x"}},
        {"http://h/p", {}},
        {"?only=1", {}},                         // a leading "?" is skipped, none is left
        {"&&?a=1", {}},                          // leading separators likewise
        {"http://h/p?a=1&&b=2", {"a=1", "b=2"}}, // a doubled "&" gives no empty piece
        {"http://h/p?a=1&?b=2", {"a=1", "b=2"}}, // "?" at the start of a piece is dropped
        {"http://h/p?a=1?b=2&c", {"a=1?b=2", "c"}},
        {"http://h/p?a=%20x&b=c=d", {"a=%20x", "b=c=d"}}, // no decoding, no split at "="
        {"http://h/p?a=1#frag", {"a=1#frag"}},
        {"http://h/p?", {}},
        {"http://h/p?&&", {}},
        {"x?y?a=1", {"y?a=1"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(URLParser(c.url).variables(), c.pieces) << c.url;
    }
}

TEST(URLParserTest, ValueForVariable) {
    struct Case {
        const char* url;
        const char* name;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {"http://h/p?id=5&name=x", "id", "5"},
        {"http://h/p?id=5&name=x", "name", "x"},
        {"http://h/p?id=5&name=x", "ID", std::nullopt}, // case matters
        {"http://h/p?id=5&name=x", "i", std::nullopt},  // a prefix of a name is not the name
        {"http://h/p?flag=&x=1", "flag", std::nullopt}, // empty value reads as nothing
        {"http://h/p?flag", "flag", std::nullopt},
        {"http://h/p?a=1&a=2", "a", "1"}, // the first match wins
        {"http://h/p?content=a%20b=c", "content", "a%20b=c"},
        {"http://h/p?=v", "", "v"},
        {"http://h/p", "id", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(URLParser(c.url).valueForVariable(c.name), c.value) << c.url << " " << c.name;
    }
}

TEST(XMLEntitiesTest, Decodes) {
    struct Case {
        std::string in;
        std::string out;
        bool logs;
    };
    const Case cases[] = {
        {"plain text", "plain text", false},
        {"&lt;b&gt;", "<b>", false},
        {"&LT;b&Gt;", "<b>", false},
        {"&amp;&apos;&quot;", "&'\"", false},
        {"&AMP;lt;", "&lt;", false}, // decoded once only
        {"&#65;", "A", false},
        {"&#65", "A", false},
        {"&#65x", "Ax", false},
        {"&#x41;", "A", false},
        {"&#X41;", "A", false},
        {"&#x6a;&#x6A;", "jj", false},
        {"&#+66;", "B", false},
        {"&#233;", "\xC3\xA9", false},
        {"&#x1F600;", "\xF0\x9F\x98\x80", false},
        {"&#0;", "\xEF\xBF\xBD", false},       // NUL is not a character
        {"&#xD800;", "\xEF\xBF\xBD", false},   // nor a surrogate
        {"&#x110000;", "\xEF\xBF\xBD", false}, // nor anything past U+10FFFF
        {"&#-65;", "\xEF\xBF\xBD", false},     // nor a negative number
        {"&#99999999999999999999;", "\xEF\xBF\xBD", false},
        {"&#abc;", "&#abc;", true}, // stays as written
        {"&#xyz; tail", "&#xyz; tail", true},
        {"&#ab cd", "&#ab cd", true},
        {"&#", "&#", true},
        {"&#-;", "&#-;", true},
        {"&nbsp;x", "&nbsp;x", false}, // unknown entities pass through
        {"a & b", "a & b", false},
        {"&&lt;", "&<", false},
        {"&lt", "&lt", false},
        {"\xE4\xBD\xA0&amp;\xE5\xA5\xBD", "\xE4\xBD\xA0&\xE5\xA5\xBD", false},
    };
    for (const Case& c : cases) {
        LogCapture log;
        std::string out = stringByDecodingXMLEntities(c.in);
        EXPECT_EQ(out, c.out) << c.in;
        EXPECT_TRUE(unicode::isValidUtf8(out)) << c.in;
        EXPECT_EQ(log.messages().size(), c.logs ? 1u : 0u) << c.in;
    }
}

TEST(XMLEntitiesTest, MalformedReferenceLogLine) {
    struct Case {
        const char* in;
        const char* line;
    };
    const Case cases[] = {
        {"&#abc;", "Expected numeric character entity but got &#abc;"},
        {"&#Xyz\tq", "Expected numeric character entity but got &#Xyz;"},
        {"&#", "Expected numeric character entity but got &#;"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        (void)stringByDecodingXMLEntities(c.in);
        ASSERT_EQ(log.messages().size(), 1u) << c.in;
        EXPECT_EQ(log.messages()[0], c.line);
    }
}

TEST(XMLEntitiesTest, TwiceDecodesDoubleEscapes) {
    EXPECT_EQ(stringByDecodingXMLEntitiesTwice("&amp;lt;"), "<");
    EXPECT_EQ(stringByDecodingXMLEntitiesTwice("&amp;amp;amp;"), "&amp;");
    EXPECT_EQ(stringByDecodingXMLEntitiesTwice("&amp;#65;"), "A");
}

TEST(CookieValueTest, EncodeAndDecode) {
    struct Case {
        std::string plain;
        std::string encoded;
    };
    const Case cases[] = {
        {"a b", "a%20b"},       {"x=1&y=2", "x=1&y=2"},     {"50%", "50%25"},
        {"\xC3\xA9", "%C3%A9"}, {"\"<>\"", "%22%3C%3E%22"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encodedCookieValue(c.plain), c.encoded) << c.plain;
        EXPECT_EQ(decodedCookieValue(c.encoded), c.plain) << c.encoded;
    }
    struct Decode {
        const char* in;
        std::optional<std::string> out;
    };
    const Decode decodes[] = {
        {"a+b", "a b"},
        {"a%20b", "a b"},
        {"a%2Bb", "a b"}, // "+" replaced after the escapes are decoded
        {"%zz", std::nullopt},
        {"%C3", std::nullopt}, // not UTF-8
        {"", ""},
    };
    for (const Decode& d : decodes) {
        EXPECT_EQ(decodedCookieValue(d.in), d.out) << d.in;
    }
}

} // namespace
