// Views: geometry with transforms, autoresizing, the subview tree and its
// hooks, coordinate conversion, hit testing and deferred layout.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/core/Log.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "tests/platform/ui/ui_test_support.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

std::shared_ptr<View> tagged(int tag, const Rect& frame) {
    auto view = std::make_shared<View>(frame);
    view->setTag(tag);
    return view;
}

// Writes down the hooks of the view tree.
class HookView : public View {
public:
    HookView(std::string name, std::shared_ptr<std::vector<std::string>> log)
        : View(Rect(0, 0, 10, 10)), m_name(std::move(name)), m_log(std::move(log)) {}
    void willMoveToSuperview(View* s) override {
        m_log->push_back(m_name + ".willMoveToSuperview " + label(s));
    }
    void didMoveToSuperview() override { m_log->push_back(m_name + ".didMoveToSuperview"); }
    void willMoveToWindow(Window* w) override { m_log->push_back(m_name + ".willMoveToWindow " + label(w)); }
    void didMoveToWindow() override { m_log->push_back(m_name + ".didMoveToWindow"); }
    void didAddSubview(View&) override { m_log->push_back(m_name + ".didAddSubview"); }
    void willRemoveSubview(View&) override { m_log->push_back(m_name + ".willRemoveSubview"); }
    void layoutSubviews() override { m_log->push_back(m_name + ".layoutSubviews"); }

private:
    static std::string label(const View* v) { return v ? "set" : "none"; }
    std::string m_name;
    std::shared_ptr<std::vector<std::string>> m_log;
};

} // namespace

TEST(Geometry, RectanglesAndTransforms) {
    Rect r(10, 20, 100, 50);
    EXPECT_TRUE(r.contains(Point{10, 20}));
    EXPECT_FALSE(r.contains(Point{110, 20})); // the right edge is outside
    EXPECT_FALSE(r.contains(Point{10, 70}));
    EXPECT_EQ(r.intersection(Rect(60, 0, 100, 30)), Rect(60, 20, 50, 10));
    EXPECT_TRUE(r.intersection(Rect(200, 200, 5, 5)).isEmpty());
    EXPECT_EQ(r.unionWith(Rect(0, 0, 5, 5)), Rect(0, 0, 110, 70));
    EXPECT_EQ(Rect(0, 0, -10, -10).standardized(), Rect(-10, -10, 10, 10));
    EXPECT_EQ(r.insetBy(5, 10), Rect(15, 30, 90, 30));
    EXPECT_EQ(r.description(), "(10, 20, 100, 50)");

    auto t = AffineTransform::scale(2, 3).concat(AffineTransform::translation(5, 7));
    EXPECT_EQ(t.apply(Point{1, 1}), (Point{7, 10})); // scaled first, then moved
    Point back = t.inverted().apply(Point{7, 10});
    EXPECT_NEAR(back.x, 1, 1e-12);
    EXPECT_NEAR(back.y, 1, 1e-12);
    EXPECT_EQ(formatNumber(0.85), "0.85");
    EXPECT_EQ(formatNumber(-0.0), "0");
    EXPECT_EQ(Rect(0.5, 1, 2.25, 3).description(), "(0.5, 1, 2.25, 3)");
    EXPECT_EQ(AffineTransform::scale(2, 2).apply(Rect(-1, -1, 2, 2)), Rect(-2, -2, 4, 4));
    auto turned = AffineTransform::rotation(M_PI / 2).apply(Rect(0, 0, 10, 20));
    EXPECT_NEAR(turned.width(), 20, 1e-9);
    EXPECT_NEAR(turned.height(), 10, 1e-9);
    EXPECT_FALSE(AffineTransform::scale(0, 1).isInvertible());
}

TEST(ViewGeometry, FrameFollowsTheTransformAroundTheCenter) {
    View view(Rect(10, 10, 100, 40));
    EXPECT_EQ(view.center(), (Point{60, 30}));
    EXPECT_EQ(view.bounds(), Rect(0, 0, 100, 40));

    view.setTransform(AffineTransform::scale(2, 2));
    EXPECT_EQ(view.frame(), Rect(-40, -10, 200, 80));
    EXPECT_EQ(view.bounds(), Rect(0, 0, 100, 40)); // bounds are untouched

    view.setTransform(AffineTransform::translation(0, 100));
    EXPECT_EQ(view.frame(), Rect(10, 110, 100, 40));
    EXPECT_EQ(view.center(), (Point{60, 30}));

    // Setting the frame under a transform keeps the transform.
    view.setTransform(AffineTransform::scale(2, 2));
    view.setFrame(Rect(0, 0, 50, 50));
    EXPECT_EQ(view.bounds().size, (Size{25, 25}));
    EXPECT_EQ(view.frame(), Rect(0, 0, 50, 50));
    EXPECT_EQ(view.transform(), AffineTransform::scale(2, 2));

    view.setAlpha(1.5);
    EXPECT_EQ(view.alpha(), 1);
    view.setAlpha(-1);
    EXPECT_EQ(view.alpha(), 0);
}

TEST(ViewGeometry, AutoresizingMasksShareTheGrowthOfTheSuperview) {
    using M = AutoresizingMask;
    struct Case {
        const char* name;
        AutoresizingMask mask;
        Rect expected;
    };
    // Superview 100x100 → 200x160; child at (10, 20, 30, 40).
    const Case cases[] = {
        {"none", M::None, Rect(10, 20, 30, 40)},
        {"flexible width", M::FlexibleWidth, Rect(10, 20, 130, 40)},
        {"flexible left margin", M::FlexibleLeftMargin, Rect(110, 20, 30, 40)},
        {"flexible right margin", M::FlexibleRightMargin, Rect(10, 20, 30, 40)},
        {"left and right margins by their sizes", M::FlexibleLeftMargin | M::FlexibleRightMargin,
         Rect(10 + 100.0 * 10 / 70, 20, 30, 40)},
        {"width and height", M::FlexibleWidth | M::FlexibleHeight, Rect(10, 20, 130, 100)},
        {"left and bottom margins (33)", M::FlexibleLeftMargin | M::FlexibleBottomMargin,
         Rect(110, 20, 30, 40)},
        {"top margin", M::FlexibleTopMargin, Rect(10, 80, 30, 40)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto parent = std::make_shared<View>(Rect(0, 0, 100, 100));
        auto child = std::make_shared<View>(Rect(10, 20, 30, 40));
        child->setAutoresizingMask(c.mask);
        parent->addSubview(child);
        parent->setFrame(Rect(0, 0, 200, 160));
        EXPECT_NEAR(child->frame().x(), c.expected.x(), 1e-9);
        EXPECT_NEAR(child->frame().y(), c.expected.y(), 1e-9);
        EXPECT_NEAR(child->frame().width(), c.expected.width(), 1e-9);
        EXPECT_NEAR(child->frame().height(), c.expected.height(), 1e-9);
    }
    auto parent = std::make_shared<View>(Rect(0, 0, 100, 100));
    auto child = std::make_shared<View>(Rect(10, 20, 30, 40));
    child->setAutoresizingMask(M::FlexibleWidth);
    parent->setAutoresizesSubviews(false);
    parent->addSubview(child);
    parent->setFrame(Rect(0, 0, 300, 100));
    EXPECT_EQ(child->frame(), Rect(10, 20, 30, 40));
}

TEST_F(UITest, SubviewOrderAndTags) {
    auto root = tagged(1, Rect(0, 0, 100, 100));
    auto a = tagged(2, Rect());
    auto b = tagged(3, Rect());
    auto c = tagged(4, Rect());
    auto deep = tagged(5, Rect());
    root->addSubview(a);
    root->addSubview(b);
    root->insertSubviewBelow(c, *a);
    b->addSubview(deep);
    auto order = [&] {
        std::vector<int> tags;
        for (const auto& v : root->subviews()) {
            tags.push_back(v->tag());
        }
        return tags;
    };
    EXPECT_EQ(order(), (std::vector<int>{4, 2, 3}));
    root->bringSubviewToFront(*c);
    EXPECT_EQ(order(), (std::vector<int>{2, 3, 4}));
    root->sendSubviewToBack(*b);
    EXPECT_EQ(order(), (std::vector<int>{3, 2, 4}));
    root->insertSubviewAbove(b, *a); // moving a subview among its siblings
    EXPECT_EQ(order(), (std::vector<int>{2, 3, 4}));
    root->addSubview(a); // adding again brings it up
    EXPECT_EQ(order(), (std::vector<int>{3, 4, 2}));

    EXPECT_EQ(root->viewWithTag(1), root.get());
    EXPECT_EQ(root->viewWithTag(5), deep.get());
    EXPECT_EQ(root->viewWithTag(99), nullptr);
    EXPECT_TRUE(deep->isDescendantOfView(root.get()));

    LogCapture capture;
    deep->addSubview(root); // a cycle
    EXPECT_EQ(root->superview(), nullptr);
    EXPECT_TRUE(capture.contains("refusing"));

    // A subview moved to another parent leaves the first.
    auto other = tagged(6, Rect());
    other->addSubview(deep);
    EXPECT_EQ(deep->superview(), other.get());
    EXPECT_TRUE(b->subviews().empty());
    deep->removeFromSuperview();
    EXPECT_EQ(deep->superview(), nullptr);
    {
        auto shortLived = std::make_shared<View>();
        shortLived->addSubview(deep);
    }
    EXPECT_EQ(deep->superview(), nullptr); // a destroyed superview leaves no dangling link
}

TEST_F(UITest, HierarchyHooksComeInThePlatformsOrder) {
    auto log = std::make_shared<std::vector<std::string>>();
    auto window = makeWindow();
    auto parent = std::make_shared<HookView>("parent", log);
    auto child = std::make_shared<HookView>("child", log);
    parent->addSubview(child);
    EXPECT_EQ(*log, (std::vector<std::string>{"child.willMoveToSuperview set", "child.didMoveToSuperview",
                                              "parent.didAddSubview"}));
    log->clear();
    window->addSubview(parent);
    EXPECT_EQ(*log, (std::vector<std::string>{"parent.willMoveToSuperview set", "parent.willMoveToWindow set",
                                              "child.willMoveToWindow set", "parent.didMoveToWindow",
                                              "child.didMoveToWindow", "parent.didMoveToSuperview"}));
    log->clear();
    child->removeFromSuperview();
    EXPECT_EQ(*log, (std::vector<std::string>{"child.willMoveToSuperview none", "child.willMoveToWindow none",
                                              "parent.willRemoveSubview", "child.didMoveToWindow",
                                              "child.didMoveToSuperview"}));
}

TEST_F(UITest, HitTestingFindsTheFrontMostInteractiveView) {
    auto window = makeWindow();
    auto back = tagged(10, Rect(0, 0, 200, 200));
    auto front = tagged(11, Rect(50, 50, 100, 100));
    auto hiddenChild = tagged(12, Rect(0, 0, 20, 20));
    auto transparent = tagged(13, Rect(20, 0, 20, 20));
    auto deaf = tagged(14, Rect(40, 0, 20, 20));
    auto outside = tagged(15, Rect(90, 90, 50, 50)); // sticks out of `front`
    auto scaled = tagged(16, Rect(0, 60, 10, 10));
    auto label = std::make_shared<Label>(Rect(60, 60, 20, 20));
    hiddenChild->setHidden(true);
    transparent->setAlpha(0);
    deaf->setUserInteractionEnabled(false);
    scaled->setTransform(AffineTransform::scale(3, 3)); // covers (-10, 50) to (20, 80)
    window->addSubview(back);
    window->addSubview(front);
    front->addSubview(hiddenChild);
    front->addSubview(transparent);
    front->addSubview(deaf);
    front->addSubview(outside);
    front->addSubview(scaled);
    front->addSubview(label);

    struct Case {
        const char* name;
        Point point; // window coordinates
        int expectedTag;
    };
    const Case cases[] = {
        {"the back view alone", {10, 10}, 10},
        {"the front view over the back", {60, 140}, 11},
        {"a hidden child is skipped", {55, 55}, 11},
        {"a transparent child is skipped", {75, 55}, 11},
        {"a child without interaction is skipped", {95, 55}, 11},
        {"a child inside its parent", {145, 145}, 15},
        {"a child outside its parent's bounds is not reached", {170, 170}, 10},
        {"a scaled child, by its transformed area", {55, 125}, 16},
        {"a label lets touches through", {115, 115}, 11},
        {"the window itself", {300, 400}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        View* hit = window->hitTest(c.point, nullptr);
        ASSERT_NE(hit, nullptr);
        EXPECT_EQ(hit->tag(), c.expectedTag);
    }
    EXPECT_EQ(window->hitTest(Point{400, 10}, nullptr), nullptr);
    window->setUserInteractionEnabled(false);
    EXPECT_EQ(window->hitTest(Point{10, 10}, nullptr), nullptr);
}

TEST_F(UITest, PointsConvertBetweenBranchesOfTheTree) {
    auto window = makeWindow();
    auto a = std::make_shared<View>(Rect(10, 10, 100, 100));
    auto b = std::make_shared<View>(Rect(200, 0, 100, 100));
    auto inA = std::make_shared<View>(Rect(5, 5, 50, 50));
    window->addSubview(a);
    window->addSubview(b);
    a->addSubview(inA);
    EXPECT_EQ(inA->convertPointToView(Point{1, 1}, nullptr), (Point{16, 16}));
    EXPECT_EQ(inA->convertPointToView(Point{1, 1}, b.get()), (Point{-184, 16}));
    EXPECT_EQ(b->convertPointFromView(Point{1, 1}, inA.get()), (Point{-184, 16}));
    // A scrolled superview (bounds origin) moves what it shows.
    a->setBounds(Rect(0, 30, 100, 100));
    EXPECT_EQ(inA->convertPointToView(Point{0, 0}, nullptr), (Point{15, -15}));
    EXPECT_EQ(inA->convertRectToView(Rect(0, 0, 10, 10), nullptr), Rect(15, -15, 10, 10));
    EXPECT_EQ(window->convertRectFromView(Rect(0, 0, 10, 10), inA.get()), Rect(15, -15, 10, 10));
    // A translated view is reached where it is drawn.
    b->setTransform(AffineTransform::translation(0, 50));
    EXPECT_EQ(b->convertPointToView(Point{0, 0}, nullptr), (Point{200, 50}));
}

TEST_F(UITest, LayoutWaitsForThePassAndRunsTopDown) {
    auto log = std::make_shared<std::vector<std::string>>();
    auto window = makeWindow();
    auto parent = std::make_shared<HookView>("parent", log);
    auto child = std::make_shared<HookView>("child", log);
    parent->addSubview(child);
    window->addSubview(parent);
    ASSERT_TRUE(Interaction::settle());
    log->clear();

    parent->setNeedsLayout();
    child->setNeedsLayout();
    EXPECT_TRUE(log->empty()); // not at once
    EXPECT_FALSE(Interaction::isSettled());
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(*log, (std::vector<std::string>{"parent.layoutSubviews", "child.layoutSubviews"}));

    log->clear();
    parent->setFrame(Rect(0, 0, 30, 30)); // a new size asks for layout
    parent->layoutIfNeeded();
    EXPECT_EQ(*log, (std::vector<std::string>{"parent.layoutSubviews"}));
    log->clear();
    parent->setCenter(Point{100, 100}); // moving does not
    parent->layoutIfNeeded();
    EXPECT_TRUE(log->empty());
}

TEST_F(UITest, AFirstResponderLeavingTheWindowResigns) {
    auto window = makeWindow();
    auto field = std::make_shared<TextField>(Rect(0, 0, 100, 30));
    window->addSubview(field);
    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_EQ(Responder::currentFirstResponder(), field);
    field->removeFromSuperview();
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_EQ(Responder::currentFirstResponder(), nullptr);

    TextField unowned; // not owned by a shared_ptr: cannot be held as first responder
    EXPECT_FALSE(unowned.becomeFirstResponder());
    View plain;
    EXPECT_FALSE(plain.becomeFirstResponder());
}
