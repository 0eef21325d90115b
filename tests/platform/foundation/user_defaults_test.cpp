#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

#include "platform/core/Log.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/platform/foundation/test_home.h"
#include "tests/support/temporary_directory.h"

using namespace murmelo;
using namespace std::chrono_literals;

namespace {

UserDefaults::Options quickOptions(std::chrono::milliseconds delay = 200ms) {
    UserDefaults::Options options;
    options.saveDelay = delay;
    options.deviceDomain = Dictionary{{"AppleLanguages", Value(Array{Value("de"), Value("en")})}};
    return options;
}

} // namespace

TEST(UserDefaults, ValuesSurviveReopening) {
    test::TemporaryDirectory dir;
    const std::string path = dir.file("Library/Preferences/org.example.plist");
    Value nested(Dictionary{{"list", Value(Array{Value(1), Value("two")})}, {"blob", Value(Data{1, 2, 3})}});
    {
        auto defaults = UserDefaults::openAtPath(path, quickOptions());
        EXPECT_TRUE(defaults->setObject(Value("1.1"), "apprecommand_version"));
        defaults->setInteger(1234567890123LL, "FBUserId");
        defaults->setDouble(1.5e9, "lastTimeInterval");
        defaults->setBool(true, "flag");
        EXPECT_TRUE(defaults->setObject(Value(Date{1000}), "FBSessionExpires"));
        EXPECT_TRUE(defaults->setObject(nested, "nested"));
        EXPECT_TRUE(defaults->setObject(Value("gone"), "removed"));
        defaults->removeObjectForKey("removed");
        EXPECT_TRUE(defaults->setObject(Value("gone too"), "nulled"));
        EXPECT_TRUE(defaults->setObject(Value(), "nulled"));
    } // destruction saves what is pending

    auto reopened = UserDefaults::openAtPath(path, quickOptions());
    EXPECT_EQ(reopened->stringForKey("apprecommand_version"), "1.1");
    EXPECT_EQ(reopened->integerForKey("FBUserId"), 1234567890123LL);
    EXPECT_DOUBLE_EQ(reopened->doubleForKey("lastTimeInterval"), 1.5e9);
    EXPECT_TRUE(reopened->boolForKey("flag"));
    EXPECT_EQ(reopened->objectForKey("FBSessionExpires"), Value(Date{1000}));
    EXPECT_EQ(reopened->objectForKey("nested"), nested);
    EXPECT_FALSE(reopened->objectForKey("removed"));
    EXPECT_FALSE(reopened->objectForKey("nulled"));
}

TEST(UserDefaults, TypedGettersConvertLikeThePlatform) {
    test::TemporaryDirectory dir;
    auto defaults = UserDefaults::openAtPath(dir.file("d.plist"), quickOptions());
    ASSERT_TRUE(defaults->setObject(Value("12abc"), "text"));
    ASSERT_TRUE(defaults->setObject(Value("YES"), "yes"));
    ASSERT_TRUE(defaults->setObject(Value("no"), "no"));
    ASSERT_TRUE(defaults->setObject(Value(2.5), "real"));
    ASSERT_TRUE(defaults->setObject(Value(7), "int"));
    ASSERT_TRUE(defaults->setObject(Value(true), "bool"));
    ASSERT_TRUE(defaults->setObject(Value(Array{Value(1)}), "array"));
    ASSERT_TRUE(defaults->setObject(Value(Dictionary{{"k", Value("v")}}), "dict"));

    struct Case {
        const char* key;
        std::optional<std::string> string;
        long long integer;
        double real;
        bool boolean;
    } cases[] = {
        {"text", "12abc", 12, 12.0, true},
        {"yes", "YES", 0, 0.0, true},
        {"no", "no", 0, 0.0, false},
        {"real", "2.5", 2, 2.5, true},
        {"int", "7", 7, 7.0, true},
        {"bool", "1", 1, 1.0, true},
        {"array", std::nullopt, 0, 0.0, false},
        {"dict", std::nullopt, 0, 0.0, false},
        {"missing", std::nullopt, 0, 0.0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(defaults->stringForKey(c.key), c.string);
        EXPECT_EQ(defaults->integerForKey(c.key), c.integer);
        EXPECT_DOUBLE_EQ(defaults->doubleForKey(c.key), c.real);
        EXPECT_EQ(defaults->boolForKey(c.key), c.boolean);
    }
    EXPECT_EQ(defaults->arrayForKey("array"), (Array{Value(1)}));
    EXPECT_FALSE(defaults->arrayForKey("dict"));
    EXPECT_EQ(defaults->dictionaryForKey("dict"), (Dictionary{{"k", Value("v")}}));
    EXPECT_FALSE(defaults->dictionaryForKey("array"));
    EXPECT_FALSE(defaults->dataForKey("text"));
}

TEST(UserDefaults, DomainsAreSearchedAppThenDeviceThenRegistration) {
    test::TemporaryDirectory dir;
    auto defaults = UserDefaults::openAtPath(dir.file("d.plist"), quickOptions());
    defaults->registerDefaults(Dictionary{{"shared", Value("registered")},
                                          {"onlyRegistered", Value(5)},
                                          {"AppleLanguages", Value(Array{Value("fr")})}});
    EXPECT_EQ(defaults->integerForKey("onlyRegistered"), 5);
    EXPECT_EQ(defaults->stringForKey("shared"), "registered");
    EXPECT_EQ(defaults->arrayForKey("AppleLanguages"), (Array{Value("de"), Value("en")}));

    ASSERT_TRUE(defaults->setObject(Value("mine"), "shared"));
    ASSERT_TRUE(defaults->setObject(Value(Array{Value("zh-Hans")}), "AppleLanguages"));
    EXPECT_EQ(defaults->stringForKey("shared"), "mine");
    EXPECT_EQ(defaults->arrayForKey("AppleLanguages"), (Array{Value("zh-Hans")}));
    defaults->removeObjectForKey("AppleLanguages");
    EXPECT_EQ(defaults->arrayForKey("AppleLanguages"), (Array{Value("de"), Value("en")}));

    Dictionary all = defaults->dictionaryRepresentation();
    EXPECT_EQ(*all.find("shared"), Value("mine"));
    EXPECT_EQ(*all.find("onlyRegistered"), Value(5));

    // Registered and device values are never written to the file.
    ASSERT_TRUE(defaults->synchronize());
    auto file = dictionaryWithContentsOfFile(dir.file("d.plist"));
    ASSERT_TRUE(file);
    EXPECT_EQ(*file, (Dictionary{{"shared", Value("mine")}}));
}

TEST(UserDefaults, RefusesValuesWithoutPropertyListForm) {
    test::TemporaryDirectory dir;
    auto defaults = UserDefaults::openAtPath(dir.file("d.plist"), quickOptions());
    LogCapture log;
    EXPECT_FALSE(defaults->setObject(Value(Array{Value()}), "nullInside"));
    EXPECT_FALSE(defaults->setObject(Value(std::string("\xff")), "badText"));
    EXPECT_TRUE(log.contains("non-property-list"));
    EXPECT_FALSE(defaults->objectForKey("nullInside"));
    EXPECT_FALSE(defaults->objectForKey("badText"));
}

TEST(UserDefaults, BurstOfChangesIsSavedOnceWithoutSynchronize) {
    test::TemporaryDirectory dir;
    const std::string path = dir.file("d.plist");
    auto defaults = UserDefaults::openAtPath(path, quickOptions(300ms));
    for (int i = 0; i < 50; ++i) {
        defaults->setInteger(i, "key" + std::to_string(i));
    }
    EXPECT_EQ(defaults->saveCount(), 0u);
    ASSERT_TRUE(defaults->waitUntilSaved(5s));
    EXPECT_EQ(defaults->saveCount(), 1u);
    auto file = dictionaryWithContentsOfFile(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size(), 50u);
    EXPECT_EQ(*file->find("key49"), Value(49));

    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A later change schedules a second write.
    defaults->setBool(true, "later");
    ASSERT_TRUE(defaults->waitUntilSaved(5s));
    EXPECT_EQ(defaults->saveCount(), 2u);
    // Nothing pending: synchronize does not write again.
    EXPECT_TRUE(defaults->synchronize());
    EXPECT_EQ(defaults->saveCount(), 2u);
}

TEST(UserDefaults, ConcurrentWritersLoseNothing) {
    test::TemporaryDirectory dir;
    const std::string path = dir.file("d.plist");
    constexpr int kThreads = 8;
    constexpr int kKeys = 100;
    {
        auto defaults = UserDefaults::openAtPath(path, quickOptions(1ms));
        std::vector<std::thread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&, t] {
                for (int k = 0; k < kKeys; ++k) {
                    defaults->setObject(Value(t * 1000 + k),
                                        "t" + std::to_string(t) + "k" + std::to_string(k));
                    if (k % 25 == 0) {
                        defaults->synchronize();
                    }
                    (void)defaults->integerForKey("t0k0");
                }
            });
        }
        for (auto& w : writers) {
            w.join();
        }
    }
    auto reopened = UserDefaults::openAtPath(path, quickOptions());
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeys; ++k) {
            std::string key = "t" + std::to_string(t) + "k" + std::to_string(k);
            ASSERT_EQ(reopened->integerForKey(key), t * 1000 + k) << key;
        }
    }
}

TEST(UserDefaults, DamagedFileIsKeptAsideAndStoreStartsEmpty) {
    struct Case {
        const char* name;
        std::string contents;
    } cases[] = {
        {"garbage", "this is not a property list"},
        {"truncated xml", "<?xml version=\"1.0\"?><plist><dict><key>a</key>"},
        {"array at the top", "<plist><array><string>x</string></array></plist>"},
        {"empty file", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TemporaryDirectory dir;
        const std::string path = dir.file("d.plist");
        test::writeFile(path, c.contents);
        LogCapture log;
        auto defaults = UserDefaults::openAtPath(path, quickOptions());
        EXPECT_TRUE(log.contains("damaged"));
        EXPECT_FALSE(defaults->objectForKey("a"));
        EXPECT_EQ(test::readFile(path + ".damaged"), c.contents);
        // The store keeps working and writes a fresh file; the damaged copy stays.
        ASSERT_TRUE(defaults->setObject(Value("fresh"), "a"));
        ASSERT_TRUE(defaults->synchronize());
        EXPECT_EQ(dictionaryWithContentsOfFile(path), (Dictionary{{"a", Value("fresh")}}));
        EXPECT_EQ(test::readFile(path + ".damaged"), c.contents);
    }
}

TEST(UserDefaults, SecondDamageDoesNotReplaceTheFirstCopy) {
    test::TemporaryDirectory dir;
    const std::string path = dir.file("d.plist");
    test::writeFile(path + ".damaged", "first");
    test::writeFile(path, "second");
    LogCapture log;
    auto defaults = UserDefaults::openAtPath(path, quickOptions());
    EXPECT_EQ(test::readFile(path + ".damaged"), "first");
    EXPECT_EQ(test::readFile(path + ".damaged-1"), "second");
}

TEST(UserDefaults, UnreadableFileIsNeverOverwritten) {
    test::TemporaryDirectory dir;
    const std::string path = dir.file("d.plist");
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0); // a folder where the file should be
    LogCapture log;
    auto defaults = UserDefaults::openAtPath(path, quickOptions());
    ASSERT_TRUE(defaults->setObject(Value(1), "a"));
    EXPECT_FALSE(defaults->synchronize());
    EXPECT_TRUE(log.contains("will not be saved"));
    EXPECT_EQ(defaults->integerForKey("a"), 1); // still usable in memory
}

TEST(UserDefaults, StandardInstanceLivesInTheHomeAndKnowsTheLanguages) {
    test::TestHome home;
    ASSERT_TRUE(fs::createDirectories(home.bundle()));
    ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(
        Value(Dictionary{{"CFBundleIdentifier", Value("org.example.Secrets")}}),
        home.bundle() + "/Info.plist"));
    Bundle::setMainBundlePath(home.bundle());
    DeviceProfile profile;
    ASSERT_TRUE(profile.applyOverrides({"preferredLanguages=ja,en"}));
    DeviceProfile::setCurrent(profile);
    UserDefaults::resetStandardUserDefaults();

    auto defaults = UserDefaults::standardUserDefaults();
    EXPECT_EQ(defaults, UserDefaults::standardUserDefaults());
    EXPECT_EQ(defaults->path(), home.home() + "/Library/Preferences/org.example.Secrets.plist");
    EXPECT_EQ(defaults->arrayForKey("AppleLanguages"), (Array{Value("ja"), Value("en")}));
    ASSERT_TRUE(defaults->setObject(Value("text"), "CacheSecret"));

    // Resetting saves, and the next instance reads the same file.
    UserDefaults::resetStandardUserDefaults();
    auto again = UserDefaults::standardUserDefaults();
    EXPECT_NE(again, defaults);
    EXPECT_EQ(again->stringForKey("CacheSecret"), "text");
}
