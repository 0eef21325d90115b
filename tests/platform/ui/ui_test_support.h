// Shared pieces of the screen tests: a fixture with a temporary home, bundle
// and a fresh application for every test, and a view controller that writes
// down what happens to it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/MailSettings.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/support/temporary_directory.h"

namespace murmelo::test {

class UITest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AppHome::replaceCurrentForTesting(m_dir.path() + "/home"));
        Bundle::setMainBundlePath(m_dir.path() + "/bundle");
        UserDefaults::resetStandardUserDefaults();
        DeviceProfile::resetCurrent();
        MailSettings::shared().reset();
        Application::resetSharedForTesting();
        // Animations run at a twentieth of their time; tests of timing set 1.
        Application::setAnimationDurationScale(0.05);
    }
    void TearDown() override {
        Application::resetSharedForTesting();
        MailSettings::shared().reset();
        DeviceProfile::resetCurrent();
        UserDefaults::resetStandardUserDefaults();
    }

    // A visible key window of the screen's size.
    std::shared_ptr<Window> makeWindow() {
        auto window = std::make_shared<Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        return window;
    }

    const TemporaryDirectory& dir() const { return m_dir; }

private:
    TemporaryDirectory m_dir;
};

using EventLog = std::vector<std::string>;

// Writes "<name>.<event>" for loading, unloading and every appearance call.
class Probe : public ViewController {
public:
    Probe(std::string name, std::shared_ptr<EventLog> log) : m_name(std::move(name)), m_log(std::move(log)) {
        setTitle(m_name);
    }

    void loadView() override {
        m_log->push_back(m_name + ".loadView");
        ViewController::loadView();
    }
    void viewDidLoad() override { m_log->push_back(m_name + ".viewDidLoad"); }
    void viewDidUnload() override { m_log->push_back(m_name + ".viewDidUnload"); }
    void viewWillAppear(bool) override { m_log->push_back(m_name + ".willAppear"); }
    void viewDidAppear(bool) override { m_log->push_back(m_name + ".didAppear"); }
    void viewWillDisappear(bool) override { m_log->push_back(m_name + ".willDisappear"); }
    void viewDidDisappear(bool) override { m_log->push_back(m_name + ".didDisappear"); }

    const std::string& name() const { return m_name; }

private:
    std::string m_name;
    std::shared_ptr<EventLog> m_log;
};

} // namespace murmelo::test
