#include "platform/ui/ScreenRenderer.h"

#include <cmath>
#include <ctime>

#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/FileSystem.h"
#include "platform/graphics/FontLibrary.h"
#include "platform/graphics/ImageContext.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/Application.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenChanges.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "platform/ui/internal/AlertOverlay.h"
#include "platform/ui/internal/LayoutPass.h"
#include "platform/ui/internal/ViewPainters.h"

namespace murmelo {

namespace {

std::string localTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    int hour = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d %s", hour, local.tm_min, local.tm_hour < 12 ? "AM" : "PM");
    return text;
}

double deviceScale() {
    double scale = DeviceProfile::current()->screenScale();
    return scale >= 1 && scale <= 4 ? scale : 1;
}

} // namespace

ScreenRenderer::ScreenRenderer(ScreenRenderOptions options)
    : m_scale(options.scale && *options.scale > 0 && *options.scale <= 4 ? *options.scale : deviceScale()),
      m_time(options.statusBarTime ? *options.statusBarTime : localTime()) {}

void ScreenRenderer::drawView(DrawingContext& context, const View& view) {
    if (view.isHidden() || view.alpha() < 0.01) {
        return;
    }
    const Rect& bounds = view.bounds();
    context.saveGState();
    // Superview coordinates → the view's own: around its center, through
    // its transform, to its bounds' origin.
    Point center = view.center();
    context.translateCTM(center.x, center.y);
    context.concatCTM(view.transform());
    context.translateCTM(-bounds.x() - bounds.width() / 2, -bounds.y() - bounds.height() / 2);
    bool layer = view.alpha() < 1;
    if (layer) {
        context.setAlpha(view.alpha());
        context.beginTransparencyLayer();
    }
    if (view.clipsToBounds()) {
        context.clipToRect(bounds);
    }
    if (view.backgroundColor() && !internal::paintsOwnBackground(view)) {
        context.saveGState();
        context.setFillColor(*view.backgroundColor());
        context.fillRect(bounds);
        context.restoreGState();
    }
    internal::paintPlatformView(context, view);

    // The view's own drawing may leave states or layers open; they end here.
    DrawingContext::Mark mark = context.mark();
    context.saveGState();
    graphicsPushContext(context);
    const_cast<View&>(view).drawRect(context, bounds);
    graphicsPopContext();
    context.unwindTo(mark);

    for (const auto& subview : view.subviews()) {
        drawView(context, *subview);
    }
    if (layer) {
        context.endTransparencyLayer();
    }
    context.restoreGState();
}

void ScreenRenderer::drawStatusBar(DrawingContext& context) {
    Application& app = Application::sharedApplication();
    if (app.isStatusBarHidden()) {
        return;
    }
    Rect bar(0, 0, Screen::mainScreen().bounds().width(), Screen::kStatusBarHeight);
    bool dark = app.statusBarStyle() != StatusBarStyle::Default;
    Color ink = dark ? Color::whiteColor() : Color::blackColor();
    context.saveGState();
    if (dark) {
        context.setFillColor(app.statusBarStyle() == StatusBarStyle::BlackTranslucent ? Color(0, 0, 0, 0.6)
                                                                                      : Color::blackColor());
        context.fillRect(bar);
    } else if (auto g = Gradient::withColors({Color::colorWithWhite(0.85), Color::colorWithWhite(0.62)})) {
        context.clipToRect(bar);
        context.drawLinearGradient(*g, {0, 0}, {0, bar.height()});
    }
    context.restoreGState();

    context.saveGState();
    context.setFillColor(ink);
    // Signal bars, then the network's name.
    for (int i = 0; i < 5; ++i) {
        double h = 3 + i * 2;
        context.fillRect(Rect(5 + i * 4, 14 - h, 3, h));
    }
    std::string network;
    switch (DeviceProfile::current()->networkState()) {
    case NetworkState::None:
        network = "No Service";
        break;
    case NetworkState::Carrier:
        network = "Carrier 3G";
        break;
    case NetworkState::Wifi:
    case NetworkState::Host:
        network = "Carrier WiFi";
        break;
    }
    Font font = Font::boldSystemFontOfSize(12);
    Size networkSize =
        context.drawText(network, Rect(27, 3, 120, 15), font, TextAlignment::Left, LineBreakMode::Clip, 1);
    if (app.isNetworkActivityIndicatorVisible()) {
        internal::paintSpinner(context, Rect(27 + networkSize.width + 5, 4, 12, 12), ink);
    }
    context.drawText(m_time, Rect(bar.width() / 2 - 50, 3, 100, 15), font, TextAlignment::Center,
                     LineBreakMode::Clip, 1);
    // The battery, full.
    Rect battery(bar.width() - 31, 5, 24, 11);
    context.setStrokeColor(ink);
    context.strokeRect(battery.insetBy(0.5, 0.5));
    context.fillRect(Rect(battery.maxX(), battery.y() + 3, 2, 5));
    context.fillRect(battery.insetBy(2, 2));
    context.restoreGState();
}

Result<Bitmap> ScreenRenderer::renderScreen() {
    assertMainThread();
    ScreenChanges::Quiet quiet; // what the layout pass changes is drawn here
    internal::runLayoutPass();
    Rect screen = Screen::mainScreen().bounds();
    MURMELO_TRY_VALUE(auto bitmap, Bitmap::create(std::uint32_t(std::lround(screen.width() * m_scale)),
                                                  std::uint32_t(std::lround(screen.height() * m_scale))));
    {
        DrawingContext context(bitmap, m_scale);
        context.setFillColor(Color::blackColor()); // the glass where nothing is shown
        context.fillRect(screen);

        Application& app = Application::sharedApplication();
        auto& overlay = internal::AlertOverlay::shared();
        auto panels = overlay.panels();
        std::shared_ptr<Window> overlayWindow = panels.empty() ? nullptr : overlay.window();
        bool statusBarDrawn = false;
        for (const auto& window : app.windows()) {
            if (window->isHidden() || window == overlayWindow) {
                continue;
            }
            if (!statusBarDrawn && window->windowLevel() >= kWindowLevelStatusBar) {
                drawStatusBar(context);
                statusBarDrawn = true;
            }
            drawView(context, *window);
        }
        if (!statusBarDrawn) {
            drawStatusBar(context);
        }
        if (overlayWindow) {
            // Modal: the screen behind the front panel dims.
            bool sheet = dynamic_cast<const ActionSheet*>(panels.back().get()) != nullptr;
            context.saveGState();
            context.setFillColor(Color(0, 0, 0, sheet ? 0.35 : 0.45));
            context.fillRect(screen);
            context.restoreGState();
            drawView(context, *overlayWindow);
        }
    }
    return bitmap;
}

Result<Bitmap> ScreenRenderer::renderView(const View& view) {
    assertMainThread();
    ScreenChanges::Quiet quiet; // what the layout pass changes is drawn here
    internal::runLayoutPass();
    Rect frame = view.frame();
    double width = std::ceil(frame.width() * m_scale);
    double height = std::ceil(frame.height() * m_scale);
    if (!(width >= 1 && height >= 1 && width <= Bitmap::kMaxSide && height <= Bitmap::kMaxSide)) {
        return Error("MurmeloGraphicsErrorDomain", 1, "view of no drawable size: " + frame.description());
    }
    MURMELO_TRY_VALUE(auto bitmap, Bitmap::create(std::uint32_t(width), std::uint32_t(height)));
    {
        DrawingContext context(bitmap, m_scale);
        // The view's frame at the picture's origin.
        context.translateCTM(-frame.x(), -frame.y());
        drawView(context, view);
    }
    return bitmap;
}

Result<Data> renderScreenToPNG(const ScreenRenderOptions& options) {
    ScreenRenderer renderer(options);
    MURMELO_TRY_VALUE(auto bitmap, renderer.renderScreen());
    return bitmap.encodePNG();
}

Result<void> renderKeyWindowToPNG(const std::string& path, const ScreenRenderOptions& options) {
    MURMELO_TRY_VALUE(auto png, renderScreenToPNG(options));
    return fs::writeFileAtomically(path, std::string(png.begin(), png.end()));
}

} // namespace murmelo
