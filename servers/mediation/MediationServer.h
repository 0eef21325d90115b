// MediationServer: the ad mediation's three hosts and the two ad networks'
// stand-ins.
//   config     GET getInfo.php?appid=KEY&appver=230&client=1
//              the set-up of that application key, in the current layout
//              ({"extra":{...},"rations":[...]}) or, when configured so, the
//              legacy one ([weights, keys, priorities, extra])
//   house ads  GET custom.php?appid=KEY&nid=...   one house ad (JSON), in turn
//              GET houseAd.png?ad=N               its picture, drawn here
//   metrics    GET exmet.php / exclick.php?appid=KEY&nid=N&type=T...  counts an
//              impression / click of that network entry
//              GET stats.php                      the counts (JSON)
//   AdMob      GET ad_source.php?s=PUBLISHER[&kw=...]   a 320x50 ad (JSON) or 204 when
//              not filled; GET ad.png?id=N; GET click?id=N (counts, redirects)
//   AdSense    GET pagead/ads?client=ca-mb-app-pub-...[&channel=..&kw=..]  the same
//              shape; GET pagead/ad.png?id=N; GET pagead/click?id=N
//   iAd        GET banner?size=320x50|480x32   a form-encoded ad (ad_id, img_url,
//              click_url, text) or 204; GET ad.png?id=N&size=..; GET click?id=N
// The networks fill requests at their configured rates, spread evenly
// (rate 0.5 fills every second request), so tests are repeatable.
// Thread-safe; borrows the database and the configuration.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "servers/Role.h"
#include "servers/ServerConfig.h"
#include "servers/http/FormFields.h"
#include "servers/store/Database.h"

namespace murmelo::servers {

class MediationServer : public Role {
public:
    MediationServer(Database& database, const ServerConfig& config)
        : m_database(database), m_config(config) {}
    HttpResponse handle(HttpRequest& request) override;

    // Whether the n-th request (from 0) of a network with this fill rate gets an ad.
    static bool fills(std::uint64_t n, double rate);

private:
    HttpResponse configuration(const FormFields& query);
    HttpResponse houseAd(const FormFields& query);
    HttpResponse houseAdImage(const FormFields& query);
    HttpResponse metric(const FormFields& query, const char* kind);
    HttpResponse stats();
    HttpResponse networkAd(const FormFields& query, bool adSense);
    HttpResponse networkImage(const FormFields& query);
    HttpResponse networkClick(const FormFields& query);
    HttpResponse iAdBanner(const FormFields& query);

    Database& m_database;
    const ServerConfig& m_config;
    std::atomic<std::uint64_t> m_houseAdTurn{0};
    std::atomic<std::uint64_t> m_adMobRequests{0};
    std::atomic<std::uint64_t> m_adSenseRequests{0};
    std::atomic<std::uint64_t> m_iAdRequests{0};
};

} // namespace murmelo::servers
