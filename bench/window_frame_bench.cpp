// What the window pays for each change of the screen, beside the way a
// person saw the screen before it: a frame for the window is the screen
// renderer's bitmap, handed over as it is; the baseline is `shot`, the same
// picture encoded as PNG. The screen: a pool page of twenty secrets with
// their links in a web view under a toolbar-sized bar, at the device's
// scale (2).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "platform/foundation/AppHome.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/ScreenRenderer.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "tools/window/DeviceControls.h"

using namespace murmelo;

namespace {

struct PoolScreen {
    PoolScreen() {
        char folder[] = "/tmp/murmelo-bench-XXXXXX";
        if (!::mkdtemp(folder) || !AppHome::setCurrent(std::string(folder) + "/home")) {
            return;
        }
        window = std::make_shared<Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        auto bar = std::make_shared<View>(Rect(0, 20, 320, 44));
        bar->setBackgroundColor(Color::darkGrayColor());
        window->addSubview(bar);
        web = std::make_shared<WebView>(Rect(0, 64, 320, 366));
        window->addSubview(web);
        std::string html =
            "<h1>Secret pool</h1><form><input type=search name=q placeholder=\"search secrets\">"
            "<button type=submit>Search</button></form>";
        for (int i = 0; i < 20; ++i) {
            html += "<p>Secret number " + std::to_string(i) +
                    ": I never told anyone that I keep a list of every dog I have petted.</p>"
                    "<p>1 hour ago &middot; <a href=\"c?i=" +
                    std::to_string(i) + "\">1 comment</a> &middot; <a href=\"s?i=" + std::to_string(i) +
                    "\">share</a></p>";
        }
        web->loadHTMLString(html, URL::strictParse("http://secrets.test/index.php"));
        ready = Interaction::runUntil([&] { return !web->isLoading() && !web->page().links.empty(); }, 10);
    }

    bool ready = false;
    std::shared_ptr<Window> window;
    std::shared_ptr<WebView> web;
};

PoolScreen& poolScreen() {
    static PoolScreen screen;
    return screen;
}

// The window's frame: the renderer's bitmap.
void BM_WindowFrame(benchmark::State& state) {
    if (!poolScreen().ready) {
        state.SkipWithError("the page did not load");
        return;
    }
    for (auto _ : state) {
        auto frame = window::renderFrame();
        if (!frame) {
            state.SkipWithError("no frame");
            break;
        }
        benchmark::DoNotOptimize(frame->pixels());
    }
}
BENCHMARK(BM_WindowFrame)->Unit(benchmark::kMillisecond);

// The baseline: the driver's `shot`, rendered and encoded as PNG.
void BM_ShotPNG(benchmark::State& state) {
    if (!poolScreen().ready) {
        state.SkipWithError("the page did not load");
        return;
    }
    for (auto _ : state) {
        auto png = renderScreenToPNG();
        if (!png) {
            state.SkipWithError("no PNG");
            break;
        }
        benchmark::DoNotOptimize(png->data());
    }
}
BENCHMARK(BM_ShotPNG)->Unit(benchmark::kMillisecond);

// A scroll step of the wheel: the web view moves and a frame is drawn.
void BM_WindowScrollFrame(benchmark::State& state) {
    if (!poolScreen().ready) {
        state.SkipWithError("the page did not load");
        return;
    }
    double step = 40;
    for (auto _ : state) {
        if (!poolScreen().web->scrollBy(step)) {
            step = -step;
            (void)poolScreen().web->scrollBy(step);
        }
        auto frame = window::renderFrame();
        benchmark::DoNotOptimize(frame);
    }
}
BENCHMARK(BM_WindowScrollFrame)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
