// Shared pieces of the web screen tests: a fresh home, bundle and
// application per test (UITest), a window showing a screen in a navigation
// stack, and waits bounded by a time-out.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/web/WebScreen.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"
#include "tests/platform/ui/ui_test_support.h"

namespace murmelo::test {

inline constexpr double kBound = 10.0;

class WebScreenTest : public UITest {
protected:
    void TearDown() override {
        // The single-instance screens outlive the test: hiding the window
        // makes them disappear, so the next test can show them again.
        if (m_window) {
            m_window->setHidden(true);
            EXPECT_TRUE(Interaction::settle());
        }
        m_navigation.reset();
        m_window.reset();
        UITest::TearDown();
    }

    // `root` as the root of a navigation stack in a visible key window.
    std::shared_ptr<NavigationController> show(std::shared_ptr<ViewController> root) {
        if (m_window) {
            m_window->setHidden(true);
        }
        m_window = makeWindow();
        m_navigation = std::make_shared<NavigationController>(std::move(root));
        m_window->setRootViewController(m_navigation);
        EXPECT_TRUE(Interaction::settle());
        return m_navigation;
    }

    // Waits until the screen's web view has no load running.
    static bool waitForLoad(const WebScreen& screen) {
        return Interaction::runUntil(
            [&] { return screen.webView() && !screen.webView()->isLoading() && Interaction::isSettled(); },
            kBound);
    }

    static std::vector<std::string> itemDescriptions(const WebScreen& screen) {
        std::vector<std::string> out;
        for (const auto& item : screen.itemArray()) {
            out.push_back(item->dumpDescription());
        }
        return out;
    }

    std::shared_ptr<Window> m_window;
    std::shared_ptr<NavigationController> m_navigation;
};

} // namespace murmelo::test
