// View animation blocks: end values, stop handlers after the duration on the
// main run loop, transitions, and settling.
#include <gtest/gtest.h>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/Timer.h"
#include "tests/platform/ui/ui_test_support.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

class StopRecorder : public Object {
public:
    struct Stop {
        std::string id;
        bool finished;
        void* context;
        double at;
    };
    void animationDidStop(const std::string& id, bool finished, void* context) {
        stops.push_back({id, finished, context, Timer::now()});
    }
    void plainStop() { ++plainStops; }
    std::vector<Stop> stops;
    int plainStops = 0;
};

class Unrelated : public Object {};

// Handles what is due on the main loop now, waiting for nothing.
void runDueWork() {
    (void)RunLoop::main().runUntil(Clock::monotonic());
}

} // namespace

TEST_F(UITest, AnimatedPropertiesTakeTheirEndValuesAndTheStopHandlerFollowsTheDuration) {
    Application::setAnimationDurationScale(1);
    ManualClock clock;
    auto window = makeWindow();
    auto view = std::make_shared<View>(Rect(0, 0, 10, 10));
    window->addSubview(view);
    auto recorder = std::make_shared<StopRecorder>();
    int context = 7;

    double start = clock.now();
    View::beginAnimations("showProgress", &context);
    View::setAnimationDuration(0.15);
    View::setAnimationDelegate(recorder);
    View::setAnimationDidStopSelector(&StopRecorder::animationDidStop);
    View::setAnimationBeginsFromCurrentState(true);
    view->setAlpha(0.85);
    view->setFrame(Rect(5, 5, 20, 20));
    view->setTransform(AffineTransform::scale(1.1, 1.1));
    EXPECT_TRUE(View::isInsideAnimationBlock());
    View::commitAnimations();
    EXPECT_FALSE(View::isInsideAnimationBlock());

    EXPECT_EQ(view->alpha(), 0.85);
    EXPECT_EQ(view->bounds().size, (Size{20, 20}));
    EXPECT_EQ(view->transform(), AffineTransform::scale(1.1, 1.1));
    EXPECT_EQ(view->runningAnimationCount(), 1);
    EXPECT_TRUE(recorder->stops.empty()); // never at once
    clock.advance(0.149);
    runDueWork();
    EXPECT_TRUE(recorder->stops.empty()) << "stopped before its duration";
    EXPECT_FALSE(Interaction::isSettled());

    clock.advance(0.001);
    ASSERT_TRUE(Interaction::settle());
    ASSERT_EQ(recorder->stops.size(), 1u);
    EXPECT_EQ(recorder->stops[0].id, "showProgress");
    EXPECT_TRUE(recorder->stops[0].finished);
    EXPECT_EQ(recorder->stops[0].context, &context);
    EXPECT_NEAR(recorder->stops[0].at - start, 0.15, 1e-9);
    EXPECT_EQ(view->runningAnimationCount(), 0);
}

TEST_F(UITest, StopHandlersReachOnlyLivingDelegatesOfTheirClass) {
    struct Case {
        const char* name;
        bool keepDelegate;
        bool plainSelector;
        bool unrelatedDelegate;
        size_t expectedStops;
        int expectedPlainStops;
    };
    const Case cases[] = {
        {"full selector", true, false, false, 1, 0},
        {"selector without arguments", true, true, false, 0, 1},
        {"delegate gone before the end", false, false, false, 0, 0},
        {"delegate of another class", true, false, true, 0, 0},
    };
    ManualClock clock;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto recorder = std::make_shared<StopRecorder>();
        auto stranger = std::make_shared<Unrelated>();
        auto view = std::make_shared<View>();
        View::beginAnimations("a");
        if (c.unrelatedDelegate) {
            View::setAnimationDelegate(stranger);
        } else {
            View::setAnimationDelegate(recorder);
        }
        if (c.plainSelector) {
            View::setAnimationDidStopSelector(&StopRecorder::plainStop);
        } else {
            View::setAnimationDidStopSelector(&StopRecorder::animationDidStop);
        }
        view->setAlpha(0);
        View::commitAnimations();
        std::weak_ptr<StopRecorder> watch = recorder;
        auto kept = recorder;
        if (!c.keepDelegate) {
            kept.reset();
            recorder.reset();
        }
        clock.advance(1.0);
        ASSERT_TRUE(Interaction::settle());
        if (auto alive = watch.lock()) {
            EXPECT_EQ(alive->stops.size(), c.expectedStops);
            EXPECT_EQ(alive->plainStops, c.expectedPlainStops);
        } else {
            EXPECT_FALSE(c.keepDelegate);
        }
    }
}

TEST_F(UITest, NestedBlocksInheritTheirSettingsAndEndSeparately) {
    Application::setAnimationDurationScale(1);
    ManualClock clock;
    auto recorder = std::make_shared<StopRecorder>();
    auto view = std::make_shared<View>();
    View::beginAnimations("outer");
    View::setAnimationDuration(0.05);
    View::setAnimationDelegate(recorder);
    View::setAnimationDidStopSelector(&StopRecorder::animationDidStop);
    View::beginAnimations("inner");
    View::setAnimationDelegate(recorder);
    View::setAnimationDidStopSelector(&StopRecorder::animationDidStop);
    view->setAlpha(0.5);
    View::commitAnimations();
    View::setAnimationDelay(0.1);
    view->setCenter(Point{3, 3});
    View::commitAnimations();
    EXPECT_EQ(view->runningAnimationCount(), 2);
    clock.advance(0.05);
    runDueWork();
    ASSERT_EQ(recorder->stops.size(), 1u);
    EXPECT_EQ(recorder->stops[0].id, "inner"); // 0.05 s, inherited
    // A hair past the end: start + 0.1 + 0.05 and start + 0.05 + 0.1 may
    // round apart by one unit in the last place, whatever the start is.
    clock.advance(0.1 + 1e-6);
    ASSERT_TRUE(Interaction::settle());
    ASSERT_EQ(recorder->stops.size(), 2u);
    EXPECT_EQ(recorder->stops[1].id, "outer"); // 0.05 s after a 0.1 s delay
    EXPECT_NEAR(recorder->stops[1].at - recorder->stops[0].at, 0.1, 1e-5);

    LogCapture capture;
    View::commitAnimations();
    EXPECT_TRUE(capture.contains("without beginAnimations"));
}

TEST_F(UITest, ViewTransitionsAreRecordedOnTheView) {
    const AnimationTransition transitions[] = {AnimationTransition::FlipFromLeft,
                                               AnimationTransition::FlipFromRight,
                                               AnimationTransition::CurlUp, AnimationTransition::CurlDown};
    ManualClock clock;
    auto banner = std::make_shared<View>(Rect(0, 0, 320, 50));
    int count = 0;
    for (auto transition : transitions) {
        SCOPED_TRACE(animationTransitionName(transition));
        auto incoming = std::make_shared<View>(Rect(0, 0, 320, 50));
        View::beginAnimations("AdWhirlAdTransition");
        View::setAnimationDuration(1.0);
        banner->addSubview(incoming);
        View::setAnimationTransition(transition, *banner, false);
        View::commitAnimations();
        EXPECT_EQ(banner->lastAnimationTransition(), transition);
        EXPECT_EQ(banner->animationTransitionCount(), ++count);
        EXPECT_EQ(banner->runningAnimationCount(), 1);
        clock.advance(1.0);
        ASSERT_TRUE(Interaction::settle());
        EXPECT_EQ(banner->runningAnimationCount(), 0);
    }
    LogCapture capture;
    View::setAnimationTransition(AnimationTransition::CurlUp, *banner, true);
    EXPECT_EQ(banner->animationTransitionCount(), count); // outside a block: nothing
    EXPECT_TRUE(capture.contains("outside an animation block"));
}

TEST_F(UITest, SettleIsBoundedByItsTimeOut) {
    Application::setAnimationDurationScale(1);
    auto view = std::make_shared<View>();
    View::beginAnimations("long");
    View::setAnimationDuration(30);
    view->setAlpha(0.2);
    View::commitAnimations();
    double start = Clock::monotonic();
    EXPECT_FALSE(Interaction::settle(0.1));
    double waited = Clock::monotonic() - start;
    EXPECT_GE(waited, 0.1 - 0.002);
    EXPECT_LT(waited, 5.0);
    EXPECT_EQ(view->runningAnimationCount(), 1);
}
