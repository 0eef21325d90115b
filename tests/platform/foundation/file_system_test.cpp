#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/foundation/FileSystem.h"
#include "tests/support/temporary_directory.h"

using namespace murmelo;

namespace {

TEST(FileSystem, DamagedFileGoesToTheFirstFreeAsideName) {
    struct Case {
        std::vector<std::string> earlier; // suffixes already taken
        std::string expected;
    };
    const Case cases[] = {
        {{}, ".damaged"},
        {{".damaged"}, ".damaged-1"},
        {{".damaged", ".damaged-1"}, ".damaged-2"},
        {{".damaged-1"}, ".damaged"}, // a gap is filled first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        test::TemporaryDirectory home;
        const std::string file = home.file("store.plist");
        test::writeFile(file, "broken");
        for (const std::string& suffix : c.earlier) {
            test::writeFile(file + suffix, "earlier " + suffix);
        }
        auto aside = fs::moveDamagedFileAside(file);
        ASSERT_TRUE(aside.ok()) << aside.error().localizedDescription();
        EXPECT_EQ(*aside, file + c.expected);
        EXPECT_EQ(test::readFile(*aside), "broken");
        EXPECT_FALSE(fs::fileExists(file));
        for (const std::string& suffix : c.earlier) {
            EXPECT_EQ(test::readFile(file + suffix), "earlier " + suffix); // never replaced
        }
    }
}

TEST(FileSystem, MissingFileCannotBeMovedAside) {
    test::TemporaryDirectory home;
    auto aside = fs::moveDamagedFileAside(home.file("absent"));
    ASSERT_FALSE(aside.ok());
    EXPECT_TRUE(aside.error().is(kPOSIXErrorDomain, ENOENT));
    EXPECT_FALSE(fs::fileExists(home.file("absent.damaged")));
}

TEST(FileSystem, CreatedFoldersTakeTheGivenMode) {
    test::TemporaryDirectory home;
    const std::string deep = home.path() + "/a/b";
    ASSERT_TRUE(fs::createDirectories(deep, 0700).ok());
    ASSERT_TRUE(fs::createDirectories(home.path() + "/c").ok());
    struct Case {
        std::string path;
        unsigned mode;
    };
    const Case cases[] = {{home.path() + "/a", 0700}, {deep, 0700}, {home.path() + "/c", 0755}};
    for (const Case& c : cases) {
        struct stat st {};
        ASSERT_EQ(::stat(c.path.c_str(), &st), 0) << c.path;
        // The process umask can only take bits away.
        EXPECT_EQ(st.st_mode & 0777 & ~c.mode, 0u) << c.path;
        EXPECT_EQ(st.st_mode & 0700, 0700u) << c.path;
    }
}

} // namespace
