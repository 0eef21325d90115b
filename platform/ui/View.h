// View: a rectangle of the screen — geometry (frame, bounds, center,
// transform), appearance (alpha, hidden, opaque, background colour,
// clipping), its subviews in back-to-front order, layout, hit testing, and
// the class-level view animations.
//
// Ownership: a view owns its subviews (shared_ptr). Its superview is a back
// reference the superview clears when it lets go of the view (removal or
// destruction), so superview() is never dangling. The view controller whose
// view this is is a back reference the controller clears the same way.
// Views must be owned by a shared_ptr (std::make_shared) to be added to
// another view.
//
// Threading: main thread only (checked in debug builds where it matters).
//
// Layout: setNeedsLayout() marks the view; the screen lays out every window
// on the next pass of the main run loop (and before the interaction API taps
// or dumps), calling layoutSubviews() on the marked views top-down. A change
// of the bounds size marks the view and resizes its subviews by their
// autoresizing masks.
//
// Animations: between beginAnimations() and commitAnimations(), changes of
// frame, bounds, center, transform, alpha and background colour take their
// end values at once (this screen draws only settled states) and the block
// ends after its duration on the main run loop, calling the delegate's
// did-stop handler with finished = true. The application counts running
// blocks so the interaction API can wait until the screen is settled.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Flags.h"
#include "platform/graphics/Geometry.h"
#include "platform/ui/Responder.h"

namespace murmelo {

class DrawingContext; // the screen renderer's drawing surface
class ScreenDumpWriter;
class ViewController;
class Window;

enum class AutoresizingMask : unsigned {
    None = 0,
    FlexibleLeftMargin = 1 << 0,
    FlexibleWidth = 1 << 1,
    FlexibleRightMargin = 1 << 2,
    FlexibleTopMargin = 1 << 3,
    FlexibleHeight = 1 << 4,
    FlexibleBottomMargin = 1 << 5,
};
template <> struct EnableFlags<AutoresizingMask> : std::true_type {};

enum class ContentMode {
    ScaleToFill,
    ScaleAspectFit,
    ScaleAspectFill,
    Redraw,
    Center,
    Top,
    Bottom,
    Left,
    Right,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
};

enum class AnimationCurve { EaseInOut, EaseIn, EaseOut, Linear };
enum class AnimationTransition { None, FlipFromLeft, FlipFromRight, CurlUp, CurlDown };
const char* animationTransitionName(AnimationTransition transition);

class View : public Responder {
public:
    View();
    explicit View(const Rect& frame);
    ~View() override;

    // ---- geometry
    // With a transform other than the identity, the frame is the bounding
    // box of the transformed bounds around the center; setting it keeps the
    // transform and sets the center and the untransformed size.
    Rect frame() const;
    void setFrame(const Rect& frame);
    const Rect& bounds() const { return m_bounds; }
    void setBounds(const Rect& bounds);
    Point center() const { return m_center; }
    void setCenter(Point center);
    const AffineTransform& transform() const { return m_transform; }
    void setTransform(const AffineTransform& transform);

    // ---- appearance
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    double alpha() const { return m_alpha; }
    void setAlpha(double alpha); // clamped to 0...1
    bool isHidden() const { return m_hidden; }
    virtual void setHidden(bool hidden);
    bool isOpaque() const { return m_opaque; }
    void setOpaque(bool opaque) { m_opaque = opaque; }
    // Nothing means no background (the platform's nil colour).
    const std::optional<Color>& backgroundColor() const { return m_backgroundColor; }
    virtual void setBackgroundColor(std::optional<Color> color);
    bool isUserInteractionEnabled() const { return m_userInteractionEnabled; }
    void setUserInteractionEnabled(bool enabled) { m_userInteractionEnabled = enabled; }
    bool clipsToBounds() const { return m_clipsToBounds; }
    void setClipsToBounds(bool clips) { m_clipsToBounds = clips; }
    AutoresizingMask autoresizingMask() const { return m_autoresizingMask; }
    void setAutoresizingMask(AutoresizingMask mask) { m_autoresizingMask = mask; }
    bool autoresizesSubviews() const { return m_autoresizesSubviews; }
    void setAutoresizesSubviews(bool resizes) { m_autoresizesSubviews = resizes; }
    ContentMode contentMode() const { return m_contentMode; }
    void setContentMode(ContentMode mode) { m_contentMode = mode; }

    // ---- hierarchy
    View* superview() const { return m_superview; }
    const std::vector<std::shared_ptr<View>>& subviews() const { return m_subviews; }
    // The window this view is in, or null.
    Window* window() const;
    // Adds on top (moving it from its old superview). Adding a view to itself
    // or to one of its own descendants is refused (logged).
    void addSubview(std::shared_ptr<View> view);
    void insertSubview(std::shared_ptr<View> view, size_t index);
    void insertSubviewAbove(std::shared_ptr<View> view, const View& sibling);
    void insertSubviewBelow(std::shared_ptr<View> view, const View& sibling);
    void removeFromSuperview();
    void bringSubviewToFront(const View& view);
    void sendSubviewToBack(const View& view);
    // Depth first, this view first; null when none has the tag.
    View* viewWithTag(int tag);
    bool isDescendantOfView(const View* view) const;

    // ---- layout and display
    void setNeedsLayout();
    bool needsLayout() const { return m_needsLayout; }
    // Lays out this view and its subviews now where marked.
    void layoutIfNeeded();
    // Subclasses place their subviews here; the default does nothing.
    virtual void layoutSubviews() {}
    virtual Size sizeThatFits(Size size) const;
    void sizeToFit();

    void setNeedsDisplay();
    void setNeedsDisplayInRect(const Rect& rect);
    bool needsDisplay() const { return m_needsDisplay; }
    // The renderer calls this after drawing.
    void clearNeedsDisplay() { m_needsDisplay = false; }
    // Draws the view's own content into `context` (bounds coordinates); the
    // default draws nothing (the background colour is the renderer's).
    virtual void drawRect(DrawingContext& context, const Rect& rect);

    // ---- coordinates and hit testing
    // `view` null: the window's coordinates.
    Point convertPointToView(Point point, const View* view) const;
    Point convertPointFromView(Point point, const View* view) const;
    Rect convertRectToView(const Rect& rect, const View* view) const;
    Rect convertRectFromView(const Rect& rect, const View* view) const;
    // The deepest visible, interactive descendant (or this) containing the
    // point (in this view's coordinates); null when none does.
    virtual View* hitTest(Point point, const Event* event);
    virtual bool pointInside(Point point, const Event* event);

    // ---- hooks
    virtual void willMoveToSuperview(View* newSuperview);
    virtual void didMoveToSuperview() {}
    virtual void willMoveToWindow(Window* newWindow);
    virtual void didMoveToWindow() {}
    virtual void didAddSubview(View& subview);
    virtual void willRemoveSubview(View& subview);

    // ---- responder chain
    Responder* nextResponder() const override;
    // The controller whose view this is, or null.
    ViewController* viewController() const { return m_viewController; }

    // ---- the screen dump (see ScreenDump.h); the default describes nothing
    // itself and walks the subviews.
    virtual void dump(ScreenDumpWriter& writer) const;

    // ---- class-level animations
    static void beginAnimations(std::string animationID = {}, void* context = nullptr);
    static void commitAnimations();
    static void setAnimationDuration(double seconds); // default 0.2
    static void setAnimationDelay(double seconds);
    static void setAnimationCurve(AnimationCurve curve);
    static void setAnimationBeginsFromCurrentState(bool fromCurrentState);
    // Held weakly; the stop handler is skipped when the delegate is gone.
    static void setAnimationDelegate(std::weak_ptr<Object> delegate);
    // animationDidStop:finished:context: — called on the delegate, which must
    // be a T (checked at the call). A selector without arguments also works.
    template <class T>
    static void setAnimationDidStopSelector(void (T::*selector)(const std::string& animationID, bool finished,
                                                                void* context));
    template <class T> static void setAnimationDidStopSelector(void (T::*selector)());
    static void setAnimationTransition(AnimationTransition transition, View& forView, bool cache);
    static bool isInsideAnimationBlock();

    // Running animation blocks that changed this view or transition it.
    int runningAnimationCount() const { return m_runningAnimations; }
    // The last view transition applied to this view, and how many so far.
    AnimationTransition lastAnimationTransition() const { return m_lastTransition; }
    int animationTransitionCount() const { return m_transitionCount; }

protected:
    // Walks the subviews into the dump; for dump() overrides that write
    // their own lines first.
    void dumpSubviews(ScreenDumpWriter& writer) const;

private:
    friend class ViewController;
    friend struct AnimationBlocks;

    using StopHandler =
        std::function<void(Object& delegate, const std::string& animationID, bool finished, void* context)>;
    static void setAnimationStopHandler(StopHandler handler);

    void insertSubviewInternal(std::shared_ptr<View> view, size_t index);
    void detachFromSuperview();
    void notifyWindowChange(Window* newWindow, bool before);
    void resizeSubviews(Size oldSize);
    void boundsSizeChanged(Size oldSize);
    void noteAnimatedChange();

    Rect m_bounds;
    Point m_center;
    AffineTransform m_transform;
    int m_tag = 0;
    double m_alpha = 1;
    bool m_hidden = false;
    bool m_opaque = true;
    std::optional<Color> m_backgroundColor;
    bool m_userInteractionEnabled = true;
    bool m_clipsToBounds = false;
    AutoresizingMask m_autoresizingMask = AutoresizingMask::None;
    bool m_autoresizesSubviews = true;
    ContentMode m_contentMode = ContentMode::ScaleToFill;

    View* m_superview = nullptr;
    std::vector<std::shared_ptr<View>> m_subviews;
    ViewController* m_viewController = nullptr;

    bool m_needsLayout = true;
    bool m_inLayout = false;
    bool m_needsDisplay = true;

    int m_runningAnimations = 0;
    AnimationTransition m_lastTransition = AnimationTransition::None;
    int m_transitionCount = 0;
};

template <class T>
void View::setAnimationDidStopSelector(void (T::*selector)(const std::string&, bool, void*)) {
    setAnimationStopHandler(
        [selector](Object& delegate, const std::string& id, bool finished, void* context) {
            if (auto* typed = dynamic_cast<T*>(&delegate)) {
                (typed->*selector)(id, finished, context);
            }
        });
}

template <class T> void View::setAnimationDidStopSelector(void (T::*selector)()) {
    setAnimationStopHandler([selector](Object& delegate, const std::string&, bool, void*) {
        if (auto* typed = dynamic_cast<T*>(&delegate)) {
            (typed->*selector)();
        }
    });
}

} // namespace murmelo
