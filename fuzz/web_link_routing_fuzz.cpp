// libFuzzer target: the link routing of every web screen over the addresses
// pages can make a web view follow.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/web/WebLinkRouting.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the navigation type and the stacked state; the
    // rest is the address.
    const uint8_t control = data[0];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    auto url = URL::strictParse(text);
    if (!url) {
        return 0;
    }
    RoutingRequest request{*url, static_cast<WebViewNavigationType>(control % 6)};
    StackedScreenState stacked{(control & 0x80) ? unescapedRequestAddress(*url) : std::string(),
                               (control & 0x40) != 0};
    for (WebScreenKind kind : {WebScreenKind::SecretPool, WebScreenKind::Posting, WebScreenKind::Stacked,
                               WebScreenKind::Feedback, WebScreenKind::Comment}) {
        Route route = routeRequest(kind, request, stacked,
                                   "app=Murmelo&v=2.3&lang=en&jb=0&deviceid=d&phonetype=iphone");
        // What leaves the application is always a valid address.
        if (route.action == RouteAction::OpenOutside && !URL::strictParse(route.address)) {
            std::abort();
        }
        // Only the Secret-pool and stacked screens open screens or share.
        bool native = route.action == RouteAction::ShareSecret ||
                      route.action == RouteAction::OpenStackedScreen ||
                      route.action == RouteAction::CloseStackedScreen;
        if (native && kind != WebScreenKind::SecretPool && kind != WebScreenKind::Stacked) {
            std::abort();
        }
    }
    return 0;
}
