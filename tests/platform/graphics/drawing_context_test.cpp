// The drawing context against hand-computed pixels: arc direction in the
// flipped space, the overlay's rounded rectangle, strokes, clips, alpha,
// gradients, patterns, images, layers, text and offscreen contexts.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/graphics/DrawingContext.h"
#include "platform/graphics/FontLibrary.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/ImageContext.h"
#include "platform/graphics/TextMetrics.h"

namespace murmelo {
namespace {

Bitmap blank(std::uint32_t w, std::uint32_t h) {
    return Bitmap::create(w, h).value();
}

// The pixel under the point (x, y) in points.
RGBA8 at(const Bitmap& b, double scale, double x, double y) {
    return b.pixelAt(std::uint32_t(x * scale), std::uint32_t(y * scale));
}

TEST(DrawingContext, ArcClockwiseFlagTurnsAsOnTheScreen) {
    // A pie around (50, 50) of radius 40 from angle 0 (east) to π/2. With
    // clockwise 0 the sweep goes east → south: the lower right quarter.
    // With 1 it goes the long way through north and west.
    struct Case {
        int clockwise;
        double scale;
        bool lowerRight, upperRight, upperLeft, lowerLeft;
    };
    const Case cases[] = {
        {0, 1, true, false, false, false},
        {1, 1, false, true, true, true},
        {0, 2, true, false, false, false},
        {1, 2, false, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("clockwise " + std::to_string(c.clockwise) + " scale " + std::to_string(c.scale));
        Bitmap bitmap = blank(std::uint32_t(100 * c.scale), std::uint32_t(100 * c.scale));
        {
            DrawingContext context(bitmap, c.scale);
            context.setFillColor(Color::blackColor());
            context.moveToPoint(50, 50);
            context.addArc(50, 50, 40, 0, M_PI / 2, c.clockwise);
            context.closePath();
            context.fillPath();
        }
        EXPECT_EQ(at(bitmap, c.scale, 70, 70).a == 255, c.lowerRight);
        EXPECT_EQ(at(bitmap, c.scale, 70, 30).a == 255, c.upperRight);
        EXPECT_EQ(at(bitmap, c.scale, 30, 30).a == 255, c.upperLeft);
        EXPECT_EQ(at(bitmap, c.scale, 30, 70).a == 255, c.lowerLeft);
    }
}

// The progress overlay's body: bounds inset by 1, four quarter arcs of
// radius 10 with clockwise 0, black at 0.85.
void drawOverlayBody(DrawingContext& c, Rect bounds, double radius) {
    Rect r = bounds.insetBy(1, 1);
    c.setFillColor(Color(0, 0, 0, 0.85));
    c.moveToPoint(r.minX() + radius, r.minY());
    c.addArc(r.maxX() - radius, r.minY() + radius, radius, 3 * M_PI / 2, 0, 0);
    c.addArc(r.maxX() - radius, r.maxY() - radius, radius, 0, M_PI / 2, 0);
    c.addArc(r.minX() + radius, r.maxY() - radius, radius, M_PI / 2, M_PI, 0);
    c.addArc(r.minX() + radius, r.minY() + radius, radius, M_PI, 3 * M_PI / 2, 0);
    c.closePath();
    c.fillPath();
}

TEST(DrawingContext, OverlayRoundedRectangleSpansOneToOneLessThanTheBounds) {
    Bitmap bitmap = blank(180, 140);
    {
        DrawingContext context(bitmap, 1);
        drawOverlayBody(context, Rect(0, 0, 180, 140), 10);
    }
    struct Probe {
        double x, y;
        int alpha; // expected, ±2
    };
    const Probe probes[] = {
        {90, 70, 217},  // middle: 0.85 × 255
        {0, 70, 0},     // the 1-point margin on the left
        {179, 70, 0},   // and on the right (pixel 179 lies beyond 179)
        {90, 0, 0},     // top margin
        {90, 139, 0},   // bottom margin
        {1, 70, 217},   // first column inside
        {178, 70, 217}, // last column inside
        {2, 2, 0},      // corner cut by the arc (centre (11, 11), radius 10)
        {177, 137, 0},  // bottom right corner cut
        {5, 5, 217},    // inside the arc: (5.5, 5.5) is 7.8 from its centre
    };
    for (const auto& p : probes) {
        SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
        EXPECT_NEAR(bitmap.pixelAt(std::uint32_t(p.x), std::uint32_t(p.y)).a, p.alpha, 2);
    }
}

TEST(DrawingContext, StrokesClipsAlphaAndLayers) {
    Bitmap bitmap = blank(100, 100);
    {
        DrawingContext c(bitmap, 1);
        // A grey stroke of width 2 centred on y = 10.
        c.setGrayStrokeColor(0.4, 1);
        c.setLineWidth(2);
        c.moveToPoint(0, 10);
        c.addLineToPoint(100, 10);
        c.strokePath();
        // A fill clipped to a rectangle.
        c.saveGState();
        c.clipToRect(Rect(20, 20, 10, 10));
        c.setFillColor(Color::redColor());
        c.fillRect(Rect(0, 0, 100, 100));
        c.restoreGState();
        // Global alpha.
        c.setAlpha(0.5);
        c.setFillColor(Color::blueColor());
        c.fillRect(Rect(40, 40, 10, 10));
        // Two overlapping fills in one layer at alpha 0.5 composite once.
        c.beginTransparencyLayer();
        c.setFillColor(Color::greenColor());
        c.fillRect(Rect(60, 60, 20, 10));
        c.fillRect(Rect(70, 60, 20, 10));
        c.endTransparencyLayer();
    }
    EXPECT_EQ(bitmap.pixelAt(50, 9), (RGBA8{102, 102, 102, 255}));
    EXPECT_EQ(bitmap.pixelAt(50, 10), (RGBA8{102, 102, 102, 255}));
    EXPECT_EQ(bitmap.pixelAt(50, 11).a, 0);
    EXPECT_EQ(bitmap.pixelAt(25, 25), (RGBA8{255, 0, 0, 255}));
    EXPECT_EQ(bitmap.pixelAt(35, 25).a, 0); // outside the clip
    // Drawn outside the old clip: the restore ended it.
    EXPECT_NEAR(bitmap.pixelAt(45, 45).a, 128, 1);
    EXPECT_EQ(bitmap.pixelAt(45, 45).b, 255);
    EXPECT_NEAR(bitmap.pixelAt(65, 65).a, 128, 1);
    EXPECT_EQ(bitmap.pixelAt(75, 65).a, bitmap.pixelAt(65, 65).a); // no double coverage in the overlap
}

TEST(DrawingContext, ArcsStrokedInGreyLevelsAndRoundedClip) {
    // The house ad's icon frame: a rounded square clip, then strokes.
    Bitmap bitmap = blank(50, 50);
    {
        DrawingContext c(bitmap, 1);
        c.saveGState();
        c.addRoundedRect(Rect(4, 4, 39, 39), 7);
        c.clip();
        c.setFillColor(Color::whiteColor());
        c.fillRect(Rect(0, 0, 50, 50));
        c.restoreGState();
        c.setLineWidth(4);
        c.setGrayStrokeColor(0.4, 1);
        c.addArc(11, 11, 7, M_PI, 5 * M_PI / 4, 0);
        c.strokePath();
    }
    EXPECT_EQ(bitmap.pixelAt(20, 20), (RGBA8{255, 255, 255, 255}));
    EXPECT_EQ(bitmap.pixelAt(42, 42).a, 0); // corner outside the clip
    EXPECT_EQ(bitmap.pixelAt(46, 20).a, 0); // right of the square
    // The arc from π to 5π/4 runs from (4, 11) up towards (6, 6): its
    // stroke darkens the left edge near y = 9, and not the top edge.
    RGBA8 onArc = bitmap.pixelAt(4, 9);
    EXPECT_EQ(onArc.a, 255);
    EXPECT_LT(onArc.r, 160);
    EXPECT_EQ(bitmap.pixelAt(20, 5).r, 255);
}

TEST(DrawingContext, GradientWithThreeStopsAndEdges) {
    auto gradient = Gradient::withColors({Color(1, 0, 0), Color(0, 1, 0), Color(0, 0, 1)}, {0, 0.5, 1});
    ASSERT_TRUE(gradient);
    EXPECT_FALSE(Gradient::withColors({Color(1, 0, 0)}, {0, 1}));
    EXPECT_FALSE(Gradient::withColors({}));
    struct Case {
        const char* name;
        GradientDrawingOptions options;
        bool before, after;
    };
    const Case cases[] = {
        {"none", GradientDrawingOptions::None, false, false},
        {"before", GradientDrawingOptions::DrawsBeforeStart, true, false},
        {"after", GradientDrawingOptions::DrawsAfterEnd, false, true},
        {"both", GradientDrawingOptions::DrawsBeforeStart | GradientDrawingOptions::DrawsAfterEnd, true,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bitmap bitmap = blank(1, 120);
        {
            DrawingContext context(bitmap, 1);
            context.drawLinearGradient(*gradient, {0, 10}, {0, 110}, c.options);
        }
        RGBA8 top = bitmap.pixelAt(0, 10);
        RGBA8 middle = bitmap.pixelAt(0, 60);
        RGBA8 bottom = bitmap.pixelAt(0, 109);
        EXPECT_GT(top.r, 240);
        EXPECT_GT(middle.g, 240);
        EXPECT_GT(bottom.b, 240);
        EXPECT_EQ(bitmap.pixelAt(0, 2).a == 255, c.before);
        EXPECT_EQ(bitmap.pixelAt(0, 115).a == 255, c.after);
    }
}

std::shared_ptr<const Image> checkerImage(double scale = 1) {
    // 2×2 pixels: red, green / blue, white.
    auto bitmap = std::make_shared<Bitmap>(Bitmap::create(2, 2).value());
    bitmap->setPixel(0, 0, {255, 0, 0, 255});
    bitmap->setPixel(1, 0, {0, 255, 0, 255});
    bitmap->setPixel(0, 1, {0, 0, 255, 255});
    bitmap->setPixel(1, 1, {255, 255, 255, 255});
    return Image::imageWithBitmap(bitmap, scale, "checker");
}

TEST(DrawingContext, PatternColoursTileAndImagesFillTheirRect) {
    auto checker = checkerImage();
    Bitmap bitmap = blank(40, 20);
    {
        DrawingContext c(bitmap, 1);
        c.setFillColor(Color::colorWithPatternImage(checker));
        c.fillRect(Rect(0, 0, 20, 20));
        c.drawImage(*checker, Rect(20, 0, 20, 20)); // scaled ten times
    }
    // The pattern repeats every 2 points from the origin.
    EXPECT_EQ(bitmap.pixelAt(0, 0), (RGBA8{255, 0, 0, 255}));
    EXPECT_EQ(bitmap.pixelAt(3, 0), (RGBA8{0, 255, 0, 255}));
    EXPECT_EQ(bitmap.pixelAt(4, 3), (RGBA8{0, 0, 255, 255}));
    EXPECT_EQ(bitmap.pixelAt(19, 19), (RGBA8{255, 255, 255, 255}));
    // The image's quarters, upright.
    EXPECT_EQ(bitmap.pixelAt(22, 2), (RGBA8{255, 0, 0, 255}));
    EXPECT_EQ(bitmap.pixelAt(37, 2), (RGBA8{0, 255, 0, 255}));
    EXPECT_EQ(bitmap.pixelAt(22, 17), (RGBA8{0, 0, 255, 255}));

    // A pattern image at scale 2 tiles at half the size in points: on a
    // scale-2 screen each of its pixels is one screen pixel.
    Bitmap sharp = blank(8, 8);
    {
        DrawingContext c(sharp, 2);
        c.setFillColor(Color::colorWithPatternImage(checkerImage(2)));
        c.fillRect(Rect(0, 0, 4, 4));
    }
    EXPECT_EQ(sharp.pixelAt(1, 0).g, 255);
    EXPECT_EQ(sharp.pixelAt(2, 0).r, 255);
}

TEST(DrawingContext, TextInNamedFontsInkInsideItsRectOnly) {
    EXPECT_TRUE(FontLibrary::shared().missingFamilies().empty())
        << "run scripts/bootstrap: the pinned fonts are missing";
    const char* names[] = {"Helvetica", "Helvetica-Bold", "Georgia-Bold", "TrebuchetMS-Bold"};
    double widths[4];
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(names[i]);
        Font font = Font::fontWithName(names[i], 20);
        widths[i] = FontLibrary::shared().sizeOfText("Secret pool", font).width;
        Bitmap bitmap = blank(200, 60);
        {
            DrawingContext c(bitmap, 1);
            c.setFillColor(Color::blackColor());
            Size size = c.drawText("Secret pool", Rect(10, 10, 180, 40), font);
            EXPECT_NEAR(size.width, widths[i], 1);
            EXPECT_GT(size.height, 20);
        }
        int inked = 0;
        int outside = 0;
        for (std::uint32_t y = 0; y < 60; ++y) {
            for (std::uint32_t x = 0; x < 200; ++x) {
                if (bitmap.pixelAt(x, y).a > 128) {
                    bool inside = x >= 10 && x < 10 + widths[i] + 1 && y >= 10 && y < 40;
                    (inside ? inked : outside) += 1;
                }
            }
        }
        EXPECT_GT(inked, 100);
        EXPECT_EQ(outside, 0);
    }
    // The mapped families really differ: the bold faces are wider than the
    // regular one, and Georgia (a serif) differs from Trebuchet.
    EXPECT_GT(widths[1], widths[0]);
    EXPECT_NE(widths[2], widths[3]);
    EXPECT_EQ(FontLibrary::faceForFontName("Georgia-Bold"), (FontFace{"DejaVu Serif", true, false}));
}

TEST(DrawingContext, WrappedAndTruncatedTextStaysWithinItsLines) {
    Font font = Font::systemFontOfSize(14);
    const std::string text = "We will not save any personal information (your ip address, device id etc.)";
    Size one = FontLibrary::shared().sizeOfText(text, font, 150, 1);
    Size all = FontLibrary::shared().sizeOfText(text, font, 150, 0);
    Size two = FontLibrary::shared().sizeOfText(text, font, 150, 2);
    EXPECT_LE(one.width, 150);
    EXPECT_GT(all.height, 3 * one.height);
    EXPECT_NEAR(two.height, 2 * one.height, 2);
    // Bytes that are not UTF-8 are drawn as replacement characters.
    EXPECT_GT(FontLibrary::shared().sizeOfText(std::string("\xFF\xFE\0x", 4), font).width, 0);
}

TEST(ImageContext, DrawsTheBackButtonTriangleIntoAnImage) {
    auto offscreen = ImageContext::create(Size{25, 25});
    ASSERT_TRUE(offscreen);
    DrawingContext& c = (*offscreen)->context();
    c.setFillColor(Color::whiteColor());
    c.moveToPoint(19, 2);
    c.addLineToPoint(4, 11);
    c.addLineToPoint(19, 20);
    c.closePath();
    c.fillPath();
    auto image = (*offscreen)->image();
    ASSERT_TRUE(image && image->bitmap());
    EXPECT_EQ(image->size(), (Size{25, 25}));
    const Bitmap& b = *image->bitmap();
    EXPECT_EQ(b.pixelAt(15, 11), (RGBA8{255, 255, 255, 255}));
    EXPECT_EQ(b.pixelAt(2, 2).a, 0);
    EXPECT_EQ(b.pixelAt(21, 11).a, 0);
    EXPECT_EQ(b.pixelAt(10, 3).a, 0); // above the upper edge
    // The picture is a copy: drawing on does not change it.
    c.fillRect(Rect(0, 0, 25, 25));
    EXPECT_EQ(b.pixelAt(2, 2).a, 0);

    EXPECT_FALSE(ImageContext::create(Size{0, 10}));
    EXPECT_FALSE(ImageContext::create(Size{1e6, 1e6}));
    EXPECT_FALSE(ImageContext::create(Size{10, 10}, 0));
}

TEST(ImageContext, CurrentContextStackFollowsBeginAndEnd) {
    EXPECT_EQ(graphicsGetCurrentContext(), nullptr);
    ASSERT_TRUE(graphicsBeginImageContext(Size{10, 10}, 2));
    DrawingContext* outer = graphicsGetCurrentContext();
    ASSERT_NE(outer, nullptr);
    outer->setFillColor(Color::redColor());
    outer->fillRect(Rect(0, 0, 5, 5));

    Bitmap other = blank(4, 4);
    DrawingContext pushed(other, 1);
    graphicsPushContext(pushed);
    EXPECT_EQ(graphicsGetCurrentContext(), &pushed);
    EXPECT_EQ(graphicsGetImageFromCurrentImageContext(), nullptr); // not an offscreen one
    graphicsEndImageContext();                                     // refused: the top is pushed
    EXPECT_EQ(graphicsGetCurrentContext(), &pushed);
    graphicsPopContext();

    auto image = graphicsGetImageFromCurrentImageContext();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->scale(), 2);
    EXPECT_EQ(image->bitmap()->width(), 20u);
    EXPECT_EQ(image->bitmap()->pixelAt(9, 9).r, 255);
    EXPECT_EQ(image->bitmap()->pixelAt(10, 10).a, 0);
    graphicsEndImageContext();
    EXPECT_EQ(graphicsGetCurrentContext(), nullptr);
    EXPECT_FALSE(graphicsBeginImageContext(Size{-1, 5}));
}

TEST(DrawingContext, BadNumbersAreIgnoredWithoutSpoilingTheContext) {
    Bitmap bitmap = blank(10, 10);
    {
        DrawingContext c(bitmap, 1);
        c.scaleCTM(0, 0);              // singular: ignored
        c.moveToPoint(NAN, 1);         // ignored
        c.addArc(5, 5, -1, 0, 1, 0);   // negative radius: ignored
        c.addLineToPoint(INFINITY, 2); // ignored
        c.restoreGState();             // unmatched: ignored
        c.endTransparencyLayer();      // unmatched: ignored
        c.setFillColor(Color::blackColor());
        c.fillRect(Rect(0, 0, 10, 10));
    }
    EXPECT_EQ(bitmap.pixelAt(9, 9), (RGBA8{0, 0, 0, 255}));
}

TEST(TextMetrics, OnlyWhatAFewLinesShowIsMeasured) {
    auto repeated = [](const std::string& piece, size_t times) {
        std::string text;
        for (size_t i = 0; i < times; ++i) {
            text += piece;
        }
        return text;
    };
    const Font font = Font::systemFontOfSize(16);
    struct Case {
        const char* name;
        std::string text;
        int lines;
        size_t atMost; // bytes of the text kept
    };
    const Case cases[] = {
        {"unlimited lines keep everything", std::string(100000, 'a'), 0, 100000},
        {"short text is whole", "two words", 3, 9},
        {"a long line is cut", std::string(100000, 'a'), 3, 4 * 200},
        {"paragraphs beyond the lines are cut", std::string(100000, '\n'), 3, 3},
        {"characters are not split", repeated("\xc3\xa9", 30000), 1, 2 * 2 * 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string_view part = TextMetrics::shownPart(c.text, font, 260, c.lines);
        EXPECT_EQ(part, std::string_view(c.text).substr(0, part.size()));
        EXPECT_LE(part.size(), c.atMost);
        EXPECT_TRUE(part.size() == c.text.size() || (c.text[part.size()] & 0xC0) != 0x80);
        // Measured whole or cut, the lines shown are the same.
        EXPECT_EQ(TextMetrics::estimate(c.text, font, 260, c.lines),
                  TextMetrics::estimate(part, font, 260, c.lines));
    }
}

} // namespace
} // namespace murmelo
