#include "tools/murmelo/driver/LaunchOptions.h"

#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::driver;

namespace {

TEST(LaunchOptions, ReadsEveryOptionInBothSpellings) {
    auto options = parseLaunchOptions(
        LaunchKind::Demo, {"--home", "/h", "--connect-to=a.example:80:127.0.0.1:81", "--connect-to",
                           "::127.0.0.1:82,b.example::[::1]:", "--network=system", "--locale", "de_DE.UTF-8",
                           "--device", "pad", "--script", "-", "--screenshots=/shots", "--data", "/d"});
    ASSERT_TRUE(options) << options.error().localizedDescription();
    EXPECT_EQ(options->home, "/h");
    EXPECT_EQ(options->connectTo,
              (std::vector<std::string>{"a.example:80:127.0.0.1:81", "::127.0.0.1:82,b.example::[::1]:"}));
    EXPECT_EQ(options->network, NetworkState::Host);
    EXPECT_EQ(options->locale, "de_DE.UTF-8");
    EXPECT_EQ(options->device, UserInterfaceIdiom::Pad);
    EXPECT_EQ(options->script, "-");
    EXPECT_EQ(options->screenshots, "/shots");
    EXPECT_EQ(options->data, "/d");
    EXPECT_FALSE(options->help);

    auto plain = parseLaunchOptions(LaunchKind::Run, {});
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->network);
    EXPECT_FALSE(plain->script);
    EXPECT_TRUE(plain->home.empty());
    EXPECT_TRUE(parseLaunchOptions(LaunchKind::Run, {"-h"})->help);
}

TEST(LaunchOptions, RefusesWhatWouldGoWrongLater) {
    struct Case {
        LaunchKind kind;
        std::vector<std::string> args;
        const char* expectedPart;
    };
    const Case cases[] = {
        {LaunchKind::Run, {"--data", "/d"}, "unknown argument \"--data\""},
        {LaunchKind::Run, {"--homes", "/h"}, "unknown argument"},
        {LaunchKind::Run, {"extra"}, "unknown argument \"extra\""},
        {LaunchKind::Run, {"--home"}, "--home needs a value"},
        {LaunchKind::Run, {"--home="}, "--home needs a value"},
        {LaunchKind::Run, {"--network", "lte"}, "expected none, wifi, carrier or system"},
        {LaunchKind::Run, {"--network", "host"}, "expected none, wifi, carrier or system"},
        {LaunchKind::Run, {"--device", "tablet"}, "expected phone or pad"},
        {LaunchKind::Run, {"--locale", "english"}, "expected a name like en_US"},
        {LaunchKind::Run, {"--locale", "d"}, "expected a name like en_US"},
        {LaunchKind::Run, {"--locale", "de DE"}, "expected a name like en_US"},
        {LaunchKind::Run, {"--connect-to", "a.example:80:b:81,bad"}, "--connect-to a.example:80:b:81,bad"},
        {LaunchKind::Demo, {"--script"}, "--script needs a value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        auto options = parseLaunchOptions(c.kind, c.args);
        ASSERT_FALSE(options);
        EXPECT_NE(options.error().localizedDescription().find(c.expectedPart), std::string::npos)
            << options.error().localizedDescription();
    }
}

TEST(LaunchOptions, LocaleGivesThePreferredLanguages) {
    struct Case {
        const char* locale;
        std::optional<std::vector<std::string>> languages;
    };
    const Case cases[] = {
        {"de_DE", std::vector<std::string>{"de", "en"}},
        {"de_DE.UTF-8", std::vector<std::string>{"de", "en"}},
        {"FR", std::vector<std::string>{"fr", "en"}},
        {"zh-Hans", std::vector<std::string>{"zh", "en"}},
        {"en_US", std::vector<std::string>{"en"}},
        {"", std::nullopt},
        {"e", std::nullopt},
        {"engl_US", std::nullopt},
        {"de/DE", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        EXPECT_EQ(languagesForLocale(c.locale), c.languages);
    }
}

} // namespace
