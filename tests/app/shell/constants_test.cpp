#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "app/product/Constants.h"

using namespace murmelo;

namespace {

bool matches(std::string_view text, const char* pattern) {
    return std::regex_match(std::string(text), std::regex(pattern));
}

// The host part of "http://host/..." ("" when the text is no http URL).
std::string hostOf(std::string_view url) {
    std::smatch m;
    std::string text(url);
    return std::regex_search(text, m, std::regex(R"(^http://([^/:?]+))")) ? m[1].str() : "";
}

} // namespace

TEST(Constants, AccountValuesHaveTheirDocumentedForms) {
    struct Row {
        const char* name;
        std::string_view value;
        const char* pattern;
    };
    const Row rows[] = {
        {"AdSense channel 0", AdSense_UI_Channels[0], "[0-9]{10}"},
        {"AdSense channel 1", AdSense_UI_Channels[1], "[0-9]{10}"},
        {"AdWhirl key", Constant_AdWhirlApplicationKey, "[0-9a-f]{32}"},
        {"AdWhirl key iOS4", Constant_AdWhirlApplicationKey_iOS4, "[0-9a-f]{32}"},
        {"AdSense client id", Constant_Adsense_App_AppleId, "ca-mb-app-pub-[0-9]{16}"},
        {"shortener API key", kShortenerApiKey, "[A-Z]_[0-9a-f]{32}"},
        {"Facebook API key", kFacebookApiKey, "[0-9a-f]{32}"},
        {"Facebook secret", kFacebookApiSecret, "[0-9a-f]{32}"},
        {"image address", kImageServingAddress, R"(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})"},
        {"support mail", kSupportEmail, R"([^@ ]+@[^@ ]+\.[a-z]+)"},
        {"short name", Constant_Adsense_AppName, "[A-Za-z]+"},
    };
    for (const Row& row : rows) {
        EXPECT_TRUE(matches(row.value, row.pattern)) << row.name << ": " << row.value;
    }
    EXPECT_NE(Constant_AdWhirlApplicationKey, Constant_AdWhirlApplicationKey_iOS4);
    EXPECT_NE(AdSense_UI_Channels[0], AdSense_UI_Channels[1]);
    EXPECT_EQ(kShortenerApiKey.size(), 34u);
}

TEST(Constants, DocumentedTextsAreExact) {
    EXPECT_EQ(Constant_UserAgent,
              "Mozilla/5.0 (Windows; U; Windows NT 5.1; zh-CN; rv:1.9.1.5) Gecko/20091102 Firefox/3.5.5");
    EXPECT_EQ(Constant_Default_Adsense_Keywords, "secret");
    EXPECT_EQ(Constant_Adsense_CompanyName, "Orvanti");
    EXPECT_EQ(Constant_sharedTitle, "Murmelo");
    EXPECT_EQ(Constant_sharedAppName, "Murmelo");
    EXPECT_EQ(Constant_MailTitle, "Murmelo");
    EXPECT_EQ(Constant_MailBody, "I found this worth reading!");
    // Two constants that differ only in their last character.
    EXPECT_EQ(Constant_sharedCaption, "tell the world a secret then you will feel better!");
    EXPECT_EQ(Constant_AppInfo, "tell the world a secret then you will feel better.");
}

// Links that name one of our hosts must name the host of the matching role,
// so that changing a host in one place cannot leave a link pointing elsewhere.
TEST(Constants, LinksUseTheHostsOfTheirRoles) {
    struct Row {
        const char* name;
        std::string_view url;
        std::string_view host;
    };
    const Row rows[] = {
        {"keyword service", Constant_GetAdsenseKeywordsUrl, kServiceServerHost},
        {"icon", Constant_sharedIconLink, kImageHost},
        {"cover", Constant_sharedCoverLink, kImageHost},
        {"title link", Constant_sharedTitleLink, kShortenerDomain},
        {"short link", Constant_sharedAppShortUrl, kShortenerDomain},
        {"canvas page", Constant_sharedAppFacebookUrl, kFacebookWebHost},
        {"App Store page", kAppStoreAppUrl, kAppStoreWebHost},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(hostOf(row.url), row.host) << row.name << ": " << row.url;
    }
    EXPECT_TRUE(Constant_GetAdsenseKeywordsUrl.ends_with("/adsensekeywords.php"));
    EXPECT_TRUE(Constant_sharedAppFacebookUrl.ends_with("/"));
    EXPECT_TRUE(Constant_sharedCoverLink.ends_with(".png"));
    EXPECT_TRUE(Constant_sharedIconLink.ends_with(".png"));
    EXPECT_EQ(Constant_sharedTitleLink, Constant_sharedAppShortUrl);
}

TEST(Constants, HostTableIsCompleteUniqueAndResolvable) {
    std::set<std::string_view> hosts;
    std::set<std::string_view> names;
    for (const HostEntry& entry : hostTable()) {
        EXPECT_TRUE(hosts.insert(entry.host).second) << "duplicate host " << entry.host;
        EXPECT_TRUE(names.insert(entry.name).second) << "duplicate role " << entry.name;
        EXPECT_EQ(hostFor(entry.role), entry.host);
        EXPECT_EQ(roleForHost(entry.host), entry.role);
        // Reserved names only: nothing here may reach a real host by accident.
        EXPECT_TRUE(entry.host.ends_with(".example")) << entry.host;
        EXPECT_FALSE(entry.description.empty());
    }
    EXPECT_EQ(hosts.size(), static_cast<size_t>(HostRole::IAd) + 1);

    struct Lookup {
        const char* host;
        std::optional<HostRole> role;
    };
    const Lookup lookups[] = {
        {"secrets.murmelo.example", HostRole::Content},
        {"SECRETS.Murmelo.Example", HostRole::Content},
        {"secrets.murmelo.example:8080", HostRole::Content},
        {"secrets.murmelo.example.", HostRole::Content},
        {"api.twitter.example", HostRole::TwitterApi},
        {"shrt.example", HostRole::ShortenerLinks},
        {"evil.secrets.murmelo.example", std::nullopt},
        {"secrets.murmelo.example.evil", std::nullopt},
        {"", std::nullopt},
        {"127.0.0.1:80", std::nullopt},
    };
    for (const Lookup& lookup : lookups) {
        EXPECT_EQ(roleForHost(lookup.host), lookup.role) << lookup.host;
    }
}
