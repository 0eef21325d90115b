// `murmelo window` as a person uses it, under a virtual X display: the
// window shows what the screen renderer draws, and clicks and typing from
// xdotool reach the app. Each test starts its own Xvfb (it picks a free
// display) and its own `murmelo window`, and kills both when it ends, passed
// or not. Every wait is bounded.
//
// Without Xvfb, xdotool, xwd or a build with a window the tests skip,
// unless MURMELO_REQUIRE_WINDOW=1 (CI), which makes that a failure.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/ImageDecoder.h"
#include "tests/support/temporary_directory.h"

extern char** environ;

namespace {

constexpr double kStartTimeout = 60;
constexpr double kStepTimeout = 30;
// The pool page's screen points (320×480) of what the tests touch; the
// fonts and the page are the build's own, so these stay put.
constexpr double kPostTabX = 240, kTabY = 455;
constexpr double kPoolTabX = 80;
constexpr double kSearchFieldX = 100, kSearchFieldY = 122;
constexpr double kFirstShareX = 195, kFirstShareY = 231;
// On the posting page: the secret's text area and its submit button.
constexpr double kSecretAreaX = 100, kSecretAreaY = 140;
constexpr double kTellButtonX = 80, kTellButtonY = 190;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::optional<std::string> findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> entries(extra);
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const std::string& added : extra) {
            replaced =
                replaced || entry.substr(0, entry.find('=') + 1) == added.substr(0, added.find('=') + 1);
        }
        if (!replaced) {
            entries.push_back(entry);
        }
    }
    return entries;
}

// A child process killed (and reaped) when this goes.
class Child {
public:
    struct Fds {
        int in = -1;      // its standard input (-1: /dev/null)
        int out = -1;     // its standard output
        int err = -1;     // its standard error
        int display = -1; // fd 3 in the child
    };

    bool start(const std::vector<std::string>& args, const std::vector<std::string>& env, const Fds& fds) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        posix_spawn_file_actions_adddup2(&actions, fds.in >= 0 ? fds.in : devnull, 0);
        posix_spawn_file_actions_adddup2(&actions, fds.out >= 0 ? fds.out : devnull, 1);
        posix_spawn_file_actions_adddup2(&actions, fds.err >= 0 ? fds.err : devnull, 2);
        if (fds.display >= 0) {
            posix_spawn_file_actions_adddup2(&actions, fds.display, 3);
        }
        std::vector<std::string> words(args), environment(env);
        std::vector<char*> argv, envp;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        int spawned = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(devnull);
        if (spawned != 0) {
            m_pid = -1;
        }
        return m_pid > 0;
    }

    ~Child() { stop(); }

    void stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

    pid_t pid() const { return m_pid; }

    // Waits (bounded) for the child to end by itself; its exit status.
    std::optional<int> waitForExit(double seconds) {
        const double deadline = murmelo::Clock::monotonic() + seconds;
        while (m_pid > 0) {
            int status = 0;
            pid_t ended = ::waitpid(m_pid, &status, WNOHANG);
            if (ended == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (murmelo::Clock::monotonic() >= deadline) {
                break;
            }
            // No descriptor tells of a child's end; look again shortly.
            ::poll(nullptr, 0, 50);
        }
        return std::nullopt;
    }

private:
    pid_t m_pid = -1;
};

// Runs a helper program to its end (bounded); its standard output.
std::optional<std::string> runTool(const std::vector<std::string>& args, const std::vector<std::string>& env,
                                   double seconds = 20) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    Child child;
    bool started = child.start(args, env, {.out = out[1]});
    ::close(out[1]);
    std::string text;
    const double deadline = murmelo::Clock::monotonic() + seconds;
    while (started) {
        double left = deadline - murmelo::Clock::monotonic();
        pollfd fd{out[0], POLLIN, 0};
        if (left <= 0 || ::poll(&fd, 1, int(left * 1000) + 1) <= 0) {
            break;
        }
        char buffer[65536];
        ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) {
            int status = 0;
            ::waitpid(child.pid(), &status, 0);
            ::close(out[0]);
            return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? std::optional<std::string>(text)
                                                                 : std::nullopt;
        }
        text.append(buffer, std::size_t(n));
    }
    ::close(out[0]);
    return std::nullopt;
}

// An X window dump (xwd) as pixels: the header's masks say where red, green
// and blue are.
struct Screenshot {
    std::uint32_t width = 0, height = 0;
    std::vector<murmelo::RGBA8> pixels;
    murmelo::RGBA8 at(std::uint32_t x, std::uint32_t y) const { return pixels[std::size_t(y) * width + x]; }
};

std::optional<Screenshot> parseXwd(const std::string& bytes) {
    auto word = [&](std::size_t index) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + index * 4;
        return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
    };
    if (bytes.size() < 100) {
        return std::nullopt;
    }
    std::uint32_t headerSize = word(0), width = word(4), height = word(5), byteOrder = word(7);
    std::uint32_t bitsPerPixel = word(11), bytesPerLine = word(12);
    std::uint32_t masks[3] = {word(14), word(15), word(16)};
    std::uint32_t colours = word(19);
    std::size_t offset = std::size_t(headerSize) + std::size_t(colours) * 12;
    std::size_t perPixel = bitsPerPixel / 8;
    if ((perPixel != 3 && perPixel != 4) || width == 0 || height == 0 || width > 8192 || height > 8192 ||
        bytesPerLine < width * perPixel || bytes.size() < offset + std::size_t(bytesPerLine) * height) {
        return std::nullopt;
    }
    Screenshot shot{width, height, {}};
    shot.pixels.reserve(std::size_t(width) * height);
    for (std::uint32_t y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const unsigned char*>(bytes.data()) + offset + std::size_t(y) * bytesPerLine;
        for (std::uint32_t x = 0; x < width; ++x) {
            const unsigned char* p = row + x * perPixel;
            std::uint32_t value = 0;
            for (std::size_t i = 0; i < perPixel; ++i) {
                value |= std::uint32_t(p[byteOrder == 0 ? i : perPixel - 1 - i]) << (8 * i);
            }
            std::uint8_t channel[3];
            for (int c = 0; c < 3; ++c) {
                std::uint32_t mask = masks[c];
                int shift = mask ? __builtin_ctz(mask) : 0;
                channel[c] = std::uint8_t((value & mask) >> shift);
            }
            shot.pixels.push_back({channel[0], channel[1], channel[2], 255});
        }
    }
    return shot;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const bool required = std::getenv("MURMELO_REQUIRE_WINDOW") &&
                              std::string(std::getenv("MURMELO_REQUIRE_WINDOW")) == "1";
        for (const char* tool : {"Xvfb", "xdotool", "xwd"}) {
            auto found = findProgram(tool);
            if (!found) {
                if (required) {
                    FAIL() << tool
                           << " is missing and MURMELO_REQUIRE_WINDOW=1 (scripts/bootstrap installs it)";
                }
                GTEST_SKIP() << tool << " is missing: the window tests need xvfb, xdotool and x11-apps";
            }
            m_tools[tool] = *found;
        }
        startDisplay();
        if (HasFatalFailure()) {
            return;
        }
        startWindow();
    }

    void TearDown() override {
        m_window.stop();
        m_display.stop();
        for (int fd : {m_in, m_out}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    void startDisplay() {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        // -displayfd: the server picks a free display and says which.
        ASSERT_TRUE(m_display.start(
            {m_tools["Xvfb"], "-displayfd", "3", "-screen", "0", "800x1000x24", "-nolisten", "tcp"},
            environmentWith({}), {.display = fds[1]}));
        ::close(fds[1]);
        std::string number;
        const double deadline = murmelo::Clock::monotonic() + kStepTimeout;
        while (!contains(number, "\n")) {
            double left = deadline - murmelo::Clock::monotonic();
            pollfd fd{fds[0], POLLIN, 0};
            ASSERT_GT(left, 0) << "Xvfb did not say its display";
            ASSERT_GT(::poll(&fd, 1, int(left * 1000) + 1), 0) << "Xvfb did not say its display";
            char buffer[32];
            ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            ASSERT_GT(n, 0) << "Xvfb ended";
            number.append(buffer, std::size_t(n));
        }
        ::close(fds[0]);
        m_displayName = ":" + number.substr(0, number.find('\n'));
    }

    // GTK draws with Cairo here: the same pixels with or without GL on the display.
    std::vector<std::string> xEnvironment() {
        return environmentWith({"DISPLAY=" + m_displayName, "GSK_RENDERER=cairo"});
    }

    void startWindow() {
        int in[2], out[2];
        ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        int err =
            ::open((m_dir.path() + "/stderr.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_TRUE(m_window.start({MURMELO_COMMAND, "window", "--home", m_dir.path() + "/home", "--data",
                                    m_dir.path() + "/servers", "--screenshots", m_dir.path()},
                                   xEnvironment(), {.in = in[0], .out = out[1], .err = err}));
        ::close(in[0]);
        ::close(out[1]);
        ::close(err);
        m_in = in[1];
        m_out = out[0];
        untilPrompt("the start", kStartTimeout);
        // The first pages come in; the recommendation offer is declined.
        command("settle 30", kStartTimeout);
        expectReply("alert 0", "Secret pool", kStartTimeout);
        ASSERT_FALSE(HasFailure()) << "stderr:\n" << readFile(m_dir.path() + "/stderr.log");
        m_scale = 2;
    }

    // Sends a driver command on the terminal; what it printed until the next prompt.
    std::string command(const std::string& line, double seconds = kStepTimeout) {
        std::string text = line + "\n";
        if (::write(m_in, text.data(), text.size()) != ssize_t(text.size())) {
            ADD_FAILURE() << "cannot write to murmelo";
            return "";
        }
        return untilPrompt("\"" + line + "\"", seconds);
    }

    std::string untilPrompt(const std::string& what, double seconds) {
        const double deadline = murmelo::Clock::monotonic() + seconds;
        while (true) {
            std::size_t prompt = m_output.find("murmelo> ", m_read);
            if (prompt != std::string::npos) {
                std::string reply = m_output.substr(m_read, prompt - m_read);
                m_read = prompt + 9;
                return reply;
            }
            double left = deadline - murmelo::Clock::monotonic();
            pollfd fd{m_out, POLLIN, 0};
            if (left <= 0 || ::poll(&fd, 1, int(left * 1000) + 1) <= 0) {
                ADD_FAILURE() << "no answer to " << what << " within " << seconds << " s";
                return "";
            }
            char buffer[65536];
            ssize_t n = ::read(m_out, buffer, sizeof buffer);
            if (n <= 0) {
                ADD_FAILURE() << "murmelo ended; stderr:\n" << readFile(m_dir.path() + "/stderr.log");
                return "";
            }
            m_output.append(buffer, std::size_t(n));
        }
    }

    std::string expectReply(const std::string& line, const std::string& part, double seconds = kStepTimeout) {
        std::string reply = command(line, seconds);
        EXPECT_TRUE(contains(reply, part)) << "\"" << line << "\" answered:\n" << reply;
        return reply;
    }

    // Runs `screen` until the dump has `part` and not `absent` (the window's
    // input reaches the app's loop in its own time, maybe after the next
    // command).
    std::string waitForScreen(const std::string& part, const std::string& absent = "(loading") {
        const double deadline = murmelo::Clock::monotonic() + kStepTimeout;
        std::string screen;
        while (murmelo::Clock::monotonic() < deadline && !HasFailure()) {
            screen = command("settle");
            screen = command("screen");
            if (contains(screen, part) && !contains(screen, absent)) {
                return screen;
            }
        }
        ADD_FAILURE() << "the screen never showed \"" << part << "\"; last:\n" << screen;
        return screen;
    }

    void click(double pointX, double pointY) {
        ASSERT_TRUE(runTool({m_tools["xdotool"], "mousemove", std::to_string(int(pointX * m_scale)),
                             std::to_string(int(pointY * m_scale)), "click", "1"},
                            xEnvironment()));
    }

    void xdotool(const std::vector<std::string>& args) {
        std::vector<std::string> words{m_tools["xdotool"]};
        words.insert(words.end(), args.begin(), args.end());
        ASSERT_TRUE(runTool(words, xEnvironment()));
    }

    std::optional<Screenshot> screenshot() {
        auto bytes = runTool({m_tools["xwd"], "-root", "-silent"}, xEnvironment());
        return bytes ? parseXwd(*bytes) : std::nullopt;
    }

    std::map<std::string, std::string> m_tools;
    murmelo::test::TemporaryDirectory m_dir;
    Child m_display;
    Child m_window;
    std::string m_displayName;
    int m_in = -1, m_out = -1;
    std::string m_output;
    std::size_t m_read = 0;
    double m_scale = 2;
};

// Pixels of `shot` (at the window's place, the top left of the display
// without a window manager) that differ from the renderer's picture.
double differingShare(const Screenshot& shot, const murmelo::Bitmap& expected) {
    if (shot.width < expected.width() || shot.height < expected.height()) {
        return 1;
    }
    std::size_t differing = 0;
    for (std::uint32_t y = 0; y < expected.height(); ++y) {
        for (std::uint32_t x = 0; x < expected.width(); ++x) {
            murmelo::RGBA8 want = expected.pixelAt(x, y), got = shot.at(x, y);
            if (std::abs(want.r - got.r) > 8 || std::abs(want.g - got.g) > 8 ||
                std::abs(want.b - got.b) > 8) {
                ++differing;
            }
        }
    }
    return double(differing) / (double(expected.width()) * expected.height());
}

TEST_F(WindowTest, TheWindowShowsWhatTheScreenRendererDraws) {
    expectReply("shot expected.png", "saved");
    std::string png = readFile(m_dir.path() + "/expected.png");
    auto expected = murmelo::decodeImage(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(png.data()), png.size()));
    ASSERT_TRUE(expected) << "the driver's shot is a PNG";
    ASSERT_EQ(expected->width(), 640u);
    // The window repaints when its frame arrives; the clock in the status
    // bar may turn a minute between the two pictures (well under 1%).
    double share = 1;
    const double deadline = murmelo::Clock::monotonic() + kStepTimeout;
    while (murmelo::Clock::monotonic() < deadline) {
        auto shot = screenshot();
        ASSERT_TRUE(shot) << "xwd gave no picture";
        share = differingShare(*shot, *expected);
        if (share < 0.01) {
            break;
        }
        command("settle");
    }
    EXPECT_LT(share, 0.01) << "of the pixels differ from the renderer's";
}

TEST_F(WindowTest, AClickOnTheSecondTabShowsThePostingPage) {
    click(kPostTabX, kTabY);
    waitForScreen("okay, tell the world");
}

TEST_F(WindowTest, ASecretIsPostedWithTheMouseAndTheKeyboard) {
    click(kPostTabX, kTabY);
    waitForScreen("okay, tell the world");
    click(kSecretAreaX, kSecretAreaY);
    xdotool({"type", "--delay", "20", "I talk to my plants"});
    click(kTellButtonX, kTellButtonY);
    const double deadline = murmelo::Clock::monotonic() + kStepTimeout;
    std::string events;
    while (murmelo::Clock::monotonic() < deadline && !contains(events, "secret/create")) {
        command("settle");
        events += command("events");
    }
    EXPECT_TRUE(contains(events, "content POST /index.php?r=secret/create")) << events;
    EXPECT_TRUE(contains(events, "Secret%5Bcontent%5D=I+talk+to+my+plants")) << events;
}

TEST_F(WindowTest, TypingIntoTheSearchFieldAndReturnSearches) {
    click(kSearchFieldX, kSearchFieldY);
    xdotool({"type", "--delay", "20", "password"});
    xdotool({"key", "Return"});
    // The pool's own search form names secret/search too: wait for the page.
    std::string screen = waitForScreen("web view http://secrets.murmelo.example/index.php?r=secret/search");
    EXPECT_TRUE(contains(screen, "I still use the password")) << screen;
    EXPECT_FALSE(contains(screen, "She hugged me")) << "only what was searched for:\n" << screen;
}

TEST_F(WindowTest, AClickOnShareOpensTheShareSheetAndEscapeCancelsIt) {
    click(kFirstShareX, kFirstShareY);
    waitForScreen("sheet style");
    xdotool({"key", "Escape"});
    // The pool stays under the sheet: what counts is the sheet going.
    waitForScreen("Secret pool", "sheet style");
}

// CPU time of a process in clock ticks, from /proc/PID/stat.
std::optional<long> cpuTicks(pid_t pid) {
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::size_t end = stat.rfind(')');
    if (end == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat.substr(end + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stol(field);
        } else if (i == 15) {
            stime = std::stol(field);
        }
    }
    return utime + stime;
}

TEST_F(WindowTest, IdleItUsesNoCpu) {
    command("settle");
    auto before = cpuTicks(m_window.pid());
    ASSERT_TRUE(before);
    // The measured stretch: nothing happens on the screen meanwhile.
    ::poll(nullptr, 0, 3000);
    auto after = cpuTicks(m_window.pid());
    ASSERT_TRUE(after);
    // A repaint loop would take all 300 ticks; an ad rotating in may take a few.
    EXPECT_LE(*after - *before, 10) << "clock ticks in 3 idle seconds";
}

TEST(WindowWithoutDisplayTest, SaysWhyThereIsNoWindowAndFails) {
    murmelo::test::TemporaryDirectory dir;
    std::vector<std::string> env;
    for (const std::string& entry : environmentWith({})) {
        if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("WAYLAND_DISPLAY=", 0) != 0) {
            env.push_back(entry);
        }
    }
    int err = ::open((dir.path() + "/stderr.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Child window;
    ASSERT_TRUE(window.start(
        {MURMELO_COMMAND, "window", "--home", dir.path() + "/home", "--data", dir.path() + "/servers"}, env,
        {.err = err}));
    ::close(err);
    auto status = window.waitForExit(kStartTimeout);
    ASSERT_TRUE(status) << "still running without a display";
    EXPECT_EQ(*status, 1);
    std::string said = readFile(dir.path() + "/stderr.log");
    EXPECT_TRUE(contains(said, "murmelo window: cannot open a window: no display") ||
                contains(said, "murmelo window: this build has no window"))
        << said;
}

TEST_F(WindowTest, ClosingTheWindowEndsTheCommand) {
    // Its output is not read from here on: close our end so it cannot block on it.
    ::close(m_out);
    m_out = -1;
    xdotool({"key", "ctrl+q"});
    auto status = m_window.waitForExit(kStepTimeout);
    ASSERT_TRUE(status) << "murmelo still runs after its window closed";
    EXPECT_EQ(*status, 0);
}

} // namespace
