#include "platform/ui/View.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Log.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/ScreenChanges.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/ui/internal/LayoutPass.h"

namespace murmelo {

namespace {

// Maps a view's own coordinates into its superview's.
AffineTransform toSuperview(const View& view) {
    const Rect& b = view.bounds();
    Point c = view.center();
    return AffineTransform::translation(-(b.origin.x + b.size.width / 2), -(b.origin.y + b.size.height / 2))
        .concat(view.transform())
        .concat(AffineTransform::translation(c.x, c.y));
}

// From `view` up to (not including) its root.
AffineTransform toRoot(const View& view, const View** rootOut) {
    AffineTransform t;
    const View* v = &view;
    while (v->superview()) {
        t = t.concat(toSuperview(*v));
        v = v->superview();
    }
    *rootOut = v;
    return t;
}

// A transform from `from`'s coordinates to `to`'s (null: the window, or the
// root, of `from`).
AffineTransform mapping(const View& from, const View* to) {
    const View* fromRoot = nullptr;
    AffineTransform up = toRoot(from, &fromRoot);
    if (!to) {
        return up;
    }
    const View* toRootView = nullptr;
    AffineTransform down = toRoot(*to, &toRootView).inverted();
    if (fromRoot == toRootView) {
        return up.concat(down);
    }
    // Different trees: through the screen, by the roots' own placement.
    return up.concat(toSuperview(*fromRoot)).concat(toSuperview(*toRootView).inverted()).concat(down);
}

void resizeAxis(double oldLength, double newLength, double& position, double& length, bool flexibleStart,
                bool flexibleSize, bool flexibleEnd) {
    double delta = newLength - oldLength;
    int count = int(flexibleStart) + int(flexibleSize) + int(flexibleEnd);
    if (delta == 0 || count == 0) {
        return;
    }
    double start = position;
    double end = oldLength - position - length;
    double total = (flexibleStart ? start : 0) + (flexibleSize ? length : 0) + (flexibleEnd ? end : 0);
    double startShare = 0;
    double sizeShare = 0;
    if (total > 0) {
        startShare = flexibleStart ? delta * start / total : 0;
        sizeShare = flexibleSize ? delta * length / total : 0;
    } else {
        startShare = flexibleStart ? delta / count : 0;
        sizeShare = flexibleSize ? delta / count : 0;
    }
    position += startShare;
    length = std::max(0.0, length + sizeShare);
}

} // namespace

const char* animationTransitionName(AnimationTransition transition) {
    switch (transition) {
    case AnimationTransition::FlipFromLeft:
        return "flip-from-left";
    case AnimationTransition::FlipFromRight:
        return "flip-from-right";
    case AnimationTransition::CurlUp:
        return "curl-up";
    case AnimationTransition::CurlDown:
        return "curl-down";
    case AnimationTransition::None:
        break;
    }
    return "none";
}

View::View() = default;

View::View(const Rect& frame) {
    m_bounds = Rect(0, 0, frame.size.width, frame.size.height);
    m_center = frame.center();
}

View::~View() {
    for (auto& subview : m_subviews) {
        subview->m_superview = nullptr;
    }
}

// ---- geometry

Rect View::frame() const {
    Rect local(-m_bounds.size.width / 2, -m_bounds.size.height / 2, m_bounds.size.width,
               m_bounds.size.height);
    if (m_transform.isIdentity()) {
        return local.offsetBy(m_center.x, m_center.y);
    }
    return m_transform.apply(local).offsetBy(m_center.x, m_center.y);
}

void View::setFrame(const Rect& frame) {
    Size oldSize = m_bounds.size;
    Rect f = frame.standardized();
    Size newSize = f.size;
    Point center = f.center();
    if (!m_transform.isIdentity()) {
        AffineTransform linear = m_transform;
        linear.tx = linear.ty = 0;
        Size untransformed = linear.inverted().apply(f.size);
        newSize = {std::fabs(untransformed.width), std::fabs(untransformed.height)};
        center = {center.x - m_transform.tx, center.y - m_transform.ty};
    }
    m_center = center;
    m_bounds.size = newSize;
    noteAnimatedChange();
    if (oldSize != newSize) {
        boundsSizeChanged(oldSize);
    }
}

void View::setBounds(const Rect& bounds) {
    Size oldSize = m_bounds.size;
    m_bounds = bounds;
    noteAnimatedChange();
    if (oldSize != bounds.size) {
        boundsSizeChanged(oldSize);
    }
}

void View::setCenter(Point center) {
    m_center = center;
    noteAnimatedChange();
}

void View::setTransform(const AffineTransform& transform) {
    m_transform = transform;
    noteAnimatedChange();
}

void View::boundsSizeChanged(Size oldSize) {
    setNeedsLayout();
    if (m_autoresizesSubviews) {
        resizeSubviews(oldSize);
    }
}

void View::resizeSubviews(Size oldSize) {
    Size newSize = m_bounds.size;
    for (auto& subview : std::vector<std::shared_ptr<View>>(m_subviews)) {
        AutoresizingMask mask = subview->m_autoresizingMask;
        if (mask == AutoresizingMask::None) {
            continue;
        }
        Rect f = subview->frame();
        resizeAxis(oldSize.width, newSize.width, f.origin.x, f.size.width,
                   hasAny(mask, AutoresizingMask::FlexibleLeftMargin),
                   hasAny(mask, AutoresizingMask::FlexibleWidth),
                   hasAny(mask, AutoresizingMask::FlexibleRightMargin));
        resizeAxis(oldSize.height, newSize.height, f.origin.y, f.size.height,
                   hasAny(mask, AutoresizingMask::FlexibleTopMargin),
                   hasAny(mask, AutoresizingMask::FlexibleHeight),
                   hasAny(mask, AutoresizingMask::FlexibleBottomMargin));
        subview->setFrame(f);
    }
}

// ---- appearance

void View::setAlpha(double alpha) {
    m_alpha = std::clamp(alpha, 0.0, 1.0);
    noteAnimatedChange();
}

void View::setHidden(bool hidden) {
    m_hidden = hidden;
    ScreenChanges::note();
}

void View::setBackgroundColor(std::optional<Color> color) {
    m_backgroundColor = std::move(color);
    noteAnimatedChange();
    setNeedsDisplay();
}

// ---- hierarchy

Window* View::window() const {
    for (const View* v = this; v; v = v->m_superview) {
        if (auto* w = dynamic_cast<const Window*>(v)) {
            return const_cast<Window*>(w);
        }
    }
    return nullptr;
}

bool View::isDescendantOfView(const View* view) const {
    for (const View* v = this; v; v = v->m_superview) {
        if (v == view) {
            return true;
        }
    }
    return false;
}

void View::addSubview(std::shared_ptr<View> view) {
    insertSubview(std::move(view), m_subviews.size());
}

void View::insertSubview(std::shared_ptr<View> view, size_t index) {
    assertMainThread();
    if (!view) {
        return;
    }
    if (isDescendantOfView(view.get())) {
        logLine("View: refusing to add a %s to itself or to one of its descendants",
                view->className().c_str());
        return;
    }
    if (view->m_superview == this) {
        // Reordering among siblings: no hooks, as on the phone.
        auto it = std::find(m_subviews.begin(), m_subviews.end(), view);
        size_t from = static_cast<size_t>(it - m_subviews.begin());
        m_subviews.erase(it);
        if (index > from) {
            --index;
        }
        index = std::min(index, m_subviews.size());
        m_subviews.insert(m_subviews.begin() + static_cast<long>(index), view);
        return;
    }
    insertSubviewInternal(std::move(view), index);
}

void View::insertSubviewAbove(std::shared_ptr<View> view, const View& sibling) {
    auto it = std::find_if(m_subviews.begin(), m_subviews.end(),
                           [&](const auto& v) { return v.get() == &sibling; });
    size_t index =
        it == m_subviews.end() ? m_subviews.size() : static_cast<size_t>(it - m_subviews.begin()) + 1;
    insertSubview(std::move(view), index);
}

void View::insertSubviewBelow(std::shared_ptr<View> view, const View& sibling) {
    auto it = std::find_if(m_subviews.begin(), m_subviews.end(),
                           [&](const auto& v) { return v.get() == &sibling; });
    size_t index = it == m_subviews.end() ? 0 : static_cast<size_t>(it - m_subviews.begin());
    insertSubview(std::move(view), index);
}

void View::insertSubviewInternal(std::shared_ptr<View> view, size_t index) {
    Window* newWindow = window();
    Window* oldWindow = view->window();
    view->willMoveToSuperview(this);
    if (oldWindow != newWindow) {
        view->notifyWindowChange(newWindow, true);
    }
    if (View* old = view->m_superview) {
        old->willRemoveSubview(*view);
        old->m_subviews.erase(std::find(old->m_subviews.begin(), old->m_subviews.end(), view));
        view->m_superview = nullptr;
    }
    index = std::min(index, m_subviews.size());
    m_subviews.insert(m_subviews.begin() + static_cast<long>(index), view);
    view->m_superview = this;
    if (oldWindow != newWindow) {
        view->notifyWindowChange(newWindow, false);
    }
    view->didMoveToSuperview();
    didAddSubview(*view);
    view->setNeedsLayout();
    ScreenChanges::note();
}

void View::removeFromSuperview() {
    assertMainThread();
    if (!m_superview) {
        return;
    }
    auto keepAlive = sharedAs<View>();
    Window* oldWindow = window();
    willMoveToSuperview(nullptr);
    if (oldWindow) {
        notifyWindowChange(nullptr, true);
    }
    detachFromSuperview();
    if (oldWindow) {
        notifyWindowChange(nullptr, false);
    }
    didMoveToSuperview();
}

void View::detachFromSuperview() {
    View* old = m_superview;
    old->willRemoveSubview(*this);
    auto it = std::find_if(old->m_subviews.begin(), old->m_subviews.end(),
                           [this](const auto& v) { return v.get() == this; });
    m_superview = nullptr;
    ScreenChanges::note();
    if (it != old->m_subviews.end()) {
        old->m_subviews.erase(it); // may release the last reference held by others than the caller
    }
}

void View::notifyWindowChange(Window* newWindow, bool before) {
    if (before) {
        willMoveToWindow(newWindow);
    } else {
        didMoveToWindow();
        if (!newWindow && isFirstResponder()) {
            (void)resignFirstResponder();
        }
    }
    for (auto& subview : std::vector<std::shared_ptr<View>>(m_subviews)) {
        subview->notifyWindowChange(newWindow, before);
    }
}

void View::bringSubviewToFront(const View& view) {
    auto it =
        std::find_if(m_subviews.begin(), m_subviews.end(), [&](const auto& v) { return v.get() == &view; });
    if (it == m_subviews.end()) {
        return;
    }
    auto keep = *it;
    m_subviews.erase(it);
    m_subviews.push_back(std::move(keep));
    ScreenChanges::note();
}

void View::sendSubviewToBack(const View& view) {
    auto it =
        std::find_if(m_subviews.begin(), m_subviews.end(), [&](const auto& v) { return v.get() == &view; });
    if (it == m_subviews.end()) {
        return;
    }
    auto keep = *it;
    m_subviews.erase(it);
    m_subviews.insert(m_subviews.begin(), std::move(keep));
    ScreenChanges::note();
}

View* View::viewWithTag(int tag) {
    if (m_tag == tag) {
        return this;
    }
    for (auto& subview : m_subviews) {
        if (View* found = subview->viewWithTag(tag)) {
            return found;
        }
    }
    return nullptr;
}

void View::willMoveToSuperview(View*) {}
void View::willMoveToWindow(Window*) {}
void View::didAddSubview(View&) {}
void View::willRemoveSubview(View&) {}

// ---- layout and display

void View::setNeedsLayout() {
    m_needsLayout = true;
    internal::scheduleLayoutPass();
    ScreenChanges::note();
}

void View::layoutIfNeeded() {
    assertMainThread();
    if (m_inLayout) {
        return;
    }
    auto keepAlive = sharedAs<View>();
    if (m_needsLayout) {
        m_needsLayout = false;
        m_inLayout = true;
        layoutSubviews();
        m_inLayout = false;
    }
    for (auto& subview : std::vector<std::shared_ptr<View>>(m_subviews)) {
        if (subview->m_superview == this) {
            subview->layoutIfNeeded();
        }
    }
}

Size View::sizeThatFits(Size) const {
    return m_bounds.size;
}

void View::sizeToFit() {
    Rect f = frame();
    Size fitting = sizeThatFits(f.size);
    setFrame(Rect(f.origin, fitting));
}

void View::setNeedsDisplay() {
    m_needsDisplay = true;
    ScreenChanges::note();
}

void View::setNeedsDisplayInRect(const Rect&) {
    setNeedsDisplay();
}

void View::drawRect(DrawingContext&, const Rect&) {}

// ---- coordinates and hit testing

Point View::convertPointToView(Point point, const View* view) const {
    return mapping(*this, view).apply(point);
}

Point View::convertPointFromView(Point point, const View* view) const {
    if (!view) {
        const View* root = nullptr;
        return toRoot(*this, &root).inverted().apply(point);
    }
    return mapping(*view, this).apply(point);
}

Rect View::convertRectToView(const Rect& rect, const View* view) const {
    return mapping(*this, view).apply(rect);
}

Rect View::convertRectFromView(const Rect& rect, const View* view) const {
    if (!view) {
        const View* root = nullptr;
        return toRoot(*this, &root).inverted().apply(rect);
    }
    return mapping(*view, this).apply(rect);
}

View* View::hitTest(Point point, const Event* event) {
    if (m_hidden || !m_userInteractionEnabled || m_alpha < 0.01) {
        return nullptr;
    }
    if (!pointInside(point, event)) {
        return nullptr;
    }
    for (auto it = m_subviews.rbegin(); it != m_subviews.rend(); ++it) {
        View& subview = **it;
        Point local = toSuperview(subview).inverted().apply(point);
        if (View* hit = subview.hitTest(local, event)) {
            return hit;
        }
    }
    return this;
}

bool View::pointInside(Point point, const Event*) {
    return m_bounds.contains(point);
}

// ---- responder chain

Responder* View::nextResponder() const {
    if (m_viewController) {
        return m_viewController;
    }
    return m_superview;
}

// ---- dump

void View::dump(ScreenDumpWriter& writer) const {
    dumpSubviews(writer);
}

void View::dumpSubviews(ScreenDumpWriter& writer) const {
    for (const auto& subview : m_subviews) {
        writer.visit(*subview);
    }
}

} // namespace murmelo
