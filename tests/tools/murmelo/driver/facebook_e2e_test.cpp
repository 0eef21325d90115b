// The Facebook panels end to end through the driver: `present` opens them,
// `fill` and `submit` act on their pages like a person, and the stand-in's
// event log shows the token exchange and the wall post.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/foundation/UserDefaults.h"
#include "tests/tools/murmelo/driver/driver_session_test.h"
#include "tools/murmelo/driver/AppWiring.h"
#include "tools/murmelo/driver/Session.h"

using namespace murmelo;
using namespace murmelo::driver;
using namespace murmelo::test;

namespace {

class FacebookPanelsTest : public DriverSessionTest {
protected:
    void SetUp() override {
        DriverSessionTest::SetUp();
        start();
    }
    std::size_t count(const std::string& role, const std::string& path) {
        std::size_t n = 0;
        for (auto& event : events().events(role)) {
            n += event.path == path;
        }
        return n;
    }
};

TEST_F(FacebookPanelsTest, APostLogsInFirstThenReachesTheWallAndALaterLaunchSkipsTheLogin) {
    ASSERT_TRUE(run("present facebook-post \"I water plastic plants\""));
    ASSERT_TRUE(run("settle 20"));
    std::string login = screen();
    EXPECT_NE(login.find("facebook panel \"Log in\""), std::string::npos) << login;
    ASSERT_TRUE(run("fill email demo@murmelo.example"));
    ASSERT_TRUE(run("fill pass secret123"));
    ASSERT_TRUE(run("submit"));
    ASSERT_TRUE(run("settle 20"));
    std::string post = screen();
    EXPECT_NE(post.find("facebook panel \"Publish\""), std::string::npos) << post;
    EXPECT_EQ(post.find("facebook panel \"Log in\""), std::string::npos) << "the login panel has gone";
    EXPECT_NE(post.find("I water plastic plants"), std::string::npos) << post;
    EXPECT_EQ(count("facebook-api", "/restserver.php"), 1u);

    ASSERT_TRUE(run("fill message Guess who"));
    ASSERT_TRUE(run("submit"));
    ASSERT_TRUE(run("settle 20"));
    EXPECT_EQ(screen().find("facebook panel"), std::string::npos);
    auto wall = events().events("facebook-wall");
    ASSERT_EQ(wall.size(), 1u);
    EXPECT_EQ(wall[0].part("message"), "Guess who");
    EXPECT_NE(wall[0].part("attachment").value_or("").find("I water plastic plants"), std::string::npos);
    EXPECT_NE(UserDefaults::standardUserDefaults()->integerForKey("FBUserId"), 0);

    // After a restart the saved login opens the post panel at once.
    m_session.reset();
    endRun();
    start();
    std::size_t loginPages = count("facebook-web", "/login.php");
    ASSERT_TRUE(run("present facebook-post again"));
    ASSERT_TRUE(run("settle 20"));
    std::string again = screen();
    EXPECT_NE(again.find("facebook panel \"Publish\""), std::string::npos) << again;
    EXPECT_EQ(count("facebook-web", "/login.php"), loginPages);
}

} // namespace
