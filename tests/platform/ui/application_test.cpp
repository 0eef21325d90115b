// The application object and the device: launch by idiom, lifecycle events,
// opening addresses, the status bar, device and screen facts from the
// profile, images from the bundle and localised texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/core/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/Image.h"
#include "platform/runloop/Timer.h"
#include "platform/ui/Device.h"
#include "platform/ui/Localization.h"
#include "platform/ui/Screen.h"
#include "tests/platform/ui/ui_test_support.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

class RecordingDelegate : public ApplicationDelegate {
public:
    explicit RecordingDelegate(std::string kind, std::shared_ptr<EventLog> log)
        : m_kind(std::move(kind)), m_log(std::move(log)) {}
    void setWindow(std::shared_ptr<Window> window) override {
        m_log->push_back(m_kind + ".setWindow");
        this->window = std::move(window);
    }
    bool didFinishLaunchingWithOptions(Application&, const Dictionary&) override {
        m_log->push_back(m_kind +
                         ".didFinishLaunching window=" + (window ? window->frame().description() : "none"));
        if (window) {
            window->makeKeyAndVisible();
        }
        if (onLaunch) {
            onLaunch();
        }
        return true;
    }
    void applicationDidBecomeActive(Application&) override { m_log->push_back(m_kind + ".didBecomeActive"); }
    void applicationWillResignActive(Application&) override {
        m_log->push_back(m_kind + ".willResignActive");
    }
    void applicationDidReceiveMemoryWarning(Application&) override {
        m_log->push_back(m_kind + ".memoryWarning");
    }
    void applicationWillTerminate(Application&) override { m_log->push_back(m_kind + ".willTerminate"); }

    std::shared_ptr<Window> window;
    std::function<void()> onLaunch;

private:
    std::string m_kind;
    std::shared_ptr<EventLog> m_log;
};

class MemoryProbe : public ViewController {
public:
    explicit MemoryProbe(std::shared_ptr<EventLog> log) : m_log(std::move(log)) {}
    void didReceiveMemoryWarning() override {
        m_log->push_back("controller.memoryWarning");
        ViewController::didReceiveMemoryWarning();
    }

private:
    std::shared_ptr<EventLog> m_log;
};

void useIdiom(const std::string& idiom, const std::vector<std::string>& more = {}) {
    DeviceProfile profile;
    std::vector<std::string> options{"idiom=" + idiom};
    options.insert(options.end(), more.begin(), more.end());
    ASSERT_TRUE(profile.applyOverrides(options));
    DeviceProfile::setCurrent(profile);
}

// Observes the application's notifications into the log.
std::vector<ObserverToken> observeApplication(const std::shared_ptr<EventLog>& log) {
    std::vector<ObserverToken> tokens;
    for (auto name :
         {Application::kDidFinishLaunchingNotification, Application::kDidBecomeActiveNotification,
          Application::kWillResignActiveNotification, Application::kDidReceiveMemoryWarningNotification,
          Application::kWillTerminateNotification}) {
        tokens.push_back(NotificationCenter::defaultCenter().addObserver(
            std::string(name), &Application::sharedApplication(),
            [log](const Notification& n) { log->push_back(n.name); }));
    }
    return tokens;
}

// Restores an environment variable when the test ends.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const char* name) : m_name(name) {
        if (const char* value = std::getenv(name)) {
            m_value = value;
        }
        ::unsetenv(name);
    }
    ~ScopedEnvironment() {
        if (m_value) {
            ::setenv(m_name, m_value->c_str(), 1);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_value;
};

} // namespace

TEST_F(UITest, LaunchPicksTheDelegateOfTheDevicesIdiomAndGivesItTheWindow) {
    struct Case {
        const char* idiom;
        const char* expectedKind;
        const char* expectedWindow;
    };
    for (const auto& c :
         {Case{"phone", "phone", "(0, 0, 320, 480)"}, Case{"pad", "pad", "(0, 0, 768, 1024)"}}) {
        SCOPED_TRACE(c.idiom);
        Application::resetSharedForTesting();
        useIdiom(c.idiom);
        auto log = std::make_shared<EventLog>();
        auto tokens = observeApplication(log);
        Application::DelegateFactories factories{
            [log] { return std::make_shared<RecordingDelegate>("phone", log); },
            [log] { return std::make_shared<RecordingDelegate>("pad", log); },
        };
        auto& app = Application::sharedApplication();
        ASSERT_TRUE(app.launch(factories));
        std::string kind = c.expectedKind;
        EXPECT_EQ(
            *log,
            (EventLog{kind + ".setWindow", kind + ".didFinishLaunching window=" + c.expectedWindow,
                      std::string(Application::kDidFinishLaunchingNotification), kind + ".didBecomeActive",
                      std::string(Application::kDidBecomeActiveNotification)}));
        EXPECT_EQ(app.keyWindow(), app.mainWindow());
        EXPECT_EQ(app.applicationState(), ApplicationState::Active);
        EXPECT_FALSE(app.launch(factories)); // once per run
    }
    Application::resetSharedForTesting();
    EXPECT_FALSE(Application::sharedApplication().launch(Application::DelegateFactories{}));
}

TEST_F(UITest, ActivityAndMemoryEventsReachTheDelegateThenTheObservers) {
    auto log = std::make_shared<EventLog>();
    auto& app = Application::sharedApplication();
    ASSERT_TRUE(app.launch(std::make_shared<RecordingDelegate>("app", log)));
    auto tokens = observeApplication(log);
    auto controller = std::make_shared<MemoryProbe>(log); // observes after the test's observers
    log->clear();

    Interaction::resignActive();
    Interaction::resignActive(); // already inactive: nothing
    Interaction::becomeActive();
    Interaction::memoryWarning();
    EXPECT_EQ(*log,
              (EventLog{"app.willResignActive", std::string(Application::kWillResignActiveNotification),
                        "app.didBecomeActive", std::string(Application::kDidBecomeActiveNotification),
                        "app.memoryWarning", std::string(Application::kDidReceiveMemoryWarningNotification),
                        "controller.memoryWarning"}));
}

TEST_F(UITest, ApplicationMainRunsTheLoopUntilTerminated) {
    useIdiom("phone");
    auto log = std::make_shared<EventLog>();
    Application::DelegateFactories factories;
    factories.phone = [log] {
        auto delegate = std::make_shared<RecordingDelegate>("phone", log);
        delegate->onLaunch = [] {
            RunLoop::main().scheduleAfter(0.01, [] { Application::sharedApplication().terminate(); });
        };
        return delegate;
    };
    // A reaper: a broken terminate fails the test instead of hanging it.
    bool reaped = false;
    Timer reaper(5.0, Timer::Repeats::No, [&] {
        reaped = true;
        RunLoop::main().stop();
    });
    char name[] = "murmelo";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(applicationMain(1, argv, factories), 0);
    EXPECT_FALSE(reaped);
    EXPECT_EQ(log->back(), "phone.willTerminate");

    Application::resetSharedForTesting();
    LogCapture capture;
    EXPECT_EQ(applicationMain(1, argv, Application::DelegateFactories{}), 1);
    EXPECT_TRUE(capture.contains("no application delegate"));
}

TEST_F(UITest, OpeningAddressesGoesThroughTheHandler) {
    auto& app = Application::sharedApplication();
    auto url = URL::strictParse("itms-apps://itunes.example/app/id1");
    ASSERT_TRUE(url);
    std::vector<std::string> opened;
    app.setOpenURLHandler([&](const URL& u) {
        opened.push_back(u.absoluteString());
        return u.hasScheme("itms-apps");
    });
    EXPECT_TRUE(app.openURL(*url));
    EXPECT_FALSE(app.openURL(*URL::strictParse("http://example.com/")));
    EXPECT_EQ(opened,
              (std::vector<std::string>{"itms-apps://itunes.example/app/id1", "http://example.com/"}));

    // The default handler logs, and without a display opens nothing.
    app.setOpenURLHandler(nullptr);
    ScopedEnvironment display("DISPLAY");
    ScopedEnvironment wayland("WAYLAND_DISPLAY");
    LogCapture capture;
    EXPECT_FALSE(app.openURL(*URL::strictParse("http://example.com/page")));
    EXPECT_FALSE(app.openURL(*url));
    EXPECT_TRUE(capture.contains("openURL: http://example.com/page"));
    EXPECT_TRUE(capture.contains("openURL: itms-apps://itunes.example/app/id1"));
}

TEST_F(UITest, OnlySchemesTheDeviceHandlesAreOpened) {
    struct Case {
        const char* text;
        bool opened; // false also when the text is no URL at all
    };
    const Case cases[] = {
        {"http://example.com/", true},
        {"HTTPS://example.com/a?b=1", true},
        {"itms-apps://itunes.example/app/id1", true},
        {"ITMS://itunes.example/app/id1", true},
        {"mailto:someone@example.com", true},
        {"MailTo:someone@example.com", true},
        {"javascript:alert(1)", false},
        {"JavaScript:alert(document.cookie)", false},
        {"JAVASCRIPT://%0aalert(1)", false},
        {"file:///etc/passwd", false},
        {"File:///home", false},
        {"data:text/html,x", false},
        {"tel:+15551234", false},
        {"itms-appss://itunes.example/app/id1", false},
        {"http-x://example.com/", false},
        {"//example.com/no-scheme", false},
        {"relative/path", false},
        {" javascript:alert(1)", false},
        {"java\tscript:alert(1)", false},
        {"javascript :alert(1)", false},
        {"http://example.com/ ", false},
    };
    auto& app = Application::sharedApplication();
    std::vector<std::string> handed;
    app.setOpenURLHandler([&](const URL& url) {
        handed.push_back(url.absoluteString());
        return true;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        handed.clear();
        LogCapture capture;
        auto url = URL::strictParse(c.text);
        bool opened = url && app.openURL(*url);
        EXPECT_EQ(opened, c.opened);
        EXPECT_EQ(handed.size(), c.opened ? 1u : 0u);
        if (url && !c.opened) {
            EXPECT_TRUE(capture.contains("openURL: refusing "));
        }
    }
}

TEST_F(UITest, TheStatusBarShapesTheApplicationFrame) {
    auto& app = Application::sharedApplication();
    app.setStatusBarStyle(StatusBarStyle::BlackOpaque);
    EXPECT_EQ(static_cast<int>(app.statusBarStyle()), 2);
    EXPECT_EQ(Screen::mainScreen().applicationFrame(), Rect(0, 20, 320, 460));
    app.setStatusBarHidden(true);
    EXPECT_EQ(Screen::mainScreen().applicationFrame(), Rect(0, 0, 320, 480));
    app.setStatusBarHidden(false);
    app.setNetworkActivityIndicatorVisible(true);
    auto window = makeWindow();
    EXPECT_EQ(Interaction::dump().substr(0, 46), "status bar: black-opaque, network activity\nwin");
}

TEST_F(UITest, DeviceAndScreenAnswerFromTheProfile) {
    struct Case {
        std::vector<std::string> options;
        bool answersScale;
        std::optional<double> scale;
    };
    const Case cases[] = {
        {{"screenReportsScale=yes", "screenScale=2"}, true, 2.0},
        {{"screenReportsScale=yes", "screenScale=1"}, true, 1.0},
        {{"screenReportsScale=no"}, false, std::nullopt},
    };
    for (const auto& c : cases) {
        useIdiom("phone", c.options);
        EXPECT_EQ(Screen::mainScreen().respondsToScale(), c.answersScale);
        EXPECT_EQ(Screen::mainScreen().scale(), c.scale);
        EXPECT_EQ(Screen::mainScreen().bounds(), Rect(0, 0, 320, 480));
    }
    useIdiom("phone", {"model=iPhone", "systemVersion=4.2.1", "name=Test Phone"});
    Device& device = Device::currentDevice();
    EXPECT_EQ(device.model(), "iPhone");
    EXPECT_EQ(device.systemName(), "iPhone OS");
    EXPECT_EQ(device.systemVersion(), "4.2.1");
    EXPECT_EQ(device.name(), "Test Phone");
    EXPECT_TRUE(DeviceProfile::isValidUniqueIdentifier(device.uniqueIdentifier()));
    EXPECT_EQ(device.userInterfaceIdiom(), UserInterfaceIdiom::Phone);

    int changes = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        std::string(Device::kOrientationDidChangeNotification), &device,
        [&](const Notification&) { ++changes; });
    EXPECT_EQ(device.orientation(), DeviceOrientation::Portrait);
    device.setOrientation(DeviceOrientation::LandscapeLeft);
    device.setOrientation(DeviceOrientation::LandscapeLeft);
    EXPECT_EQ(changes, 1);
    device.setOrientation(DeviceOrientation::Portrait);
}

TEST(ImageHeader, FormatAndSizeFromTheFirstBytes) {
    auto png = [](std::uint32_t w, std::uint32_t h) {
        Data d = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
        for (std::uint32_t v : {w, h}) {
            d.push_back(static_cast<std::uint8_t>(v >> 24));
            d.push_back(static_cast<std::uint8_t>(v >> 16));
            d.push_back(static_cast<std::uint8_t>(v >> 8));
            d.push_back(static_cast<std::uint8_t>(v));
        }
        return d;
    };
    Data gif = {'G', 'I', 'F', '8', '9', 'a', 0x40, 0x01, 0x32, 0x00};
    Data jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF,
                 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x32, 0x01, 0x40};
    struct Case {
        const char* name;
        Data bytes;
        ImageFormat format;
        std::uint32_t width;
        std::uint32_t height;
    };
    Data tiny = png(1, 1);
    const Case cases[] = {
        {"png", png(320, 50), ImageFormat::PNG, 320, 50},
        {"gif", gif, ImageFormat::GIF, 320, 50},
        {"jpeg after an APP0 segment", jpeg, ImageFormat::JPEG, 320, 50},
        {"png of no size", png(0, 50), ImageFormat::None, 0, 0},
        {"truncated png", Data(tiny.begin(), tiny.begin() + 20), ImageFormat::None, 0, 0},
        {"jpeg cut inside its frame header", Data(jpeg.begin(), jpeg.end() - 3), ImageFormat::None, 0, 0},
        {"jpeg with a segment of length 0", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00}, ImageFormat::None, 0, 0},
        {"text", {'h', 'e', 'l', 'l', 'o'}, ImageFormat::None, 0, 0},
        {"nothing", {}, ImageFormat::None, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto header = readImageHeader(c.bytes);
        if (c.format == ImageFormat::None) {
            EXPECT_FALSE(header);
            EXPECT_EQ(Image::imageWithData(c.bytes), nullptr);
            continue;
        }
        ASSERT_TRUE(header);
        EXPECT_EQ(header->format, c.format);
        EXPECT_EQ(header->pixelWidth, c.width);
        EXPECT_EQ(header->pixelHeight, c.height);
        // A header alone is no picture: without pixels there is no image.
        EXPECT_EQ(Image::imageWithData(c.bytes, 2), nullptr);
    }
}

TEST_F(UITest, NamedImagesComeFromTheBundleForTheScreensScale) {
    auto png = [](std::uint32_t side) {
        Data d = Bitmap::create(side, side).value().encodePNG().value();
        return std::string(d.begin(), d.end());
    };
    std::filesystem::create_directories(dir().path() + "/bundle");
    writeFile(dir().path() + "/bundle/close.png", png(20));
    writeFile(dir().path() + "/bundle/close@2x.png", png(40));
    writeFile(dir().path() + "/bundle/broken.png", "not a picture");
    Bundle::setMainBundlePath(dir().path() + "/bundle");

    useIdiom("phone", {"screenReportsScale=yes", "screenScale=2"});
    auto sharp = Image::imageNamed("close.png");
    ASSERT_TRUE(sharp);
    EXPECT_EQ(sharp->name(), "close.png");
    EXPECT_EQ(sharp->scale(), 2);
    EXPECT_EQ(sharp->size(), (Size{20, 20})); // 40 pixels at scale 2
    useIdiom("phone", {"screenReportsScale=no"});
    auto plain = Image::imageNamed("close");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->scale(), 1);
    EXPECT_EQ(plain->size(), (Size{20, 20}));
    EXPECT_EQ(Image::imageNamed("missing.png"), nullptr);
    EXPECT_EQ(Image::imageNamed("broken.png"), nullptr);
    EXPECT_EQ(Image::imageNamed(""), nullptr);

    auto pattern = Color::colorWithPatternImage(plain);
    EXPECT_EQ(pattern.description(), "pattern(close)");
}

TEST_F(UITest, TextsAreLocalisedThroughTheMainBundle) {
    std::filesystem::create_directories(dir().path() + "/bundle/de.lproj");
    writeFile(dir().path() + "/bundle/de.lproj/Localizable.strings",
              "\"Secret pool\" = \"Geheimnis-Pool\";\n\"OK\" = \"OK\";\n");
    writeFile(dir().path() + "/bundle/Info.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleDevelopmentRegion</key>"
              "<string>de</string></dict></plist>");
    Bundle::setMainBundlePath(dir().path() + "/bundle");
    useIdiom("phone", {"preferredLanguages=de"});
    UserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(localizedString("Secret pool"), "Geheimnis-Pool");
    EXPECT_EQ(localizedString("Post your secret"), "Post your secret"); // untranslated: the key
    EXPECT_EQ(localizedString("Dismiss", "Schließen"), "Schließen");
}
