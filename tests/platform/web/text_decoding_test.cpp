// Page bytes to UTF-8: charset from the header, a BOM, <meta>, or the bytes.
#include <gtest/gtest.h>

#include "platform/web/TextDecoding.h"

namespace murmelo::web {
namespace {

TEST(TextDecodingTest, DecodesByTheCharsetThatApplies) {
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<std::string> header;
        std::string utf8;
        std::string charset;
    };
    const std::vector<Case> cases = {
        {"utf-8 header", "caf\xC3\xA9", "utf-8", "caf\xC3\xA9", "utf-8"},
        {"latin-1 header reads as windows-1252", "caf\xE9 \x80", "ISO-8859-1", "caf\xC3\xA9 \xE2\x82\xAC",
         "windows-1252"},
        {"quoted header label", "\xE9", "\"latin1\"", "\xC3\xA9", "windows-1252"},
        {"header wins over meta", "<meta charset=utf-8>\xE9", "windows-1252", "<meta charset=utf-8>\xC3\xA9",
         "windows-1252"},
        {"meta charset", "<html><head><meta charset=\"windows-1252\"></head>\x93q\x94", std::nullopt,
         "<html><head><meta charset=\"windows-1252\"></head>\xE2\x80\x9Cq\xE2\x80\x9D", "windows-1252"},
        {"meta http-equiv", "<meta http-equiv=Content-Type content='text/html; charset=ISO-8859-1'>\xFC",
         std::nullopt, "<meta http-equiv=Content-Type content='text/html; charset=ISO-8859-1'>\xC3\xBC",
         "windows-1252"},
        {"meta inside a comment is ignored", "<!-- <meta charset=koi8-r> -->\xC3\xA9", std::nullopt,
         "<!-- <meta charset=koi8-r> -->\xC3\xA9", "utf-8"},
        {"utf-8 BOM dropped", "\xEF\xBB\xBFok", std::nullopt, "ok", "utf-8"},
        {"koi8-r through iconv", "\xF0\xD2\xC9", "koi8-r", "\xD0\x9F\xD1\x80\xD0\xB8", "koi8-r"},
        {"valid utf-8 sniffed", "\xE2\x82\xAC", std::nullopt, "\xE2\x82\xAC", "utf-8"},
        {"invalid utf-8 sniffed as windows-1252", "\xE9t\xE9", std::nullopt, "\xC3\xA9t\xC3\xA9",
         "windows-1252"},
        {"unknown label falls back to sniffing", "abc", "x-no-such-charset", "abc", "utf-8"},
        {"invalid bytes in utf-8 become U+FFFD",
         "a\xFF"
         "b\xC3",
         "utf-8",
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD",
         "utf-8"},
        {"surrogates in utf-8 are invalid", "\xED\xA0\x80", "utf-8", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
         "utf-8"},
        {"invalid bytes through iconv", "a\xFF", "shift_jis", "a\xEF\xBF\xBD", "shift_jis"},
    };
    for (const Case& c : cases) {
        DecodedText decoded = decodeDocument(c.bytes, c.header);
        EXPECT_EQ(decoded.utf8, c.utf8) << c.name;
        EXPECT_EQ(decoded.charset, c.charset) << c.name;
    }
}

TEST(TextDecodingTest, MetaSniffingReadsOnlyTheFirstKilobyte) {
    std::string late = std::string(1100, ' ') + "<meta charset=koi8-r>";
    EXPECT_FALSE(sniffMetaCharset(late));
    EXPECT_EQ(sniffMetaCharset("<META CHARSET = 'KOI8-R'>").value_or(""), "koi8-r");
    EXPECT_FALSE(sniffMetaCharset("<meta charset=")) << "cut off in the middle of the tag";
    EXPECT_FALSE(sniffMetaCharset("<metadata charset=koi8-r>")) << "not a meta tag";
}

} // namespace
} // namespace murmelo::web
