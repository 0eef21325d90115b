#include "servers/maker/StaticSites.h"

#include "servers/Accounts.h"
#include "servers/HostTable.h"
#include "servers/http/Text.h"
#include "servers/mediation/AdImages.h"

namespace murmelo::servers {

namespace {

HttpResponse png(Result<std::string> bytes) {
    if (!bytes) {
        return HttpResponse::text("image unavailable\n", 500);
    }
    return HttpResponse::png(std::move(*bytes));
}

} // namespace

HttpResponse StaticSites::handle(HttpRequest& request) {
    auto role = roleForHost(request.host);
    if (role == HostRole::Images) {
        if (request.path == "/murmelo/icon.png") {
            return png(iconPng("M", "#2b3447", 57));
        }
        if (request.path == "/murmelo/Default.png") {
            return png(launchPng(kAppName));
        }
        return HttpResponse::text("not found\n", 404);
    }
    if (role == HostRole::AppStoreWeb || role == HostRole::AppStoreLink) {
        if (!request.path.starts_with("/app/")) {
            return HttpResponse::text("not found\n", 404);
        }
        // "/app/<name>/id<number>": the name is the page's title.
        std::string name = request.path.substr(5, request.path.find('/', 5) - 5);
        return HttpResponse::html("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" +
                                  htmlEscape(name) + " on the App Store</title></head><body><h1>" +
                                  htmlEscape(name) + "</h1><p>Free · Orvanti</p></body></html>\n");
    }
    return HttpResponse::text("not found\n", 404);
}

} // namespace murmelo::servers
