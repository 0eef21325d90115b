// The screen renderer: views as pixels (frames, backgrounds, alpha, z-order,
// clipping, transforms, drawRect), modal panels, and a sample screen
// compared with the committed reference picture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "platform/graphics/ImageContext.h"
#include "platform/graphics/ImageDecoder.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScreenRenderer.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/TabBarItem.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/WebPagePainter.h"
#include "tests/platform/ui/ui_test_support.h"

namespace murmelo {
namespace {

std::string sourceRoot() {
    return MURMELO_SOURCE_DIR;
}

bool near(RGBA8 a, RGBA8 b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance && std::abs(a.a - b.a) <= tolerance;
}

// Draws into its bounds and notes what it was given.
class Marker : public View {
public:
    using View::View;
    void drawRect(DrawingContext& context, const Rect& rect) override {
        drawnRect = rect;
        wasCurrent = graphicsGetCurrentContext() == &context;
        context.saveGState(); // left open on purpose: the renderer must not leak it
        context.setFillColor(Color::greenColor());
        context.fillRect(Rect(0, 0, 5, 5));
    }
    std::optional<Rect> drawnRect;
    bool wasCurrent = false;
};

class RendererTest : public test::UITest {
protected:
    Bitmap render(double scale = 1) {
        ScreenRenderOptions options;
        options.scale = scale;
        options.statusBarTime = "9:41 AM";
        auto bitmap = ScreenRenderer(options).renderScreen();
        EXPECT_TRUE(bitmap);
        return std::move(*bitmap);
    }
};

TEST_F(RendererTest, ViewsDrawWithFramesAlphaOrderClippingAndTheirOwnDrawing) {
    auto window = makeWindow();
    window->setBackgroundColor(Color::whiteColor());
    auto add = [&](View& parent, Rect frame, std::optional<Color> colour) {
        auto view = std::make_shared<View>(frame);
        view->setBackgroundColor(colour);
        parent.addSubview(view);
        return view;
    };
    add(*window, Rect(10, 30, 20, 20), Color::redColor());
    add(*window, Rect(20, 40, 20, 20), Color::blueColor())->setAlpha(0.5);
    add(*window, Rect(50, 30, 10, 10), Color::greenColor())->setHidden(true);
    auto clipping = add(*window, Rect(100, 30, 20, 20), std::nullopt);
    clipping->setClipsToBounds(true);
    add(*clipping, Rect(10, 10, 30, 30), Color::blackColor());
    auto open = add(*window, Rect(150, 30, 20, 20), std::nullopt);
    add(*open, Rect(10, 10, 30, 30), Color::blackColor());
    auto grown = add(*window, Rect(200, 30, 10, 10), Color::blackColor());
    grown->setTransform(AffineTransform::scale(2, 2)); // 20×20 around (205, 35)
    auto marker = std::make_shared<Marker>(Rect(250, 30, 20, 20));
    window->addSubview(marker);
    // A translucent parent composites its children as one picture.
    auto group = add(*window, Rect(10, 100, 40, 20), std::nullopt);
    group->setAlpha(0.5);
    add(*group, Rect(0, 0, 30, 20), Color::blackColor());
    add(*group, Rect(10, 0, 30, 20), Color::blackColor());

    for (double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        Bitmap b = render(scale);
        EXPECT_EQ(b.width(), std::uint32_t(320 * scale));
        EXPECT_EQ(b.height(), std::uint32_t(480 * scale));
        auto at = [&](double x, double y) {
            return b.pixelAt(std::uint32_t(x * scale), std::uint32_t(y * scale));
        };
        EXPECT_EQ(at(15, 35), (RGBA8{255, 0, 0, 255}));
        EXPECT_TRUE(near(at(25, 45), RGBA8{128, 0, 127, 255}, 2));   // blue at half over red
        EXPECT_TRUE(near(at(35, 55), RGBA8{128, 128, 255, 255}, 2)); // over the white window
        EXPECT_EQ(at(55, 35), (RGBA8{255, 255, 255, 255}));          // hidden
        EXPECT_EQ(at(115, 45), (RGBA8{0, 0, 0, 255}));
        EXPECT_EQ(at(125, 45), (RGBA8{255, 255, 255, 255})); // clipped
        EXPECT_EQ(at(175, 45), (RGBA8{0, 0, 0, 255}));       // not clipped
        EXPECT_EQ(at(196, 26), (RGBA8{0, 0, 0, 255}));       // scaled around its centre
        EXPECT_EQ(at(252, 32), (RGBA8{0, 255, 0, 255}));     // its own drawing, in its coordinates
        EXPECT_TRUE(near(at(25, 110), at(15, 110), 0));      // one layer: no darker overlap
        EXPECT_TRUE(near(at(15, 110), RGBA8{128, 128, 128, 255}, 2));
    }
    ASSERT_TRUE(marker->drawnRect);
    EXPECT_EQ(*marker->drawnRect, Rect(0, 0, 20, 20));
    EXPECT_TRUE(marker->wasCurrent);
    EXPECT_EQ(graphicsGetCurrentContext(), nullptr);
}

TEST_F(RendererTest, StatusBarAndModalPanels) {
    auto window = makeWindow();
    window->setBackgroundColor(Color::whiteColor());
    Application& app = Application::sharedApplication();

    app.setStatusBarStyle(StatusBarStyle::BlackOpaque);
    Bitmap dark = render();
    EXPECT_EQ(dark.pixelAt(100, 1), (RGBA8{0, 0, 0, 255}));
    app.setStatusBarHidden(true);
    Bitmap hidden = render();
    EXPECT_EQ(hidden.pixelAt(100, 1), (RGBA8{255, 255, 255, 255}));
    app.setStatusBarHidden(false);

    auto alert = std::make_shared<AlertView>("Network error", "Please check your connection.",
                                             std::weak_ptr<AlertViewDelegate>(), "OK");
    alert->show();
    Bitmap modal = render();
    // Around the panel the screen dims; the panel itself is its dark blue.
    RGBA8 dimmed = modal.pixelAt(5, 470);
    EXPECT_LT(dimmed.r, 160);
    EXPECT_EQ(dimmed.r, dimmed.b);
    Rect frame = alert->frame();
    RGBA8 panel = modal.pixelAt(std::uint32_t(frame.x() + 6), std::uint32_t(frame.midY()));
    EXPECT_LT(panel.r, 60);
    EXPECT_GT(panel.b, panel.r + 40);
    alert->dismissWithClickedButtonIndex(0, false);
    EXPECT_EQ(render().pixelAt(5, 470), (RGBA8{255, 255, 255, 255}));
}

// ---- the sample screen

// The progress overlay's body as the app draws it.
class OverlayBody : public View {
public:
    using View::View;
    void drawRect(DrawingContext& c, const Rect&) override {
        Rect r = bounds().insetBy(1, 1);
        double radius = 10;
        c.setFillColor(Color(0, 0, 0, 0.85));
        c.moveToPoint(r.minX() + radius, r.minY());
        c.addArc(r.maxX() - radius, r.minY() + radius, radius, 3 * M_PI / 2, 0, 0);
        c.addArc(r.maxX() - radius, r.maxY() - radius, radius, 0, M_PI / 2, 0);
        c.addArc(r.minX() + radius, r.maxY() - radius, radius, M_PI / 2, M_PI, 0);
        c.addArc(r.minX() + radius, r.minY() + radius, radius, M_PI, 3 * M_PI / 2, 0);
        c.closePath();
        c.fillPath();
    }
};

// Stands where the web view will: paints a page in its bounds.
class PageView : public View {
public:
    PageView(const Rect& frame, WebPage page, WebPaintOptions options)
        : View(frame), m_page(std::move(page)), m_options(std::move(options)) {}
    void drawRect(DrawingContext& c, const Rect&) override { paintWebPage(c, m_page, bounds(), m_options); }

private:
    WebPage m_page;
    WebPaintOptions m_options;
};

std::shared_ptr<const Image> drawnImage(Size size, const std::function<void(DrawingContext&)>& draw) {
    auto offscreen = ImageContext::create(size, 2).value();
    draw(offscreen->context());
    return offscreen->image();
}

WebPage samplePage() {
    WebPage page;
    page.url = "http://secrets.example/index.php";
    page.title = "Secret pool";
    auto text = [](std::string t, bool bold = false) {
        WebInline i;
        i.text = std::move(t);
        i.bold = bold;
        return i;
    };
    auto link = [](std::string t, size_t index) {
        WebInline i;
        i.kind = WebInline::Kind::Link;
        i.text = std::move(t);
        i.linkIndex = index;
        return i;
    };
    page.links = {{"Read 12 comments", "http://secrets.example/comment?id=7"},
                  {"Share", "http://secrets.example/shareToiPhoneFT?secret_id=7"}};
    WebInline picture;
    picture.kind = WebInline::Kind::Image;
    picture.text = "avatar";
    picture.imageURL = "http://secrets.example/avatar.png";
    picture.imageWidth = 40;
    picture.imageHeight = 40;
    page.blocks.push_back({WebBlock::Kind::Heading, 1, {text("Secret pool")}});
    page.blocks.push_back({WebBlock::Kind::Paragraph, 0, {picture}});
    page.blocks.push_back(
        {WebBlock::Kind::Paragraph,
         0,
         {text("I still sleep with the teddy bear my sister gave me. "), text("Nobody knows.", true)}});
    page.blocks.push_back(
        {WebBlock::Kind::Paragraph, 0, {link("Read 12 comments", 0), text(" · "), link("Share", 1)}});
    page.blocks.push_back({WebBlock::Kind::Rule, 0, {}});
    WebForm form;
    form.action = "http://secrets.example/index.php?r=secret/create";
    form.method = "POST";
    WebFormField secret;
    secret.type = "textarea";
    secret.name = "content";
    secret.placeholder = "Tell your secret...";
    WebFormField post;
    post.type = "submit";
    post.label = "Post";
    form.fields = {secret, post};
    page.forms = {form};
    WebInline field0;
    field0.kind = WebInline::Kind::Field;
    field0.formIndex = 0;
    field0.fieldIndex = 0;
    WebInline field1 = field0;
    field1.fieldIndex = 1;
    page.blocks.push_back({WebBlock::Kind::Paragraph, 0, {text("Tell one of yours:", true), field0, field1}});
    return page;
}

struct SampleScreen {
    std::shared_ptr<Window> window;
    std::shared_ptr<TabBarController> tabs;
};

SampleScreen buildSampleScreen(const std::shared_ptr<Window>& window) {
    auto tile = drawnImage(Size{8, 8}, [](DrawingContext& c) {
        c.setFillColor(Color(0.16, 0.2, 0.27));
        c.fillRect(Rect(0, 0, 8, 8));
        c.setFillColor(Color(0.2, 0.25, 0.33));
        c.fillRect(Rect(0, 0, 4, 4));
        c.fillRect(Rect(4, 4, 4, 4));
    });
    auto star = drawnImage(Size{30, 30}, [](DrawingContext& c) {
        c.setFillColor(Color::whiteColor());
        for (int i = 0; i < 10; ++i) {
            double angle = -M_PI / 2 + i * M_PI / 5;
            double radius = i % 2 ? 6 : 14;
            double x = 15 + radius * std::cos(angle), y = 15 + radius * std::sin(angle);
            i == 0 ? c.moveToPoint(x, y) : c.addLineToPoint(x, y);
        }
        c.closePath();
        c.fillPath();
    });
    auto pencil = drawnImage(Size{30, 30}, [](DrawingContext& c) {
        c.setStrokeColor(Color::whiteColor());
        c.setLineWidth(5);
        c.moveToPoint(6, 24);
        c.addLineToPoint(24, 6);
        c.strokePath();
    });
    auto avatar = drawnImage(Size{40, 40}, [](DrawingContext& c) {
        auto g = Gradient::withColors({Color(0.95, 0.55, 0.2), Color(0.85, 0.2, 0.35)});
        c.addRoundedRect(Rect(0, 0, 40, 40), 8);
        c.clip();
        c.drawLinearGradient(*g, {0, 0}, {40, 40});
    });

    auto pool = std::make_shared<ViewController>();
    pool->setTabBarItem(std::make_shared<TabBarItem>("Secret pool", star, 20));
    auto posting = std::make_shared<ViewController>();
    posting->setTabBarItem(std::make_shared<TabBarItem>("Post your secret", pencil, 21));
    auto tabs = std::make_shared<TabBarController>();
    tabs->setViewControllers({pool, posting}, false);
    window->setRootViewController(tabs);

    auto root = pool->view();
    root->setBackgroundColor(Color::colorWithPatternImage(tile));
    auto toolbar = std::make_shared<Toolbar>(Rect(0, 0, 320, 44));
    toolbar->setBarStyle(BarStyle::Black);
    auto spinner = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::White);
    spinner->startAnimating();
    toolbar->setItems({BarButtonItem::withSystemItem(BarButtonSystemItem::Refresh),
                       BarButtonItem::withCustomView(spinner),
                       BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace),
                       BarButtonItem::withTitle("Share", BarButtonItemStyle::Bordered),
                       BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace),
                       BarButtonItem::withTitle("Feedback", BarButtonItemStyle::Bordered)});
    root->addSubview(toolbar);

    WebPaintOptions options;
    options.images["http://secrets.example/avatar.png"] = avatar;
    auto page = std::make_shared<PageView>(Rect(0, 44, 320, 287), samplePage(), options);
    page->setBackgroundColor(Color(1, 1, 1, 0.92));
    root->addSubview(page);

    auto search = std::make_shared<TextField>(Rect(10, 338, 200, 30));
    search->setBorderStyle(TextBorderStyle::RoundedRect);
    search->setPlaceholder("Search secrets");
    root->addSubview(search);
    auto go = std::make_shared<Button>(Rect(220, 338, 90, 30), ButtonType::RoundedRect);
    go->setTitle("Search", ControlState::Normal);
    root->addSubview(go);
    auto note = std::make_shared<Label>(Rect(10, 372, 300, 36));
    note->setBackgroundColor(std::nullopt);
    note->setTextColor(Color::whiteColor());
    note->setFont(Font::boldSystemFontOfSize(12));
    note->setNumberOfLines(2);
    note->setText("We will not save any personal information; posting a secret is totally anonymous.");
    root->addSubview(note);

    auto overlay = std::make_shared<OverlayBody>(Rect(70, 140, 180, 140));
    overlay->setBackgroundColor(Color::clearColor());
    overlay->setAlpha(0.85);
    auto big = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::WhiteLarge);
    big->setCenter({90, 70});
    big->startAnimating();
    auto info = std::make_shared<Label>(Rect(0, 100, 180, 40));
    info->setBackgroundColor(std::nullopt);
    info->setTextColor(Color::grayColor());
    info->setTextAlignment(TextAlignment::Center);
    info->setFont(Font::boldSystemFontOfSize(18));
    info->setText("Loading");
    overlay->addSubview(info);
    overlay->addSubview(big);
    root->addSubview(overlay);
    return {window, tabs};
}

// Pixels differing by more than `channelTolerance` in any channel.
double differingShare(const Bitmap& a, const Bitmap& b, int channelTolerance) {
    std::uint64_t differing = 0;
    for (std::uint32_t y = 0; y < a.height(); ++y) {
        for (std::uint32_t x = 0; x < a.width(); ++x) {
            differing += !near(a.pixelAt(x, y), b.pixelAt(x, y), channelTolerance);
        }
    }
    return double(differing) / (double(a.width()) * a.height());
}

TEST_F(RendererTest, SampleScreenMatchesTheReferencePicture) {
    auto screen = buildSampleScreen(makeWindow());
    ASSERT_TRUE(Interaction::settle(5));
    Bitmap actual = render(1);
    const std::string reference = sourceRoot() + "/tests/data/reference_screen.png";
    if (std::getenv("MURMELO_UPDATE_REFERENCE")) {
        // Rewrites the reference and the picture of the docs.
        auto png = actual.encodePNG();
        ASSERT_TRUE(png);
        test::writeFile(reference, std::string(png->begin(), png->end()));
        auto sharp = render(2).encodePNG();
        ASSERT_TRUE(sharp);
        test::writeFile(sourceRoot() + "/docs/images/example-screen.png",
                        std::string(sharp->begin(), sharp->end()));
    }
    std::string bytes = test::readFile(reference);
    auto expected = decodeImage(Data(bytes.begin(), bytes.end()));
    ASSERT_TRUE(expected) << "no reference picture at " << reference;
    ASSERT_EQ(expected->width(), actual.width());
    ASSERT_EQ(expected->height(), actual.height());
    // Antialiasing may differ by machine; layout and colours may not.
    double share = differingShare(actual, *expected, 40);
    if (share > 0.01) {
        auto png = actual.encodePNG();
        std::string path = dir().file("actual_screen.png");
        test::writeFile(path, std::string(png->begin(), png->end()));
        std::filesystem::copy_file(path, std::filesystem::temp_directory_path() / "murmelo_actual_screen.png",
                                   std::filesystem::copy_options::overwrite_existing);
    }
    EXPECT_LE(share, 0.01) << "rendered screen differs from " << reference
                           << "; the picture is in the temp folder as murmelo_actual_screen.png";
}

TEST_F(RendererTest, OneViewAloneFillsItsPicture) {
    auto view = std::make_shared<View>(Rect(100, 200, 30, 20));
    view->setBackgroundColor(Color::redColor());
    auto inner = std::make_shared<View>(Rect(20, 10, 10, 10));
    inner->setBackgroundColor(Color::blueColor());
    view->addSubview(inner);
    ScreenRenderer renderer({2.0, "9:41 AM"});
    auto picture = renderer.renderView(*view);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width(), 60u);
    EXPECT_EQ(picture->height(), 40u);
    EXPECT_EQ(picture->pixelAt(0, 0), (RGBA8{255, 0, 0, 255}));
    EXPECT_EQ(picture->pixelAt(59, 39), (RGBA8{0, 0, 255, 255}));
    EXPECT_EQ(picture->pixelAt(38, 18), (RGBA8{255, 0, 0, 255}));
    EXPECT_FALSE(renderer.renderView(View(Rect(0, 0, 0, 10))));
    EXPECT_FALSE(renderer.renderView(View(Rect(0, 0, 1e9, 10))));
}

TEST_F(RendererTest, ScreenWritesAsPNGFile) {
    auto window = makeWindow();
    window->setBackgroundColor(Color::blueColor());
    std::string path = dir().file("shot.png");
    ASSERT_TRUE(renderKeyWindowToPNG(path, {1.0, "12:00"}));
    std::string bytes = test::readFile(path);
    auto picture = decodeImage(Data(bytes.begin(), bytes.end()));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width(), 320u);
    EXPECT_EQ(picture->pixelAt(160, 300), (RGBA8{0, 0, 255, 255}));
    EXPECT_FALSE(renderKeyWindowToPNG(dir().file("missing/folder/shot.png")));
}

} // namespace
} // namespace murmelo
