// The HTTP request without a network: bodies byte for byte, header building,
// the default user agent, inflating, text encodings and the shared errors.
#include <gtest/gtest.h>

#include "app/http/ASIFormDataRequest.h"
#include "app/http/ASIHTTPRequest.h"
#include "platform/net/CookieStore.h"
#include "tests/app/http/http_test_support.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

URL url(const std::string& text) {
    return *URL::strictParse(text);
}

std::optional<std::string> header(const ASIHTTPRequest& request, const std::string& name) {
    if (!request.requestHeaders()) {
        return std::nullopt;
    }
    for (const auto& [field, value] : *request.requestHeaders()) {
        if (field == name) {
            return value;
        }
    }
    return std::nullopt;
}

std::string body(const ASIHTTPRequest& request) {
    return request.postBody() ? toText(*request.postBody()) : "";
}

} // namespace

TEST(ASIFormDataRequest, URLEncodedBodies) {
    struct Case {
        std::string label;
        std::vector<std::pair<std::string, std::string>> fields;
        std::vector<std::string> acceptedBodies;
    };
    const std::vector<Case> cases = {
        {"two fields, either order",
         {{"Secret[content]", "a b"}, {"Secret[appName]", "MurmeloIP"}},
         {"Secret%5Bcontent%5D=a%20b&Secret%5BappName%5D=MurmeloIP",
          "Secret%5BappName%5D=MurmeloIP&Secret%5Bcontent%5D=a%20b"}},
        {"non-ASCII value as UTF-8 bytes", {{"t", "é€😀"}}, {"t=%C3%A9%E2%82%AC%F0%9F%98%80"}},
        {"empty value", {{"Comment[content]", ""}}, {"Comment%5Bcontent%5D="}},
        {"every reserved and unsafe character",
         {{"k", ":/?#[]@!$ &'()*+,;=\"<>%{}|\\^~`"}},
         {"k=%3A%2F%3F%23%5B%5D%40%21%24%20%26%27%28%29%2A%2B%2C%3B%3D%22%3C%3E%25%7B%7D%7C%5C%5E%7E%60"}},
        {"unreserved stay", {{"Az09-._", "Za90_.-"}}, {"Az09-._=Za90_.-"}},
        {"control characters", {{"n", "\r\n\t"}}, {"n=%0D%0A%09"}},
        {"same name replaces", {{"a", "1"}, {"b", "2"}, {"a", "3"}}, {"a=3&b=2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto request = ASIFormDataRequest::requestWithURL(url("http://c.test/index.php?r=secret/create"));
        EXPECT_EQ(request->requestMethod(), "GET");
        for (const auto& [key, value] : c.fields) {
            request->setPostValue(value, key);
        }
        EXPECT_EQ(request->requestMethod(), "POST");
        request->buildPostBody();
        std::string built = body(*request);
        EXPECT_NE(std::find(c.acceptedBodies.begin(), c.acceptedBodies.end(), built), c.acceptedBodies.end())
            << built;
        EXPECT_EQ(request->postLength(), built.size());
        EXPECT_EQ(header(*request, "Content-Length"), std::to_string(built.size()));
        EXPECT_EQ(header(*request, "Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
    }
}

TEST(ASIFormDataRequest, ValuesAndOtherEncodings) {
    auto request = ASIFormDataRequest::requestWithURL(url("http://c.test/"));
    request->setPostValue(Value(42), "n");
    request->setPostValue(Value(2.5), "r");
    request->setPostValue(Value(true), "b");
    request->buildPostBody();
    EXPECT_EQ(body(*request), "n=42&r=2.5&b=1");

    auto latin = ASIFormDataRequest::requestWithURL(url("http://c.test/"));
    latin->setStringEncoding(StringEncoding::ISOLatin1);
    latin->setPostValue("é", "ü");
    latin->setPostValue("€", "euro"); // not in Latin 1: the empty string is used
    latin->buildPostBody();
    EXPECT_EQ(body(*latin), "%FC=%E9&euro=");
    EXPECT_EQ(header(*latin, "Content-Type"), "application/x-www-form-urlencoded; charset=iso-8859-1");

    // Invalid UTF-8 cannot be encoded either.
    EXPECT_EQ(request->encodeURL(std::string("a\xff")), "");
}

TEST(ASIFormDataRequest, MultipartBodiesByteForByte) {
    const std::string b = "0xKhTmLbOuNdArY";
    struct Case {
        std::string label;
        std::vector<std::pair<std::string, std::string>> fields;
        std::vector<ASIFormDataRequest::FilePart> files;
        bool chooseMultipart;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"text fields only",
         {{"a", "1"}, {"Secret[content]", "x y"}},
         {},
         true,
         "--" + b + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" + b +
             "\r\nContent-Disposition: form-data; name=\"Secret[content]\"\r\n\r\nx y\r\n--" + b + "--\r\n"},
        {"a file part switches a URL-encoded form",
         {{"t", "é"}},
         {{"upload", toData(std::string("\x00\x01\xff", 3)), "p.bin", std::nullopt}},
         false,
         "--" + b + "\r\nContent-Disposition: form-data; name=\"t\"\r\n\r\né\r\n--" + b +
             "\r\nContent-Disposition: form-data; name=\"upload\"; filename=\"p.bin\"\r\nContent-Type: "
             "application/octet-stream; charset=utf-8\r\n\r\n" +
             std::string("\x00\x01\xff", 3) + "\r\n--" + b + "--\r\n"},
        {"file part with content type, no fields",
         {},
         {{"img", toData("PNG"), "i.png", std::string("image/png")}},
         false,
         "--" + b +
             "\r\nContent-Disposition: form-data; name=\"img\"; filename=\"i.png\"\r\nContent-Type: "
             "image/png; charset=utf-8\r\n\r\nPNG\r\n--" +
             b + "--\r\n"},
        {"a quote or line break in a name cannot break out",
         {{"a\"\r\nX-Evil: 1", "v"}},
         {},
         true,
         "--" + b + "\r\nContent-Disposition: form-data; name=\"a%22%0D%0AX-Evil: 1\"\r\n\r\nv\r\n--" + b +
             "--\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto request = ASIFormDataRequest::requestWithURL(url("http://c.test/"));
        if (c.chooseMultipart) {
            request->setPostFormat(ASIPostFormat::ASIMultipartFormDataPostFormat);
        }
        for (const auto& [key, value] : c.fields) {
            request->setPostValue(value, key);
        }
        for (const auto& part : c.files) {
            request->addData(part.data, part.fileName, part.contentType, part.key);
        }
        request->buildPostBody();
        EXPECT_EQ(body(*request), c.expected);
        EXPECT_EQ(request->postFormat(), ASIPostFormat::ASIMultipartFormDataPostFormat);
        EXPECT_EQ(header(*request, "Content-Type"), "multipart/form-data; charset=utf-8; boundary=" + b);
        EXPECT_EQ(header(*request, "Content-Length"), std::to_string(c.expected.size()));
    }

    // A value holding the boundary gets a boundary it does not hold.
    auto clash = ASIFormDataRequest::requestWithURL(url("http://c.test/"));
    clash->setPostFormat(ASIPostFormat::ASIMultipartFormDataPostFormat);
    clash->setPostValue("x\r\n--" + b + "--\r\ny", "v");
    clash->buildPostBody();
    std::string type = header(*clash, "Content-Type").value_or("");
    std::string chosen = type.substr(type.find("boundary=") + 9);
    EXPECT_NE(chosen, b);
    EXPECT_EQ(body(*clash).find("--" + chosen), 0u);
    EXPECT_EQ(std::string("x\r\n--" + b + "--\r\ny").find("--" + chosen), std::string::npos);
}

TEST(ASIHTTPRequest, PostBodyIsBuiltOnceAndTurnsBodilessMethodsIntoPost) {
    struct Case {
        std::string method;
        std::string body;
        std::string expectedMethod;
    };
    const std::vector<Case> cases = {
        {"GET", "x=1", "POST"}, {"DELETE", "x", "POST"}, {"HEAD", "x", "POST"},
        {"PUT", "x", "PUT"},    {"GET", "", "GET"},      {"DELETE", "", "DELETE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + " with '" + c.body + "'");
        auto request = ASIHTTPRequest::requestWithURL(url("http://h.test/"));
        request->setRequestMethod(c.method);
        if (!c.body.empty()) {
            request->appendPostData(toData(c.body));
        }
        request->buildPostBody();
        EXPECT_EQ(request->requestMethod(), c.expectedMethod);
        EXPECT_EQ(request->postLength(), c.body.size());
        EXPECT_EQ(header(*request, "Content-Length"),
                  c.body.empty() ? std::nullopt : std::optional<std::string>(std::to_string(c.body.size())));
        EXPECT_TRUE(request->haveBuiltPostBody());
        // Once only: more data later changes nothing.
        request->appendPostData(toData("more"));
        request->buildPostBody();
        EXPECT_EQ(request->postLength(), c.body.size());
    }
    // A form with neither fields nor files builds no body.
    auto empty = ASIFormDataRequest::requestWithURL(url("http://h.test/"));
    empty->buildPostBody();
    EXPECT_FALSE(empty->postBody());
    EXPECT_EQ(empty->requestMethod(), "GET");
    EXPECT_FALSE(header(*empty, "Content-Type"));
}

TEST(ASIHTTPRequest, RequestHeaders) {
    TestBundle bundle({{"CFBundleDisplayName", "Murmelo"}, {"CFBundleShortVersionString", "2.3"}});
    CookieStore::shared().deleteAllCookies();
    auto site = url("http://c.test/a/");
    ASSERT_TRUE(CookieStore::shared().setCookie(*Cookie::parseSetCookie("s=1; Path=/", site, 0)));
    ASSERT_TRUE(CookieStore::shared().setCookie(*Cookie::parseSetCookie("deep=2; Path=/a", site, 0)));
    ASSERT_TRUE(CookieStore::shared().setCookie(
        *Cookie::parseSetCookie("other=3", url("http://elsewhere.test/"), 0)));

    // Exact-name replacement: "cookie" and "Cookie" are two lines.
    auto request = ASIHTTPRequest::requestWithURL(site);
    EXPECT_FALSE(request->requestHeaders());
    request->addRequestHeader("User-Agent", "first");
    request->addRequestHeader("User-Agent", "second");
    request->addRequestHeader("cookie", "mine=1");
    ASSERT_TRUE(request->requestHeaders());
    EXPECT_EQ(request->requestHeaders()->size(), 2u);
    request->buildRequestHeaders();
    EXPECT_EQ(header(*request, "User-Agent"), "second");
    EXPECT_EQ(header(*request, "cookie"), "mine=1");
    EXPECT_EQ(header(*request, "Cookie"), "deep=2; s=1"); // longer path first, this host only
    EXPECT_EQ(header(*request, "Accept-Encoding"), "gzip");
    EXPECT_FALSE(header(*request, "Content-Encoding"));
    EXPECT_EQ(request->requestCookies().size(), 2u);

    // No user agent set: the class's default; no compression wanted: no Accept-Encoding;
    // no cookie persistence: no Cookie.
    auto plain = ASIHTTPRequest::requestWithURL(site);
    plain->setAllowCompressedResponse(false);
    plain->setUseCookiePersistance(false);
    plain->buildRequestHeaders();
    EXPECT_EQ(header(*plain, "User-Agent"), "Murmelo 2.3 (iPhone; iPhone OS 4.3.3; de_DE)");
    EXPECT_FALSE(header(*plain, "Accept-Encoding"));
    EXPECT_FALSE(header(*plain, "Cookie"));
    CookieStore::shared().deleteAllCookies();
}

TEST(ASIHTTPRequest, DefaultUserAgentFromInfoPlist) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> info;
        std::optional<std::string> expected;
    };
    const std::string device = " (iPhone; iPhone OS 4.3.3; de_DE)";
    const std::vector<Case> cases = {
        {{{"CFBundleDisplayName", "Shown"}, {"CFBundleName", "Name"}, {"CFBundleShortVersionString", "1.0"}},
         "Shown 1.0" + device},
        {{{"CFBundleName", "Name"}, {"CFBundleShortVersionString", "1.0"}, {"CFBundleVersion", "1.0"}},
         "Name 1.0" + device},
        {{{"CFBundleName", "Name"}, {"CFBundleShortVersionString", "1.0"}, {"CFBundleVersion", "77"}},
         "Name 1.0 rv:77" + device},
        {{{"CFBundleName", "Name"}, {"CFBundleVersion", "77"}}, "Name 77" + device},
        {{{"CFBundleVersion", "77"}}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& c : cases) {
        TestBundle bundle(c.info);
        EXPECT_EQ(ASIHTTPRequest::defaultUserAgentString(), c.expected);
    }
}

TEST(ASIHTTPRequest, InflatesOnlyWhatIsWhole) {
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        text += "line " + std::to_string(i) + " of a longer reply\n";
    }
    const std::string gz = compress(text, 31);
    std::string corrupt = gz;
    corrupt[corrupt.size() / 2] = static_cast<char>(corrupt[corrupt.size() / 2] ^ 0x55);
    std::string badTrailer = gz;
    badTrailer[badTrailer.size() - 6] = static_cast<char>(badTrailer[badTrailer.size() - 6] ^ 1); // CRC
    struct Case {
        std::string label;
        std::string input;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"gzip", gz, text},
        {"zlib header, detected too", compress(text, 15), text},
        {"highly compressed", compress(std::string(3'000'000, 'a'), 31, 9), std::string(3'000'000, 'a')},
        {"empty input stays empty", "", ""},
        {"raw deflate has no header", compress(text, -15), std::nullopt},
        {"corrupt middle", corrupt, std::nullopt},
        {"bad checksum", badTrailer, std::nullopt},
        {"truncated", gz.substr(0, gz.size() / 2), std::nullopt},
        {"not compressed at all", text, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto inflated = ASIHTTPRequest::uncompressZippedData(toData(c.input));
        if (c.expected) {
            ASSERT_TRUE(inflated);
            EXPECT_TRUE(toText(*inflated) == *c.expected);
        } else {
            EXPECT_FALSE(inflated);
        }
    }
}

TEST(ASIHTTPRequest, ABombIsRefusedAtTheBound) {
    const std::string bomb = gzipRepeated('\0', ASIHTTPRequest::kMaxInflatedBytes + 1);
    ASSERT_LT(bomb.size(), 1u << 20); // a small reply that would inflate past the bound
    EXPECT_FALSE(ASIHTTPRequest::uncompressZippedData(toData(bomb)));

    const std::string exact = gzipRepeated('\0', ASIHTTPRequest::kMaxInflatedBytes);
    auto inflated = ASIHTTPRequest::uncompressZippedData(toData(exact));
    ASSERT_TRUE(inflated);
    EXPECT_EQ(inflated->size(), ASIHTTPRequest::kMaxInflatedBytes);
}

TEST(StringEncoding, NamesDecodingAndEncoding) {
    struct NameCase {
        std::string name;
        std::optional<StringEncoding> expected;
    };
    const std::vector<NameCase> names = {
        {"utf-8", StringEncoding::UTF8},
        {"UTF-8", StringEncoding::UTF8},
        {" utf-8 ", StringEncoding::UTF8},
        {"ISO-8859-1", StringEncoding::ISOLatin1},
        {"latin1", StringEncoding::ISOLatin1},
        {"us-ascii", StringEncoding::ASCII},
        {"windows-1252", StringEncoding::WindowsCP1252},
        {"UTF-16LE", StringEncoding::UTF16LittleEndian},
        {"x-klingon", std::nullopt},
        {"", std::nullopt},
        {"utf-88", std::nullopt},
    };
    for (const auto& c : names) {
        EXPECT_EQ(stringEncodingForIANAName(c.name), c.expected) << c.name;
    }

    struct DecodeCase {
        std::string label;
        std::string bytes;
        StringEncoding encoding;
        std::optional<std::string> expected;
    };
    const std::vector<DecodeCase> decodes = {
        {"utf-8", "gr\xC3\xBC\xC3\x9F", StringEncoding::UTF8, "grüß"},
        {"utf-8 invalid", "a\xC3", StringEncoding::UTF8, std::nullopt},
        {"utf-8 overlong", "\xC0\xAF", StringEncoding::UTF8, std::nullopt},
        {"latin 1 byte by byte", "gr\xC3\xBC", StringEncoding::ISOLatin1, "grÃ¼"},
        {"latin 1 high bytes", "\xE9\xFF", StringEncoding::ISOLatin1, "éÿ"},
        {"ascii", "plain", StringEncoding::ASCII, "plain"},
        {"ascii refuses high bytes", "\x80", StringEncoding::ASCII, std::nullopt},
        {"cp1252 euro", "\x80", StringEncoding::WindowsCP1252, "€"},
        {"cp1252 undefined byte", "\x81", StringEncoding::WindowsCP1252, std::nullopt},
        {"utf-16 with BOM",
         std::string("\xFF\xFE"
                     "a\0",
                     4),
         StringEncoding::UTF16, "a"},
        {"utf-16be", std::string("\0a\0b", 4), StringEncoding::UTF16BigEndian, "ab"},
        {"utf-16 odd length", std::string("\0a\0", 3), StringEncoding::UTF16BigEndian, std::nullopt},
    };
    for (const auto& c : decodes) {
        EXPECT_EQ(decodeString(toData(c.bytes), c.encoding), c.expected) << c.label;
    }
    EXPECT_EQ(encodeString("é€", StringEncoding::WindowsCP1252), "\xE9\x80");
    EXPECT_EQ(encodeString("é", StringEncoding::ASCII), std::nullopt);
    EXPECT_EQ(encodeString("a😀", StringEncoding::UTF16LittleEndian), std::string("a\0\x3D\xD8\x00\xDE", 6));
}

TEST(ASIHTTPRequest, TheSharedErrorsAreMadeOnceAndFailuresBeforeAnyTraffic) {
    struct Case {
        const Error& (*get)();
        long code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {&ASIHTTPRequest::requestTimedOutError, 2, "The request timed out"},
        {&ASIHTTPRequest::authenticationError, 3, "Authentication needed"},
        {&ASIHTTPRequest::requestCancelledError, 4, "The request was cancelled"},
        {&ASIHTTPRequest::unableToCreateRequestError, 5, "Unable to create request (bad url?)"},
        {&ASIHTTPRequest::tooMuchRedirectionError, 9,
         "The request failed because it redirected too many times"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(&c.get(), &c.get());
        EXPECT_EQ(c.get().domain(), "ASIHTTPRequestErrorDomain");
        EXPECT_EQ(c.get().code(), c.code);
        EXPECT_EQ(c.get().localizedDescription(), c.text);
    }

    // No URL, or one that no HTTP message can carry: code 5, nothing sent.
    std::vector<std::optional<URL>> unusable = {std::nullopt, url("ftp://files.test/x"),
                                                url("mailto:a@b.test"), url("relative/path")};
    for (const auto& target : unusable) {
        auto request = ASIHTTPRequest::requestWithURL(target);
        request->start();
        ASSERT_TRUE(request->error());
        EXPECT_EQ(request->error()->code(), 5);
        EXPECT_TRUE(request->complete());
        EXPECT_EQ(request->responseStatusCode(), 0);
        EXPECT_FALSE(request->responseString());
    }

    // A caller header that would inject a line: the message cannot be made.
    auto injected = ASIHTTPRequest::requestWithURL(url("http://h.test/"));
    injected->addRequestHeader("User-Agent", "x\r\nHost: evil.test");
    injected->start();
    ASSERT_TRUE(injected->error());
    EXPECT_EQ(injected->error()->code(), 5);
}
