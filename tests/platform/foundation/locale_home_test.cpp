#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/Locale.h"
#include "tests/platform/foundation/test_home.h"

using namespace murmelo;

namespace {

// Sets environment variables for one scope and restores them after.
class ScopedEnvironment {
public:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second) {
                setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                unsetenv(it->first.c_str());
            }
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

} // namespace

TEST(Locale, PosixNamesBecomeIdentifiers) {
    struct Case {
        const char* posix;
        const char* identifier;
        const char* language;
        const char* country;
    } cases[] = {
        {"de_DE.UTF-8", "de_DE", "de", "DE"},
        {"fr_CA.ISO-8859-1@euro", "fr_CA", "fr", "CA"},
        {"en_GB@oxford", "en_GB", "en", "GB"},
        {"ja", "ja", "ja", ""},
        {"C", "en_US", "en", "US"},
        {"C.UTF-8", "en_US", "en", "US"},
        {"POSIX", "en_US", "en", "US"},
        {"", "en_US", "en", "US"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.posix);
        Locale locale(Locale::identifierFromPosixName(c.posix));
        EXPECT_EQ(locale.localeIdentifier(), c.identifier);
        EXPECT_EQ(locale.languageCode(), c.language);
        EXPECT_EQ(locale.countryCode(), c.country);
    }
    EXPECT_EQ(Locale("zh-Hans").languageCode(), "zh");
    EXPECT_EQ(Locale("zh-Hans").countryCode(), "");
    EXPECT_EQ(Locale("zh-Hans_CN").countryCode(), "CN");
}

TEST(Locale, CurrentLocaleTakesTheFirstSetVariable) {
    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        const char* expected;
    } cases[] = {
        {"it_IT.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", "it_IT"},
        {nullptr, "de_DE.UTF-8", "fr_FR.UTF-8", "de_DE"},
        {"", "", "fr_FR.UTF-8", "fr_FR"},
        {nullptr, nullptr, nullptr, "en_US"},
        {nullptr, nullptr, "C", "en_US"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        ScopedEnvironment env;
        env.set("LC_ALL", c.all);
        env.set("LC_MESSAGES", c.messages);
        env.set("LANG", c.lang);
        EXPECT_EQ(Locale::currentLocale().localeIdentifier(), c.expected);
    }
}

TEST(AppHome, DefaultPathFollowsXdg) {
    ScopedEnvironment env;
    env.set("XDG_DATA_HOME", "/data/me");
    env.set("HOME", "/home/me");
    EXPECT_EQ(AppHome::defaultPath(), "/data/me/murmelo/home");
    env.set("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(AppHome::defaultPath(), "/home/me/.local/share/murmelo/home");
    env.set("XDG_DATA_HOME", "relative/is/ignored");
    EXPECT_EQ(AppHome::defaultPath(), "/home/me/.local/share/murmelo/home");
}

TEST(AppHome, OpensAndCreatesItsFolders) {
    test::TestHome testHome;
    auto home = AppHome::open(testHome.dir().path() + "/other//");
    ASSERT_TRUE(home);
    const std::string root = testHome.dir().path() + "/other";
    EXPECT_EQ((*home)->path(), root);
    for (const std::string& folder : {(*home)->documentsDirectory(), (*home)->cachesDirectory(),
                                      (*home)->preferencesDirectory(), (*home)->temporaryDirectory()}) {
        EXPECT_TRUE(fs::directoryExists(folder)) << folder;
    }
    EXPECT_EQ((*home)->documentsDirectory(), root + "/Documents");
    EXPECT_EQ((*home)->cachesDirectory(), root + "/Library/Caches");

    // A file in the way is an error, not a crash.
    test::writeFile(testHome.dir().file("blocked"), "x");
    EXPECT_FALSE(AppHome::open(testHome.dir().file("blocked")));
    EXPECT_FALSE(AppHome::open(""));
}

TEST(AppHome, WhatStandsWhereAFolderBelongsIsSetAside) {
    enum class InTheWay { File, DanglingLink, FileWithEarlierAsideFolder };
    struct Case {
        const char* folder;
        InTheWay what;
        const char* keptAs; // relative to the home
    };
    const Case cases[] = {
        {"Documents", InTheWay::File, "Documents.damaged"},
        {"Library/Caches", InTheWay::File, "Library/Caches.damaged"},
        {"Library/Preferences", InTheWay::File, "Library/Preferences.damaged"},
        {"tmp", InTheWay::File, "tmp.damaged"},
        {"Library", InTheWay::File, "Library.damaged"},
        {"Library/Caches", InTheWay::DanglingLink, "Library/Caches.damaged"},
        {"tmp", InTheWay::FileWithEarlierAsideFolder, "tmp.damaged-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        test::TemporaryDirectory dir;
        const std::string root = dir.path() + "/home";
        const std::string blocked = root + "/" + c.folder;
        ASSERT_TRUE(fs::createDirectories(fs::parentPath(blocked)));
        if (c.what == InTheWay::DanglingLink) {
            ASSERT_EQ(::symlink("nowhere", blocked.c_str()), 0);
        } else {
            test::writeFile(blocked, "old bytes");
        }
        if (c.what == InTheWay::FileWithEarlierAsideFolder) {
            ASSERT_TRUE(fs::createDirectories(blocked + ".damaged"));
        }

        auto home = AppHome::open(root);
        ASSERT_TRUE(home) << home.error().localizedDescription();
        for (const std::string& folder : {(*home)->documentsDirectory(), (*home)->cachesDirectory(),
                                          (*home)->preferencesDirectory(), (*home)->temporaryDirectory()}) {
            EXPECT_TRUE(fs::directoryExists(folder)) << folder;
        }
        const std::string kept = root + "/" + c.keptAs;
        if (c.what == InTheWay::DanglingLink) {
            char target[64] = {};
            EXPECT_GT(::readlink(kept.c_str(), target, sizeof target - 1), 0);
            EXPECT_STREQ(target, "nowhere");
        } else {
            EXPECT_EQ(test::readFile(kept), "old bytes");
        }
    }

    // The home itself is what the user chose: a file there is refused, with
    // a one-line reason.
    test::TemporaryDirectory dir;
    test::writeFile(dir.file("home"), "x");
    auto refused = AppHome::open(dir.file("home") + "/inner");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().localizedDescription().find('\n'), std::string::npos);
    EXPECT_EQ(test::readFile(dir.file("home")), "x");
}

TEST(AppHome, CurrentHomeIsChosenOnceAndAnswersPathQueries) {
    test::TestHome testHome;
    // Already in use: a second choice is refused.
    EXPECT_FALSE(AppHome::setCurrent(testHome.dir().path() + "/second"));
    EXPECT_EQ(AppHome::current()->path(), testHome.home());
    EXPECT_EQ(homeDirectory(), testHome.home());
    EXPECT_EQ(temporaryDirectory(), testHome.home() + "/tmp/");

    struct Case {
        SearchPathDirectory directory;
        SearchPathDomain domain;
        ExpandTilde expand;
        std::vector<std::string> expected;
    } cases[] = {
        {SearchPathDirectory::Document,
         SearchPathDomain::User,
         ExpandTilde::Yes,
         {testHome.home() + "/Documents"}},
        {SearchPathDirectory::Document, SearchPathDomain::User, ExpandTilde::No, {"~/Documents"}},
        {SearchPathDirectory::Caches,
         SearchPathDomain::All,
         ExpandTilde::Yes,
         {testHome.home() + "/Library/Caches"}},
        {SearchPathDirectory::Library,
         SearchPathDomain::User,
         ExpandTilde::Yes,
         {testHome.home() + "/Library"}},
        {SearchPathDirectory::Document, SearchPathDomain::System, ExpandTilde::Yes, {}},
        {SearchPathDirectory::Caches, SearchPathDomain::Local, ExpandTilde::Yes, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(searchPathForDirectoriesInDomains(c.directory, c.domain, c.expand), c.expected);
    }
    EXPECT_EQ(stringByExpandingTildeInPath("~"), testHome.home());
    EXPECT_EQ(stringByExpandingTildeInPath("~/a/b"), testHome.home() + "/a/b");
    EXPECT_EQ(stringByExpandingTildeInPath("/abs/~"), "/abs/~");
    EXPECT_EQ(stringByExpandingTildeInPath("~other"), "~other");
}
