// FrontPage for a build whose device has no web view implementation yet:
// every page action reports that, and no web activity is ever in flight.
#include "tools/murmelo/driver/FrontPage.h"

namespace murmelo::driver {

namespace {
Error noWebView() {
    return Error("MurmeloDriver", 3, "this build's device has no web view");
}
} // namespace

Result<WebPage> FrontPage::page() {
    return noWebView();
}
Result<void> FrontPage::clickLink(std::size_t) {
    return noWebView();
}
Result<void> FrontPage::setFormField(std::size_t, std::string_view, std::string_view) {
    return noWebView();
}
Result<void> FrontPage::submitForm(std::size_t) {
    return noWebView();
}
Result<std::string> FrontPage::evaluate(std::string_view) {
    return noWebView();
}
bool FrontPage::goBack() {
    return false;
}
std::size_t FrontPage::loadsInFlight() {
    return 0;
}
std::size_t FrontPage::timersDueWithin(double) {
    return 0;
}

} // namespace murmelo::driver
