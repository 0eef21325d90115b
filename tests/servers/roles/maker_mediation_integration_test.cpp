// The maker's servers, the mediation server, the ad networks' stand-ins and
// the admin host's event log, over real HTTP.
#include <gtest/gtest.h>

#include <regex>

#include "app/product/Constants.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "servers/http/Json.h"
#include "servers/mediation/MediationServer.h"
#include "servers/store/Database.h"
#include "tests/servers/server_test_support.h"

using namespace murmelo;
using namespace murmelo::servers;
using namespace murmelo::servers::test;

namespace {

std::int64_t count(Database& database, const char* sql) {
    auto result = database.readInteger(sql);
    EXPECT_TRUE(result) << sql;
    return result ? *result : -1;
}

// Width and height from a PNG's IHDR chunk; {0, 0} when not a PNG.
std::pair<int, int> pngSize(const std::string& bytes) {
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
        return {0, 0};
    }
    auto be32 = [&](size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) |
               (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
    };
    return {static_cast<int>(be32(16)), static_cast<int>(be32(20))};
}

Value json(const Reply& reply) {
    auto value = parseJson(reply.body);
    EXPECT_TRUE(value) << reply.body;
    return value ? *value : Value();
}

const std::string kKey(Constant_AdWhirlApplicationKey);

} // namespace

using MakerServersTest = ServersFixture;
using MediationTest = ServersFixture;

TEST_F(MakerServersTest, StatusPingsAndShareNoticesAreRecorded) {
    Reply ping =
        client->get("http://status.murmelo.example/status.php?app=Murmelo&v=1.0&lang=zh-Hans&jb=0&"
                    "deviceid=abc123&phonetype=iphone",
                    {"User-Agent: Murmelo/1.0 (iPhone; iPhone OS 4.0; en; iPhone1,2; abc123; WIFI; JB_0)"});
    EXPECT_EQ(ping.status, 200);
    EXPECT_EQ(count(servers->database(), "SELECT COUNT(*) FROM status_pings WHERE lang = 'zh-Hans' AND "
                                         "device_id = 'abc123' AND user_agent LIKE 'Murmelo/1.0%'"),
              1);

    struct Row {
        std::string query;
        long status;
    };
    const Row rows[] = {{"?type=facebook", 200}, {"?type=twitter", 200}, {"?type=myspace", 400}, {"", 400}};
    for (const Row& row : rows) {
        EXPECT_EQ(client->get("http://service.murmelo.example/sharedNotify.php" + row.query).status,
                  row.status)
            << row.query;
    }
    EXPECT_EQ(count(servers->database(), "SELECT COUNT(*) FROM share_notices"), 2);
    EXPECT_EQ(client->get("http://link.murmelo.example/vasksendmailEn").status, 200);
    EXPECT_EQ(client->get("http://link.murmelo.example/other").status, 404);

    // Every request is in the event log with what was sent.
    auto events = servers->events().events("status");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].method, "GET");
    EXPECT_EQ(events[0].path, "/status.php");
    EXPECT_NE(events[0].query.find("phonetype=iphone"), std::string::npos);
    EXPECT_EQ(events[0].header("Host").value_or(""), "status.murmelo.example");
    EXPECT_EQ(servers->events().events("service").size(), 4u);
    EXPECT_EQ(servers->events().events("link").back().status, 404);
}

TEST_F(MakerServersTest, RecommendationIsAPropertyListWithEveryKey) {
    Reply reply = client->get("http://service.murmelo.example/recommandApp.php");
    ASSERT_EQ(reply.status, 200);
    auto plist = PropertyListSerialization::propertyListWithData(reply.body);
    ASSERT_TRUE(plist) << reply.body;
    const Recommendation& offer = servers->config().recommendation;
    const std::pair<const char*, std::string> keys[] = {{"ver", offer.ver},
                                                        {"title", offer.title},
                                                        {"message", offer.message},
                                                        {"okayBtn", offer.okayBtn},
                                                        {"cancelBtn", offer.cancelBtn},
                                                        {"appUrl", offer.appUrl},
                                                        {"notifyUrl", offer.notifyUrl}};
    for (const auto& [key, expected] : keys) {
        ASSERT_TRUE(plist->find(key)) << key;
        EXPECT_EQ(plist->find(key)->stringValue(), expected) << key;
    }
    EXPECT_EQ(client->get(offer.notifyUrl).status, 200);

    ServerConfig config = ServerConfig::defaults();
    config.recommendation.enabled = false;
    startServers(config);
    EXPECT_EQ(client->get("http://service.murmelo.example/recommandApp.php").status, 404);
}

TEST_F(MakerServersTest, KeywordsArePlainText) {
    Reply reply = client->get("http://service.murmelo.example/adsensekeywords.php?app=Murmelo&v=1.0");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.header("content-type"), "text/plain; charset=utf-8");
    EXPECT_EQ(reply.body, servers->config().adsenseKeywords + "\n");
}

TEST_F(MakerServersTest, FeedbackPageStoresWhatIsSent) {
    Reply page =
        client->get("http://support.murmelo.example/isupport.php?app=Murmelo&v=1.0&lang=en&deviceid=x");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("<form method=\"post\" action=\"isupport.php\">"), std::string::npos);
    EXPECT_NE(page.body.find("name=\"app\" value=\"Murmelo\""), std::string::npos);
    EXPECT_EQ(page.body.find("deviceid"), std::string::npos); // not carried on

    struct Row {
        std::string body;
        const char* expected;
        std::int64_t stored;
    };
    const Row rows[] = {
        {"message=Love+it%21+%3Cb%3E&contact=me%40example.org&app=Murmelo&v=1.0&lang=en", "Thank you", 1},
        {"message=+++&contact=", "Please write a message", 0},
        {"message=" + std::string(2001, 'x'), "keep it under", 0},
        {"message=%G0", "could not be read", 0},
    };
    for (const Row& row : rows) {
        std::int64_t before = count(servers->database(), "SELECT COUNT(*) FROM feedback");
        Reply reply = client->post("http://support.murmelo.example/isupport.php", row.body);
        EXPECT_NE(reply.body.find(row.expected), std::string::npos) << row.body << "\n" << reply.body;
        EXPECT_EQ(count(servers->database(), "SELECT COUNT(*) FROM feedback") - before, row.stored)
            << row.body;
    }
    EXPECT_EQ(
        count(servers->database(),
              "SELECT COUNT(*) FROM feedback WHERE message = 'Love it! <b>' AND contact = 'me@example.org'"),
        1);
}

TEST_F(MediationTest, ConfigurationInTheCurrentLayout) {
    Reply reply =
        client->get("http://adconfig.murmelo.example/getInfo.php?appid=" + kKey + "&appver=230&client=1");
    ASSERT_EQ(reply.status, 200);
    Value config = json(reply);
    ASSERT_TRUE(config.find("extra") && config.find("extra")->isDictionary());
    const Value* rations = config.find("rations");
    ASSERT_TRUE(rations && rations->isArray());
    const auto& networks = servers->config().mediation.at(kKey).networks;
    ASSERT_EQ(rations->asArray()->size(), networks.size());
    for (size_t i = 0; i < networks.size(); ++i) {
        const Value& entry = (*rations->asArray())[i];
        EXPECT_EQ(entry.find("nid")->stringValue(), networks[i].nid);
        EXPECT_EQ(entry.find("type")->integerValue(), networks[i].type);
        EXPECT_EQ(entry.find("nname")->stringValue(), networks[i].name);
        EXPECT_EQ(entry.find("weight")->integerValue(), networks[i].weight);
        EXPECT_EQ(entry.find("priority")->integerValue(), networks[i].priority);
    }
    EXPECT_EQ(client->get("http://adconfig.murmelo.example/getInfo.php?appid=nope&appver=230").status, 404);
}

TEST_F(MediationTest, ConfigurationInTheLegacyLayout) {
    ServerConfig config = ServerConfig::defaults();
    config.mediation[kKey].legacyLayout = true;
    // The default set-up's iAd entry has no legacy name and is left out.
    config.mediation["emptykey"].legacyLayout = true;
    startServers(config);
    Value layout = json(client->get("http://adconfig.murmelo.example/getInfo.php?appid=" + kKey));
    ASSERT_TRUE(layout.isArray());
    ASSERT_EQ(layout.asArray()->size(), 4u);
    const Array& parts = *layout.asArray();
    EXPECT_EQ(parts[0].find("admob_ration")->integerValue(), 30);
    EXPECT_EQ(parts[0].find("google_adsense_ration")->integerValue(), 30);
    EXPECT_EQ(parts[0].find("custom_ration")->integerValue(), 20);
    EXPECT_EQ(parts[0].asDictionary()->size(), 3u);
    EXPECT_EQ(parts[1].find("google_adsense_key")->stringValue(), std::string(Constant_Adsense_App_AppleId));
    EXPECT_EQ(parts[2].find("custom_priority")->integerValue(), 4);
    EXPECT_TRUE(parts[3].find("refresh_interval"));

    Value empty = json(client->get("http://adconfig.murmelo.example/getInfo.php?appid=emptykey"));
    ASSERT_TRUE(empty.isArray());
    EXPECT_EQ((*empty.asArray())[0].find("empty_ration")->integerValue(), 100);
}

TEST_F(MediationTest, HouseAdsComeWithTheirPictureInTurn) {
    const auto& ads = servers->config().houseAds;
    for (size_t turn = 0; turn < ads.size() * 2; ++turn) {
        Reply reply = client->get(
            "http://houseads.murmelo.example/custom.php?appver=230&country_code=en_US&appid=" + kKey +
            "&nid=9&client=1");
        ASSERT_EQ(reply.status, 200);
        Value ad = json(reply);
        const HouseAd& expected = ads[turn % ads.size()];
        EXPECT_EQ(ad.find("ad_type")->integerValue(), expected.adType);
        EXPECT_EQ(ad.find("launch_type")->integerValue(), expected.launchType);
        EXPECT_EQ(ad.find("webview_animation_type")->integerValue(), expected.animationType);
        EXPECT_EQ(ad.find("ad_text")->stringValue(), expected.text);
        EXPECT_EQ(ad.find("redirect_url")->stringValue(), expected.redirectUrl);
        EXPECT_NE(ad.find("metrics_url")->stringValue().find("exclick.php?appid=" + kKey + "&nid=9"),
                  std::string::npos);
        Reply picture = client->get(ad.find("img_url")->stringValue());
        EXPECT_EQ(picture.header("content-type"), "image/png");
        auto size = pngSize(picture.body);
        if (expected.adType == 2) {
            EXPECT_EQ(size, std::make_pair(39, 39));
        } else {
            EXPECT_EQ(size, std::make_pair(320, 50));
        }
    }
    EXPECT_EQ(client->get("http://houseads.murmelo.example/custom.php?appid=unknown").status, 404);
    EXPECT_EQ(client->get("http://houseads.murmelo.example/houseAd.png?ad=99").status, 404);
}

TEST_F(MediationTest, MetricsAreCountedPerNetworkEntry) {
    struct Row {
        const char* path;
        const char* nid;
        int times;
    };
    const Row rows[] = {{"exmet.php", "1", 3}, {"exclick.php", "1", 1}, {"exmet.php", "14", 2}};
    for (const Row& row : rows) {
        for (int i = 0; i < row.times; ++i) {
            std::string url = std::string("http://admetrics.murmelo.example/") + row.path + "?appid=" + kKey +
                              "&nid=" + row.nid + "&type=1&country_code=en_US&appver=230&client=1";
            EXPECT_EQ(client->get(url).status, 200);
        }
    }
    EXPECT_EQ(client->get("http://admetrics.murmelo.example/exmet.php?appid=" + kKey).status, 400);
    Value stats = json(client->get("http://admetrics.murmelo.example/stats.php"));
    const Value* app = stats.find(kKey);
    ASSERT_TRUE(app) << stats.debugDescription();
    EXPECT_EQ(app->find("1")->find("impressions")->integerValue(), 3);
    EXPECT_EQ(app->find("1")->find("clicks")->integerValue(), 1);
    EXPECT_EQ(app->find("14")->find("impressions")->integerValue(), 2);
    EXPECT_EQ(app->find("14")->find("clicks")->integerValue(), 0);
}

TEST_F(MediationTest, AdNetworksFillAtTheirRates) {
    EXPECT_EQ(MediationServer::fills(0, 0.5), false);
    ServerConfig config = ServerConfig::defaults();
    config.adMobFillRate = 0.5;
    config.adSenseFillRate = 0.0;
    startServers(config);
    std::vector<long> adMob;
    for (int i = 0; i < 6; ++i) {
        Reply reply = client->get("http://r.admob.example/ad_source.php?s=a14c2b9e0f6d731&kw=secret");
        adMob.push_back(reply.status);
        if (reply.status == 200) {
            Value ad = json(reply);
            EXPECT_EQ(pngSize(client->get(ad.find("img_url")->stringValue()).body), std::make_pair(320, 50));
            Reply click = client->get(ad.find("click_url")->stringValue());
            EXPECT_EQ(click.status, 302);
            EXPECT_EQ(click.header("location").rfind("http://" + std::string(kAppStoreWebHost) + "/app/", 0),
                      0u);
        }
    }
    EXPECT_EQ(adMob, (std::vector<long>{204, 200, 204, 200, 204, 200}));
    std::string adSense = "http://pagead2.googlesyndication.example/pagead/ads?client=" +
                          std::string(Constant_Adsense_App_AppleId) +
                          "&channel=" + std::string(AdSense_UI_Channels[1]) + "&kw=secret&format=320x50_mb";
    EXPECT_EQ(client->get(adSense).status, 204);
    EXPECT_EQ(client->get("http://pagead2.googlesyndication.example/pagead/ads?client=pub-1").status, 400);
    EXPECT_EQ(client->get("http://r.admob.example/ad_source.php").status, 400);
}

TEST_F(MediationTest, AdminHostServesTheEventLog) {
    client->get("http://secrets.murmelo.example/index.php?app=Murmelo");
    client->post("http://secrets.murmelo.example/index.php?r=secret/create", "Secret%5Bcontent%5D=logged");
    client->get("http://nowhere.example/");
    Value all = json(client->get("http://admin.murmelo.example/_events"));
    ASSERT_TRUE(all.isArray());
    ASSERT_EQ(all.asArray()->size(), 3u);
    const Value& post = (*all.asArray())[1];
    EXPECT_EQ(post.find("role")->stringValue(), "content");
    EXPECT_EQ(post.find("method")->stringValue(), "POST");
    EXPECT_EQ(post.find("query")->stringValue(), "r=secret/create");
    EXPECT_EQ(post.find("body")->stringValue(), "Secret%5Bcontent%5D=logged");
    EXPECT_EQ(post.find("status")->integerValue(), 200);
    EXPECT_EQ((*all.asArray())[2].find("status")->integerValue(), 421);
    EXPECT_EQ((*all.asArray())[2].find("role")->stringValue(), "unknown");

    Value filtered = json(client->get("http://admin.murmelo.example/_events?role=content&after=1"));
    ASSERT_EQ(filtered.asArray()->size(), 1u);
    EXPECT_EQ((*filtered.asArray())[0].find("sequence")->integerValue(), 2);
    EXPECT_EQ(client->get("http://admin.murmelo.example/_events?after=x").status, 400);
    EXPECT_NE(client->get("http://admin.murmelo.example/").body.find("secrets.murmelo.example"),
              std::string::npos);
}

TEST_F(MediationTest, AdminHostWantsItsTokenWhenOneIsSetOrTheServersListenBeyondLoopback) {
    const std::string configured = "configured-token-0123456789";
    struct Setup {
        const char* name;
        std::string address;
        std::string token; // configured
        bool open;
    };
    const Setup setups[] = {
        {"loopback", "127.0.0.1", "", true},
        {"all addresses", "0.0.0.0", "", false},
        {"loopback with a configured token", "127.0.0.1", configured, false},
    };
    for (const Setup& setup : setups) {
        ServerConfig config = ServerConfig::defaults();
        config.adminToken = setup.token;
        startServers(config, false, [&](ReferenceServers::Options& o) { o.bindAddress = setup.address; });
        const std::string token = servers->adminToken();
        if (setup.open) {
            EXPECT_TRUE(token.empty()) << setup.name;
        } else if (setup.token.empty()) {
            EXPECT_TRUE(std::regex_match(token, std::regex("[0-9a-f]{32}"))) << setup.name << " " << token;
        } else {
            EXPECT_EQ(token, configured) << setup.name;
        }
        const std::string events = "http://admin.murmelo.example/_events";
        struct Attempt {
            const char* name;
            std::string url;
            std::vector<std::string> headers;
            bool carriesToken;
        };
        const Attempt attempts[] = {
            {"nothing", events, {}, false},
            {"bearer", events, {"Authorization: Bearer " + token}, true},
            {"bearer, any case", events, {"Authorization: bearer " + token}, true},
            {"query", events + "?token=" + token + "&after=0", {}, true},
            {"index page", "http://admin.murmelo.example/?token=" + token, {}, true},
            {"by address", "http://127.0.0.1/_events", {"Authorization: Bearer " + token}, true},
            {"wrong", events, {"Authorization: Bearer " + token + "0"}, false},
            {"prefix", events + "?token=" + token.substr(0, token.size() / 2), {}, false},
            {"basic", events, {"Authorization: Basic " + token}, false},
            {"index without", "http://admin.murmelo.example/", {}, false},
        };
        for (const Attempt& attempt : attempts) {
            Reply reply = client->get(attempt.url, attempt.headers);
            long expected = setup.open || attempt.carriesToken ? 200 : 401;
            EXPECT_EQ(reply.status, expected) << setup.name << ", " << attempt.name << " " << reply.error;
            if (reply.status == 401) {
                EXPECT_EQ(reply.header("www-authenticate").rfind("Bearer", 0), 0u) << attempt.name;
            }
        }
        // The roles themselves need no token.
        EXPECT_EQ(client->get(content("index.php")).status, 200) << setup.name;
    }
    ServerConfig weak = ServerConfig::defaults();
    weak.adminToken = "short";
    ReferenceServers::Options options;
    options.dataDirectory = directory.path() + "/weak";
    options.config = weak;
    EXPECT_FALSE(ReferenceServers::start(options));
}

TEST_F(MediationTest, AdminHostMasksCredentials) {
    client->post("http://www.facebook.example/login.php",
                 "api_key=k&next=fbconnect%3A%2F%2Fsuccess&email=demo%40murmelo.example&pass=PA55W0RD",
                 "application/x-www-form-urlencoded", {"Cookie: datr=C00KIEVALUE"});
    client->post("http://api.twitter.example/statuses/update.xml", "status=hello",
                 "application/x-www-form-urlencoded", {"Authorization: Basic QVVUSE9SSVpFRA=="});
    client->post("http://api.shrt.example/v3/shorten", R"({"login":"me","apiKey":"APIKEYVALUE"})",
                 "application/json", {"Proxy-Authorization: Basic UFJPWFk="});
    client->get("http://www.facebook.example/login.php?auth_token=T0KENVALUE&next=x");
    Reply shown = client->get("http://admin.murmelo.example/_events");
    ASSERT_EQ(shown.status, 200);
    for (const char* secret :
         {"PA55W0RD", "C00KIEVALUE", "QVVUSE9SSVpFRA", "APIKEYVALUE", "UFJPWFk", "T0KENVALUE"}) {
        EXPECT_EQ(shown.body.find(secret), std::string::npos) << secret << " in " << shown.body;
    }
    for (const char* kept :
         {"&pass=***\"", "email=demo%40murmelo.example", "datr=***", "\"Authorization\":\"***\"",
          "\\\"apiKey\\\":\\\"***\\\"", "auth_token=***&next=x", "status=hello"}) {
        EXPECT_NE(shown.body.find(kept), std::string::npos) << kept << " in " << shown.body;
    }
}

TEST_F(MediationTest, EventLogRepliesAreBoundedAndSayWhenMoreFollow) {
    startServers(ServerConfig::defaults(), false,
                 [](ReferenceServers::Options& o) { o.maxEventsReplyBytes = 64 * 1024; });
    const int posted = 30;
    for (int i = 0; i < posted; ++i) {
        client->post(content("index.php?r=secret/create"), "Secret%5Bcontent%5D=" + std::string(20000, 'x'));
    }
    std::uint64_t after = 0;
    int replies = 0;
    size_t seen = 0;
    for (bool more = true; more && replies < posted + 1; ++replies) {
        Reply reply = client->get("http://admin.murmelo.example/_events?after=" + std::to_string(after));
        ASSERT_EQ(reply.status, 200);
        EXPECT_LT(reply.body.size(), 128u * 1024) << "reply " << replies;
        Value list = json(reply);
        ASSERT_TRUE(list.isArray() && !list.asArray()->empty());
        seen += list.asArray()->size();
        after = static_cast<std::uint64_t>(list.asArray()->back().find("sequence")->integerValue());
        more = reply.header("x-murmelo-more-events") == "1";
    }
    EXPECT_GT(replies, 1);
    EXPECT_EQ(seen, static_cast<size_t>(posted));
    EXPECT_EQ(after, static_cast<std::uint64_t>(posted));
}
