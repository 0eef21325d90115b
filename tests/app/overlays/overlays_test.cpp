// The progress overlay and the info strip: their automatic hide under a
// manual clock, where the strip slides to, and the overlay's drawn shape.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/overlays/OVActivityIndicatorView.h"
#include "app/overlays/OVInfoView.h"
#include "platform/core/Clock.h"
#include "platform/graphics/DrawingContext.h"
#include "platform/runloop/ManualClock.h"
#include "tests/platform/ui/ui_test_support.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

// Moves the manual clock to `at` seconds after `start` and runs whatever
// became due (timers, ends of animations) without waiting.
void runUntilClock(ManualClock& clock, double start, double at) {
    double step = start + at - clock.now();
    clock.advance(step);
    while (RunLoop::main().runMode(RunLoop::kDefaultMode, Clock::monotonic()) == RunStatus::HandledSource) {
    }
}

enum class Act { Show, Hide, ShowFor, Check };
struct Step {
    double at;
    Act act;
    double value; // ShowFor: seconds; Check: 1 shown, 0 hidden
};
struct Sequence {
    const char* name;
    std::vector<Step> steps;
};

class OverlaysTest : public UITest {};

// The same sequences for both overlays: only the last call decides whether
// an automatic hide is still pending.
const Sequence kSequences[] = {
    {"the hide comes after the interval", {{0, Act::ShowFor, 1}, {0.9, Act::Check, 1}, {1, Act::Check, 0}}},
    {"a later show cancels the pending hide",
     {{0, Act::ShowFor, 1}, {0.5, Act::Show, 0}, {1.5, Act::Check, 1}, {5, Act::Check, 1}}},
    {"hide and show again outlast the first timer",
     {{0, Act::ShowFor, 2},
      {1, Act::Hide, 0},
      {1, Act::Check, 0},
      {1.5, Act::Show, 0},
      {2.5, Act::Check, 1}}},
    {"a second interval replaces the first",
     {{0, Act::ShowFor, 3}, {2, Act::ShowFor, 3}, {4, Act::Check, 1}, {5, Act::Check, 0}}},
    {"a shorter second interval is not overruled",
     {{0, Act::ShowFor, 3},
      {1, Act::ShowFor, 1},
      {2, Act::Check, 0},
      {2.5, Act::Show, 0},
      {3.5, Act::Check, 1}}},
    {"two shows, one hide",
     {{0, Act::Show, 0}, {0, Act::Show, 0}, {0.1, Act::Hide, 0}, {0.2, Act::Check, 0}}},
};

struct Subject {
    std::function<void()> show, hide;
    std::function<void(double)> showFor;
    std::function<bool()> isShown;
};

void play(ManualClock& clock, const Sequence& sequence, const Subject& subject) {
    SCOPED_TRACE(sequence.name);
    const double start = clock.now();
    for (const Step& step : sequence.steps) {
        runUntilClock(clock, start, step.at);
        switch (step.act) {
        case Act::Show:
            subject.show();
            break;
        case Act::Hide:
            subject.hide();
            break;
        case Act::ShowFor:
            subject.showFor(step.value);
            break;
        case Act::Check:
            EXPECT_EQ(subject.isShown(), step.value == 1) << "at " << step.at << " s";
            break;
        }
    }
    subject.hide();
    runUntilClock(clock, start, sequence.steps.back().at + 10);
}

TEST_F(OverlaysTest, ProgressOverlayHidesOnlyForItsLastCall) {
    ManualClock clock;
    auto window = makeWindow();
    for (const Sequence& sequence : kSequences) {
        auto overlay = OVActivityIndicatorView::activityIndicatorView();
        window->addSubview(overlay);
        play(clock, sequence,
             {[&] { overlay->show(); }, [&] { overlay->hide(); },
              [&](double s) { overlay->showForTimeInterval(s); },
              [&] {
                  bool spinning = overlay->aiView()->isAnimating() && !overlay->aiView()->isHidden();
                  EXPECT_EQ(spinning, overlay->alpha() > 0) << "the spinner goes with the overlay";
                  EXPECT_TRUE(overlay->alpha() == 0 ||
                              overlay->alpha() == OVActivityIndicatorView::kShownAlpha);
                  return overlay->alpha() > 0;
              }});
        overlay->removeFromSuperview();
    }
}

TEST_F(OverlaysTest, InfoStripHidesOnlyForItsLastCall) {
    ManualClock clock;
    auto window = makeWindow();
    auto parent = std::make_shared<View>(Rect(0, 20, 320, 460));
    window->addSubview(parent);
    for (const Sequence& sequence : kSequences) {
        auto strip = OVInfoView::infoViewWithSuperviewFrame(parent->frame());
        parent->addSubview(strip);
        play(clock, sequence,
             {[&] { strip->show(); }, [&] { strip->hide(); },
              [&](double s) { strip->showForTimeInterval(s); },
              [&] {
                  // On the bottom edge of the parent's own area, or just below it.
                  double y = strip->frame().y();
                  EXPECT_TRUE(y == 410 || y == 460) << y;
                  return y == 410;
              }});
        strip->removeFromSuperview();
    }
}

TEST_F(OverlaysTest, InfoStripWithoutSuperviewStaysWhereItWasMade) {
    auto strip = OVInfoView::infoViewWithSuperviewFrame(Rect(0, 20, 320, 460));
    const Rect made(0, 436, 320, 50);
    EXPECT_EQ(strip->frame(), made);
    strip->show();
    EXPECT_EQ(strip->frame(), made);
    strip->hide();
    EXPECT_EQ(strip->frame(), made);
}

// Alpha of the pixel under the point (x, y), at 2 pixels per point.
std::uint8_t coverage(const Bitmap& bitmap, double x, double y) {
    return bitmap.pixelAt(static_cast<std::uint32_t>(x * 2), static_cast<std::uint32_t>(y * 2)).a;
}

TEST_F(OverlaysTest, OverlayFillsTheInsetRoundedRectangle) {
    struct Probe {
        double x, y;
        bool filled;
    };
    struct Case {
        double radius;
        std::vector<Probe> probes;
    };
    // Corner centre (radius + 1, radius + 1): a point 8.5 points from it
    // lies inside a radius of 10 and outside one of 30.
    const Case cases[] = {
        {10,
         {{0.5, 70, false},
          {1.5, 70, true},
          {90, 0.5, false},
          {90, 1.5, true},
          {178.5, 70, true},
          {179.5, 70, false},
          {90, 139.5, false},
          {1.5, 1.5, false},
          {5, 5, true},
          {175, 135, true},
          {90, 70, true}}},
        {30, {{5, 5, false}, {175, 135, false}, {1.5, 70, true}, {90, 70, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radius);
        auto overlay = OVActivityIndicatorView::activityIndicatorView();
        overlay->setRadius(c.radius);
        auto bitmap = Bitmap::create(360, 280);
        ASSERT_TRUE(bitmap);
        {
            DrawingContext context(*bitmap, 2);
            overlay->drawRect(context, overlay->bounds());
        }
        for (const Probe& probe : c.probes) {
            std::uint8_t a = coverage(*bitmap, probe.x, probe.y);
            if (probe.filled) {
                EXPECT_NEAR(a, 0.85 * 255, 2) << probe.x << ", " << probe.y;
                EXPECT_EQ(bitmap
                              ->pixelAt(static_cast<std::uint32_t>(probe.x * 2),
                                        static_cast<std::uint32_t>(probe.y * 2))
                              .r,
                          0);
            } else {
                EXPECT_EQ(a, 0) << probe.x << ", " << probe.y;
            }
        }
    }
}

} // namespace
