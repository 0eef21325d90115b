// The routing decision of every web screen, as a table: request, screen,
// stacked-screen state → action and its payload.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/web/WebLinkRouting.h"

namespace murmelo {
namespace {

const std::string kBlock = "app=Murmelo&v=2.3&lang=en&jb=0&deviceid=d41d8cd9&phonetype=iphone";
const std::string kContent = "http://secrets.murmelo.example/";
const std::string kWeb = "http://itunes.apple.example/";
const std::string kLink = "http://phobos.apple.example/";
const std::string kShareLinkPrefix = "http://secrets.murmelo.example/index.php?r=secret/single&secret_id=";

using Nav = WebViewNavigationType;

struct Case {
    const char* name;
    WebScreenKind kind;
    std::string address;
    RouteAction action;
    std::string payload = {}; // address, or the share item link
    std::string content = {}; // share content
    StackedScreenState stacked = {};
    Nav navigation = Nav::LinkClicked;
    std::string block = kBlock;
    std::optional<std::string> newOldUrl = std::nullopt;
};

// GCC 12 at -O3 takes the defaulted string members of this long braced list
// for uninitialised when it destroys the list (a false -Wmaybe-uninitialized).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
std::vector<Case> cases() {
    using K = WebScreenKind;
    using A = RouteAction;
    const StackedScreenState finished{"", true};
    return {
        // ---- the Secret-pool screen
        {"pool: ordinary page loads", K::SecretPool, kContent + "index.php?page=2", A::Load},
        {"pool: own page with its block loads", K::SecretPool, kContent + "index.php?" + kBlock, A::Load},
        {"pool: comment anywhere opens a stacked screen with the block", K::SecretPool,
         kContent + "index.php?r=comment/list&secret_id=3", A::OpenStackedScreen,
         kContent + "index.php?r=comment/list&secret_id=3&" + kBlock},
        {"pool: comment in the path", K::SecretPool, kContent + "comments/3", A::OpenStackedScreen,
         kContent + "comments/3?" + kBlock},
        {"pool: opennew", K::SecretPool, kContent + "index.php?r=secret/view&id=4&opennew=1",
         A::OpenStackedScreen, kContent + "index.php?r=secret/view&id=4&opennew=1&" + kBlock},
        {"pool: words are case-sensitive", K::SecretPool, kContent + "index.php?r=COMMENT&x=OpenNew",
         A::Load},
        {"pool: an escaped word is found after unescaping", K::SecretPool, kContent + "index.php?a=op%65nnew",
         A::OpenStackedScreen, kContent + "index.php?a=opennew&" + kBlock},
        {"pool: share", K::SecretPool, kContent + "index.php?shareToiPhoneFT&secret_id=42&content=hello",
         A::ShareSecret, kShareLinkPrefix + "42", "hello"},
        {"pool: share content is unescaped UTF-8", K::SecretPool,
         kContent + "x?shareToiPhoneFT=1&content=I%20love%20%E4%BD%A0&secret_id=7", A::ShareSecret,
         kShareLinkPrefix + "7", "I love \xE4\xBD\xA0"},
        {"pool: share wins over opennew and comment", K::SecretPool,
         kContent + "opennew/comment?shareToiPhoneFT&secret_id=5&content=c", A::ShareSecret,
         kShareLinkPrefix + "5", "c"},
        {"pool: share without its variables", K::SecretPool, kContent + "index.php?r=shareToiPhoneFT",
         A::ShareSecret, kShareLinkPrefix, ""},
        {"pool: share with empty values", K::SecretPool,
         kContent + "s?shareToiPhoneFT&secret_id=&content=", A::ShareSecret, kShareLinkPrefix, ""},
        {"pool: a word only in the parameter block acts",
         K::SecretPool,
         kContent + "index.php?page=1",
         A::OpenStackedScreen,
         kContent + "index.php?page=1&deviceid=opennew",
         "",
         {},
         Nav::LinkClicked,
         "deviceid=opennew"},
        {"pool: App Store web link is rewritten and opened outside with the block", K::SecretPool,
         kWeb + "app/murmelo/id381029456?mt=8", A::OpenOutside,
         kLink + "app/murmelo/id381029456?mt=8&" + kBlock},
        {"pool: every web-host occurrence is rewritten", K::SecretPool, kWeb + "r?to=" + kWeb + "app",
         A::OpenOutside, kLink + "r?to=" + kLink + "app&" + kBlock},
        {"pool: App Store link host opens unchanged", K::SecretPool, kLink + "app/id1?mt=8", A::OpenOutside,
         kLink + "app/id1?mt=8"},
        {"pool: rewritten App Store text that is no URL loads in place", K::SecretPool, kWeb + "app/my%20app",
         A::Load},
        {"pool: the App Store web host elsewhere in the address loads", K::SecretPool,
         kContent + "go?to=" + kWeb + "app", A::Load},
        {"pool: escapes that are not UTF-8 are searched as they stand", K::SecretPool,
         kContent + "index.php?q=%FF%FE", A::Load},
        {"pool: not UTF-8 but with a word", K::SecretPool, kContent + "comment?q=%FF", A::OpenStackedScreen,
         kContent + "comment?q=%FF&" + kBlock},
        {"pool: not UTF-8 share link keeps its raw values", K::SecretPool,
         kContent + "s?shareToiPhoneFT&secret_id=9&content=%FF", A::ShareSecret, kShareLinkPrefix + "9",
         "%FF"},

        // ---- the posting screen
        {"post: ordinary page", K::Posting, kContent + "index.php?r=secret/create", A::Load},
        {"post: comment loads in place", K::Posting, kContent + "index.php?r=comment/create", A::Load},
        {"post: opennew loads in place", K::Posting, kContent + "x?opennew", A::Load},
        {"post: share link loads in place", K::Posting, kContent + "x?shareToiPhoneFT&secret_id=1", A::Load},
        {"post: App Store web link with the block", K::Posting, kWeb + "app/id1", A::OpenOutside,
         kLink + "app/id1?" + kBlock},
        {"post: a comment App Store link loads in place", K::Posting, kWeb + "app/comment", A::Load},

        // ---- the feedback screen: no parameter block
        {"feedback: support page", K::Feedback, "http://support.murmelo.example/isupport.php?" + kBlock,
         A::Load},
        {"feedback: App Store web link without the block", K::Feedback, kWeb + "app/id1?mt=8", A::OpenOutside,
         kLink + "app/id1?mt=8"},
        {"feedback: App Store link host", K::Feedback, kLink + "app/id1", A::OpenOutside, kLink + "app/id1"},
        {"feedback: a word in the block does not act",
         K::Feedback,
         kWeb + "app/id1",
         A::OpenOutside,
         kLink + "app/id1",
         "",
         {},
         Nav::LinkClicked,
         "deviceid=comment"},
        {"comment screen routes like feedback", K::Comment, kContent + "x?opennew", A::Load},

        // ---- the stacked screen
        {"stacked: first page loads before it finished",
         K::Stacked,
         kContent + "comments?opennew",
         A::Load,
         "",
         "",
         {"", false},
         Nav::Other,
         kBlock,
         kContent + "comments?opennew"},
        {"stacked: opennew link after finishing opens another", K::Stacked, kContent + "s?opennew=2",
         A::OpenStackedScreen, kContent + "s?opennew=2", "", finished, Nav::LinkClicked, kBlock,
         kContent + "s?opennew=2"},
        {"stacked: comment link after finishing opens another", K::Stacked, kContent + "comment/list",
         A::OpenStackedScreen, kContent + "comment/list", "", finished, Nav::LinkClicked, kBlock,
         kContent + "comment/list"},
        {"stacked: comment form posts in place", K::Stacked, kContent + "index.php?r=comment/create", A::Load,
         "", "", finished, Nav::FormSubmitted, kBlock, kContent + "index.php?r=comment/create"},
        {"stacked: closenew closes", K::Stacked, kContent + "x?closenew", A::CloseStackedScreen, "", "",
         finished, Nav::LinkClicked, kBlock, kContent + "x?closenew"},
        {"stacked: closenew closes also before finishing",
         K::Stacked,
         kContent + "x?closenew",
         A::CloseStackedScreen,
         "",
         "",
         {"", false},
         Nav::LinkClicked,
         kBlock,
         kContent + "x?closenew"},
        {"stacked: the same address twice loads untested",
         K::Stacked,
         kContent + "x?closenew",
         A::Load,
         "",
         "",
         {kContent + "x?closenew", true},
         Nav::LinkClicked,
         kBlock,
         std::nullopt},
        {"stacked: oldUrl compares the unescaped address",
         K::Stacked,
         kContent + "x?a=op%65nnew",
         A::Load,
         "",
         "",
         {kContent + "x?a=opennew", true},
         Nav::LinkClicked,
         kBlock,
         std::nullopt},
        {"stacked: no parameter block in what it opens", K::Stacked, kContent + "p?comment",
         A::OpenStackedScreen, kContent + "p?comment", "", finished, Nav::Other, "deviceid=x",
         kContent + "p?comment"},
        {"stacked: the block is not searched", K::Stacked, kContent + "plain", A::Load, "", "", finished,
         Nav::LinkClicked, "deviceid=opennew", kContent + "plain"},
        {"stacked: share links load in place", K::Stacked, kContent + "x?shareToiPhoneFT&secret_id=1",
         A::Load, "", "", finished, Nav::LinkClicked, kBlock, kContent + "x?shareToiPhoneFT&secret_id=1"},
        {"stacked: App Store web link without the block", K::Stacked, kWeb + "app/id2", A::OpenOutside,
         kLink + "app/id2", "", finished, Nav::LinkClicked, kBlock, kWeb + "app/id2"},
        {"stacked: not UTF-8 stores the raw address", K::Stacked, kContent + "x?%C3%28", A::Load, "", "",
         finished, Nav::LinkClicked, kBlock, kContent + "x?%C3%28"},
    };
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

TEST(WebLinkRouting, DecisionTable) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        auto url = URL::strictParse(c.address);
        ASSERT_TRUE(url) << c.address;
        Route route = routeRequest(c.kind, {*url, c.navigation}, c.stacked, c.block);
        EXPECT_EQ(routeActionName(route.action), std::string(routeActionName(c.action)));
        switch (c.action) {
        case RouteAction::ShareSecret:
            EXPECT_EQ(route.shareItemUrl, c.payload);
            EXPECT_EQ(route.shareContent, c.content);
            break;
        case RouteAction::OpenStackedScreen:
        case RouteAction::OpenOutside:
            EXPECT_EQ(route.address, c.payload);
            break;
        case RouteAction::Load:
        case RouteAction::CloseStackedScreen:
            break;
        }
        if (c.kind == WebScreenKind::Stacked) {
            EXPECT_EQ(route.newOldUrl, c.newOldUrl);
        } else {
            EXPECT_FALSE(route.newOldUrl);
        }
    }
}

TEST(WebLinkRouting, DelegateAnswerPerAction) {
    struct Row {
        RouteAction action;
        bool openedOutside;
        bool answer;
    };
    const Row rows[] = {
        {RouteAction::Load, false, true},
        {RouteAction::ShareSecret, false, false},
        {RouteAction::OpenStackedScreen, false, false},
        {RouteAction::CloseStackedScreen, false, false},
        {RouteAction::OpenOutside, true, false}, // opened: the web view stays
        {RouteAction::OpenOutside, false, true}, // could not open: load it here
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(routeActionName(row.action)) + (row.openedOutside ? " opened" : ""));
        Route route;
        route.action = row.action;
        EXPECT_EQ(route.shouldStartLoad(row.openedOutside), row.answer);
    }
}

TEST(WebLinkRouting, UnescapedAddress) {
    const std::pair<std::string, std::string> rows[] = {
        {"http://a.example/x%20y", "http://a.example/x y"},
        {"http://a.example/%E2%82%AC", "http://a.example/\xE2\x82\xAC"},
        {"http://a.example/%FF", "http://a.example/%FF"},       // not UTF-8: as it stands
        {"http://a.example/%C3%28", "http://a.example/%C3%28"}, // broken sequence
        {"http://a.example/plain", "http://a.example/plain"},
    };
    for (const auto& [escaped, expected] : rows) {
        auto url = URL::strictParse(escaped);
        ASSERT_TRUE(url) << escaped;
        EXPECT_EQ(unescapedRequestAddress(*url), expected);
    }
}

} // namespace
} // namespace murmelo
