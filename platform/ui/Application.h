// Application: the running app as the device sees it — its delegate, its
// windows and the key window, the status bar, the network activity
// indicator, opening addresses outside the app, and the lifecycle events
// (launch, resign/become active, memory warnings, termination).
//
// sharedApplication() is the one application (a documented single
// instance, created on first use). applicationMain() is the program's entry:
// it picks the phone or tablet delegate by the device profile's idiom, makes
// the window of the main interface and hands it to the delegate, calls the
// launch method, and runs the main run loop until terminate().
//
// openURL() opens only the schemes the device handles (http, https, the App
// Store's itms and itms-apps, mailto; any letter case); any other address
// (javascript:, file:, data:, one without a scheme) is logged and refused
// before a handler sees it. The rest goes through a replaceable handler. The
// default one logs the address and, for http and https only, hands it to
// xdg-open when a display exists ($DISPLAY or $WAYLAND_DISPLAY), answering
// whether that worked; tests and the driver install their own to record or
// refuse.
//
// Main thread only. The application owns its delegate for the whole run and
// the window it made at launch; other windows are owned by their makers and
// only listed here (back references removed when a window is destroyed).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Result.h"
#include "platform/core/Value.h"
#include "platform/net/URL.h"
#include "platform/ui/Responder.h"

namespace murmelo {

class Application;
class Window;

// The platform's values: landscape left is the device turned right.
enum class InterfaceOrientation {
    Portrait = 1,
    PortraitUpsideDown = 2,
    LandscapeRight = 3,
    LandscapeLeft = 4
};

enum class StatusBarStyle { Default = 0, BlackTranslucent = 1, BlackOpaque = 2 };
const char* statusBarStyleName(StatusBarStyle style);

enum class ApplicationState { Active, Inactive };

// The application's delegate. Every operation is optional (the defaults do
// nothing; the launch method answers true).
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;

    // application:didFinishLaunchingWithOptions:
    virtual bool didFinishLaunchingWithOptions(Application& application, const Dictionary& launchOptions);
    virtual void applicationDidBecomeActive(Application& application);
    virtual void applicationWillResignActive(Application& application);
    virtual void applicationDidReceiveMemoryWarning(Application& application);
    virtual void applicationWillTerminate(Application& application);

    // The main interface's window, given before the launch method.
    virtual void setWindow(std::shared_ptr<Window> window);
};

class Application : public Responder {
public:
    static constexpr std::string_view kDidFinishLaunchingNotification =
        "UIApplicationDidFinishLaunchingNotification";
    static constexpr std::string_view kDidBecomeActiveNotification =
        "UIApplicationDidBecomeActiveNotification";
    static constexpr std::string_view kWillResignActiveNotification =
        "UIApplicationWillResignActiveNotification";
    static constexpr std::string_view kDidReceiveMemoryWarningNotification =
        "UIApplicationDidReceiveMemoryWarningNotification";
    static constexpr std::string_view kWillTerminateNotification = "UIApplicationWillTerminateNotification";

    using DelegateFactory = std::function<std::shared_ptr<ApplicationDelegate>()>;
    struct DelegateFactories {
        DelegateFactory phone;
        DelegateFactory pad;
    };
    using OpenURLHandler = std::function<bool(const URL& url)>;

    static Application& sharedApplication();
    // Back to a fresh, unlaunched state: no delegate, no alerts, default
    // status bar and handlers, pending animations finished, no cookies in
    // memory (the cookie file stays, as after the end of a process). Windows
    // made by others stay listed until they are destroyed.
    static void resetSharedForTesting();

    // ---- launch and termination
    // Picks the delegate for the device's idiom, then launches with it.
    Result<void> launch(const DelegateFactories& factories, const Dictionary& launchOptions = {});
    // Points the shared cookie store at the home's cookie file (loading what
    // an earlier run kept), makes the main window (the screen's bounds),
    // gives it to the delegate, calls the launch method, posts the launch
    // notification and becomes active. Fails when already launched.
    Result<void> launch(std::shared_ptr<ApplicationDelegate> delegate, const Dictionary& launchOptions = {});
    bool isLaunched() const { return m_launched; }
    // <home>/Library/Cookies/Cookies.txt of the current home.
    static std::string cookieFilePath();
    // Tells the delegate and observers, then stops the main run loop.
    void terminate();

    const std::shared_ptr<ApplicationDelegate>& delegate() const { return m_delegate; }
    void setDelegate(std::shared_ptr<ApplicationDelegate> delegate) { m_delegate = std::move(delegate); }

    // ---- windows
    std::shared_ptr<Window> keyWindow() const;
    // Every window that exists, by level and then in order of making.
    std::vector<std::shared_ptr<Window>> windows() const;
    // The window made at launch, if any.
    const std::shared_ptr<Window>& mainWindow() const { return m_mainWindow; }

    // ---- status bar and indicators
    StatusBarStyle statusBarStyle() const { return m_statusBarStyle; }
    void setStatusBarStyle(StatusBarStyle style, bool animated = false);
    bool isStatusBarHidden() const { return m_statusBarHidden; }
    void setStatusBarHidden(bool hidden, bool animated = false);
    // The orientation the status bar (and the screens' content) is in.
    InterfaceOrientation statusBarOrientation() const { return m_statusBarOrientation; }
    void setStatusBarOrientation(InterfaceOrientation orientation) { m_statusBarOrientation = orientation; }
    bool isNetworkActivityIndicatorVisible() const { return m_networkActivityIndicatorVisible; }
    void setNetworkActivityIndicatorVisible(bool visible);

    // ---- leaving the app
    // Whether the address was opened outside the application; false at once
    // for a scheme the device does not handle.
    bool openURL(const URL& url);
    // http, https, itms, itms-apps and mailto.
    static bool handlesScheme(const URL& url);
    // Null restores the default handler.
    void setOpenURLHandler(OpenURLHandler handler);
    static bool defaultOpenURL(const URL& url);

    // ---- animation speed
    // Every animation and screen transition takes its duration times this
    // factor (1 by default; tests and a hurried driver lower it).
    static double animationDurationScale();
    static void setAnimationDurationScale(double scale);

    // ---- what the driver (or the phone) triggers
    ApplicationState applicationState() const { return m_state; }
    void resignActive();
    void becomeActive();
    // The delegate first, then every observer of the memory warning
    // notification (each view controller unloads a view that is off screen).
    void didReceiveMemoryWarning();

private:
    friend class Window;
    Application() = default;
    void registerWindow(Window* window);
    void unregisterWindow(Window* window);
    void setKeyWindow(Window* window);
    void post(std::string_view name);

    std::shared_ptr<ApplicationDelegate> m_delegate;
    bool m_launched = false;
    ApplicationState m_state = ApplicationState::Inactive;
    std::vector<Window*> m_windows; // back references, in order of making
    std::weak_ptr<Window> m_keyWindow;
    std::shared_ptr<Window> m_mainWindow;
    StatusBarStyle m_statusBarStyle = StatusBarStyle::Default;
    bool m_statusBarHidden = false;
    InterfaceOrientation m_statusBarOrientation = InterfaceOrientation::Portrait;
    bool m_networkActivityIndicatorVisible = false;
    OpenURLHandler m_openURLHandler;
};

// The program's entry: launches with the delegate for the device's idiom and
// runs the main run loop until terminate(). Returns 0, or 1 when the launch
// failed (logged).
int applicationMain(int argc, char** argv, const Application::DelegateFactories& factories);

} // namespace murmelo
