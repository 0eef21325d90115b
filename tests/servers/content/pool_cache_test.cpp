// The kept pool renderings: handed out only while they read as a fresh
// rendering would (same data, same ages, not the viewer's own secrets).
#include <gtest/gtest.h>

#include "servers/content/PoolPageCache.h"
#include "servers/http/Text.h"

using namespace murmelo::servers;

namespace {

constexpr double kNow = 1'800'000'000;

SecretPage pageWith(std::vector<std::pair<double, std::string>> agesAndSessions) {
    SecretPage page;
    std::int64_t id = 1;
    for (const auto& [age, session] : agesAndSessions) {
        Secret secret;
        secret.id = id++;
        secret.content = "secret";
        secret.session = session;
        secret.created = kNow - age;
        page.secrets.push_back(secret);
    }
    return page;
}

} // namespace

TEST(PoolPageCache, HandsOutARenderingOnlyWhileItIsCurrent) {
    struct Row {
        const char* what;
        std::uint64_t generation;
        double later; // seconds after the rendering
        std::string viewer;
        bool kept;
    };
    // Ages 10 s ("just now", changes at 60 s) and 150 s ("2 minutes", changes at 180 s).
    const Row rows[] = {
        {"same data, same moment", 7, 0, "", true},
        {"another new viewer", 7, 5, "ffff", true},
        {"just before the first age changes", 7, 29.9, "", true},
        {"when an age reads differently", 7, 30, "", false},
        {"a post came in", 8, 1, "", false},
        {"the clock went back", 7, -1, "", false},
        {"the viewer told a secret on it", 7, 1, "aaaa", false},
    };
    PoolPageCache cache;
    cache.keep(1, 7, pageWith({{10, "aaaa"}, {150, ""}}), {"", kNow}, "<html>");
    for (const Row& row : rows) {
        auto found = cache.find(1, row.generation, {row.viewer, kNow + row.later});
        EXPECT_EQ(found.has_value(), row.kept) << row.what;
        if (found) {
            EXPECT_EQ(*found, "<html>") << row.what;
        }
    }
    EXPECT_FALSE(cache.find(2, 7, {"", kNow})) << "another page";
}

TEST(PoolPageCache, NeverKeepsAViewersOwnPageNorLetsOlderDataWin) {
    PoolPageCache cache;
    cache.keep(1, 3, pageWith({{10, "mine"}}), {"mine", kNow}, "you told this");
    EXPECT_FALSE(cache.find(1, 3, {"", kNow}));

    cache.keep(1, 5, pageWith({{10, ""}}), {"", kNow}, "newer");
    cache.keep(1, 4, pageWith({{10, ""}}), {"", kNow}, "older, finished later");
    EXPECT_EQ(cache.find(1, 5, {"", kNow}).value_or(""), "newer");

    cache.keep(1, 6, pageWith({}), {"", kNow}, "empty pool");
    EXPECT_EQ(cache.find(1, 6, {"", kNow + 1e9}).value_or(""), "empty pool") << "no age to go stale";
}

TEST(PoolPageCache, FullCacheKeepsTheFirstPages) {
    PoolPageCache cache(3);
    for (int page : {5, 1, 2, 9, 3}) {
        cache.keep(page, 1, pageWith({}), {"", kNow}, "page " + std::to_string(page));
    }
    for (const auto& [page, kept] :
         std::vector<std::pair<int, bool>>{{1, true}, {2, true}, {3, true}, {5, false}, {9, false}}) {
        EXPECT_EQ(cache.find(page, 1, {"", kNow}).has_value(), kept) << "page " << page;
    }
}

TEST(PoolPageCache, AgeWordingHoldsExactlyUntilTheReportedChange) {
    for (double age : {0.0, 12.5, 59.0, 60.0, 61.0, 3599.5, 3600.0, 7000.0, 86399.0, 86400.0, 2 * 86400.0 + 5,
                       59 * 86400.0 + 100, 60 * 86400.0, 95 * 86400.0, -30.0}) {
        double stable = secondsUntilAgeChanges(age);
        ASSERT_GT(stable, 0) << age;
        EXPECT_EQ(describeAge(age + stable - 0.01), describeAge(age)) << age;
        EXPECT_NE(describeAge(age + stable), describeAge(age)) << age;
    }
}
