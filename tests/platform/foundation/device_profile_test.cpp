#include <gtest/gtest.h>

#include "platform/core/Log.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "tests/platform/foundation/test_home.h"

using namespace murmelo;

TEST(DeviceProfile, FreshHomeGetsPhoneDefaultsAndKeepsItsIdentifier) {
    test::TestHome home;
    const std::string path = DeviceProfile::pathInHome(home.home());
    EXPECT_FALSE(fs::fileExists(path));

    auto profile = DeviceProfile::current();
    EXPECT_TRUE(fs::fileExists(path)); // written at once
    EXPECT_EQ(profile->model(), "iPhone");
    EXPECT_EQ(profile->systemName(), "iPhone OS");
    EXPECT_EQ(profile->systemVersion(), "4.3.3");
    EXPECT_TRUE(profile->screenReportsScale());
    EXPECT_DOUBLE_EQ(profile->screenScale(), 2.0);
    EXPECT_EQ(profile->userInterfaceIdiom(), UserInterfaceIdiom::Phone);
    EXPECT_EQ(profile->networkState(), NetworkState::Wifi);
    EXPECT_EQ(profile->machine(), DeviceProfile::unameMachine());
    EXPECT_FALSE(profile->preferredLanguages().empty());
    EXPECT_EQ(profile->preferredLanguages().back(), "en");
    EXPECT_TRUE(DeviceProfile::isValidUniqueIdentifier(profile->uniqueIdentifier()));

    // Reopening, even in a new process (reset), gives the same identifier.
    const std::string identifier = profile->uniqueIdentifier();
    DeviceProfile::resetCurrent();
    EXPECT_EQ(DeviceProfile::current()->uniqueIdentifier(), identifier);
    auto loaded = DeviceProfile::loadOrCreate(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->uniqueIdentifier(), identifier);
}

TEST(DeviceProfile, IdentifiersAreFortyHexDigitsAndDiffer) {
    std::string a = DeviceProfile::newUniqueIdentifier();
    std::string b = DeviceProfile::newUniqueIdentifier();
    EXPECT_TRUE(DeviceProfile::isValidUniqueIdentifier(a)) << a;
    EXPECT_NE(a, b);
    struct Case {
        const char* text;
        bool valid;
    } cases[] = {
        {"0123456789abcdef0123456789abcdef01234567", true},
        {"0123456789ABCDEF0123456789abcdef01234567", false},
        {"0123456789abcdef0123456789abcdef0123456", false},
        {"0123456789abcdef0123456789abcdef012345678", false},
        {"0123456789abcdef0123456789abcdef0123456g", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceProfile::isValidUniqueIdentifier(c.text), c.valid) << c.text;
    }
}

TEST(DeviceProfile, OverridesAreCheckedAndAllOrNothing) {
    DeviceProfile profile;
    ASSERT_TRUE(profile.applyOverrides({"machine=iPhone3,1", "idiom=pad", "network=carrier",
                                        "preferredLanguages=zh-Hans, de ,en", "screenReportsScale=no",
                                        "screenScale=1", "systemVersion=4.2.1", "model=iPod touch",
                                        "uniqueIdentifier=00112233445566778899aabbccddeeff00112233", "iAd=no",
                                        "locationServices=no", "location=-33.8568,151.2153"}));
    EXPECT_EQ(profile.machine(), "iPhone3,1");
    EXPECT_EQ(profile.userInterfaceIdiom(), UserInterfaceIdiom::Pad);
    EXPECT_EQ(profile.networkState(), NetworkState::Carrier);
    EXPECT_EQ(profile.preferredLanguages(), (std::vector<std::string>{"zh-Hans", "de", "en"}));
    EXPECT_FALSE(profile.screenReportsScale());
    EXPECT_DOUBLE_EQ(profile.screenScale(), 1.0);
    EXPECT_EQ(profile.systemVersion(), "4.2.1");
    EXPECT_EQ(profile.model(), "iPod touch");
    EXPECT_EQ(profile.uniqueIdentifier(), "00112233445566778899aabbccddeeff00112233");
    EXPECT_FALSE(profile.iAdAvailable());
    EXPECT_FALSE(profile.locationServicesEnabled());
    ASSERT_TRUE(profile.lastLocation());
    EXPECT_DOUBLE_EQ(profile.lastLocation()->latitude, -33.8568);
    EXPECT_DOUBLE_EQ(profile.lastLocation()->longitude, 151.2153);
    EXPECT_GT(profile.lastLocation()->timestamp, 1.7e9) << "taken when set";

    const char* bad[] = {
        "network=lte",
        "idiom=watch",
        "screenScale=-2",
        "screenScale=2x",
        "screenReportsScale=maybe",
        "uniqueIdentifier=short",
        "preferredLanguages=de,,en",
        "model=",
        "colour=red",
        "novalue",
        "=x",
        "iAd=perhaps",
        "location=91,0",
        "location=0,180.5",
        "location=52.5",
        "location=north,south",
        "location=nan,0",
    };
    for (const char* option : bad) {
        SCOPED_TRACE(option);
        DeviceProfile before = profile;
        auto r = profile.applyOverrides({"network=none", option});
        ASSERT_FALSE(r);
        EXPECT_FALSE(r.error().localizedDescription().empty());
        // Nothing applied, not even the good option before it.
        EXPECT_EQ(profile.networkState(), NetworkState::Carrier);
        EXPECT_EQ(profile.description(), before.description());
    }
}

TEST(DeviceProfile, SavedOverridesSurviveAndDamageIsKeptAside) {
    test::TestHome home;
    const std::string path = DeviceProfile::pathInHome(home.home());
    {
        auto created = DeviceProfile::loadOrCreate(path);
        ASSERT_TRUE(created);
        ASSERT_TRUE(
            created->applyOverrides({"machine=iPhone1,1", "network=none", "iAd=no", "location=48.85,2.35"}));
        ASSERT_TRUE(created->save(path));
    }
    auto loaded = DeviceProfile::loadOrCreate(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->machine(), "iPhone1,1");
    EXPECT_EQ(loaded->networkState(), NetworkState::None);
    EXPECT_FALSE(loaded->iAdAvailable());
    ASSERT_TRUE(loaded->lastLocation());
    EXPECT_DOUBLE_EQ(loaded->lastLocation()->latitude, 48.85);
    EXPECT_GT(loaded->lastLocation()->timestamp, 1.7e9) << "when the fix was taken, kept";

    // Missing entries are filled in and the identifier is kept.
    ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(
        Value(Dictionary{{"uniqueIdentifier", Value(loaded->uniqueIdentifier())},
                         {"network", Value("carrier")}}),
        path));
    auto partial = DeviceProfile::loadOrCreate(path);
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->uniqueIdentifier(), loaded->uniqueIdentifier());
    EXPECT_EQ(partial->networkState(), NetworkState::Carrier);
    EXPECT_EQ(partial->model(), "iPhone");
    EXPECT_TRUE(partial->iAdAvailable());
    EXPECT_TRUE(partial->locationServicesEnabled());
    EXPECT_FALSE(partial->lastLocation());
    EXPECT_TRUE(dictionaryWithContentsOfFile(path)->contains("model"));

    test::writeFile(path, "<plist><dict><key>model");
    LogCapture log;
    auto fresh = DeviceProfile::loadOrCreate(path);
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(log.contains("damaged"));
    EXPECT_EQ(test::readFile(path + ".damaged"), "<plist><dict><key>model");
    EXPECT_TRUE(fs::fileExists(path));
}
