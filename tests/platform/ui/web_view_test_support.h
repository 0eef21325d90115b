// Shared pieces of the web view tests: a delegate that writes down every
// call (and can refuse addresses), and bounded run-loop waits.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/runloop/RunLoop.h"
#include "platform/ui/WebView.h"

namespace murmelo::test {

class RecordingWebDelegate : public WebViewDelegate {
public:
    struct Asked {
        std::string url;
        std::string method;
        WebViewNavigationType type;
    };

    bool shouldStartLoadWithRequest(WebView&, const URLRequest& request,
                                    WebViewNavigationType type) override {
        asked.push_back({request.url.absoluteString(), request.HTTPMethod, type});
        events.push_back("should " + request.url.absoluteString() + " " + webViewNavigationTypeName(type));
        return !refuse || !refuse(request.url.absoluteString());
    }
    void webViewDidStartLoad(WebView&) override { events.push_back("start"); }
    void webViewDidFinishLoad(WebView&) override {
        events.push_back("finish");
        ++finished;
    }
    void didFailLoadWithError(WebView&, const Error& error) override {
        events.push_back("fail " + error.domain() + " " + std::to_string(error.code()));
        errors.push_back(error);
    }

    // Number of finish and fail calls so far.
    std::size_t ended() const { return static_cast<std::size_t>(finished) + errors.size(); }

    std::function<bool(const std::string&)> refuse;
    std::vector<Asked> asked;
    std::vector<std::string> events;
    std::vector<Error> errors;
    int finished = 0;
};

// Runs the main loop until `condition` holds; false after `seconds`.
inline bool runUntil(const std::function<bool()>& condition, double seconds = 10) {
    return RunLoop::current().runModeUntil(RunLoop::kDefaultMode, condition, RunLoop::dateAfter(seconds));
}

// Runs until the delegate heard `count` ends of loads and nothing is loading.
inline bool waitForLoads(const RecordingWebDelegate& delegate, std::size_t count, double seconds = 10) {
    return runUntil([&] { return delegate.ended() >= count && WebView::loadsInFlight() == 0; }, seconds);
}

} // namespace murmelo::test
