#include "tools/murmelo/driver/FrontPage.h"

#include "platform/ui/WebView.h"
#include "tools/murmelo/driver/ScreenQuery.h"

namespace murmelo::driver {

namespace {

Result<WebView*> frontWebView() {
    if (auto* web = frontMostVisible<WebView>()) {
        return web;
    }
    return Error("MurmeloDriver", 3, "no web page is shown");
}

} // namespace

Result<WebPage> FrontPage::page() {
    auto web = frontWebView();
    if (!web) {
        return web.error();
    }
    return (*web)->page();
}

Result<void> FrontPage::clickLink(std::size_t index) {
    auto web = frontWebView();
    if (!web) {
        return web.error();
    }
    return (*web)->clickLink(index);
}

Result<void> FrontPage::setFormField(std::size_t form, std::string_view name, std::string_view value) {
    auto web = frontWebView();
    if (!web) {
        return web.error();
    }
    return (*web)->setFormField(form, name, value);
}

Result<void> FrontPage::submitForm(std::size_t form) {
    auto web = frontWebView();
    if (!web) {
        return web.error();
    }
    return (*web)->submitForm(form);
}

Result<std::string> FrontPage::evaluate(std::string_view script) {
    auto web = frontWebView();
    if (!web) {
        return web.error();
    }
    return (*web)->stringByEvaluatingJavaScriptFromString(script);
}

bool FrontPage::goBack() {
    auto web = frontWebView();
    if (!web || !(*web)->canGoBack()) {
        return false;
    }
    (*web)->goBack();
    return true;
}

std::size_t FrontPage::loadsInFlight() {
    return WebView::loadsInFlight();
}

std::size_t FrontPage::timersDueWithin(double seconds) {
    return WebView::timersDueWithin(seconds);
}

} // namespace murmelo::driver
