#include <gtest/gtest.h>

#include "platform/core/Log.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileSystem.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "platform/foundation/StringsFile.h"
#include "tests/platform/foundation/test_home.h"

using namespace murmelo;

namespace {

std::string utf16(const std::string& ascii, bool littleEndian) {
    std::string out = littleEndian ? std::string("\xFF\xFE", 2) : std::string("\xFE\xFF", 2);
    for (char c : ascii) {
        if (littleEndian) {
            out.push_back(c);
            out.push_back('\0');
        } else {
            out.push_back('\0');
            out.push_back(c);
        }
    }
    return out;
}

void put(const std::string& path, const std::string& contents) {
    ASSERT_TRUE(fs::createDirectories(fs::parentPath(path)));
    test::writeFile(path, contents);
}

} // namespace

TEST(StringsFile, ParsesThePlatformTextForm) {
    struct Case {
        const char* name;
        std::string text;
        StringsTable expected;
    } cases[] = {
        {"plain pair", R"("Send" = "Senden";)", {{"Send", "Senden"}}},
        {"comments",
         "/* title */\n\"a\" = \"b\"; // trailing\n// whole line\n\"c\"=\"d\";",
         {{"a", "b"}, {"c", "d"}}},
        {"escapes",
         R"("k" = "quote \" backslash \\ line\nTab\t apos \' end";)",
         {{"k", "quote \" backslash \\ line\nTab\t apos ' end"}}},
        {"unicode escapes", R"("k" = "\U00e4\U20AC \UD83D\UDE00 \101";)", {{"k", "ä€ 😀 A"}}},
        {"lone surrogate", R"("k" = "\UD83Dx";)", {{"k", "\xEF\xBF\xBDx"}}},
        {"key only", R"("Same";)", {{"Same", "Same"}}},
        {"unquoted words", "key_1 = value.2;", {{"key_1", "value.2"}}},
        {"braces", "{ \"a\" = \"b\"; }", {{"a", "b"}}},
        {"utf-8 text and bom", "\xEF\xBB\xBF\"Grüße\" = \"Saluti\";", {{"Grüße", "Saluti"}}},
        {"later duplicate wins", R"("a" = "1"; "a" = "2";)", {{"a", "2"}}},
        {"empty file", "", {}},
        {"raw newline in a string", "\"a\" = \"x\ny\";", {{"a", "x\ny"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto table = parseStringsFile(c.text);
        ASSERT_TRUE(table) << table.error().localizedDescription();
        EXPECT_EQ(*table, c.expected);
    }
}

TEST(StringsFile, ReadsUtf16AndPropertyLists) {
    for (bool little : {true, false}) {
        auto table = parseStringsFile(utf16("\"Hello\" = \"Hallo\";\n", little));
        ASSERT_TRUE(table) << table.error().localizedDescription();
        EXPECT_EQ(*table, (StringsTable{{"Hello", "Hallo"}}));
    }
    auto xml = PropertyListSerialization::dataWithPropertyList(Value(Dictionary{{"Hi", Value("Salut")}}),
                                                               PropertyListFormat::Xml);
    auto bin = PropertyListSerialization::dataWithPropertyList(Value(Dictionary{{"Hi", Value("Salut")}}),
                                                               PropertyListFormat::Binary);
    ASSERT_TRUE(xml && bin);
    for (const std::string& bytes : {*xml, *bin}) {
        auto table = parseStringsFile(bytes);
        ASSERT_TRUE(table) << table.error().localizedDescription();
        EXPECT_EQ(*table, (StringsTable{{"Hi", "Salut"}}));
    }
}

TEST(StringsFile, MalformedTablesNameTheLine) {
    struct Case {
        const char* name;
        std::string text;
        const char* fragment;
    } cases[] = {
        {"missing semicolon", "\"a\" = \"b\"\n\"c\" = \"d\";", "expected ';' after a value on line 2"},
        {"missing value", "\"a\" = ;", "expected a quoted string or a word on line 1"},
        {"unterminated string", "\n\n\"a\" = \"b;", "unterminated string"},
        {"unterminated comment", "/* never closed", "unterminated comment"},
        {"missing equals", "\"a\" \"b\";", "expected '=' or ';'"},
        {"unclosed brace", "{ \"a\" = \"b\";", "missing '}'"},
        {"invalid utf-8", "\"a\" = \"\xff\";", "neither UTF-8"},
        {"plist of numbers", "<plist><dict><key>a</key><integer>1</integer></dict></plist>", "not a string"},
        {"plist array", "<plist><array/></plist>", "not a dictionary"},
        {"empty unicode escape", R"("a" = "\Uzz";)", "without hexadecimal"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto table = parseStringsFile(c.text);
        ASSERT_FALSE(table);
        EXPECT_NE(table.error().localizedDescription().find(c.fragment), std::string::npos)
            << table.error().localizedDescription();
    }
}

class BundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string b = m_home.bundle();
        ASSERT_TRUE(fs::createDirectories(b));
        ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(
            Value(Dictionary{{"CFBundleName", Value("Murmelo")},
                             {"CFBundleDisplayName", Value("Murmelo Secrets")},
                             {"CFBundleVersion", Value("1.2")},
                             {"CFBundleShortVersionString", Value("1.2.0")},
                             {"CFBundleIdentifier", Value("org.example.murmelo")}}),
            b + "/Info.plist", PropertyListFormat::Binary));
        put(b + "/en.lproj/Localizable.strings", "\"Send\" = \"Send\";\n\"Cancel\" = \"Cancel\";\n");
        put(b + "/German.lproj/Localizable.strings", "\"Send\" = \"Senden\";\n");
        put(b + "/zh-Hans.lproj/Localizable.strings", utf16("\"Send\" = \"Fasong\";", true));
        put(b + "/fr.lproj/Other.strings", "\"Send\" = \"Envoyer\";");
        put(b + "/Base.lproj/Only.strings", "\"Send\" = \"base\";");
        put(b + "/Root.strings", "\"Send\" = \"root\";");
        put(b + "/pt.lproj/Localizable.strings", "this is not a strings table");
        put(b + "/icon.png", "png");
        put(b + "/icon@2x.png", "png2");
        put(b + "/logo@2x.png", "only2x");
        put(b + "/German.lproj/flag.png", "german flag");
        m_bundle = Bundle::bundleWithPath(b);
        ASSERT_TRUE(m_bundle);
    }

    test::TestHome m_home;
    std::shared_ptr<Bundle> m_bundle;
};

TEST_F(BundleTest, InfoDictionary) {
    EXPECT_EQ(m_bundle->objectForInfoDictionaryKey("CFBundleName"), Value("Murmelo"));
    EXPECT_EQ(m_bundle->objectForInfoDictionaryKey("CFBundleVersion"), Value("1.2"));
    EXPECT_FALSE(m_bundle->objectForInfoDictionaryKey("Missing"));
    EXPECT_EQ(m_bundle->bundleIdentifier(), "org.example.murmelo");
    EXPECT_EQ(m_bundle->developmentRegion(), "en");
    EXPECT_EQ(m_bundle->localizations(),
              (std::vector<std::string>{"Base", "German", "en", "fr", "pt", "zh-Hans"}));
    EXPECT_FALSE(Bundle::bundleWithPath(m_home.dir().file("nowhere")));
}

TEST_F(BundleTest, LocalizedStringFallbacks) {
    using Languages = std::vector<std::string>;
    struct Case {
        const char* name;
        std::string key;
        std::optional<std::string> value;
        std::optional<std::string> table;
        Languages languages;
        std::string expected;
    } cases[] = {
        {"first language wins", "Send", std::nullopt, std::nullopt, {"de", "en"}, "Senden"},
        {"order matters", "Send", std::nullopt, std::nullopt, {"en", "de"}, "Send"},
        {"legacy folder name", "Send", std::nullopt, std::nullopt, {"de-CH"}, "Senden"},
        {"script subtag, UTF-16 table", "Send", std::nullopt, std::nullopt, {"zh-Hans"}, "Fasong"},
        {"underscore form", "Send", std::nullopt, std::nullopt, {"zh_Hans"}, "Fasong"},
        {"unknown language falls to the development region",
         "Send",
         std::nullopt,
         std::nullopt,
         {"ko"},
         "Send"},
        {"missing key gives the key", "Nope", std::nullopt, std::nullopt, {"de"}, "Nope"},
        {"missing key gives the value", "Nope", "Fallback", std::nullopt, {"de"}, "Fallback"},
        {"empty value counts as none", "Nope", "", std::nullopt, {"de"}, "Nope"},
        {"table chosen, key missing there: no other language",
         "Cancel",
         std::nullopt,
         std::nullopt,
         {"de"},
         "Cancel"},
        {"empty table name is Localizable", "Send", std::nullopt, "", {"de"}, "Senden"},
        {"named table", "Send", std::nullopt, "Other", {"fr"}, "Envoyer"},
        {"named table missing in the language, found in Base", "Send", std::nullopt, "Only", {"de"}, "base"},
        {"table at the root", "Send", std::nullopt, "Root", {"de"}, "root"},
        {"table nowhere", "Send", "v", "Nowhere", {"de"}, "v"},
        {"unreadable table is skipped", "Send", std::nullopt, std::nullopt, {"pt", "de"}, "Senden"},
        {"table name may not climb out", "Send", "safe", "../outside", {"de"}, "safe"},
    };
    LogCapture log; // the damaged pt table is logged, not printed
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(m_bundle->localizedStringForKey(c.key, c.value, c.table, c.languages), c.expected);
    }
    EXPECT_TRUE(log.contains("pt.lproj/Localizable.strings"));
}

TEST_F(BundleTest, LanguagesComeFromTheUserDefaults) {
    Bundle::setMainBundlePath(m_home.bundle());
    auto main = Bundle::mainBundle();
    EXPECT_EQ(main->bundlePath(), m_home.bundle());
    auto defaults = UserDefaults::standardUserDefaults();
    ASSERT_TRUE(defaults->setObject(Value(Array{Value("de")}), "AppleLanguages"));
    EXPECT_EQ(main->localizedStringForKey("Send", std::nullopt, std::nullopt), "Senden");
    ASSERT_TRUE(defaults->setObject(Value(Array{Value("zh-Hans"), Value("de")}), "AppleLanguages"));
    EXPECT_EQ(main->localizedStringForKey("Send", std::nullopt, std::nullopt), "Fasong");
    EXPECT_EQ(main->pathForResource("flag", "png"), m_home.bundle() + "/German.lproj/flag.png");
}

TEST_F(BundleTest, ResourcePaths) {
    const std::string b = m_home.bundle();
    EXPECT_EQ(m_bundle->pathForResource("icon", "png"), b + "/icon.png");
    EXPECT_EQ(m_bundle->pathForResource("icon", ".png"), b + "/icon.png");
    EXPECT_EQ(m_bundle->pathForResource("icon.png", ""), b + "/icon.png");
    EXPECT_EQ(m_bundle->pathForResource("Info", "plist"), b + "/Info.plist");
    EXPECT_FALSE(m_bundle->pathForResource("missing", "png"));
    EXPECT_FALSE(m_bundle->pathForResource("../bundle/icon", "png"));

    struct Case {
        const char* name;
        double scale;
        std::optional<std::string> expected;
    } images[] = {
        {"icon", 1.0, b + "/icon.png"},        {"icon", 2.0, b + "/icon@2x.png"},
        {"icon.png", 2.0, b + "/icon@2x.png"}, {"logo", 1.0, b + "/logo@2x.png"},
        {"logo", 2.0, b + "/logo@2x.png"},     {"none", 2.0, std::nullopt},
    };
    for (const auto& c : images) {
        SCOPED_TRACE(std::string(c.name) + " @" + std::to_string(c.scale));
        EXPECT_EQ(m_bundle->pathForImageNamed(c.name, c.scale), c.expected);
    }
}
