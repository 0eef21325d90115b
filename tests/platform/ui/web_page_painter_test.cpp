// The web page painter with hand-made pages: where things land, colours of
// links and backgrounds, decoded pictures versus boxes, clipping to the
// frame, and the height the page takes.
#include <gtest/gtest.h>

#include "platform/graphics/ImageContext.h"
#include "platform/ui/WebPagePainter.h"

namespace murmelo {
namespace {

WebInline text(std::string t) {
    WebInline i;
    i.text = std::move(t);
    return i;
}

WebInline link(std::string t, size_t index) {
    WebInline i;
    i.kind = WebInline::Kind::Link;
    i.text = std::move(t);
    i.linkIndex = index;
    return i;
}

WebInline picture(std::string url, double w, double h) {
    WebInline i;
    i.kind = WebInline::Kind::Image;
    i.imageURL = std::move(url);
    i.text = "alt";
    i.imageWidth = w;
    i.imageHeight = h;
    return i;
}

Bitmap paint(const WebPage& page, const Rect& frame, const WebPaintOptions& options = {},
             double* height = nullptr) {
    Bitmap bitmap = Bitmap::create(320, 400).value();
    DrawingContext c(bitmap, 1);
    c.setFillColor(Color::whiteColor());
    c.fillRect(Rect(0, 0, 320, 400));
    double h = paintWebPage(c, page, frame, options);
    if (height) {
        *height = h;
    }
    return bitmap;
}

// How many pixels of the area are mostly blue (link ink).
int bluePixels(const Bitmap& b, Rect area) {
    int n = 0;
    for (auto y = std::uint32_t(area.minY()); y < std::uint32_t(area.maxY()); ++y) {
        for (auto x = std::uint32_t(area.minX()); x < std::uint32_t(area.maxX()); ++x) {
            RGBA8 p = b.pixelAt(x, y);
            n += p.b > 150 && p.r < 110 && p.g < 140;
        }
    }
    return n;
}

TEST(WebPagePainter, PicturesDecodedOrBoxedWhereTheyStand) {
    WebPage page;
    page.blocks.push_back({WebBlock::Kind::Paragraph, 0, {picture("http://h/red.png", 30, 20)}});
    auto red = ImageContext::create(Size{3, 2}).value();
    red->context().setFillColor(Color::redColor());
    red->context().fillRect(Rect(0, 0, 3, 2));
    WebPaintOptions withPixels;
    withPixels.images["http://h/red.png"] = red->image();

    Bitmap decoded = paint(page, Rect(0, 0, 320, 400), withPixels);
    EXPECT_EQ(decoded.pixelAt(10, 10), (RGBA8{255, 0, 0, 255})); // at the margin, scaled to 30×20
    EXPECT_EQ(decoded.pixelAt(37, 26), (RGBA8{255, 0, 0, 255}));
    EXPECT_EQ(decoded.pixelAt(40, 10), (RGBA8{255, 255, 255, 255}));

    Bitmap boxed = paint(page, Rect(0, 0, 320, 400));
    RGBA8 inside = boxed.pixelAt(12, 12);
    EXPECT_EQ(inside.r, inside.b);
    EXPECT_LT(inside.r, 250);
    EXPECT_GT(inside.r, 200);
}

TEST(WebPagePainter, LinksInBlueBackgroundsAndClipping) {
    WebPage page;
    page.links = {{"Read comments", "http://h/comment"}};
    page.blocks.push_back({WebBlock::Kind::Paragraph, 0, {text("Plain words only here")}});
    page.blocks.push_back({WebBlock::Kind::Paragraph, 0, {link("Read comments", 0)}});
    double height = 0;
    Bitmap b = paint(page, Rect(0, 0, 320, 400), {}, &height);
    EXPECT_EQ(bluePixels(b, Rect(0, 0, 320, 26)), 0); // the plain paragraph
    EXPECT_GT(bluePixels(b, Rect(0, 26, 320, 30)), 20);
    EXPECT_GT(height, 40);
    EXPECT_LT(height, 80);

    page.backgroundColor = "#336699";
    for (int i = 0; i < 40; ++i) {
        page.blocks.push_back({WebBlock::Kind::Paragraph, 0, {text("More and more text to fill the page")}});
    }
    Bitmap clipped = paint(page, Rect(20, 20, 100, 100), {}, &height);
    EXPECT_EQ(clipped.pixelAt(22, 118), (RGBA8{0x33, 0x66, 0x99, 255}));
    EXPECT_EQ(clipped.pixelAt(10, 10), (RGBA8{255, 255, 255, 255}));  // before the frame
    EXPECT_EQ(clipped.pixelAt(125, 60), (RGBA8{255, 255, 255, 255})); // right of it
    EXPECT_EQ(clipped.pixelAt(60, 125), (RGBA8{255, 255, 255, 255})); // below it
    EXPECT_GT(height, 400);                                           // the whole page, not the frame
}

TEST(WebPagePainter, NarrowerFramesWrapIntoTallerPages) {
    WebPage page;
    page.blocks.push_back({WebBlock::Kind::Heading, 1, {text("Secret pool")}});
    page.blocks.push_back({WebBlock::Kind::Paragraph,
                           0,
                           {text("I still sleep with the teddy bear my sister gave me when I was six.")}});
    WebForm form;
    WebFormField name;
    name.type = "text";
    name.label = "Name";
    name.value = "someone";
    WebFormField hidden;
    hidden.type = "hidden";
    form.fields = {name, hidden};
    page.forms = {form};
    WebInline field;
    field.kind = WebInline::Kind::Field;
    field.formIndex = 0;
    field.fieldIndex = 0;
    WebInline hiddenField = field;
    hiddenField.fieldIndex = 1;
    WebInline bogus = field;
    bogus.formIndex = 7; // no such form: left out
    page.blocks.push_back({WebBlock::Kind::Paragraph, 0, {field, hiddenField, bogus}});

    Bitmap scratch = Bitmap::create(1, 1).value();
    DrawingContext c(scratch, 1);
    double wide = paintWebPage(c, page, Rect(0, 0, 320, 480));
    double narrow = paintWebPage(c, page, Rect(0, 0, 120, 480));
    EXPECT_GT(narrow, wide + 30);
    WebPage empty;
    EXPECT_EQ(paintWebPage(c, empty, Rect(0, 0, 320, 480)), 16); // the margins alone
    EXPECT_EQ(paintWebPage(c, page, Rect(0, 0, 0, 480)), 0);
}

TEST(WebPagePainter, HexColours) {
    struct Case {
        const char* text;
        std::optional<Color> colour;
    };
    const Case cases[] = {
        {"#ff0000", Color(1, 0, 0)}, {"#0F0", Color(0, 1, 0)}, {"#336699", Color(0.2, 0.4, 0.6)},
        {"red", std::nullopt},       {"#12345", std::nullopt}, {"#gg0000", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto colour = colorFromHex(c.text);
        ASSERT_EQ(colour.has_value(), c.colour.has_value());
        if (colour) {
            EXPECT_NEAR(colour->red(), c.colour->red(), 1e-9);
            EXPECT_NEAR(colour->green(), c.colour->green(), 1e-9);
            EXPECT_NEAR(colour->blue(), c.colour->blue(), 1e-9);
        }
    }
}

} // namespace
} // namespace murmelo
