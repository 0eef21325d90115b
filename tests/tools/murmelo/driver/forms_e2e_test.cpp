// The native posting forms end to end: the driver opens them as the
// platform would (`present`), types and taps like a person, and the real
// application posts to the reference servers, whose event log shows the
// bytes that arrived.
#include <gtest/gtest.h>

#include <sstream>

#include "app/posting/PostCommentViewController.h"
#include "app/posting/PostFormViewController.h"
#include "app/posting/PostSecretViewController.h"
#include "platform/core/Clock.h"
#include "platform/net/CookieStore.h"
#include "servers/content/ContentStore.h"
#include "tests/tools/murmelo/driver/driver_session_test.h"
#include "tools/murmelo/driver/AppWiring.h"
#include "tools/murmelo/driver/FrontPage.h"
#include "tools/murmelo/driver/Session.h"

using namespace murmelo;
using namespace murmelo::driver;
using namespace murmelo::test;

namespace {

const std::string kSecretRoute = "index.php?r=secret/create";
const std::string kCommentRoute = "index.php?r=comment/create";

class FormsTest : public DriverSessionTest {
protected:
    void SetUp() override {
        DriverSessionTest::SetUp();
        ASSERT_TRUE(m_servers->contentStore().seedIfEmpty(Clock::now()));
        start();
    }

    void relaunch() {
        m_session.reset();
        endRun();
        start();
    }

    // The front alert's message ("" for none), answered with its button.
    std::string answerAlert() {
        auto alerts = alertsOnScreen();
        if (alerts.empty()) {
            ADD_FAILURE() << "no alert is shown";
            return "";
        }
        std::string message = alerts.back()->message().value_or("(none)");
        (void)run("alert 0");
        (void)run("settle 20");
        return message;
    }
    std::shared_ptr<PostFormViewController> presentedForm() {
        return std::dynamic_pointer_cast<PostFormViewController>(
            phone()->tabController()->modalViewController());
    }
    std::optional<std::string> stored(const std::string& key) {
        return UserDefaults::standardUserDefaults()->stringForKey(key);
    }
    std::vector<servers::RecordedEvent> posts(const std::string& route) {
        std::vector<servers::RecordedEvent> found;
        for (auto& event : events().events("content")) {
            if (event.method == "POST" && event.path + "?" + event.query == "/" + route) {
                found.push_back(event);
            }
        }
        return found;
    }
    std::int64_t secretCount() { return *m_servers->contentStore().secretCount(); }
};

TEST_F(FormsTest, ASecretPostedNativelyIsInThePoolAfterTheSwitch) {
    const std::string text = "native secret: I sing to the fridge";
    ASSERT_TRUE(run("tab Post your secret"));
    ASSERT_TRUE(run("settle 20"));
    ASSERT_TRUE(run("present secret-form"));
    ASSERT_TRUE(run("settle 20"));
    ASSERT_TRUE(run("type 0 " + text));
    ASSERT_TRUE(run("button okay, tell the world"));
    std::string posting = screen();
    EXPECT_NE(posting.find("screen PostSecretViewController (presented)"), std::string::npos) << posting;
    EXPECT_NE(
        posting.find("progress overlay\n      label \"Posting Secret\"\n      activity indicator (large "
                     "white, spinning)"),
        std::string::npos)
        << posting;
    EXPECT_EQ(stored("CacheSecret"), text); // cached before it is sent
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(answerAlert(), "Your secret is out! Thank you for sharing.");

    // The shell switched to the pool and reloaded it; the form has gone.
    EXPECT_EQ(phone()->tabController()->selectedIndex(), 0u);
    EXPECT_EQ(presentedForm(), nullptr);
    std::string pool = screen();
    EXPECT_NE(pool.find("tabs: [*\"Secret pool\" #20]"), std::string::npos) << pool;
    EXPECT_NE(pool.find("text \"" + text + "\""), std::string::npos) << pool;
    EXPECT_EQ(stored("CacheSecret"), "");

    // What the content server received: the form fields in order, the
    // identity's user agent, no referer, and the cookies the pages set.
    auto sent = posts(kSecretRoute);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].body, "Secret%5Bcontent%5D=native%20secret%3A%20I%20sing%20to%20the%20fridge"
                            "&Secret%5BappName%5D=MurmeloIP");
    EXPECT_EQ(sent[0].header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(sent[0].header("User-Agent"), OVUtils::defaultUserAgent());
    EXPECT_EQ(sent[0].header("Referer"), std::nullopt);
    std::string pageCookies =
        CookieStore::shared().cookieHeaderForURL(*URL::strictParse(AppDelegate_Phone::secretPoolAddress()));
    EXPECT_EQ(pageCookies.rfind("MURMELO_SESSION=", 0), 0u) << pageCookies;
    EXPECT_EQ(sent[0].header("Cookie"), pageCookies);
    EXPECT_NE(pool.find("you told this"), std::string::npos) << "the post counts as the page session's";
}

TEST_F(FormsTest, ACommentIsPostedToItsSecretAndItsUnsentTextStaysWithIt) {
    const std::string tooLong(501, 'x');
    const std::string comment = "native comment: same here";
    // The server refuses: its words are shown, the form and the text stay.
    ASSERT_TRUE(run("present comment-form 20"));
    ASSERT_TRUE(run("settle 20"));
    ASSERT_TRUE(run("type 0 " + tooLong));
    ASSERT_TRUE(run("button okay, submit"));
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(answerAlert(), "Your comment is too long: please keep it under 500 characters.");
    ASSERT_NE(presentedForm(), nullptr);
    EXPECT_EQ(presentedForm()->commonTextView()->text(), tooLong);
    ASSERT_TRUE(run("button Cancel"));
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(presentedForm(), nullptr);

    // Another secret's form does not offer it; its own does, also after a restart.
    struct Opening {
        const char* secretId;
        std::string expected;
    };
    for (const Opening& opening : {Opening{"19", ""}, Opening{"20", tooLong}}) {
        ASSERT_TRUE(run(std::string("present comment-form ") + opening.secretId));
        ASSERT_TRUE(run("settle 20"));
        ASSERT_NE(presentedForm(), nullptr);
        EXPECT_EQ(presentedForm()->commonTextView()->text(), opening.expected) << opening.secretId;
        ASSERT_TRUE(run("button Cancel"));
        ASSERT_TRUE(run("settle 20"));
    }
    relaunch();
    ASSERT_TRUE(run("present comment-form 20"));
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(presentedForm()->commonTextView()->text(), tooLong);

    ASSERT_TRUE(run("type 0 " + comment));
    ASSERT_TRUE(run("button okay, submit"));
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(answerAlert(), "Your comment is posted. Thank you!");
    EXPECT_EQ(presentedForm(), nullptr);
    EXPECT_EQ(stored(PostCommentViewController::kCacheKey), "");
    EXPECT_EQ(stored(PostCommentViewController::kCacheSecretIdKey), std::nullopt);
    auto sent = posts(kCommentRoute);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].body, "Comment%5Bcontent%5D=native%20comment%3A%20same%20here&Comment%5Bsecret_id%5D=20"
                            "&Comment%5BappName%5D=MurmeloIP");

    // On the secret's comments page.
    auto page = FrontPage::page();
    ASSERT_TRUE(page);
    std::optional<size_t> link;
    for (size_t i = 0; i < page->links.size() && !link; ++i) {
        if (page->links[i].url.ends_with("r=secret/comments&secret_id=20")) {
            link = i + 1;
        }
    }
    ASSERT_TRUE(link);
    ASSERT_TRUE(run("follow " + std::to_string(*link)));
    ASSERT_TRUE(run("settle 20"));
    std::string comments = screen();
    EXPECT_NE(comments.find("text \"" + comment + "\""), std::string::npos) << comments;
}

TEST_F(FormsTest, WithTheServerDownTheTextStaysAndIsPostedOnceLater) {
    const std::string text = "posted when the server is back";
    const std::int64_t before = secretCount();
    m_servers.reset();
    ASSERT_TRUE(run("present secret-form"));
    ASSERT_TRUE(run("settle 20"));
    ASSERT_TRUE(run("type 0 " + text));
    ASSERT_TRUE(run("button okay, tell the world"));
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(answerAlert(), PostFormViewController::kNotSentMessage);
    ASSERT_NE(presentedForm(), nullptr);
    EXPECT_EQ(presentedForm()->commonTextView()->text(), text);
    EXPECT_EQ(stored("CacheSecret"), text);

    // The text comes back after a restart; one post, however often it is submitted.
    startServers(servers::ServerConfig::defaults());
    relaunch();
    ASSERT_TRUE(run("present secret-form"));
    ASSERT_TRUE(run("settle 20"));
    auto form = std::dynamic_pointer_cast<PostSecretViewController>(presentedForm());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->commonTextView()->text(), text);
    form->postSecret();
    form->postSecret(); // while the first is in flight
    EXPECT_TRUE(form->isPosting());
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(answerAlert(), "Your secret is out! Thank you for sharing.");
    EXPECT_FALSE(form->isPosting());
    EXPECT_EQ(posts(kSecretRoute).size(), 1u);
    EXPECT_EQ(secretCount(), before + 1);
}

TEST_F(FormsTest, AnEmptySecretGetsTheServersAnswerAndStays) {
    ASSERT_TRUE(run("present secret-form"));
    ASSERT_TRUE(run("settle 20"));
    ASSERT_TRUE(run("type 0 \"   \""));
    ASSERT_TRUE(run("button okay, tell the world"));
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(answerAlert(), "Please write your secret before posting.");
    ASSERT_NE(presentedForm(), nullptr);
    EXPECT_EQ(presentedForm()->commonTextView()->text(), "   ");
    EXPECT_EQ(phone()->tabController()->selectedIndex(), 0u);
    ASSERT_EQ(posts(kSecretRoute).size(), 1u);
    EXPECT_EQ(posts(kSecretRoute)[0].body, "Secret%5Bcontent%5D=%20%20%20&Secret%5BappName%5D=MurmeloIP");
    // A person leaves the form without posting.
    ASSERT_TRUE(run("back"));
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(presentedForm(), nullptr);
}

} // namespace
