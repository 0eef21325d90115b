// The third-party stand-ins over real HTTP: Twitter's status update, the
// link shortener, Facebook's login and post pages and its signed REST API.
#include <gtest/gtest.h>

#include <optional>
#include <regex>

#include "app/product/Constants.h"
#include "platform/foundation/Crypto.h"
#include "servers/http/Json.h"
#include "servers/store/Database.h"
#include "servers/thirdparty/FacebookStandIn.h"
#include "tests/servers/server_test_support.h"

using namespace murmelo;
using namespace murmelo::servers;
using namespace murmelo::servers::test;

namespace {

std::int64_t count(Database& database, const std::string& sql) {
    auto result = database.readInteger(sql);
    EXPECT_TRUE(result) << sql;
    return result ? *result : -1;
}

std::string basic(const std::string& user, const std::string& password) {
    return "Authorization: Basic " + base64Encode(user + ":" + password);
}

std::string element(const std::string& xml, const std::string& name) {
    std::smatch m;
    return std::regex_search(xml, m, std::regex("<" + name + ">([^<]*)</" + name + ">")) ? m[1].str() : "";
}

// The application's Facebook client's body: multipart, no closing boundary.
const std::string kBoundary = "3i2ndDfv2rTHiSisAbouNdArYfORhtTPEefj3q2f";
std::string facebookBody(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string body = "--" + kBoundary + "\r\n";
    for (const auto& [name, value] : fields) {
        body += "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n--" +
                kBoundary + "\r\n";
    }
    return body;
}

// The signature rule, written out independently of the server's code.
std::string sign(std::vector<std::pair<std::string, std::string>> fields, const std::string& secret) {
    std::sort(fields.begin(), fields.end(), [](const auto& a, const auto& b) {
        std::string x = a.first, y = b.first;
        std::transform(x.begin(), x.end(), x.begin(), ::tolower);
        std::transform(y.begin(), y.end(), y.begin(), ::tolower);
        return x < y;
    });
    std::string text;
    for (const auto& [name, value] : fields) {
        text += name + "=" + value;
    }
    return md5Hex(text + secret);
}

const std::string kApiKey(kFacebookApiKey);
const std::string kSecret(kFacebookApiSecret);
const std::string kRest = "http://api.facebook.example/restserver.php";
const std::string kMultipart = "multipart/form-data; boundary=" + kBoundary;

class FacebookTest : public ServersFixture {
protected:
    // Logs the demo user in through the login page; gives the auth token.
    std::string loginToken() {
        Reply reply = client->post("http://www.facebook.example/login.php",
                                   "api_key=" + kApiKey +
                                       "&next=fbconnect%3A%2F%2Fsuccess&fbconnect=1&"
                                       "connect_display=touch&email=demo%40murmelo.example&pass=secret123");
        EXPECT_EQ(reply.status, 302) << reply.body;
        std::string location = reply.header("location");
        EXPECT_EQ(location.rfind("fbconnect://success?auth_token=", 0), 0u) << location;
        return location.substr(location.find('=') + 1);
    }
    Reply getSession(const std::string& token, const std::string& secret = kSecret) {
        std::vector<std::pair<std::string, std::string>> fields = {{"auth_token", token},
                                                                   {"method", "facebook.auth.getSession"},
                                                                   {"api_key", kApiKey},
                                                                   {"v", "1.0"},
                                                                   {"format", "XML"}};
        fields.emplace_back("sig", sign(fields, secret));
        return client->post(kRest, facebookBody(fields), kMultipart, {"User-Agent: FacebookConnect"});
    }
};

} // namespace

using TwitterTest = ServersFixture;
using ShortenerTest = ServersFixture;

TEST_F(TwitterTest, ChallengesThenRecordsTheStatus) {
    const std::string url = "http://api.twitter.example/statuses/update.xml";
    const std::string form = "application/x-www-form-urlencoded";
    struct Row {
        const char* name;
        std::vector<std::string> headers;
        std::string body;
        long status;
        std::string recorded; // "" when nothing is recorded
    };
    const Row rows[] = {
        {"no credentials", {}, "status=hello world", 401, ""},
        {"wrong password", {basic("murmelo_demo", "nope")}, "status=hello world", 401, ""},
        {"unknown user", {basic("nobody", "secret123")}, "status=hello world", 401, ""},
        {"garbage credentials", {"Authorization: Basic !!!"}, "status=hello world", 401, ""},
        {"raw text as the app sends it",
         {basic("murmelo_demo", "secret123")},
         "status=mine  via Murmelo, http://shrt.example/murmelo & 100% more",
         200,
         "mine  via Murmelo, http://shrt.example/murmelo & 100% more"},
        {"encoded text",
         {basic("murmelo_demo", "secret123")},
         "status=caf%C3%A9+%26+tea&source=x",
         200,
         "café & tea"},
        {"over 140", {basic("murmelo_demo", "secret123")}, "status= " + std::string(141, 'a'), 403, ""},
        {"no status", {basic("murmelo_demo", "secret123")}, "text=hello", 403, ""},
    };
    for (const Row& row : rows) {
        std::int64_t before = count(servers->database(), "SELECT COUNT(*) FROM tweets");
        Reply reply = client->post(url, row.body, form, row.headers);
        EXPECT_EQ(reply.status, row.status) << row.name << "\n" << reply.body;
        if (row.status == 401) {
            EXPECT_EQ(reply.header("www-authenticate"), "Basic realm=\"Twitter API\"") << row.name;
        }
        EXPECT_EQ(count(servers->database(), "SELECT COUNT(*) FROM tweets") - before,
                  row.recorded.empty() ? 0 : 1)
            << row.name;
        if (!row.recorded.empty()) {
            EXPECT_EQ(element(reply.body, "text"), std::regex_replace(row.recorded, std::regex("&"), "&amp;"))
                << row.name;
            EXPECT_EQ(element(reply.body, "screen_name"), "murmelo_demo");
        }
    }
    // A client that answers the challenge, as the platform's connection does.
    Reply challenged = client->post(url, "status=first try", form);
    EXPECT_EQ(challenged.status, 401);
    Reply answered = client->post(url, "status=second try", form, {basic("murmelo_demo", "secret123")});
    EXPECT_EQ(answered.status, 200);
}

TEST_F(ShortenerTest, ShortensWithTheAccountAndFollowsBack) {
    const std::string login(kShortenerLogin), key(kShortenerApiKey);
    auto shorten = [&](const std::string& query) {
        return client->get("http://api.shrt.example/v3/shorten?" + query);
    };
    struct Row {
        std::string query;
        long status;
        std::string body; // "" for a short link
    };
    const std::string uri =
        "http%3A%2F%2Fsecrets.murmelo.example%2Findex.php%3Fr%3Dsecret%2Fsingle%26secret_id%3D7";
    const Row rows[] = {
        {"login=" + login + "&apiKey=" + key + "&uri=" + uri + "&format=txt", 200, ""},
        {"apiKey=" + key + "&uri=" + uri + "&format=txt", 500, "MISSING_ARG_LOGIN"},
        {"login=someone&apiKey=" + key + "&uri=" + uri + "&format=txt", 500, "INVALID_LOGIN"},
        {"login=" + login + "&uri=" + uri + "&format=txt", 500, "MISSING_ARG_APIKEY"},
        {"login=" + login + "&apiKey=R_0&uri=" + uri + "&format=txt", 500, "INVALID_APIKEY"},
        {"login=" + login + "&apiKey=" + key + "&format=txt", 500, "MISSING_ARG_URI"},
        {"login=" + login + "&apiKey=" + key + "&uri=ftp%3A%2F%2Fx&format=txt", 500, "INVALID_URI"},
    };
    std::string shortLink;
    for (const Row& row : rows) {
        Reply reply = shorten(row.query);
        EXPECT_EQ(reply.status, row.status) << row.query;
        if (row.body.empty()) {
            EXPECT_TRUE(std::regex_match(reply.body, std::regex("http://shrt\\.example/[A-Za-z0-9]{6}")))
                << reply.body;
            shortLink = reply.body;
        } else {
            EXPECT_EQ(reply.body, row.body);
        }
    }
    // The same long link always gets the same short one, and it leads back.
    EXPECT_EQ(shorten(rows[0].query).body, shortLink);
    Reply followed = client->get(shortLink);
    EXPECT_EQ(followed.status, 301);
    EXPECT_EQ(followed.header("location"),
              "http://secrets.murmelo.example/index.php?r=secret/single&secret_id=7");
    EXPECT_EQ(client->get(std::string(Constant_sharedAppShortUrl)).header("location"),
              std::string(kAppStoreAppUrl));
    EXPECT_EQ(client->get("http://shrt.example/zzzzzz").status, 404);
}

TEST_F(FacebookTest, LoginPageIssuesATokenForAKnownUser) {
    Reply page = client->get(
        "http://www.facebook.example/login.php?fbconnect=1&connect_display=touch&api_key=" + kApiKey +
        "&next=fbconnect://success");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("name=\"pass\""), std::string::npos);
    EXPECT_NE(page.body.find("fbconnect:cancel"), std::string::npos);
    Reply badKey = client->get("http://www.facebook.example/login.php?api_key=0000&next=fbconnect://success");
    EXPECT_NE(badKey.body.find("Invalid API key"), std::string::npos);
    Reply wrong = client->post("http://www.facebook.example/login.php",
                               "api_key=" + kApiKey +
                                   "&next=fbconnect%3A%2F%2Fsuccess&email=demo%40murmelo.example&"
                                   "pass=wrong");
    EXPECT_EQ(wrong.status, 200);
    EXPECT_NE(wrong.body.find("Incorrect email or password"), std::string::npos);
    EXPECT_TRUE(std::regex_match(loginToken(), std::regex("[0-9a-f]{32}")));
}

TEST_F(FacebookTest, RestSignatureIsCheckedAndSessionsAreHandedOut) {
    // The documented example: parameters sorted case-insensitively, no separators.
    FormFields example({{"b", "2"}, {"A", "1"}, {"c", "3"}, {"sig", "ignored"}});
    EXPECT_EQ(FacebookStandIn::signature(example, "S"), md5Hex("A=1b=2c=3S"));

    std::string token = loginToken();
    Reply forged = getSession(token, "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(element(forged.body, "error_code"), "104") << forged.body;
    EXPECT_EQ(element(forged.body, "error_msg"), "Incorrect signature");
    EXPECT_NE(forged.body.find("<request_args list=\"true\">"), std::string::npos);

    Reply session = getSession(token);
    EXPECT_EQ(session.status, 200);
    EXPECT_NE(session.body.find("<auth_getSession_response"), std::string::npos) << session.body;
    EXPECT_EQ(element(session.body, "uid"), "100000482913715");
    EXPECT_EQ(element(session.body, "expires"), "0");
    std::string sessionKey = element(session.body, "session_key");
    std::string sessionSecret = element(session.body, "secret");
    EXPECT_FALSE(sessionKey.empty());
    EXPECT_EQ(sessionSecret.size(), 32u);

    Reply again = getSession(token); // a token is good for one exchange
    EXPECT_EQ(element(again.body, "error_code"), "100");

    // A session call signed with the session's secret.
    std::vector<std::pair<std::string, std::string>> call = {{"method", "facebook.users.getLoggedInUser"},
                                                             {"api_key", kApiKey},
                                                             {"v", "1.0"},
                                                             {"format", "XML"},
                                                             {"session_key", sessionKey},
                                                             {"call_id", "1291700000"},
                                                             {"ss", "1"}};
    call.emplace_back("sig", sign(call, sessionSecret));
    Reply me = client->post(kRest, facebookBody(call), kMultipart);
    EXPECT_NE(me.body.find(">100000482913715</users_getLoggedInUser_response>"), std::string::npos)
        << me.body;

    struct Row {
        const char* name;
        std::vector<std::pair<std::string, std::string>> fields;
        std::string code;
    };
    const Row rows[] = {
        {"unknown API key", {{"method", "facebook.auth.getSession"}, {"api_key", "x"}, {"v", "1.0"}}, "101"},
        {"unknown session",
         {{"method", "facebook.users.getLoggedInUser"},
          {"api_key", kApiKey},
          {"v", "1.0"},
          {"session_key", "nope"}},
         "102"},
        {"unknown method",
         {{"method", "facebook.stream.publish"},
          {"api_key", kApiKey},
          {"v", "1.0"},
          {"session_key", sessionKey}},
         "3"},
        {"no token", {{"method", "facebook.auth.getSession"}, {"api_key", kApiKey}, {"v", "1.0"}}, "100"},
    };
    for (const Row& row : rows) {
        auto fields = row.fields;
        fields.emplace_back("sig", sign(fields, kSecret));
        Reply reply = client->post(kRest, facebookBody(fields), kMultipart);
        EXPECT_EQ(element(reply.body, "error_code"), row.code) << row.name << "\n" << reply.body;
    }
}

TEST_F(FacebookTest, PostPageShowsTheAttachmentAndRecordsThePost) {
    std::string token = loginToken();
    std::string sessionKey = element(getSession(token).body, "session_key");
    const std::string attachment =
        R"({"name":"Murmelo","href":"http:\/\/shrt.example\/murmelo","caption":"tell <b>the</b> world",)"
        R"("description":"my secret","media":[{"type":"image","src":"http:\/\/img.murmelo.example\/murmelo\/Default.png"}]})";
    std::vector<std::pair<std::string, std::string>> fields = {{"api_key", kApiKey},
                                                               {"session_key", sessionKey},
                                                               {"preview", "1"},
                                                               {"callback", "fbconnect:success"},
                                                               {"cancel", "fbconnect:cancel"},
                                                               {"attachment", attachment},
                                                               {"action_links", ""},
                                                               {"target_id", ""},
                                                               {"user_message_prompt", "Say something here"}};
    Reply page = client->post("http://www.facebook.example/connect/prompt_feed.php?display=touch",
                              facebookBody(fields), kMultipart);
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("tell &lt;b&gt;the&lt;/b&gt; world"), std::string::npos) << page.body;
    EXPECT_NE(page.body.find("placeholder=\"Say something here\""), std::string::npos);
    EXPECT_NE(page.body.find("href=\"fbconnect:cancel\""), std::string::npos);
    EXPECT_NE(page.body.find("Default.png"), std::string::npos);

    // "Publish" posts the page's own form.
    std::string publish = "api_key=" + kApiKey + "&session_key=" + sessionKey +
                          "&callback=fbconnect%3Asuccess&cancel=fbconnect%3Acancel&attachment=%7B%7D"
                          "&message=Hello+wall&publish=1";
    Reply published =
        client->post("http://www.facebook.example/connect/prompt_feed.php?display=touch", publish);
    EXPECT_EQ(published.status, 302);
    EXPECT_EQ(published.header("location"), "fbconnect:success");
    EXPECT_EQ(count(servers->database(), "SELECT COUNT(*) FROM fb_posts WHERE message = 'Hello wall' AND "
                                         "uid = 100000482913715"),
              1);

    Reply expired = client->post("http://www.facebook.example/connect/prompt_feed.php?display=touch",
                                 "api_key=" + kApiKey + "&session_key=stale&publish=1&message=x");
    EXPECT_EQ(expired.status, 200);
    EXPECT_NE(expired.body.find("session has expired"), std::string::npos);
    EXPECT_EQ(count(servers->database(), "SELECT COUNT(*) FROM fb_posts"), 1);
}

TEST_F(FacebookTest, AttachmentLinksAndPicturesAreHttpOrHttpsOnly) {
    std::string sessionKey = element(getSession(loginToken()).body, "session_key");
    struct Row {
        const char* name;
        std::string address;
        std::optional<std::string> shown; // as written into the page, escaped
    };
    const Row rows[] = {
        {"http", "http://shrt.example/murmelo", "http://shrt.example/murmelo"},
        {"https in capitals", "HTTPS://shrt.example/a?b=1&c=2", "HTTPS://shrt.example/a?b=1&amp;c=2"},
        {"blanks around", " \t https://shrt.example/x \n", "https://shrt.example/x"},
        {"javascript", "javascript:alert(1)", std::nullopt},
        {"javascript, mixed case", "JavaScript:alert(1)", std::nullopt},
        {"javascript after blanks", " \t\njavascript:alert(1)", std::nullopt},
        {"javascript after a control character", "\x01javascript:alert(1)", std::nullopt},
        {"javascript with a line break", "java\nscript:alert(1)", std::nullopt},
        {"javascript with a tab", "jav\tascript:alert(1)", std::nullopt},
        {"data", "data:text/html,<script>alert(1)</script>", std::nullopt},
        {"vbscript", "vbscript:msgbox", std::nullopt},
        {"no scheme", "//evil.example/x", std::nullopt},
        {"relative", "x.html", std::nullopt},
        {"http lookalike", "httpx://a", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Row& row : rows) {
        Dictionary media{{"type", "image"}, {"src", row.address}};
        Dictionary attachment{
            {"name", "Murmelo"}, {"href", row.address}, {"media", Value(Array{Value(media)})}};
        auto text = jsonText(Value(attachment));
        ASSERT_TRUE(text) << row.name;
        std::vector<std::pair<std::string, std::string>> fields = {{"api_key", kApiKey},
                                                                   {"session_key", sessionKey},
                                                                   {"cancel", "fbconnect:cancel"},
                                                                   {"attachment", *text}};
        Reply page = client->post("http://www.facebook.example/connect/prompt_feed.php?display=touch",
                                  facebookBody(fields), kMultipart);
        ASSERT_EQ(page.status, 200) << row.name;
        // The attachment shows below its hidden copy in the form.
        std::string shown = page.body.substr(page.body.find("<div class=\"attachment\">"));
        EXPECT_NE(shown.find("<b>Murmelo</b>"), std::string::npos) << row.name;
        if (row.shown) {
            EXPECT_NE(shown.find("<a href=\"" + *row.shown + "\"><b>Murmelo"), std::string::npos)
                << row.name << "\n"
                << shown;
            EXPECT_NE(shown.find("<img src=\"" + *row.shown + "\""), std::string::npos) << row.name;
        } else {
            EXPECT_EQ(shown.find("<img"), std::string::npos) << row.name << "\n" << shown;
            EXPECT_EQ(shown.find("<a href=\"fbconnect:cancel\""), shown.find("<a ")) << row.name << "\n"
                                                                                     << shown;
        }
    }
}
