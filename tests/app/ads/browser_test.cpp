// The in-application browser: its toolbar sets, its close report and the
// drawn back arrow.
#include <gtest/gtest.h>

#include "app/ads/AdWhirlWebBrowserController.h"
#include "platform/graphics/Bitmap.h"
#include "platform/ui/Interaction.h"
#include "tests/platform/ui/ui_test_support.h"

namespace murmelo {
namespace {

class ClosedProbe : public AdWhirlWebBrowserControllerDelegate {
public:
    void webBrowserClosed(AdWhirlWebBrowserController&) override { ++closed; }
    int closed = 0;
};

class BrowserTest : public test::UITest {};

TEST_F(BrowserTest, ToolbarSetsSwapReloadAndStop) {
    auto browser = std::make_shared<AdWhirlWebBrowserController>();
    (void)browser->view();
    const auto& loading = browser->loadingButtons();
    const auto& loaded = browser->loadedButtons();
    auto has = [](const auto& items, const auto& button) {
        return std::find(items.begin(), items.end(), button) != items.end();
    };
    EXPECT_TRUE(has(loading, browser->stopButton()));
    EXPECT_FALSE(has(loading, browser->reloadButton()));
    EXPECT_TRUE(has(loaded, browser->reloadButton()));
    EXPECT_FALSE(has(loaded, browser->stopButton()));

    browser->webViewDidStartLoad(*browser->webView());
    EXPECT_EQ(browser->toolBar()->items(), loading);
    EXPECT_FALSE(browser->backButton()->isEnabled());
    EXPECT_TRUE(browser->stopButton()->isEnabled());
    browser->webViewDidFinishLoad(*browser->webView());
    EXPECT_EQ(browser->toolBar()->items(), loaded);
    EXPECT_TRUE(browser->reloadButton()->isEnabled());
    EXPECT_FALSE(browser->stopButton()->isEnabled());
    EXPECT_FALSE(browser->linkOutButton()->isEnabled()); // no page yet
}

TEST_F(BrowserTest, CloseReportsOnceTheBrowserHasGone) {
    auto window = makeWindow();
    auto presenter = std::make_shared<ViewController>();
    window->setRootViewController(presenter);
    ASSERT_TRUE(Interaction::settle());
    auto probe = std::make_shared<ClosedProbe>();
    auto browser = std::make_shared<AdWhirlWebBrowserController>();
    browser->setDelegate(probe);
    browser->presentWithController(presenter, 7);
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(presenter->modalViewController(), browser);
    EXPECT_EQ(browser->modalTransitionStyle(), ModalTransitionStyle::CrossDissolve);
    browser->close();
    ASSERT_TRUE(Interaction::settle());
    EXPECT_FALSE(presenter->modalViewController());
    EXPECT_EQ(probe->closed, 1);
}

TEST(BrowserArrowTest, BackArrowIsAWhiteTriangleOnClear) {
    auto arrow = AdWhirlWebBrowserController::backArrowImage();
    ASSERT_TRUE(arrow && arrow->bitmap());
    const Bitmap& pixels = *arrow->bitmap();
    EXPECT_EQ(pixels.width(), 25u);
    EXPECT_EQ(pixels.pixelAt(15, 11).a, 255); // inside the triangle
    EXPECT_EQ(pixels.pixelAt(15, 11).r, 255);
    EXPECT_EQ(pixels.pixelAt(2, 2).a, 0); // outside it
    EXPECT_EQ(pixels.pixelAt(22, 11).a, 0);
}

} // namespace
} // namespace murmelo
