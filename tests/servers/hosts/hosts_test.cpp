// The two sides of the wire keep their own tables: the application its hosts
// and account values, the reference servers theirs. These tests link both and
// hold them together, so a host or key spelled differently on one side fails
// here rather than only as a refused request in some integration run.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/product/Constants.h"
#include "servers/Accounts.h"
#include "servers/HostTable.h"
#include "servers/ServerConfig.h"

using namespace murmelo;

TEST(HostTables, EveryHostOfTheApplicationIsServedUnderItsRole) {
    for (const HostEntry& app : hostTable()) {
        // The lookup ReferenceServers dispatches every request by.
        std::optional<servers::HostRole> served = servers::roleForHost(app.host);
        ASSERT_TRUE(served) << app.name << ": no server answers " << app.host;
        EXPECT_EQ(servers::roleName(*served), app.name) << app.host;
        EXPECT_EQ(servers::hostFor(*served), app.host) << app.name;
    }
}

TEST(HostTables, TheServersAnswerNoHostTheApplicationDoesNotKnow) {
    for (const servers::HostEntry& server : servers::hostTable()) {
        std::optional<HostRole> known = roleForHost(server.host);
        ASSERT_TRUE(known) << server.name << ": " << server.host << " is not a host of the application";
        EXPECT_EQ(hostFor(*known), server.host) << server.name;
    }
    EXPECT_EQ(servers::hostTable().size(), hostTable().size());
}

TEST(HostTables, AccountValuesTheApplicationSendsAreTheOnesTheStandInsCheck) {
    struct Row {
        const char* what;
        std::string_view sent;    // by the application
        std::string_view checked; // by the servers
    };
    const Row rows[] = {
        {"Facebook API key", kFacebookApiKey, servers::kFacebookApiKey},
        {"Facebook API secret", kFacebookApiSecret, servers::kFacebookApiSecret},
        {"shortener login", kShortenerLogin, servers::kShortenerLogin},
        {"shortener API key", kShortenerApiKey, servers::kShortenerApiKey},
        {"App Store page", kAppStoreAppUrl, servers::kAppStoreAppUrl},
        {"shared short link", Constant_sharedAppShortUrl, servers::kAppShortUrl},
        {"shared title link", Constant_sharedTitleLink, servers::kAppShortUrl},
        {"support address", kSupportEmail, servers::kSupportEmail},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.sent, row.checked) << row.what;
    }
}

TEST(HostTables, TheDefaultMediationSetUpServesBothApplicationKeys) {
    const servers::ServerConfig config = servers::ServerConfig::defaults();
    for (std::string_view key : {Constant_AdWhirlApplicationKey, Constant_AdWhirlApplicationKey_iOS4}) {
        auto app = config.mediation.find(std::string(key));
        ASSERT_NE(app, config.mediation.end()) << "no mediation set-up for " << key;
        // The adapter sends whatever key the set-up names: the product's AdSense id.
        auto adSense = std::find_if(app->second.networks.begin(), app->second.networks.end(),
                                    [](const servers::AdNetwork& network) { return network.type == 14; });
        ASSERT_NE(adSense, app->second.networks.end()) << key;
        EXPECT_EQ(adSense->key, Value(Constant_Adsense_App_AppleId)) << key;
    }
}
