#include "platform/ui/Application.h"

#include <algorithm>
#include <cstdlib>

#include "platform/core/Log.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/CookieStore.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/Responder.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenChanges.h"
#include "platform/ui/Window.h"
#include "platform/ui/internal/AlertOverlay.h"
#include "platform/ui/internal/AnimationScheduler.h"
#include "platform/ui/internal/ChildProcess.h"

namespace murmelo {

namespace {
constexpr double kOpenerTimeout = 5.0;
constexpr size_t kLoggedAddressBytes = 200;

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            return true;
        }
    }
    return false;
}
} // namespace

const char* statusBarStyleName(StatusBarStyle style) {
    switch (style) {
    case StatusBarStyle::BlackTranslucent:
        return "black-translucent";
    case StatusBarStyle::BlackOpaque:
        return "black-opaque";
    case StatusBarStyle::Default:
        break;
    }
    return "default";
}

bool ApplicationDelegate::didFinishLaunchingWithOptions(Application&, const Dictionary&) {
    return true;
}
void ApplicationDelegate::applicationDidBecomeActive(Application&) {}
void ApplicationDelegate::applicationWillResignActive(Application&) {}
void ApplicationDelegate::applicationDidReceiveMemoryWarning(Application&) {}
void ApplicationDelegate::applicationWillTerminate(Application&) {}
void ApplicationDelegate::setWindow(std::shared_ptr<Window>) {}

Application& Application::sharedApplication() {
    static Application* application = new Application(); // lives for the whole process
    return *application;
}

void Application::resetSharedForTesting() {
    assertMainThread();
    Application& app = sharedApplication();
    internal::AlertOverlay::shared().reset();
    internal::AnimationScheduler::shared().finishAll();
    internal::AnimationScheduler::shared().setDurationScale(1.0);
    if (auto responder = Responder::currentFirstResponder()) {
        (void)responder->resignFirstResponder();
    }
    app.m_delegate.reset();
    app.m_mainWindow.reset();
    app.m_keyWindow.reset();
    app.m_launched = false;
    app.m_state = ApplicationState::Inactive;
    app.m_statusBarStyle = StatusBarStyle::Default;
    app.m_statusBarHidden = false;
    app.m_statusBarOrientation = InterfaceOrientation::Portrait;
    app.m_networkActivityIndicatorVisible = false;
    app.m_openURLHandler = nullptr;
    CookieStore::shared().resetForTesting();
}

std::string Application::cookieFilePath() {
    return AppHome::current()->libraryDirectory() + "/Cookies/Cookies.txt";
}

Result<void> Application::launch(const DelegateFactories& factories, const Dictionary& launchOptions) {
    auto profile = DeviceProfile::current();
    bool pad = profile && profile->userInterfaceIdiom() == UserInterfaceIdiom::Pad;
    const DelegateFactory& factory = pad ? factories.pad : factories.phone;
    if (!factory) {
        return Error("UIApplicationErrorDomain", 1,
                     std::string("no application delegate for the ") + (pad ? "tablet" : "phone"));
    }
    auto delegate = factory();
    if (!delegate) {
        return Error("UIApplicationErrorDomain", 2, "the application delegate could not be made");
    }
    return launch(std::move(delegate), launchOptions);
}

Result<void> Application::launch(std::shared_ptr<ApplicationDelegate> delegate,
                                 const Dictionary& launchOptions) {
    assertMainThread();
    if (m_launched) {
        return Error("UIApplicationErrorDomain", 3, "the application is already launched");
    }
    if (!delegate) {
        return Error("UIApplicationErrorDomain", 2, "no application delegate");
    }
    m_launched = true;
    // As on the phone, the app's cookies live in its home and outlast the run.
    CookieStore::shared().setPersistentFile(cookieFilePath());
    m_delegate = std::move(delegate);
    m_mainWindow = std::make_shared<Window>(Screen::mainScreen().bounds());
    m_delegate->setWindow(m_mainWindow);
    if (!m_delegate->didFinishLaunchingWithOptions(*this, launchOptions)) {
        logLine("Application: the delegate answered NO to the launch");
    }
    post(kDidFinishLaunchingNotification);
    becomeActive();
    return {};
}

void Application::terminate() {
    assertMainThread();
    if (m_delegate) {
        m_delegate->applicationWillTerminate(*this);
    }
    post(kWillTerminateNotification);
    RunLoop::main().stop();
}

std::shared_ptr<Window> Application::keyWindow() const {
    return m_keyWindow.lock();
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
    std::vector<std::shared_ptr<Window>> result;
    for (Window* window : m_windows) {
        if (auto shared = window->sharedAs<Window>()) {
            result.push_back(std::move(shared));
        }
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const auto& a, const auto& b) { return a->windowLevel() < b->windowLevel(); });
    return result;
}

void Application::registerWindow(Window* window) {
    m_windows.push_back(window);
    ScreenChanges::note();
}

void Application::unregisterWindow(Window* window) {
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), window), m_windows.end());
    ScreenChanges::note();
}

void Application::setKeyWindow(Window* window) {
    auto shared = window ? window->sharedAs<Window>() : nullptr;
    m_keyWindow = shared;
    ScreenChanges::note();
}

void Application::setStatusBarStyle(StatusBarStyle style, bool) {
    m_statusBarStyle = style;
    ScreenChanges::note();
}

void Application::setStatusBarHidden(bool hidden, bool) {
    m_statusBarHidden = hidden;
    ScreenChanges::note();
}

void Application::setNetworkActivityIndicatorVisible(bool visible) {
    m_networkActivityIndicatorVisible = visible;
    ScreenChanges::note();
}

bool Application::handlesScheme(const URL& url) {
    // Addresses from pages and servers land here; a script or local-file
    // scheme must never reach the system opener.
    static constexpr std::string_view kSchemes[] = {"http", "https", "itms", "itms-apps", "mailto"};
    return std::any_of(std::begin(kSchemes), std::end(kSchemes),
                       [&](std::string_view scheme) { return url.hasScheme(scheme); });
}

bool Application::openURL(const URL& url) {
    assertMainThread();
    if (!handlesScheme(url)) {
        std::string shown = url.absoluteString();
        if (shown.size() > kLoggedAddressBytes) {
            shown = shown.substr(0, kLoggedAddressBytes) + "...";
        }
        logLine("openURL: refusing %s (not a scheme the device opens)", shown.c_str());
        return false;
    }
    if (m_openURLHandler) {
        return m_openURLHandler(url);
    }
    return defaultOpenURL(url);
}

void Application::setOpenURLHandler(OpenURLHandler handler) {
    m_openURLHandler = std::move(handler);
}

bool Application::defaultOpenURL(const URL& url) {
    logLine("openURL: %s", url.absoluteString().c_str());
    if (!url.isHTTPFamily() || !hasDisplay()) {
        return false;
    }
    auto run = internal::runProcess({"xdg-open", url.absoluteString()}, {}, kOpenerTimeout,
                                    internal::OnTimeout::LeaveRunning);
    if (!run) {
        logLine("openURL: %s", run.error().localizedDescription().c_str());
        return false;
    }
    // A browser that keeps xdg-open waiting has taken the address.
    return run->succeeded() || run->kind == internal::ProcessExit::Kind::StillRunning;
}

double Application::animationDurationScale() {
    return internal::AnimationScheduler::shared().durationScale();
}

void Application::setAnimationDurationScale(double scale) {
    internal::AnimationScheduler::shared().setDurationScale(scale);
}

void Application::resignActive() {
    assertMainThread();
    if (m_state != ApplicationState::Active) {
        return;
    }
    if (m_delegate) {
        m_delegate->applicationWillResignActive(*this);
    }
    post(kWillResignActiveNotification);
    m_state = ApplicationState::Inactive;
}

void Application::becomeActive() {
    assertMainThread();
    if (m_state == ApplicationState::Active) {
        return;
    }
    m_state = ApplicationState::Active;
    if (m_delegate) {
        m_delegate->applicationDidBecomeActive(*this);
    }
    post(kDidBecomeActiveNotification);
}

void Application::didReceiveMemoryWarning() {
    assertMainThread();
    if (m_delegate) {
        m_delegate->applicationDidReceiveMemoryWarning(*this);
    }
    post(kDidReceiveMemoryWarningNotification);
}

void Application::post(std::string_view name) {
    NotificationCenter::defaultCenter().postNotificationName(name, this);
}

int applicationMain(int, char**, const Application::DelegateFactories& factories) {
    auto launched = Application::sharedApplication().launch(factories);
    if (!launched) {
        logLine("applicationMain: %s", launched.error().localizedDescription().c_str());
        return 1;
    }
    RunLoop::main().run();
    return 0;
}

} // namespace murmelo
