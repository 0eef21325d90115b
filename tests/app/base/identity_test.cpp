// Request identity and device facts: the user agent and parameter block
// builders, what they gather from the device, bundle and user defaults,
// and the small device queries.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "app/base/OVUtils.h"
#include "app/base/RequestIdentity.h"
#include "platform/core/Log.h"
#include "platform/foundation/Crypto.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "tests/platform/foundation/test_home.h"

using namespace murmelo;

namespace {

RequestIdentityInputs sampleInputs() {
    RequestIdentityInputs in;
    in.bundleName = "Murmelo";
    in.bundleVersion = "2.3";
    in.model = "iPhone";
    in.systemName = "iPhone OS";
    in.systemVersion = "4.3.3";
    in.localeIdentifier = "en";
    in.machine = "iPhone3,1";
    in.uniqueIdentifier = "0123456789abcdef0123456789abcdef01234567";
    in.networkType = "WIFI";
    in.jailBroken = false;
    return in;
}

TEST(RequestIdentityTest, UserAgentAndBlock) {
    struct Case {
        const char* name;
        std::function<void(RequestIdentityInputs&)> change;
        std::string userAgent;
        std::string block;
    };
    const std::string id = "0123456789abcdef0123456789abcdef01234567";
    const Case cases[] = {
        {"plain", [](RequestIdentityInputs&) {},
         "Murmelo/2.3 (iPhone; iPhone OS 4.3.3; en; iPhone3,1; " + id + "; WIFI; JB_0)",
         "app=Murmelo&v=2.3&lang=en&jb=0&deviceid=" + id + "&phonetype=iphone"},
        {"blank in name", [](RequestIdentityInputs& in) { in.bundleName = "Murmelo Beta"; },
         "Murmelo Beta/2.3 (iPhone; iPhone OS 4.3.3; en; iPhone3,1; " + id + "; WIFI; JB_0)",
         "app=Murmelo%20Beta&v=2.3&lang=en&jb=0&deviceid=" + id + "&phonetype=iphone"},
        {"zh-Hans",
         [](RequestIdentityInputs& in) {
             in.localeIdentifier = "zh-Hans";
             in.networkType = "Carrier";
             in.jailBroken = true;
         },
         "Murmelo/2.3 (iPhone; iPhone OS 4.3.3; zh-Hans; iPhone3,1; " + id + "; Carrier; JB_1)",
         "app=Murmelo&v=2.3&lang=zh-Hans&jb=1&deviceid=" + id + "&phonetype=iphone"},
        {"missing values",
         [](RequestIdentityInputs& in) {
             in.bundleName.reset();
             in.bundleVersion.reset();
             in.uniqueIdentifier.reset();
             in.networkType = "None";
         },
         "(null)/(null) (iPhone; iPhone OS 4.3.3; en; iPhone3,1; (null); None; JB_0)",
         "app=(null)&v=(null)&lang=en&jb=0&deviceid=(null)&phonetype=iphone"},
        {"reserved and non-ASCII",
         [](RequestIdentityInputs& in) {
             in.bundleName = "M\xC3\xBCrmelo&Co";
             in.bundleVersion = "2.3 \"b\"";
         },
         "M\xC3\xBCrmelo&Co/2.3 \"b\" (iPhone; iPhone OS 4.3.3; en; iPhone3,1; " + id + "; WIFI; JB_0)",
         "app=M%C3%BCrmelo&Co&v=2.3%20%22b%22&lang=en&jb=0&deviceid=" + id + "&phonetype=iphone"},
    };
    for (const Case& c : cases) {
        RequestIdentityInputs in = sampleInputs();
        c.change(in);
        EXPECT_EQ(makeUserAgent(in), c.userAgent) << c.name;
        EXPECT_EQ(makeParameterBlock(in), c.block) << c.name;
    }
}

class DeviceInputsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::createDirectories(m_home.bundle()));
        ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(
            Value(Dictionary{{"CFBundleName", "Murmelo Beta"},
                             {"CFBundleVersion", "2.3"},
                             {"CFBundleIdentifier", "example.murmelo"}}),
            m_home.bundle() + "/Info.plist"));
        Bundle::setMainBundlePath(m_home.bundle());
    }
    void useDevice(const std::vector<std::string>& overrides) {
        DeviceProfile profile;
        ASSERT_TRUE(profile.applyOverrides(overrides));
        DeviceProfile::setCurrent(profile);
        UserDefaults::resetStandardUserDefaults(); // its device domain comes from the profile
    }
    test::TestHome m_home;
};

TEST_F(DeviceInputsTest, GatherReadsBundleDeviceAndLanguages) {
    useDevice({"machine=iPhone2,1", "preferredLanguages=zh-Hans,en",
               "uniqueIdentifier=" + std::string(40, 'a'), "model=iPod touch", "systemVersion=4.2"});
    RequestIdentityInputs in = RequestIdentityInputs::gather("Carrier");
    EXPECT_EQ(in.bundleName, "Murmelo Beta");
    EXPECT_EQ(in.bundleVersion, "2.3");
    EXPECT_EQ(in.model, "iPod touch");
    EXPECT_EQ(in.systemVersion, "4.2");
    EXPECT_EQ(in.localeIdentifier, "zh-Hans");
    EXPECT_EQ(in.machine, "iPhone2,1");
    EXPECT_EQ(in.uniqueIdentifier, std::string(40, 'a'));
    EXPECT_EQ(in.networkType, "Carrier");
    EXPECT_EQ(makeUserAgent(in).find("Murmelo Beta/2.3 (iPod touch; iPhone OS 4.2; zh-Hans; iPhone2,1; "),
              0u);
    EXPECT_EQ(makeParameterBlock(in).find("app=Murmelo%20Beta&v=2.3&lang=zh-Hans&jb="), 0u);
}

TEST_F(DeviceInputsTest, CurrentLocale) {
    struct Case {
        std::vector<std::string> overrides;
        std::optional<Value> appLanguages; // set in the app's own defaults
        std::string expected;
    };
    const std::string current = Locale::currentLocale().localeIdentifier();
    const Case cases[] = {
        {{"preferredLanguages=de,en"}, std::nullopt, "de"},
        {{"preferredLanguages=zh-Hans"}, std::nullopt, "zh-Hans"},
        {{"preferredLanguages=de"}, Value(Array{Value("pt-BR"), Value("de")}), "pt-BR"},
        {{"preferredLanguages=de"}, Value(Array{}), current},         // an empty list
        {{"preferredLanguages=de"}, Value(Array{Value(7)}), current}, // not a language
    };
    for (const Case& c : cases) {
        useDevice(c.overrides);
        if (c.appLanguages) {
            UserDefaults::standardUserDefaults()->setObject(*c.appLanguages, "AppleLanguages");
        }
        EXPECT_EQ(OVgetCurrentLocale().localeIdentifier(), c.expected) << c.overrides[0];
    }
}

TEST_F(DeviceInputsTest, MissingBundleValuesAreWrittenAsNull) {
    ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(
        Value(Dictionary{{"CFBundleVersion", 230}}), m_home.bundle() + "/Info.plist"));
    Bundle::setMainBundlePath(m_home.bundle());
    RequestIdentityInputs in = RequestIdentityInputs::gather("WIFI");
    EXPECT_EQ(in.bundleName, std::nullopt);
    EXPECT_EQ(in.bundleVersion, "230");
    EXPECT_EQ(makeParameterBlock(in).find("app=(null)&v=230&"), 0u);
}

TEST_F(DeviceInputsTest, FirstGenerationModel) {
    struct Case {
        const char* machine;
        bool first;
    };
    const Case cases[] = {{"iPhone1,1", true},  {"IPHONE1,1", true}, {"iPod1,1", true},
                          {"iPhone1,2", false}, {"iPod2,1", false},  {"x86_64", false}};
    for (const Case& c : cases) {
        useDevice({std::string("machine=") + c.machine});
        EXPECT_EQ(specificMachineModel(), c.machine);
        LogCapture log;
        EXPECT_EQ(OVUtils::isFirstGenerationModel(), c.first) << c.machine;
        std::vector<std::string> expected;
        if (c.first) {
            std::string lower = c.machine;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            expected.push_back("isFirstGenerationModel:" + lower);
        }
        EXPECT_EQ(log.messages(), expected) << c.machine;
    }
}

TEST_F(DeviceInputsTest, DocumentPaths) {
    const std::string documents = m_home.home() + "/Documents";
    EXPECT_EQ(OVUtils::fullPathInDocumentDirectory("notes.txt"), documents + "/notes.txt");
    EXPECT_EQ(OVUtils::fullPathInDocumentDirectory("a/b"), documents + "/a/b");
    EXPECT_EQ(OVUtils::fullPathInDocumentDirectory("/x"), documents + "/x");
    EXPECT_EQ(OVUtils::fullPathInDocumentDirectory(""), documents);
}

TEST(DeviceFactsTest, Md5HexHash) {
    EXPECT_EQ(OVUtils::md5HexHashOfString(std::nullopt), std::nullopt);
    EXPECT_EQ(OVUtils::md5HexHashOfString(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(OVUtils::md5HexHashOfString("hello"), "5d41402abc4b2a76b9719d911017c592");
    EXPECT_EQ(OVUtils::md5HexHashOfString("The quick brown fox jumps over the lazy dog"),
              "9e107d9d372bb6826bd81d3542a419d6");
    std::regex hex("[0-9a-f]{32}");
    for (const char* text : {"\xE4\xBD\xA0\xE5\xA5\xBD", "http://h/p?a=1", " "}) {
        std::optional<std::string> digest = OVUtils::md5HexHashOfString(text);
        ASSERT_TRUE(digest);
        EXPECT_TRUE(std::regex_match(*digest, hex)) << text;
    }
}

TEST_F(DeviceInputsTest, DecryptsWithThePerDeviceKey) {
    const std::string id = "0123456789abcdef0123456789abcdef01234567";
    useDevice({"uniqueIdentifier=" + id});
    // md5(id) = 16 hex digits A, 16 hex digits B; key text B + "_" + A in Base64.
    const std::string digest = md5Hex(id);
    const std::string key = base64Encode(digest.substr(16) + "_" + digest.substr(0, 16)).substr(0, 32);
    EXPECT_EQ(OVUtils::deviceDecryptionKey(id), key);
    EXPECT_EQ(key.size(), 32u);

    for (const std::string& plain : {std::string(), std::string("secret"), std::string(100, 'x')}) {
        auto encrypted = aes256Encrypt(Data(plain.begin(), plain.end()), key, AesMode::Cbc);
        ASSERT_TRUE(encrypted);
        EXPECT_EQ(OVUtils::dataByDecryptingBase64Data(*encrypted), Data(plain.begin(), plain.end())) << plain;
    }
    // Another device's data, or bytes that are not a cipher text at all.
    auto foreign = aes256Encrypt(Data{1, 2, 3}, OVUtils::deviceDecryptionKey("other"), AesMode::Cbc);
    ASSERT_TRUE(foreign);
    auto wrong = OVUtils::dataByDecryptingBase64Data(*foreign);
    EXPECT_NE(wrong, std::optional<Data>(Data{1, 2, 3}));
    EXPECT_EQ(OVUtils::dataByDecryptingBase64Data(Data{1, 2, 3}), std::nullopt);
}

TEST(DeviceFactsTest, JailbreakMarkers) {
    struct Case {
        const char* make; // folder to create below the root, or nothing
        bool jailBroken;
    };
    const Case cases[] = {{nullptr, false},
                          {"/Applications/Cydia.app", true},
                          {"/private/var/lib/apt", true},
                          {"/private/var/lib", false},
                          {"/Applications/Other.app", false}};
    for (const Case& c : cases) {
        test::TemporaryDirectory root;
        if (c.make) {
            ASSERT_TRUE(fs::createDirectories(root.path() + c.make));
        }
        EXPECT_EQ(OVUtils::jailbreakMarkersExistBelow(root.path()), c.jailBroken) << (c.make ? c.make : "-");
    }
    // This machine is not a phone, let alone a jailbroken one.
    EXPECT_FALSE(OVUtils::isJailBroken());
}

} // namespace
