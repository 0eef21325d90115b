// Shared pieces of the advertising tests: scripted adapters registered for a
// test's life (the production program has no adapter that serves an ad yet),
// and an owner that writes down what the banner tells it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ads/AdWhirlAdNetworkAdapter.h"
#include "app/ads/AdWhirlAdNetworkConfig.h"
#include "app/ads/AdWhirlAdNetworkRegistry.h"
#include "app/ads/AdWhirlDelegate.h"
#include "app/ads/AdWhirlView.h"
#include "platform/ui/ViewController.h"

namespace murmelo::test {

// What a scripted adapter does when asked for an ad.
enum class AdAnswer { View, Fail, Silent };

struct AdScript {
    std::vector<std::string> requests;       // network names, in request order
    std::map<std::string, AdAnswer> answers; // by network name; View when absent
    int detached = 0;
};

class ScriptedAdapter : public AdWhirlAdNetworkAdapter {
public:
    ScriptedAdapter(std::shared_ptr<AdScript> script, std::weak_ptr<AdWhirlDelegate> delegate,
                    std::weak_ptr<AdWhirlView> view, std::shared_ptr<AdWhirlConfig> config,
                    std::shared_ptr<const AdWhirlAdNetworkConfig> network)
        : AdWhirlAdNetworkAdapter(std::move(delegate), std::move(view), std::move(config),
                                  std::move(network)),
          m_script(std::move(script)) {}

    void getAd() override {
        const std::string& name = networkConfig()->networkName();
        m_script->requests.push_back(name);
        auto found = m_script->answers.find(name);
        const AdAnswer answer = found == m_script->answers.end() ? AdAnswer::View : found->second;
        auto banner = adWhirlView();
        if (answer == AdAnswer::View) {
            auto ad = std::make_shared<View>(Rect(0, 0, 320, 50));
            setAdNetworkView(ad);
            banner->didReceiveAdView(*this, ad);
        } else if (answer == AdAnswer::Fail) {
            banner->didFailAd(*this, std::nullopt);
        }
    }
    void stopBeingDelegate() override { ++m_script->detached; }

private:
    std::shared_ptr<AdScript> m_script;
};

// Registers scripted adapters for the given types and removes them again.
class ScriptedAdapters {
public:
    explicit ScriptedAdapters(std::vector<int> types) : m_types(std::move(types)) {
        for (int type : m_types) {
            auto adapterClass = std::make_shared<AdWhirlAdapterClass>();
            adapterClass->networkType = type;
            adapterClass->name = "ScriptedAdapter";
            adapterClass->create = [script = m_script](auto delegate, auto view, auto config, auto network) {
                return std::make_shared<ScriptedAdapter>(script, delegate, view, config, network);
            };
            AdWhirlAdNetworkRegistry::sharedRegistry().registerClass(adapterClass);
        }
    }
    ~ScriptedAdapters() {
        for (int type : m_types) {
            AdWhirlAdNetworkRegistry::sharedRegistry().unregisterClassFor(type);
        }
    }
    AdScript& script() { return *m_script; }

private:
    std::vector<int> m_types;
    std::shared_ptr<AdScript> m_script = std::make_shared<AdScript>();
};

class RecordingOwner : public AdWhirlDelegate {
public:
    explicit RecordingOwner(std::string appKey) : m_appKey(std::move(appKey)) {}
    std::string adWhirlApplicationKey() override { return m_appKey; }
    std::optional<std::shared_ptr<ViewController>> viewControllerForPresentingModalView() override {
        return presenter;
    }
    std::optional<URL> adWhirlConfigURL() override { return configURL; }
    void adWhirlDidReceiveAd(AdWhirlView&) override { events.push_back("received"); }
    void adWhirlDidFailToReceiveAd(AdWhirlView& view, bool usingBackup) override {
        events.push_back(std::string(usingBackup ? "failed+backup " : "failed ") +
                         (view.lastError() ? std::to_string(view.lastError()->code()) : "-"));
    }
    void adWhirlReceivedNotificationAdsAreOff(AdWhirlView&) override { events.push_back("ads off"); }

    std::shared_ptr<ViewController> presenter = std::make_shared<ViewController>();
    std::optional<URL> configURL;
    std::vector<std::string> events;

private:
    std::string m_appKey;
};

} // namespace murmelo::test
