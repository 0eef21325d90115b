// Sharing end to end: the driver opens the share sheet from the pool screen
// like a person, picks mail, Facebook or Twitter, and the reference servers'
// event log shows what arrived — the mail ping, the shortener query, the
// tweet's bytes, the wall post and the reward's notice.
#include <gtest/gtest.h>

#include <sstream>

#include "app/sharing/ShareFT.h"
#include "app/sharing/ShareFTObj.h"
#include "platform/core/Clock.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/MailSettings.h"
#include "servers/content/ContentStore.h"
#include "tests/tools/murmelo/driver/driver_session_test.h"
#include "tools/murmelo/driver/AppWiring.h"
#include "tools/murmelo/driver/Session.h"

using namespace murmelo;
using namespace murmelo::driver;
using namespace murmelo::test;

namespace {

class SharingTest : public DriverSessionTest {
protected:
    void SetUp() override {
        DriverSessionTest::SetUp();
        MailSettings::shared().reset();
        ASSERT_TRUE(m_servers->contentStore().seedIfEmpty(Clock::now()));
        start();
    }
    void TearDown() override {
        MailSettings::shared().reset();
        Clock::resetWallClockShift();
        DriverSessionTest::TearDown();
    }
    std::optional<double> adFreeEnd() {
        auto value = UserDefaults::standardUserDefaults()->objectForKey("lastTimeInterval");
        if (!value) {
            return std::nullopt;
        }
        return UserDefaults::standardUserDefaults()->doubleForKey("lastTimeInterval");
    }
    // Opens the sheet from the "Share" bar item (the invitation) or a
    // secret's share link, and picks `button`.
    void openSheet(const std::string& from, int button) {
        ASSERT_TRUE(run(from));
        ASSERT_TRUE(run("settle 5"));
        std::string sheet = screen();
        ASSERT_NE(sheet.find("Good news!"), std::string::npos) << sheet;
        // The index a person picks is the one the sheet shows for the title.
        ASSERT_NE(sheet.find("[0] \"Cancel\" (cancel)\n"), std::string::npos) << sheet;
        ASSERT_NE(sheet.find("[1] \"Mail\"\n"), std::string::npos) << sheet;
        ASSERT_NE(sheet.find("[3] \"Twitter\"\n"), std::string::npos) << sheet;
        ASSERT_TRUE(run("alert " + std::to_string(button)));
        ASSERT_TRUE(run("settle 10"));
    }
    size_t acceptedTweets() {
        size_t n = 0;
        for (auto& event : events().events("twitter-api")) {
            n += event.status == 200;
        }
        return n;
    }
    std::string frontAlertMessage() {
        auto alerts = alertsOnScreen();
        return alerts.empty() ? "(none)" : alerts.back()->message().value_or("");
    }
};

TEST_F(SharingTest, MailSendsOrClosesAndOnlyASentMailPingsTheLinkServer) {
    struct Case {
        const char* name;
        bool account;
        const char* action; // driver line on the composer
        size_t pings;
    };
    const Case cases[] = {
        {"sent", true, "button Send", 1},
        {"cancelled", true, "button Cancel", 0},
        {"no account", false, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.account) {
            MailSettings::shared().setOutboxDirectory(std::nullopt);
        }
        size_t before = countEvents("link", "/vasksendmailEn");
        openSheet("bar Share", ShareFT::kMailButton);
        if (!c.account) {
            EXPECT_EQ(frontAlertMessage(), ShareFT::kNoMailMessage);
            ASSERT_TRUE(run("alert 0"));
        } else {
            std::string composer = screen();
            ASSERT_NE(composer.find("MailComposeViewController"), std::string::npos) << composer;
            ASSERT_TRUE(run("type 0 friend@example.org"));
            ASSERT_TRUE(run(c.action));
            if (std::string(c.action) == "button Cancel") {
                ASSERT_TRUE(run("settle 5"));
                ASSERT_TRUE(run("button Delete Draft"));
            }
        }
        ASSERT_TRUE(run("settle 10"));
        EXPECT_EQ(screen().find("MailComposeViewController"), std::string::npos);
        EXPECT_EQ(countEvents("link", "/vasksendmailEn") - before, c.pings);
        EXPECT_FALSE(adFreeEnd()) << "mail earns no reward";
        MailSettings::shared().reset();
    }
}

TEST_F(SharingTest, TheMailBodyEscapesTheSecretAndHasNoLineFeeds) {
    ShareFTObj& record = ShareFTObj::sharedShareFTObj();
    record.setMaincontent("<script>alert('x')</script> & more\nline");
    record.setItemUrl("http://secrets.murmelo.example/index.php?r=secret/single&secret_id=3");
    std::string body = ShareFT::mailBody(record);
    EXPECT_EQ(body.find("<script>"), std::string::npos) << body;
    EXPECT_NE(body.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; more<br />line"),
              std::string::npos)
        << body;
    EXPECT_EQ(body.find('\n'), std::string::npos);
    EXPECT_EQ(body.rfind("<html><body>Hey, ", 0), 0u);
}

TEST_F(SharingTest, TwitterOutcomesDecideTheAlertAndTheReward) {
    const std::string longMessage(150, 'x');
    struct Case {
        const char* name;
        const char* from;
        const char* user;
        const char* password;
        std::string message;
        std::string itemUrl; // set before the sheet opens when not empty
        const char* alert;   // the front alert's message starts with this
        bool reward;
        size_t shortenQueries;
        size_t tweetsStored;
    };
    const Case cases[] = {
        {"success", "follow 2", "murmelo_demo", "secret123", "Look", "", "Succeed", true, 1, 1},
        {"wrong password", "follow 2", "murmelo_demo", "nope", "Look", "", "", false, 1, 0},
        {"403 is a failure", "follow 2", "murmelo_demo", "secret123", longMessage, "",
         "Twitter did not post the update: status 403", false, 1, 0},
        {"link already short", "bar Share", "murmelo_demo", "secret123", "Short",
         "http://shrt.example/murmelo", "Succeed", true, 0, 1},
        {"invitation without a link", "bar Share", "murmelo_demo", "secret123", "Invite", "", "Succeed", true,
         0, 1},
        {"shortener busy", "bar Share", "murmelo_demo", "secret123", "Busy", "http://bad link",
         "Server is busy", false, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UserDefaults::standardUserDefaults()->removeObjectForKey("lastTimeInterval");
        size_t shortens = countEvents("shortener-api", "/v3/shorten");
        size_t tweets = acceptedTweets();
        size_t notices = countEvents("service", "/sharedNotify.php");
        if (!c.itemUrl.empty()) {
            // The page's links give the record its link; this one is set here.
            ShareFTObj::sharedShareFTObj().setItemUrl(c.itemUrl);
            auto share = ShareFT::initWithSharedObj(ShareFTObj::sharedShareFTObj());
            share->shareAction();
            ASSERT_TRUE(run("settle 5"));
            ASSERT_TRUE(run("alert " + std::to_string(ShareFT::kTwitterButton)));
            ASSERT_TRUE(run("settle 5"));
        } else {
            openSheet(c.from, ShareFT::kTwitterButton);
        }
        std::string prompt = screen();
        ASSERT_NE(prompt.find("alert tag 2115"), std::string::npos) << prompt;
        ASSERT_TRUE(run(std::string("type 0 ") + c.user));
        ASSERT_TRUE(run(std::string("type 1 ") + c.password));
        ASSERT_TRUE(run("type 2 " + c.message));
        ASSERT_TRUE(run("alert 1"));
        ASSERT_TRUE(run("settle 20"));
        std::string message = frontAlertMessage();
        EXPECT_EQ(message.rfind(c.alert, 0), 0u) << message;
        EXPECT_EQ(adFreeEnd().has_value(), c.reward);
        EXPECT_EQ(countEvents("service", "/sharedNotify.php") - notices, c.reward ? 1u : 0u);
        EXPECT_EQ(countEvents("shortener-api", "/v3/shorten") - shortens, c.shortenQueries);
        EXPECT_EQ(UserDefaults::standardUserDefaults()->stringForKey("twitter_username"), c.user);
        ASSERT_TRUE(run("alert 0"));
        ASSERT_TRUE(run("settle 5"));
        EXPECT_EQ(acceptedTweets() - tweets, c.tweetsStored);
    }
}

TEST_F(SharingTest, TheTweetAndTheShortenerQueryArriveByteForByte) {
    openSheet("follow 2", ShareFT::kTwitterButton);
    ASSERT_TRUE(run("type 0 murmelo_demo"));
    ASSERT_TRUE(run("type 1 secret123"));
    ASSERT_TRUE(run("type 2 我不喜欢咖啡 & 100%"));
    ASSERT_TRUE(run("alert 1"));
    ASSERT_TRUE(run("settle 20"));
    auto shorten = events().events("shortener-api");
    ASSERT_EQ(shorten.size(), 1u);
    std::string link = ShareFTObj::sharedShareFTObj().itemUrl();
    ASSERT_NE(link.find('&'), std::string::npos);
    EXPECT_NE(
        shorten[0].query.find("&uri=http%3A%2F%2Fsecrets.murmelo.example%2Findex.php%3Fr%3Dsecret%2Fsingle%"
                              "26secret_id%3D"),
        std::string::npos)
        << shorten[0].query;
    auto tweets = events().events("twitter-api");
    ASSERT_FALSE(tweets.empty());
    const auto& tweet = tweets.back();
    EXPECT_EQ(tweet.status, 200);
    EXPECT_EQ(
        tweet.body.rfind("status=%E6%88%91%E4%B8%8D%E5%96%9C%E6%AC%A2%E5%92%96%E5%95%A1%20%26%20100%25%20%20"
                         "http%3A%2F%2Fshrt.example%2F",
                         0),
        0u)
        << tweet.body;
    EXPECT_EQ(tweet.header("Content-Length"), std::to_string(tweet.body.size()));
    EXPECT_NE(tweet.body.find("%20via%20Murmelo%2C%20http%3A%2F%2Fshrt.example%2Fmurmelo"),
              std::string::npos);
    EXPECT_EQ(frontAlertMessage(), "Succeed");
}

TEST_F(SharingTest, FacebookPostEarnsTheDayAndASavedLoginSkipsThePanel) {
    openSheet("follow 2", ShareFT::kFacebookButton);
    ASSERT_TRUE(run("settle 20"));
    std::string login = screen();
    ASSERT_NE(login.find("facebook panel \"Log in\""), std::string::npos) << login;
    ASSERT_TRUE(run("fill email demo@murmelo.example"));
    ASSERT_TRUE(run("fill pass secret123"));
    ASSERT_TRUE(run("submit"));
    ASSERT_TRUE(run("settle 20"));
    ASSERT_NE(screen().find("facebook panel \"Publish\""), std::string::npos);
    double before = Clock::now();
    ASSERT_TRUE(run("fill message Guess who"));
    ASSERT_TRUE(run("submit"));
    ASSERT_TRUE(run("settle 20"));
    auto wall = events().events("facebook-wall");
    ASSERT_EQ(wall.size(), 1u);
    EXPECT_EQ(wall[0].part("message"), "Guess who");
    ASSERT_TRUE(adFreeEnd());
    EXPECT_NEAR(*adFreeEnd(), before + 86400, 30);
    auto notices = awaitEvents("service", "/sharedNotify.php");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].query, "type=facebook");

    // A later share moves the end: it does not add to what is left.
    std::string after = screen();
    EXPECT_EQ(after.find("facebook panel"), std::string::npos) << after;
    Clock::shiftWallClock(3600);
    size_t loginPages = countEvents("facebook-web", "/login.php");
    openSheet("bar Share", ShareFT::kFacebookButton);
    ASSERT_TRUE(run("settle 20"));
    std::string post = screen();
    ASSERT_NE(post.find("facebook panel \"Publish\""), std::string::npos) << post;
    EXPECT_EQ(countEvents("facebook-web", "/login.php"), loginPages);
    ASSERT_TRUE(run("submit"));
    ASSERT_TRUE(run("settle 20"));
    EXPECT_NEAR(*adFreeEnd(), before + 3600 + 86400, 30);

    // After a restart the pool screen places no banner.
    m_session.reset();
    endRun();
    start();
    EXPECT_EQ(screen().find("ad host"), std::string::npos) << "no banner for 24 hours";
}

TEST_F(SharingTest, ACancelledFacebookPanelEarnsNothing) {
    openSheet("bar Share", ShareFT::kFacebookButton);
    ASSERT_TRUE(run("settle 20"));
    ASSERT_NE(screen().find("facebook panel"), std::string::npos);
    ASSERT_TRUE(run("follow Cancel"));
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(screen().find("facebook panel"), std::string::npos);
    EXPECT_FALSE(adFreeEnd());
    EXPECT_EQ(countEvents("service", "/sharedNotify.php"), 0u);
}

} // namespace
