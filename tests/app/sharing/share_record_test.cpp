// ShareFTObj: the single instance, its defaults, and the Facebook attachment
// text, read back with the app's JSON reader.
#include <gtest/gtest.h>

#include <string>

#include "app/json/KQJSON.h"
#include "app/product/Constants.h"
#include "app/sharing/ShareFTObj.h"

using namespace murmelo;

namespace {

// Every field as it was before the test, put back after it: the record is
// one per process and tests may run in one process.
class ShareRecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        ShareFTObj& r = ShareFTObj::sharedShareFTObj();
        m_saved = {r.title(),   r.titlelink(),     r.caption(), r.maincontent(),
                   r.itemUrl(), r.imageFullPath(), r.appName(), r.appLink()};
        m_savedFacebook = r.facebooklink();
    }
    void TearDown() override {
        ShareFTObj& r = ShareFTObj::sharedShareFTObj();
        r.setTitle(m_saved[0]);
        r.setTitlelink(m_saved[1]);
        r.setCaption(m_saved[2]);
        r.setMaincontent(m_saved[3]);
        r.setItemUrl(m_saved[4]);
        r.setImageFullPath(m_saved[5]);
        r.setAppName(m_saved[6]);
        r.setAppLink(m_saved[7]);
        r.setFacebooklink(m_savedFacebook);
    }
    static Value attachment() {
        std::optional<std::string> text = ShareFTObj::sharedShareFTObj().getFacebookString();
        EXPECT_TRUE(text);
        std::optional<Value> parsed = text ? JSONValue(*text) : std::nullopt;
        EXPECT_TRUE(parsed) << (text ? *text : "");
        return parsed ? *parsed : Value();
    }
    static const Value& member(const Value& object, const std::string& path) {
        static const Value missing;
        const Value* at = &object;
        size_t start = 0;
        while (start <= path.size()) {
            size_t dot = path.find('|', start);
            std::string name = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            at = at->find(name);
            if (!at) {
                return missing;
            }
            if (dot == std::string::npos) {
                break;
            }
            start = dot + 1;
        }
        return *at;
    }

    std::vector<std::string> m_saved;
    std::optional<std::string> m_savedFacebook;
};

// Outside string literals there is no white space, and inside them every
// "/" is escaped.
void expectCompact(const std::string& text) {
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            } else {
                EXPECT_NE(c, '/') << "unescaped slash at " << i << " in " << text;
            }
        } else if (c == '"') {
            inString = true;
        } else {
            EXPECT_FALSE(c == ' ' || c == '\n' || c == '\t' || c == '\r') << "white space at " << i;
        }
    }
}

TEST(ShareRecordSingleInstanceTest, FirstAllocationCreatesLaterOnesGiveNothing) {
    // In a fresh process, so that this really is the first allocation.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ShareFTObj* first = ShareFTObj::alloc();
            ShareFTObj* second = ShareFTObj::alloc();
            bool ok = first && !second && first == &ShareFTObj::sharedShareFTObj() &&
                      &ShareFTObj::sharedShareFTObj() == &ShareFTObj::sharedShareFTObj();
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            ShareFTObj& shared = ShareFTObj::sharedShareFTObj();
            bool ok = ShareFTObj::alloc() == nullptr && &shared == &ShareFTObj::sharedShareFTObj();
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ShareRecordDefaultsTest, StartsFromTheProductConstants) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ShareFTObj& r = ShareFTObj::sharedShareFTObj();
            bool ok = r.title() == Constant_sharedTitle && r.titlelink() == Constant_sharedTitleLink &&
                      r.caption() == Constant_sharedCaption && r.maincontent().empty() &&
                      r.itemUrl() == Constant_sharedAppShortUrl &&
                      r.facebooklink() == std::string(Constant_sharedAppFacebookUrl) &&
                      r.imageFullPath() == Constant_sharedCoverLink &&
                      r.appName() == Constant_sharedAppName && r.appLink() == Constant_sharedAppShortUrl;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(ShareRecordTest, AttachmentHasEveryMember) {
    ShareFTObj& r = ShareFTObj::sharedShareFTObj();
    r.setTitle("Murmelo");
    r.setTitlelink("http://m.example/t");
    r.setCaption("tell the world a secret then you will feel better!");
    r.setMaincontent("");
    r.setAppName("Murmelo");
    r.setAppLink("http://m.example/app");
    r.setFacebooklink("http://apps.facebook.example/murmelo/");
    r.setImageFullPath("http://img.example/cover.png");

    std::optional<std::string> text = r.getFacebookString();
    ASSERT_TRUE(text);
    expectCompact(*text);
    EXPECT_EQ(text->rfind(R"({"name":"Murmelo","href":"http:\/\/m.example\/t","caption":)", 0), 0u) << *text;
    EXPECT_NE(text->find(R"("description":"")"), std::string::npos);

    Value parsed = attachment();
    const Value expected(Dictionary{
        {"name", "Murmelo"},
        {"href", "http://m.example/t"},
        {"caption", "tell the world a secret then you will feel better!"},
        {"description", ""},
        {"properties",
         Value(Dictionary{
             {"app store link:",
              Value(Dictionary{{"text", "Get Murmelo Now"}, {"href", "http://m.example/app"}})},
             {"Visit Murmelo for more",
              Value(Dictionary{{"text", "Go!"}, {"href", "http://apps.facebook.example/murmelo/"}})},
         })},
        {"media", Value(Array{Value(Dictionary{{"type", "image"},
                                               {"src", "http://img.example/cover.png"},
                                               {"href", "http://m.example/app"}})})},
    });
    EXPECT_EQ(parsed, expected) << parsed.debugDescription();
}

TEST_F(ShareRecordTest, SecretTextIsEscapedAndReadsBack) {
    struct Case {
        std::string secret;
        std::string written; // how it stands in the text
    };
    const Case cases[] = {
        {"say \"hi\"", R"("description":"say \"hi\"")"},
        {"a\\b", R"("description":"a\\b")"},
        {"1/2", R"("description":"1\/2")"},
        {"line\nbreak\r", R"("description":"line\nbreak\r")"},
        {"tab\there", R"("description":"tab\there")"},
        {"\xE7\xA7\x98\xE5\xAF\x86", "\"description\":\"\xE7\xA7\x98\xE5\xAF\x86\""},
        {"", R"("description":"")"},
    };
    for (const Case& c : cases) {
        ShareFTObj::sharedShareFTObj().setMaincontent(c.secret);
        std::optional<std::string> text = ShareFTObj::sharedShareFTObj().getFacebookString();
        ASSERT_TRUE(text);
        EXPECT_NE(text->find(c.written), std::string::npos) << *text;
        EXPECT_EQ(member(attachment(), "description"), Value(c.secret)) << c.secret;
    }
}

TEST_F(ShareRecordTest, FacebookLinkIsOptional) {
    ShareFTObj& r = ShareFTObj::sharedShareFTObj();
    r.setAppName("Murmelo");
    r.setFacebooklink(std::nullopt);
    Value parsed = attachment();
    const Value* properties = parsed.find("properties");
    ASSERT_NE(properties, nullptr);
    ASSERT_TRUE(properties->isDictionary());
    EXPECT_EQ(properties->asDictionary()->keys(), std::vector<std::string>{"app store link:"});

    r.setFacebooklink("http://fb.example/p/");
    parsed = attachment();
    properties = parsed.find("properties");
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(properties->asDictionary()->size(), 2u);
}

TEST_F(ShareRecordTest, AppNameFillsBothFormats) {
    ShareFTObj& r = ShareFTObj::sharedShareFTObj();
    r.setFacebooklink("http://fb.example/p/");
    for (const char* name : {"Murmelo", "Secret Box", "A/B \"q\""}) {
        r.setAppName(name);
        Value parsed = attachment();
        EXPECT_EQ(member(parsed, "properties|app store link:|text"),
                  Value(std::string("Get ") + name + " Now"));
        EXPECT_EQ(member(parsed, "properties|Visit " + std::string(name) + " for more|text"), Value("Go!"))
            << name;
    }
}

TEST_F(ShareRecordTest, TextThatIsNotUtf8GivesNothing) {
    // Such text cannot become JSON: nothing rather than broken text.
    ShareFTObj::sharedShareFTObj().setMaincontent("\xFF");
    EXPECT_EQ(ShareFTObj::sharedShareFTObj().getFacebookString(), std::nullopt);
}

} // namespace
