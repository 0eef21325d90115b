// Unit tests of the servers' parsers and text helpers, and of the
// configuration reader.
#include <gtest/gtest.h>

#include "servers/ServerConfig.h"
#include "servers/http/FormFields.h"
#include "servers/http/Json.h"
#include "servers/http/Text.h"
#include "servers/mediation/MediationServer.h"
#include "servers/thirdparty/TwitterStandIn.h"

using namespace murmelo;
using namespace murmelo::servers;

TEST(FormDecoding, StrictDecodingTable) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    struct Row {
        std::string input;
        bool ok;
        Pairs fields;
    };
    const Row rows[] = {
        {"", true, {}},
        {"a=1&b=x+y%21", true, {{"a", "1"}, {"b", "x y!"}}},
        {"Secret%5Bcontent%5D=caf%C3%A9", true, {{"Secret[content]", "café"}}},
        {"a=1&&b=2&", true, {{"a", "1"}, {"b", "2"}}},
        {"flag&a=", true, {{"flag", ""}, {"a", ""}}},
        {"a=1=2", true, {{"a", "1=2"}}},
        {"a=%2", false, {}},
        {"a=%G1", false, {}},
        {"a=%", false, {}},
        {"%ZZ=1", false, {}},
        {"a=%C3", false, {}},       // cut UTF-8 sequence
        {"a=%ED%A0%80", false, {}}, // surrogate
        {"a=%C0%AF", false, {}},    // overlong
        {"a=%00", true, {{"a", std::string(1, '\0')}}},
    };
    for (const Row& row : rows) {
        auto parsed = parseUrlEncoded(row.input);
        EXPECT_EQ(parsed.ok(), row.ok) << row.input;
        if (parsed && row.ok) {
            EXPECT_EQ(parsed->all(), row.fields) << row.input;
        }
    }
    FormFields lenient = parseQueryLeniently("a=%ZZ&b=2&c=%41");
    EXPECT_EQ(lenient.all(), (Pairs{{"b", "2"}, {"c", "A"}}));
    EXPECT_EQ(lenient.get("a"), std::nullopt);
    EXPECT_EQ(lenient.getOr("a", "none"), "none");
}

TEST(FormDecoding, RequestBodiesByContentType) {
    struct Row {
        const char* name;
        std::string contentType;
        bool multipart;
        bool unterminated;
        UnterminatedMultipart accept;
        bool ok;
    };
    const Row rows[] = {
        {"urlencoded", "application/x-www-form-urlencoded; charset=utf-8", false, false,
         UnterminatedMultipart::Refuse, true},
        {"no type", "", false, false, UnterminatedMultipart::Refuse, true},
        {"json", "application/json", false, false, UnterminatedMultipart::Refuse, false},
        {"multipart", "multipart/form-data; boundary=x", true, false, UnterminatedMultipart::Refuse, true},
        {"unterminated refused", "multipart/form-data; boundary=x", true, true, UnterminatedMultipart::Refuse,
         false},
        {"unterminated accepted", "multipart/form-data; boundary=x", true, true,
         UnterminatedMultipart::Accept, true},
    };
    for (const Row& row : rows) {
        HttpRequest request;
        if (!row.contentType.empty()) {
            request.headers.emplace_back("content-type", row.contentType);
        }
        request.body = row.multipart ? "" : "a=1";
        request.multipart = row.multipart;
        request.multipartUnterminated = row.unterminated;
        if (row.multipart) {
            request.parts = {{"a", "", "", "1"}, {"file", "photo", "image/png", "\x89PNG"}};
        }
        auto form = parseRequestForm(request, row.accept);
        EXPECT_EQ(form.ok(), row.ok) << row.name;
        if (form) {
            EXPECT_EQ(form->all().size(), 1u) << row.name; // file parts are not fields
            EXPECT_EQ(form->get("a"), "1") << row.name;
        }
    }
}

TEST(FormDecoding, CookieHeader) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(parseCookieHeader("a=1; b=\"two\";c = 3 ;;=x; d; e="),
              (Pairs{{"a", "1"}, {"b", "two"}, {"c", "3"}, {"e", ""}}));
    EXPECT_TRUE(parseCookieHeader("").empty());
}

TEST(Text, Utf8AndWhitespace) {
    struct Row {
        std::string text;
        bool valid;
    };
    const Row rows[] = {{"plain", true},     {"café 秘密 😀", true},   {"\xC3", false},
                        {"\xC0\x80", false}, {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false},
                        {"\xFF", false},     {"\xE2\x82", false}};
    for (const Row& row : rows) {
        EXPECT_EQ(isValidUtf8(row.text), row.valid) << row.text;
    }
    EXPECT_EQ(codePointCount("café 😀"), 6u);
    struct Trim {
        std::string in, out;
    };
    const Trim trims[] = {{"  a b  ", "a b"},
                          {"\t\n\r", ""},
                          {"\xE3\x80\x80"
                           "x"
                           "\xC2\xA0",
                           "x"},
                          {"\xE2\x80\x8B\xEF\xBB\xBFy\xE2\x80\xA8", "y"},
                          {"秘 密", "秘 密"},
                          {"", ""}};
    for (const Trim& t : trims) {
        EXPECT_EQ(trimWhitespace(t.in), t.out) << t.in;
    }
}

TEST(Text, EscapingAndEncoding) {
    EXPECT_EQ(htmlEscape("<a href=\"x\">'&'</a>"), "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
    EXPECT_EQ(xmlEscape("a<b>&\"c\""), "a&lt;b&gt;&amp;\"c\"");
    EXPECT_EQ(percentEncode("a b&c/é~"), "a%20b%26c%2F%C3%A9~");
    EXPECT_EQ(percentDecode("a%20b+c", PlusAsSpace::Yes), "a b c");
    EXPECT_EQ(percentDecode("a%20b+c", PlusAsSpace::No), "a b+c");
    EXPECT_EQ(percentDecode("100%", PlusAsSpace::No), std::nullopt);
    EXPECT_EQ(percentDecode("%4", PlusAsSpace::No), std::nullopt);
    for (std::string text :
         {std::string(""), std::string("x"), std::string("\x00\xff\x10", 3), std::string("秘密")}) {
        EXPECT_EQ(percentDecode(percentEncode(text), PlusAsSpace::No), text);
        EXPECT_EQ(hexDecode(hexEncode(text)), text);
    }
    EXPECT_EQ(hexDecode("abc"), std::nullopt);
    EXPECT_EQ(hexDecode("zz"), std::nullopt);
}

TEST(Text, AgeDescriptions) {
    const std::pair<double, const char*> rows[] = {
        {0, "just now"},        {59, "just now"},          {60, "1 minute ago"},
        {150, "2 minutes ago"}, {3600, "1 hour ago"},      {86399, "23 hours ago"},
        {86400, "yesterday"},   {3 * 86400, "3 days ago"}, {90 * 86400, "3 months ago"}};
    for (const auto& [seconds, text] : rows) {
        EXPECT_EQ(describeAge(seconds), text) << seconds;
    }
}

TEST(MediationFill, RatesSpreadEvenly) {
    struct Row {
        double rate;
        std::string pattern; // of the first 10 requests, 1 = filled
    };
    const Row rows[] = {{1.0, "1111111111"},
                        {0.0, "0000000000"},
                        {0.5, "0101010101"},
                        {0.25, "0001000100"},
                        {0.3, "0001001001"}};
    for (const Row& row : rows) {
        std::string seen;
        for (std::uint64_t n = 0; n < 10; ++n) {
            seen += MediationServer::fills(n, row.rate) ? '1' : '0';
        }
        EXPECT_EQ(seen, row.pattern) << row.rate;
    }
}

TEST(TwitterBody, StatusTextAsSentOrEncoded) {
    const std::pair<const char*, std::optional<std::string>> rows[] = {
        {"status=hello world & more", "hello world & more"},
        {"status=hello+world%21&source=app", "hello world!"},
        {"status=50%off", "50%off"}, // not an encoding after all: kept as sent
        {"status=", ""},
        {"text=hello", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [body, text] : rows) {
        EXPECT_EQ(TwitterStandIn::statusText(body), text) << body;
    }
}

TEST(Configuration, FileValuesOverrideDefaultsAndAreChecked) {
    auto parsed = parseJson(R"({
        "recommendation": {"ver": "2.0", "title": "New"},
        "twitter_accounts": {"alice": "pw"},
        "mediation": {"k1": {"legacy": true, "rations": [{"nid": "1", "type": 1, "nname": "admob", "weight": 100,
                                                          "priority": 1, "key": "pub"}]}},
        "ad_networks": {"admob_fill_rate": 0.25},
        "content": {"page_size": 5, "session_key": "0123456789abcdef0123456789abcdef"}
    })");
    ASSERT_TRUE(parsed);
    auto config = ServerConfig::fromValue(*parsed);
    ASSERT_TRUE(config) << config.error().localizedDescription();
    EXPECT_EQ(config->recommendation.ver, "2.0");
    EXPECT_EQ(config->recommendation.message, ServerConfig::defaults().recommendation.message);
    EXPECT_EQ(config->twitterAccounts.size(), 1u);
    EXPECT_TRUE(config->mediation.at("k1").legacyLayout);
    EXPECT_EQ(config->mediation.at("k1").networks.at(0).key, Value("pub"));
    EXPECT_EQ(config->mediation.size(), 3u); // the two defaults stay
    EXPECT_DOUBLE_EQ(config->adMobFillRate, 0.25);
    EXPECT_EQ(config->content.pageSize, 5);
    EXPECT_EQ(config->content.sessionKey, "0123456789abcdef0123456789abcdef");

    const std::pair<const char*, const char*> bad[] = {
        {R"([])", "top level"},
        {R"({"recommendation": {"ver": 2}})", "recommendation.ver"},
        {R"({"twitter_accounts": {"bob": 1}})", "twitter_accounts.bob"},
        {R"({"mediation": {"k": {"rations": [{"nid": "1", "type": 1, "nname": "admob"}]}}})", "rations[0]"},
        {R"({"mediation": {"k": {"rations": {}}}})", "rations"},
        {R"({"ad_networks": {"adsense_fill_rate": 1.5}})", "adsense_fill_rate"},
        {R"({"content": {"page_size": 0}})", "page_size"},
        {R"({"content": {"session_key": "short"}})", "session_key"},
        {R"({"content": {"session_key": 7}})", "session_key"},
        {R"({"house_ads": []})", "house_ads"},
        {R"({"facebook_users": [{"email": "a@b.c"}]})", "facebook_users[0]"},
    };
    for (const auto& [text, where] : bad) {
        auto value = parseJson(text);
        ASSERT_TRUE(value) << text;
        auto result = ServerConfig::fromValue(*value);
        ASSERT_FALSE(result) << text;
        EXPECT_NE(result.error().localizedDescription().find(where), std::string::npos)
            << text << ": " << result.error().localizedDescription();
    }
}
