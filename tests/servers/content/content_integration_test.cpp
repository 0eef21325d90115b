// The content server over real HTTP: pages, posting routes and their
// validation, escaping, the session cookie, share links as the application
// decodes them, concurrency and durability.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <set>
#include <thread>

#include "platform/core/Clock.h"
#include "servers/content/ContentStore.h"
#include "servers/http/Json.h"
#include "servers/store/Database.h"
#include "servers/store/Schema.h"
#include "tests/servers/server_test_support.h"

using namespace murmelo;
using namespace murmelo::servers;
using namespace murmelo::servers::test;

namespace {

std::string formEncode(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", c);
            out += buffer;
        }
    }
    return out;
}

std::string secretForm(std::string_view text) {
    return "Secret%5Bcontent%5D=" + formEncode(text) + "&Secret%5BappName%5D=MurmeloIP";
}

std::string commentForm(std::string_view secretId, std::string_view text) {
    return "Comment%5Bcontent%5D=" + formEncode(text) + "&Comment%5Bsecret_id%5D=" + std::string(secretId) +
           "&Comment%5BappName%5D=MurmeloIP";
}

struct JsonReply {
    long long code = 0;
    std::string msg;
    long long id = 0;
};

JsonReply readJson(const Reply& reply) {
    auto value = parseJson(reply.body);
    EXPECT_TRUE(value) << reply.body;
    JsonReply out;
    if (value) {
        out.code = value->find("code") ? value->find("code")->integerValue() : 0;
        out.msg = value->find("msg") ? value->find("msg")->stringValue() : "";
        out.id = value->find("id") ? value->find("id")->integerValue() : 0;
    }
    return out;
}

std::string htmlUnescape(std::string text) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, plain] : entities) {
        for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
            text.replace(at, std::strlen(entity), plain);
        }
    }
    return text;
}

std::vector<std::string> hrefs(const std::string& html) {
    std::vector<std::string> out;
    std::regex pattern(R"re((?:href|action)="([^"]*)")re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), pattern); it != std::sregex_iterator();
         ++it) {
        out.push_back(htmlUnescape((*it)[1].str()));
    }
    return out;
}

// The application's reading of a link, copied faithfully: the whole address
// percent-unescaped once as UTF-8, the parameter block appended, then the
// query parser that splits at every "&" and takes no further unescaping.
std::string legacyUnescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> urlParserValue(const std::string& url, const std::string& name) {
    auto question = url.find('?');
    if (question == std::string::npos) {
        return std::nullopt;
    }
    std::string query = url.substr(question + 1);
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        std::string item = query.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (item.rfind(name + "=", 0) == 0) {
            std::string value = item.substr(name.size() + 1);
            return value.empty() ? std::nullopt : std::optional<std::string>(value);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return std::nullopt;
}

const char* kParameterBlock = "app=Murmelo&v=1.0&lang=en&jb=0&deviceid=0123456789abcdef&phonetype=iphone";

std::string appView(const std::string& relativeLink) {
    std::string u = legacyUnescape("http://secrets.murmelo.example/" + relativeLink);
    return u + (u.find('?') == std::string::npos ? "?" : "&") + kParameterBlock;
}

const std::vector<std::string> kActionWords = {"shareToiPhoneFT", "opennew", "comment", "closenew"};

bool hasActionWord(const std::string& address) {
    for (const std::string& word : kActionWords) {
        if (address.find(word) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class ContentServerTest : public ServersFixture, public ::testing::WithParamInterface<Store> {
protected:
    void SetUp() override {
        MURMELO_FRESH_STORE(GetParam(), store);
        ServersFixture::SetUp();
    }

    long long postSecret(const std::string& text) {
        Reply reply = client->post(content("index.php?r=secret/create"), secretForm(text));
        EXPECT_EQ(reply.status, 200) << reply.error;
        JsonReply json = readJson(reply);
        EXPECT_EQ(json.code, 200) << json.msg;
        return json.id;
    }
};

} // namespace

TEST_P(ContentServerTest, PagesAnswerWithTheirContent) {
    long long id = postSecret("the first secret");
    std::string sid = std::to_string(id);
    struct Row {
        std::string path;
        long status;
        std::string expected;
    };
    const Row rows[] = {
        {"index.php", 200, "the first secret"},
        {"index.php?" + std::string(kParameterBlock), 200, "function gotoNextPage()"},
        {"index.php", 200, "function search(text)"},
        {"", 200, "Secret pool"},
        {"index.php?r=secret/list&page=2", 200, "Secret pool"},
        {"index.php?r=secret/create&" + std::string(kParameterBlock), 200, "name=\"Secret[content]\""},
        {"index.php?r=secret/comments&secret_id=" + sid, 200, "name=\"Comment[secret_id]\" value=\"" + sid},
        {"index.php?r=secret/single&secret_id=" + sid, 200, "the first secret"},
        {"index.php?r=secret/search&q=first", 200, "the first secret"},
        {"index.php?r=secret/search&qx=6669727374", 200, "the first secret"}, // "first"
        {"index.php?r=secret/single&secret_id=999999", 404, "does not exist"},
        {"index.php?r=secret/comments&secret_id=abc", 404, "does not exist"},
        {"index.php?r=secret/comments", 404, "does not exist"},
        {"index.php?r=no/such", 404, "no such page"},
        {"other.php", 404, "no such page"},
        {"index.php?r=secret/search&qx=zz", 400, "could not be read"},
    };
    for (const Row& row : rows) {
        Reply reply = client->get(content(row.path));
        EXPECT_EQ(reply.status, row.status) << row.path << " " << reply.error;
        EXPECT_NE(reply.body.find(row.expected), std::string::npos) << row.path << "\n" << reply.body;
        EXPECT_EQ(reply.header("content-type"), "text/html; charset=utf-8") << row.path;
    }
}

TEST_P(ContentServerTest, NativePostsAreValidatedAndAnsweredInJson) {
    long long existing = postSecret("a secret to comment on");
    std::string sid = std::to_string(existing);
    std::string cjk1000, cjk1001;
    for (int i = 0; i < 1000; ++i) {
        cjk1000 += "秘";
    }
    cjk1001 = cjk1000 + "密";
    struct Row {
        const char* name;
        std::string route;
        std::string body;
        std::string contentType;
        long long code;
        const char* msgFragment;
    };
    const std::string form = "application/x-www-form-urlencoded";
    const std::string secretRoute = "index.php?r=secret/create";
    const std::string commentRoute = "index.php?r=comment/create";
    const Row rows[] = {
        {"plain secret", secretRoute, secretForm("I like rain"), form, 200, "secret is out"},
        {"raw brackets", secretRoute, "Secret[content]=raw+brackets&Secret[appName]=MurmeloIP", form, 200,
         "out"},
        {"1000 characters", secretRoute, secretForm(cjk1000), form, 200, "out"},
        {"1001 characters", secretRoute, secretForm(cjk1001), form, 413, "too long"},
        {"empty", secretRoute, secretForm(""), form, 400, "write your secret"},
        {"blanks only", secretRoute, secretForm(" \t\r\n \xE3\x80\x80\xC2\xA0"), form, 400,
         "write your secret"},
        {"field missing", secretRoute, "Secret%5BappName%5D=MurmeloIP", form, 400, "write your secret"},
        {"bad escape", secretRoute, "Secret%5Bcontent%5D=%ZZ", form, 400, "could not be read"},
        {"cut escape", secretRoute, "Secret%5Bcontent%5D=abc%4", form, 400, "could not be read"},
        {"not UTF-8", secretRoute, "Secret%5Bcontent%5D=%FF%FE", form, 400, "could not be read"},
        {"plain text body", secretRoute, "hello", "text/plain", 400, "could not be read"},
        {"long app name", secretRoute, "Secret%5Bcontent%5D=x&Secret%5BappName%5D=" + std::string(65, 'a'),
         form, 400, "application name"},
        {"multipart", secretRoute,
         "--XyZ\r\nContent-Disposition: form-data; name=\"Secret[content]\"\r\n\r\nfrom a multipart form\r\n"
         "--XyZ\r\nContent-Disposition: form-data; name=\"Secret[appName]\"\r\n\r\nMurmeloIP\r\n--XyZ--\r\n",
         "multipart/form-data; boundary=XyZ", 200, "out"},
        {"multipart cut short", secretRoute,
         "--XyZ\r\nContent-Disposition: form-data; name=\"Secret[content]\"\r\n\r\nhalf\r\n--XyZ\r\n",
         "multipart/form-data; boundary=XyZ", 400, "could not be read"},
        {"comment", commentRoute, commentForm(sid, "me too"), form, 200, "comment is posted"},
        {"comment unknown secret", commentRoute, commentForm("999999", "hello"), form, 404, "does not exist"},
        {"comment bad id", commentRoute, commentForm("12abc", "hello"), form, 404, "does not exist"},
        {"comment without id", commentRoute, "Comment%5Bcontent%5D=hi", form, 404, "does not exist"},
        {"comment empty", commentRoute, commentForm(sid, "   "), form, 400, "write your comment"},
        {"comment too long", commentRoute, commentForm(sid, std::string(501, 'x')), form, 413, "too long"},
        {"tab and line breaks", secretRoute, secretForm("one\ttwo\r\nthree"), form, 200, "out"},
        {"NUL", secretRoute, secretForm(std::string("a\0b", 3)), form, 400, "control characters"},
        {"NUL at the end", secretRoute, secretForm(std::string("ab\0", 3)), form, 400, "control characters"},
        {"escape", secretRoute, secretForm("red \x1b[31m"), form, 400, "control characters"},
        {"bell", secretRoute, secretForm("ding\x07"), form, 400, "control characters"},
        {"DEL", secretRoute, secretForm("x\x7fy"), form, 400, "control characters"},
        {"NUL in multipart", secretRoute,
         "--XyZ\r\nContent-Disposition: form-data; name=\"Secret[content]\"\r\n\r\na" + std::string(1, '\0') +
             "b\r\n--XyZ--\r\n",
         "multipart/form-data; boundary=XyZ", 400, "control characters"},
        {"NUL in the application name", secretRoute, "Secret%5Bcontent%5D=x&Secret%5BappName%5D=a%00", form,
         400, "control characters"},
        {"NUL in the device id", secretRoute, "Secret%5Bcontent%5D=x&Secret%5Bdeviceid%5D=%01", form, 400,
         "device id"},
        {"comment NUL", commentRoute, commentForm(sid, std::string("a\0", 2)), form, 400,
         "control characters"},
        {"comment vertical tab", commentRoute, commentForm(sid, "a\vb"), form, 400, "control characters"},
    };
    for (const Row& row : rows) {
        long long before = *servers->contentStore().secretCount() + *servers->contentStore().commentCount();
        Reply reply = client->post(content(row.route), row.body, row.contentType);
        // HTTP 200 even for a refusal: the application shows "msg" only then.
        EXPECT_EQ(reply.status, 200) << row.name << " " << reply.error;
        EXPECT_EQ(reply.header("content-type"), "application/json; charset=utf-8") << row.name;
        JsonReply json = readJson(reply);
        EXPECT_EQ(json.code, row.code) << row.name << ": " << reply.body;
        EXPECT_NE(json.msg.find(row.msgFragment), std::string::npos) << row.name << ": " << json.msg;
        long long after = *servers->contentStore().secretCount() + *servers->contentStore().commentCount();
        EXPECT_EQ(after - before, row.code == 200 ? 1 : 0) << row.name;
    }
    // Stored trimmed, and comments land on their secret.
    auto comments = servers->contentStore().comments(existing);
    ASSERT_TRUE(comments);
    ASSERT_EQ(comments->size(), 1u);
    EXPECT_EQ((*comments)[0].content, "me too");
    EXPECT_EQ((*comments)[0].appName, "MurmeloIP");
}

TEST_P(ContentServerTest, PageFormsGetPagesBack) {
    Reply posted =
        client->post(content("index.php?r=secret/create"),
                     "Secret%5Bcontent%5D=from+the+page&Secret%5BappName%5D=MurmeloWeb&reply=page");
    EXPECT_EQ(posted.status, 200);
    EXPECT_NE(posted.body.find("Your secret is out"), std::string::npos) << posted.body;
    EXPECT_EQ(posted.header("content-type"), "text/html; charset=utf-8");

    Reply refused = client->post(content("index.php?r=secret/create"),
                                 "Secret%5Bcontent%5D=%20%20&Secret%5BappName%5D=MurmeloWeb&reply=page");
    EXPECT_NE(refused.body.find("class=\"error\""), std::string::npos) << refused.body;
    EXPECT_NE(refused.body.find("name=\"Secret[content]\""), std::string::npos);

    auto page = servers->contentStore().newest(1, 20);
    ASSERT_TRUE(page);
    ASSERT_EQ(page->secrets.size(), 1u);
    std::string sid = std::to_string(page->secrets[0].id);
    Reply commented = client->post(content("index.php?r=comment/create"),
                                   commentForm(sid, "a <b>bold</b> reply") + "&reply=page");
    EXPECT_EQ(commented.status, 200);
    EXPECT_NE(commented.body.find("Your comment is posted"), std::string::npos);
    EXPECT_NE(commented.body.find("a &lt;b&gt;bold&lt;/b&gt; reply"), std::string::npos) << commented.body;
    Reply tooLong = client->post(content("index.php?r=comment/create"),
                                 commentForm(sid, std::string(600, 'y') + "<i>") + "&reply=page");
    EXPECT_NE(tooLong.body.find("too long"), std::string::npos);
    // The draft comes back, escaped, so nothing typed is lost.
    EXPECT_NE(tooLong.body.find(std::string(600, 'y') + "&lt;i&gt;</textarea>"), std::string::npos);
}

TEST_P(ContentServerTest, UserTextIsEscapedOnEveryPage) {
    const std::string attack = "<script>alert(1)</script>\"'&";
    long long id = postSecret(attack);
    std::string sid = std::to_string(id);
    Reply commented = client->post(content("index.php?r=comment/create"), commentForm(sid, attack));
    EXPECT_EQ(readJson(commented).code, 200);
    const std::string escaped = "&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;&amp;";
    for (const std::string& path : {std::string("index.php"), "index.php?r=secret/single&secret_id=" + sid,
                                    "index.php?r=secret/comments&secret_id=" + sid,
                                    "index.php?r=secret/search&q=" + formEncode("<script>")}) {
        Reply reply = client->get(content(path));
        EXPECT_EQ(reply.body.find("<script>alert"), std::string::npos) << path;
        EXPECT_NE(reply.body.find(escaped), std::string::npos) << path << "\n" << reply.body;
    }
}

TEST_P(ContentServerTest, SearchTextIsLiteral) {
    postSecret("100% sure");
    postSecret("snake_case names");
    postSecret("Plain Words");
    // Written before posts were checked for control characters. PostgreSQL
    // text cannot hold a zero byte: there it is refused, never cut short.
    NewSecret old{std::string("old\0zero", 8), "seed", std::nullopt, ""};
    bool zeroStored = GetParam() == Store::Sqlite;
    ASSERT_EQ(static_cast<bool>(servers->contentStore().addSecret(old, 0)), zeroStored);
    struct Row {
        const char* name;
        std::string search; // a query of the search address
        std::vector<std::string> found;
    };
    const Row rows[] = {
        {"NUL", "q=%00", {"old"}},
        {"NUL, hex", "qx=00", {"old"}},
        {"NUL between letters", "q=d%00z", {"old"}},
        {"NUL elsewhere", "q=plain%00", {}},
        {"percent", "q=%25", {"100% sure"}},
        {"underscore", "q=_", {"snake_case"}},
        {"percent and underscore", "q=%25_", {}},
        {"backslash", "q=%5C", {}},
        {"any case", "q=pLAIN", {"Plain Words"}},
    };
    const std::vector<std::string> all = {"100% sure", "snake_case", "Plain Words", "old"};
    for (const Row& row : rows) {
        Reply reply = client->get(content("index.php?r=secret/search&" + row.search));
        EXPECT_EQ(reply.status, 200) << row.name;
        for (const std::string& text : all) {
            bool expected = std::find(row.found.begin(), row.found.end(), text) != row.found.end() &&
                            (text != "old" || zeroStored);
            EXPECT_EQ(reply.body.find(text + (text == "old" ? "\xEF\xBF\xBD" : "")) != std::string::npos,
                      expected)
                << row.name << ": " << text;
        }
        EXPECT_EQ(reply.body.find('\0'), std::string::npos) << row.name;
    }
    // No page carries a control character raw, whatever was stored.
    Reply pool = client->get(content("index.php"));
    EXPECT_EQ(pool.body.find("old\xEF\xBF\xBDzero") != std::string::npos, zeroStored);
    EXPECT_EQ(pool.body.find('\0'), std::string::npos);
}

TEST_P(ContentServerTest, SessionCookieIsSetByPagesAndMarksWhatASessionPosted) {
    Reply first = client->get(content("index.php"));
    std::string cookie = first.header("set-cookie");
    EXPECT_EQ(cookie.rfind("MURMELO_SESSION=", 0), 0u) << cookie;
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    // The cookie store sends it back: no new cookie, and posts are recognised.
    long long mine = postSecret("posted with my cookie");
    Reply again = client->get(content("index.php"));
    EXPECT_EQ(again.header("set-cookie"), "");
    std::regex marked("id=\"s" + std::to_string(mine) + "\"[^\\n]*you told this");
    EXPECT_TRUE(std::regex_search(again.body, marked)) << again.body;

    // Another device sees the secret but not as its own.
    client->clearCookies();
    Reply stranger = client->get(content("index.php"));
    EXPECT_NE(stranger.header("set-cookie"), "");
    EXPECT_NE(stranger.body.find("posted with my cookie"), std::string::npos);
    EXPECT_EQ(stranger.body.find("you told this"), std::string::npos);

    // A forged or damaged cookie is replaced, not trusted.
    client->clearCookies();
    std::string forged = cookie.substr(0, cookie.find(';'));
    forged[forged.size() - 1] = forged.back() == '0' ? '1' : '0';
    Reply tampered = client->get(content("index.php"), {"Cookie: " + forged});
    EXPECT_NE(tampered.header("set-cookie"), "");
    EXPECT_EQ(tampered.body.find("you told this"), std::string::npos);
}

TEST_P(ContentServerTest, ShareLinksSurviveTheApplicationsDecoding) {
    struct Row {
        std::string text;
        std::string arrives; // what the share record receives
    };
    const Row rows[] = {
        {"plain words", "plain words"},
        {"salt & pepper", "salt \xEF\xBC\x86 pepper"}, // "&" would end the value: full-width ampersand
        {"100% sure, 50%25 off", "100% sure, 50%25 off"},
        {"naïve café 😀 秘密", "naïve café 😀 秘密"},
        {"line one\nline two", "line one\nline two"},
        {"a=b?c#d/e+f", "a=b?c#d/e+f"},
        {"secret_id=7 & content=x", "secret_id=7 \xEF\xBC\x86 content=x"},
        {"'single' \"double\" <angle>", "'single' \"double\" <angle>"},
        {"comment opennew closenew", "comment opennew closenew"},
    };
    for (const Row& row : rows) {
        long long id = postSecret(row.text);
        Reply pool = client->get(content("index.php"));
        std::string shareLink;
        for (const std::string& link : hrefs(pool.body)) {
            if (link.find("shareToiPhoneFT") != std::string::npos &&
                link.find("secret_id=" + std::to_string(id) + "&") != std::string::npos) {
                shareLink = link;
            }
        }
        ASSERT_FALSE(shareLink.empty()) << row.text;
        std::string seen = appView(shareLink);
        EXPECT_EQ(urlParserValue(seen, "secret_id"), std::to_string(id)) << shareLink;
        EXPECT_EQ(urlParserValue(seen, "content"), row.arrives) << shareLink;
        // The link also works outside the application: it opens the secret's page.
        Reply opened = client->get(content(shareLink));
        EXPECT_EQ(opened.status, 200) << shareLink;
    }
}

TEST_P(ContentServerTest, OnlyTheIntendedLinksCarryActionWords) {
    long long id = postSecret("a comment about opennew closenew and shareToiPhoneFT");
    for (int i = 0; i < 25; ++i) {
        postSecret("filler " + std::to_string(i));
    }
    std::string sid = std::to_string(id);
    const std::vector<std::string> pages = {"index.php",
                                            "index.php?page=2",
                                            "index.php?r=secret/search&q=comment",
                                            "index.php?r=secret/search&qx=" + std::string("636f6d6d656e74"),
                                            "index.php?r=secret/single&secret_id=" + sid,
                                            "index.php?r=secret/comments&secret_id=" + sid,
                                            "index.php?r=secret/create"};
    for (const std::string& path : pages) {
        Reply reply = client->get(content(path));
        ASSERT_EQ(reply.status, 200) << path;
        std::vector<std::string> links = hrefs(reply.body);
        ASSERT_FALSE(links.empty()) << path;
        for (const std::string& link : links) {
            std::string seen = legacyUnescape(link);
            bool share = link.find("shareToiPhoneFT") != std::string::npos;
            bool comments = link.find("r=secret/comments") != std::string::npos;
            bool back = link == "index.php?closenew=1";
            bool commentForm = link == "index.php?r=comment/create";
            if (share) {
                EXPECT_NE(link.find("secret_id="), std::string::npos) << link;
                EXPECT_NE(link.find("&content="), std::string::npos) << link;
            } else if (comments || commentForm) {
                EXPECT_NE(seen.find("comment"), std::string::npos) << link;
            } else if (back) {
                EXPECT_NE(path.find("r=secret/comments"), std::string::npos) << "back link on " << path;
            } else {
                // Paging, search, posting and pool links load in place.
                EXPECT_FALSE(hasActionWord(seen)) << path << " -> " << link;
            }
        }
    }
    // The comments page offers the way back, and the pool pages page.
    EXPECT_NE(client->get(content("index.php?r=secret/comments&secret_id=" + sid)).body.find("closenew"),
              std::string::npos);
    std::string pool = client->get(content("index.php")).body;
    EXPECT_NE(pool.find("var nextPage=\"index.php?page=2\""), std::string::npos);
}

TEST_P(ContentServerTest, PoolIsNewestFirstAndPaged) {
    std::vector<long long> ids;
    for (int i = 0; i < 45; ++i) {
        ids.push_back(postSecret("secret number " + std::to_string(i)));
    }
    struct Row {
        int page;
        size_t count;
        long long first;
        bool older;
    };
    const Row rows[] = {
        {1, 20, ids[44], true}, {2, 20, ids[24], true}, {3, 5, ids[4], false}, {4, 0, 0, false}};
    for (const Row& row : rows) {
        Reply reply = client->get(content("index.php?page=" + std::to_string(row.page)));
        std::regex item("<li class=\"secret\" id=\"s(\\d+)\"");
        std::vector<long long> shown;
        for (auto it = std::sregex_iterator(reply.body.begin(), reply.body.end(), item);
             it != std::sregex_iterator(); ++it) {
            shown.push_back(std::stoll((*it)[1].str()));
        }
        ASSERT_EQ(shown.size(), row.count) << "page " << row.page;
        if (row.count > 0) {
            EXPECT_EQ(shown.front(), row.first);
            EXPECT_TRUE(std::is_sorted(shown.rbegin(), shown.rend()));
        }
        EXPECT_EQ(reply.body.find("class=\"older\"") != std::string::npos, row.older) << "page " << row.page;
    }
}

TEST_P(ContentServerTest, PoolPageFollowsPostsCommentsAndTime) {
    long long first = postSecret("the first secret");
    client->clearCookies(); // a stranger's view, the one kept rendered
    auto pool = [&] { return client->get(content("index.php")).body; };
    std::string before = pool();
    ASSERT_NE(before.find("the first secret"), std::string::npos);
    EXPECT_EQ(pool(), before);

    // Each write shows on the very next read.
    postSecret("the second secret");
    EXPECT_NE(pool().find("the second secret"), std::string::npos);
    Reply comment =
        client->post(content("index.php?r=comment/create"), commentForm(std::to_string(first), "a comment"));
    EXPECT_EQ(readJson(comment).code, 200);
    std::regex counted("id=\"s" + std::to_string(first) + "\"[^\\n]*1 comment<");
    EXPECT_TRUE(std::regex_search(pool(), counted));

    // Ages move on although nothing was posted.
    EXPECT_EQ(pool().find("minutes ago"), std::string::npos);
    Clock::shiftWallClock(150);
    std::string later = pool();
    Clock::resetWallClockShift();
    EXPECT_NE(later.find("2 minutes ago"), std::string::npos) << later;
}

TEST_P(ContentServerTest, ConcurrentPostsAreAllStoredOnce) {
    constexpr int kThreads = 8;
    constexpr int kPerThread = 25;
    std::vector<std::vector<long long>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Client own(servers->port());
            for (int i = 0; i < kPerThread; ++i) {
                Reply reply =
                    own.post(content("index.php?r=secret/create"),
                             secretForm("thread " + std::to_string(t) + " post " + std::to_string(i)));
                auto value = parseJson(reply.body);
                if (value && value->find("id")) {
                    ids[t].push_back(value->find("id")->integerValue());
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::set<long long> unique;
    for (const auto& list : ids) {
        EXPECT_EQ(list.size(), static_cast<size_t>(kPerThread));
        unique.insert(list.begin(), list.end());
    }
    EXPECT_EQ(unique.size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_EQ(*servers->contentStore().secretCount(), kThreads * kPerThread);
}

TEST_P(ContentServerTest, SeedFillsOnlyAnEmptyPool) {
    startServers(ServerConfig::defaults(), true);
    long long seeded = *servers->contentStore().secretCount();
    EXPECT_GE(seeded, 10);
    EXPECT_GT(*servers->contentStore().commentCount(), 0);
    startServers(ServerConfig::defaults(), true); // a restart with --seed adds nothing
    EXPECT_EQ(*servers->contentStore().secretCount(), seeded);
}

INSTANTIATE_TEST_SUITE_P(Stores, ContentServerTest, ::testing::ValuesIn(kStores), storeName);

class ContentDurability : public ::testing::TestWithParam<Store> {};
INSTANTIATE_TEST_SUITE_P(Stores, ContentDurability, ::testing::ValuesIn(kStores), storeName);

// An acknowledged post survives the server being killed right after its reply.
TEST_P(ContentDurability, AcknowledgedPostsSurviveKill9) {
    std::string store;
    MURMELO_FRESH_STORE(GetParam(), store);
    murmelo::test::TemporaryDirectory directory;
    std::string dataDirectory = directory.path() + "/data";
    ReferenceServers::Options childOptions;
    childOptions.dataDirectory = dataDirectory;
    childOptions.store = store;
    childOptions.logRequests = false;
    childOptions.http.workerThreads = 4;
    ServerProcess child(childOptions);
    const int port = child.port();
    ASSERT_GT(port, 0) << "child server did not start";

    std::vector<long long> acknowledged;
    {
        Client client(port);
        for (int i = 0; i < 20; ++i) {
            Reply reply = client.post("http://secrets.murmelo.example/index.php?r=secret/create",
                                      secretForm("durable " + std::to_string(i)));
            auto value = parseJson(reply.body);
            ASSERT_TRUE(value && value->find("code") && value->find("code")->integerValue() == 200)
                << reply.body;
            acknowledged.push_back(value->find("id")->integerValue());
        }
    }
    const std::optional<int> status = child.kill9();
    ASSERT_TRUE(status.has_value());
    ASSERT_TRUE(WIFSIGNALED(*status));

    ReferenceServers::Options options;
    options.dataDirectory = dataDirectory;
    options.store = store;
    options.logRequests = false;
    auto restarted = ReferenceServers::start(options);
    ASSERT_TRUE(restarted) << restarted.error().localizedDescription();
    for (size_t i = 0; i < acknowledged.size(); ++i) {
        auto secret = (*restarted)->contentStore().secret(acknowledged[i]);
        ASSERT_TRUE(secret && *secret) << acknowledged[i];
        EXPECT_EQ((**secret).content, "durable " + std::to_string(i));
    }
    Client client((*restarted)->port());
    EXPECT_NE(client.get("http://secrets.murmelo.example/index.php").body.find("durable 19"),
              std::string::npos);
}
