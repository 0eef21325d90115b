// Shared pieces of the Facebook client tests: delegates that write down what
// they hear, in order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/facebook/FBDialog.h"
#include "app/facebook/FBRequest.h"
#include "app/facebook/FBSession.h"

namespace murmelo::test {

using Heard = std::vector<std::string>;

struct SessionProbe : FBSessionDelegate {
    void didLogin(FBSession&, std::int64_t uid) override {
        heard.push_back("didLogin " + std::to_string(uid));
    }
    void sessionDidNotLogin(FBSession&) override { heard.push_back("didNotLogin"); }
    void willLogout(FBSession&, std::int64_t uid) override {
        heard.push_back("willLogout " + std::to_string(uid));
    }
    void sessionDidLogout(FBSession&) override { heard.push_back("didLogout"); }
    Heard heard;
};

struct RequestProbe : FBRequestDelegate {
    explicit RequestProbe(std::string name = "") : name(std::move(name)) {}
    void requestLoading(FBRequest&) override { heard->push_back(name + "loading"); }
    void didLoad(FBRequest&, const Value& value) override {
        result = value;
        heard->push_back(name + "didLoad");
    }
    void didFailWithError(FBRequest&, const Error& e) override {
        error = e;
        heard->push_back(name + "didFail");
    }
    void requestWasCancelled(FBRequest&) override { heard->push_back(name + "cancelled"); }
    std::string name;
    std::shared_ptr<Heard> heard = std::make_shared<Heard>();
    Value result;
    std::optional<Error> error;
};

struct DialogProbe : FBDialogDelegate {
    void dialogDidSucceed(FBDialog&) override { heard.push_back("succeeded"); }
    void dialogDidCancel(FBDialog&) override { heard.push_back("cancelled"); }
    void didFailWithError(FBDialog&, const Error& e) override {
        heard.push_back("failed " + e.domain() + " " + std::to_string(e.code()));
    }
    std::optional<bool> shouldOpenURLInExternalBrowser(FBDialog&, const URL& url) override {
        heard.push_back("open? " + url.absoluteString());
        return openOutside;
    }
    Heard heard;
    std::optional<bool> openOutside;
};

} // namespace murmelo::test
