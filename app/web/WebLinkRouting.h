// WebLinkRouting: the decision every web screen makes before its web view
// loads a request — load it, or turn it into a native action (share a
// secret, open a stacked screen, close the stacked screen, open the address
// outside the application) and stop the load.
//
// The decision is a pure function of the request, the screen's kind, the
// stacked screen's two fields and the parameter block; the screens apply the
// route it returns (WebScreen::applyRoute). Nothing here logs or touches a
// screen, so any thread may call it.
//
//   Route route = routeRequest(WebScreenKind::SecretPool, {*url, WebViewNavigationType::LinkClicked},
//                              {}, OVUtils::customHTTPGETParams());
//   if (route.action == RouteAction::OpenStackedScreen) ... route.address ...
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/net/URL.h"
#include "platform/ui/WebView.h"

namespace murmelo {

// Which screen decides: the rules differ per screen.
enum class WebScreenKind {
    SecretPool, // OVWebViewController
    Posting,    // OVPostWebViewController
    Stacked,    // OVAllWebViewController
    Feedback,   // OVFeedbackWebViewController
    Comment,    // OVCommentWebViewController (routes like the feedback screen)
};
const char* webScreenKindName(WebScreenKind kind);

// The action words the pages put into links.
inline constexpr std::string_view kShareActionWord = "shareToiPhoneFT";
inline constexpr std::string_view kOpenNewActionWord = "opennew";
inline constexpr std::string_view kCommentActionWord = "comment";
inline constexpr std::string_view kCloseNewActionWord = "closenew";

struct RoutingRequest {
    URL url;
    WebViewNavigationType navigationType = WebViewNavigationType::Other;
};

// The stacked screen's state the decision reads.
struct StackedScreenState {
    std::string oldUrl;        // the last address it let through ("" at first)
    bool finishedLoad = false; // its first page has finished loading
};

enum class RouteAction {
    Load,               // let the web view load the request unchanged
    ShareSecret,        // fill the share record with shareItemUrl/shareContent, open the share sheet
    OpenStackedScreen,  // push a new stacked screen that loads `address`
    CloseStackedScreen, // reload the first screen of the stack and pop this one
    OpenOutside,        // open `address` outside; load in place when that fails
};
const char* routeActionName(RouteAction action);

struct Route {
    RouteAction action = RouteAction::Load;
    // OpenStackedScreen: what the new screen loads; OpenOutside: the address
    // handed to the platform (always a valid URL).
    std::string address;
    // ShareSecret: the record's item link and main content.
    std::string shareItemUrl;
    std::string shareContent;
    // Stacked screen: the value to store in oldUrl (nothing: keep it).
    std::optional<std::string> newOldUrl;

    // What the web-view delegate answers for this route when the action has
    // been carried out; `openedOutside` matters only for OpenOutside.
    bool shouldStartLoad(bool openedOutside) const;
};

// The request's absolute address with its percent escapes replaced (UTF-8);
// the address as it stands when the escapes do not decode to UTF-8.
std::string unescapedRequestAddress(const URL& url);

// The content server's page of one secret:
// "http://<content>/index.php?r=secret/single&secret_id=<id>"; a missing id
// gives an empty value.
std::string secretShareLink(const std::optional<std::string>& secretId);

// The decision. `parameterBlock` is OVUtils::customHTTPGETParams() (passed
// in so the decision stays a pure function); `stacked` is read by the
// stacked screen only.
Route routeRequest(WebScreenKind kind, const RoutingRequest& request, const StackedScreenState& stacked,
                   std::string_view parameterBlock);

} // namespace murmelo
