// URL helpers: joining a parameter block, rewriting a host, the fixed image
// address and the referer guess.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/base/OVUtils.h"
#include "app/product/Constants.h"

using namespace murmelo;

namespace {

TEST(URLHelpersTest, AddingParams) {
    struct Case {
        const char* url;
        const char* params;
        const char* out;
    };
    const Case cases[] = {
        {"http://h/index.php", "a=1", "http://h/index.php?a=1"},
        {"http://h/index.php?r=secret/create", "a=1", "http://h/index.php?r=secret/create&a=1"},
        {"http://h/index.php?", "a=1", "http://h/index.php?&a=1"},
        {"http://h/p#frag?x", "a=1", "http://h/p#frag?x&a=1"}, // a "?" anywhere counts
        {"", "a=1", "?a=1"},
        {"http://h/", "", "http://h/?"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OVUtils::urlByAddingParamsForURL(c.url, c.params), c.out) << c.url;
    }
}

TEST(URLHelpersTest, ReplaceHost) {
    struct Case {
        const char* url;
        std::optional<std::string> out;
    };
    const Case cases[] = {
        {"http://lh3.ggpht.example:8080/a/b.jpg?s=1", "http://10.0.0.9:8080/a/b.jpg?s=1"},
        {"http://lh3.ggpht.example/a/b.jpg", "http://10.0.0.9/a/b.jpg"},
        {"http://lh3.ggpht.example", "http://10.0.0.9"},
        {"http://lh3.ggpht.example:81", "http://10.0.0.9:81"},
        {"https://user@host/p", "https://10.0.0.9/p"},
        {"ftp://h:/x", "ftp://10.0.0.9:/x"},
        {"http://h/p://q", "http://10.0.0.9/p://q"},
        {"lh3.ggpht.example/a", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OVUtils::replaceHostOfStrURL(c.url, "10.0.0.9"), c.out) << c.url;
    }
}

TEST(URLHelpersTest, IpAddressOfDomain) {
    const std::string domain(kImageServingDomain);
    EXPECT_EQ(OVUtils::ipAddressOfDomain("lh4." + domain), std::string(kImageServingAddress));
    EXPECT_EQ(OVUtils::ipAddressOfDomain(domain), std::string(kImageServingAddress));
    EXPECT_EQ(OVUtils::ipAddressOfDomain("example.org"), std::nullopt);
    EXPECT_EQ(OVUtils::ipAddressOfDomain(""), std::nullopt);
}

TEST(URLHelpersTest, GuessReferer) {
    for (const PhotoHostRule& rule : kPhotoHostTable) {
        const std::string url = "http://farm4.static." + std::string(rule.fragment) + "/123/photo.jpg";
        EXPECT_EQ(OVUtils::guessRefererForStrURL(url), "http://" + std::string(rule.refererHost) + "/")
            << url;
        auto parsed = URL::strictParse(url);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(OVUtils::guessRefererForURL(*parsed), "http://" + std::string(rule.refererHost) + "/");
    }
    struct Case {
        const char* url;
        std::optional<std::string> out;
    };
    const Case cases[] = {
        {"https://Images.Example.ORG:8443/a?b#c", "http://images.example.org/"}, // root under http
        {"http://h", "http://h/"},
        {"not a url", std::nullopt},
        {"/relative/path", std::nullopt},
        {"mailto:a@b", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OVUtils::guessRefererForStrURL(c.url), c.out) << c.url;
    }
}

} // namespace
