// The shell's test bench: a temporary home with the application's real
// resources, the reference servers on loopback reached through the
// connect-to map under the application's own host names, a fresh
// application and operation queue per test, and a recorder for addresses
// the application opens outside itself.
//
// "Restarting" keeps the home (user defaults and device profile on disk)
// and makes a new application, as a second launch on the same phone would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/base/OVOperationManager.h"
#include "app/base/OVUtils.h"
#include "app/shell/AppDelegate_Phone.h"
#include "app/shell/AppMain.h"
#include "app/web/OVWebViewController.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/ConnectToMap.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/Window.h"
#include "servers/ReferenceServers.h"
#include "tests/app/shell/shell_resources.h"
#include "tests/support/temporary_directory.h"

namespace murmelo::test {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AppHome::replaceCurrentForTesting(m_dir.path() + "/home"));
        Bundle::setMainBundlePath(applicationResources());
        UserDefaults::resetStandardUserDefaults();
        DeviceProfile::resetCurrent();
        OVUtils::resetCachedIdentityForTesting();
        setDeviceNetworkState(NetworkState::Wifi);
        Application::resetSharedForTesting();
        Application::setAnimationDurationScale(0.05);
        m_queue = std::make_shared<OperationQueue>(OVOperationManager::kDefaultMaxConcurrentOperationCount,
                                                   "shell-test");
        OVOperationManager::sharedOperationManager().setOperationQueue(m_queue);
        startServers(servers::ServerConfig::defaults());
    }

    void TearDown() override {
        endRun();
        ConnectToMap::shared().clear();
        m_servers.reset();
        setDeviceNetworkState(NetworkState::Wifi);
        OVUtils::resetCachedIdentityForTesting();
        DeviceProfile::resetCurrent();
        UserDefaults::resetStandardUserDefaults();
    }

    // (Re)starts the servers with `config`, keeping their data folder.
    void startServers(servers::ServerConfig config) {
        m_servers.reset();
        servers::ReferenceServers::Options options;
        options.dataDirectory = m_dir.path() + "/data";
        options.config = std::move(config);
        options.logRequests = false;
        auto started = servers::ReferenceServers::start(std::move(options));
        ASSERT_TRUE(started) << started.error().localizedDescription();
        m_servers = std::move(*started);
        ConnectToMap::shared().clear();
        ASSERT_TRUE(ConnectToMap::shared().addRules("::127.0.0.1:" + std::to_string(m_servers->port())));
    }

    // The device for the next launch ("network=none", "idiom=pad", ...).
    void useDevice(const std::vector<std::string>& options) {
        DeviceProfile profile = *DeviceProfile::current();
        ASSERT_TRUE(profile.applyOverrides(options));
        DeviceProfile::setCurrent(profile);
        // The device's network is read once per process; set it as a phone
        // would find it at this launch.
        setDeviceNetworkState(profile.networkState());
        UserDefaults::resetStandardUserDefaults(); // its device domain comes from the profile
        OVUtils::resetCachedIdentityForTesting();
    }

    // Launches as the device's idiom decides and records opened addresses.
    void launch() {
        Application& app = Application::sharedApplication();
        app.setOpenURLHandler([this](const URL& url) {
            opened.push_back(url.absoluteString());
            return true;
        });
        auto launched = app.launch(murmeloDelegateFactories());
        ASSERT_TRUE(launched) << launched.error().localizedDescription();
    }

    std::shared_ptr<AppDelegate_Phone> phone() const {
        return std::dynamic_pointer_cast<AppDelegate_Phone>(Application::sharedApplication().delegate());
    }

    // The application ends: its work finishes, its lasting state is saved
    // and everything in memory is dropped (the home stays).
    void endRun() {
        EXPECT_TRUE(m_queue->waitUntilAllOperationsAreFinished(kShellBound));
        Interaction::settle(kShellBound);
        // Its screens leave the screen as they do when a process ends, so the
        // next run may show them again.
        if (const auto& window = Application::sharedApplication().mainWindow()) {
            window->setHidden(true);
        }
        Application::resetSharedForTesting();
        // The secret pool's screen is the process's one instance and outlives
        // a run; off screen now, it lets go of its view (and the page shown),
        // so the next launch starts with a fresh one as a new process would.
        OVWebViewController::sharedOVWebViewController()->didReceiveMemoryWarning();
        UserDefaults::resetStandardUserDefaults();
        DeviceProfile::resetCurrent();
        OVUtils::resetCachedIdentityForTesting();
    }

    void restart() {
        endRun();
        launch();
    }

    servers::EventLog& events() { return m_servers->events(); }

    // Waits for an event of `role` at `path`; the events seen so far when it
    // came, or when the bound passed.
    std::vector<servers::RecordedEvent> awaitEvents(const std::string& role, const std::string& path,
                                                    size_t count = 1) {
        std::vector<servers::RecordedEvent> found;
        Interaction::runUntil(
            [&] {
                found.clear();
                for (auto& event : events().events(role)) {
                    if (event.path == path) {
                        found.push_back(event);
                    }
                }
                return found.size() >= count;
            },
            kShellBound);
        return found;
    }

    size_t countEvents(const std::string& role, const std::string& path) {
        size_t count = 0;
        for (auto& event : events().events(role)) {
            count += event.path == path ? 1 : 0;
        }
        return count;
    }

    TemporaryDirectory m_dir; // first: outlives the servers using it
    std::vector<std::string> opened;
    std::shared_ptr<OperationQueue> m_queue;
    std::unique_ptr<servers::ReferenceServers> m_servers;
};

} // namespace murmelo::test
