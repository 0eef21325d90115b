// Window: the root of a view tree on the screen, at a level (normal, status
// bar, alert). The application's window holds the screens; the alert
// overlay is a window of alert level. A window starts hidden;
// makeKeyAndVisible() shows it and makes it the key window (the one that
// gets typed text).
//
// A view controller whose view is added straight to a visible window (or
// whose window becomes visible) is a root screen: it gets the appearance
// calls; removing its view or hiding the window makes it disappear. Hiding
// and showing the window does the same for the screens presented over it.
//
// Ownership: whoever makes a window owns it (the app delegate, the
// application for its overlay); the application keeps only a back reference
// for windows(), which the window removes when destroyed. Main thread only.
#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace murmelo {

class ViewController;

inline constexpr double kWindowLevelNormal = 0;
inline constexpr double kWindowLevelStatusBar = 1000;
inline constexpr double kWindowLevelAlert = 2000;

class Window : public View {
public:
    explicit Window(const Rect& frame);
    ~Window() override;

    double windowLevel() const { return m_level; }
    void setWindowLevel(double level) { m_level = level; }

    bool isKeyWindow() const;
    void makeKeyWindow();
    void makeKeyAndVisible();
    void setHidden(bool hidden) override;

    // The root screen: its view is put into the window, filling the
    // screen's application frame.
    const std::shared_ptr<ViewController>& rootViewController() const { return m_rootViewController; }
    void setRootViewController(std::shared_ptr<ViewController> controller);

    // The application.
    Responder* nextResponder() const override;

    // Delivers the touches of an event to the views they belong to.
    void sendEvent(const Event& event);

    void didAddSubview(View& subview) override;
    void willRemoveSubview(View& subview) override;
    void dump(ScreenDumpWriter& writer) const override;

private:
    void setRootScreensAppearing(bool appearing);

    double m_level = kWindowLevelNormal;
    std::shared_ptr<ViewController> m_rootViewController;
};

} // namespace murmelo
