#include "app/web/WebLinkRouting.h"

#include "app/base/OVUtils.h"
#include "app/base/URLParser.h"
#include "app/product/Constants.h"

namespace murmelo {

namespace {

bool contains(std::string_view text, std::string_view word) {
    return text.find(word) != std::string_view::npos;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    if (from.empty()) {
        return text;
    }
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

// Links to the App Store web host are rewritten onto the link host (in
// `text`, which may carry the parameter block); links on the link host leave
// the application. Everything else loads in place, unchanged.
Route appStoreRule(const URL& requestURL, const std::string& text) {
    std::optional<URL> target = requestURL;
    std::optional<std::string> host = requestURL.host();
    if (host == kAppStoreWebHost) {
        std::string rewritten =
            replaceAll(text, std::string(kAppStoreWebHost) + "/", std::string(kAppStoreLinkHost) + "/");
        target = URL::strictParse(rewritten);
        host = target ? target->host() : std::nullopt;
    }
    Route route;
    if (target && host == kAppStoreLinkHost) {
        route.action = RouteAction::OpenOutside;
        route.address = target->absoluteString();
    }
    return route;
}

} // namespace

const char* webScreenKindName(WebScreenKind kind) {
    switch (kind) {
    case WebScreenKind::SecretPool:
        return "secret-pool";
    case WebScreenKind::Posting:
        return "posting";
    case WebScreenKind::Stacked:
        return "stacked";
    case WebScreenKind::Feedback:
        return "feedback";
    case WebScreenKind::Comment:
        return "comment";
    }
    return "?";
}

const char* routeActionName(RouteAction action) {
    switch (action) {
    case RouteAction::Load:
        return "load";
    case RouteAction::ShareSecret:
        return "share";
    case RouteAction::OpenStackedScreen:
        return "open-stacked";
    case RouteAction::CloseStackedScreen:
        return "close-stacked";
    case RouteAction::OpenOutside:
        return "open-outside";
    }
    return "?";
}

bool Route::shouldStartLoad(bool openedOutside) const {
    switch (action) {
    case RouteAction::Load:
        return true;
    case RouteAction::OpenOutside:
        return !openedOutside;
    case RouteAction::ShareSecret:
    case RouteAction::OpenStackedScreen:
    case RouteAction::CloseStackedScreen:
        return false;
    }
    return true;
}

std::string unescapedRequestAddress(const URL& url) {
    // An address whose escapes are not UTF-8 is searched as it stands; with
    // no text at all every action word would count as found.
    std::optional<std::string> unescaped = replacingPercentEscapes(url.absoluteString());
    return unescaped ? std::move(*unescaped) : url.absoluteString();
}

std::string secretShareLink(const std::optional<std::string>& secretId) {
    return "http://" + std::string(kContentServerHost) + "/index.php?r=" + "secret/single" +
           "&secret_id=" + secretId.value_or("");
}

Route routeRequest(WebScreenKind kind, const RoutingRequest& request, const StackedScreenState& stacked,
                   std::string_view parameterBlock) {
    const std::string address = unescapedRequestAddress(request.url);
    switch (kind) {
    case WebScreenKind::SecretPool: {
        // The block only takes part in the decision; a load goes out unchanged.
        std::string withBlock = OVUtils::urlByAddingParamsForURL(address, parameterBlock);
        if (contains(withBlock, kShareActionWord)) {
            URLParser parser(withBlock);
            Route route;
            route.action = RouteAction::ShareSecret;
            route.shareItemUrl = secretShareLink(parser.valueForVariable("secret_id"));
            route.shareContent = parser.valueForVariable("content").value_or("");
            return route;
        }
        if (contains(withBlock, kOpenNewActionWord) || contains(withBlock, kCommentActionWord)) {
            Route route;
            route.action = RouteAction::OpenStackedScreen;
            route.address = std::move(withBlock);
            return route;
        }
        return appStoreRule(request.url, withBlock);
    }
    case WebScreenKind::Posting: {
        std::string withBlock = OVUtils::urlByAddingParamsForURL(address, parameterBlock);
        if (contains(withBlock, kCommentActionWord)) {
            return {};
        }
        return appStoreRule(request.url, withBlock);
    }
    case WebScreenKind::Feedback:
    case WebScreenKind::Comment:
        if (contains(address, kCommentActionWord)) {
            return {};
        }
        return appStoreRule(request.url, address);
    case WebScreenKind::Stacked: {
        if (address == stacked.oldUrl) {
            return {};
        }
        Route route;
        if (contains(address, kCloseNewActionWord)) {
            route.action = RouteAction::CloseStackedScreen;
        } else {
            bool opensScreen = contains(address, kOpenNewActionWord) || contains(address, kCommentActionWord);
            if (!stacked.finishedLoad || !opensScreen ||
                request.navigationType == WebViewNavigationType::FormSubmitted) {
                route = appStoreRule(request.url, address);
            } else {
                route.action = RouteAction::OpenStackedScreen;
                route.address = address;
            }
        }
        route.newOldUrl = address;
        return route;
    }
    }
    return {};
}

} // namespace murmelo
