// The built `murmelo` command end to end: `demo` with the reference servers
// in-process, driven by scripts and by a prompt on a pipe. Every run is
// bounded: a command that hangs is killed and the test fails.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/graphics/ImageDecoder.h"
#include "tests/support/temporary_directory.h"

extern char** environ;

namespace {

constexpr double kRunTimeout = 90;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Outcome {
    int status = -1; // exit status; -1 when killed for running too long
    std::string out;
    std::string err;
};

// Runs the command with `input` on its standard input. A command that runs
// until stopped (serve) gets SIGTERM once its output shows `stopWhenOutputHas`.
Outcome runMurmelo(const std::vector<std::string>& args, const std::string& input = "",
                   const std::string& stopWhenOutputHas = "") {
    int in[2], out[2], err[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
        posix_spawn_file_actions_addclose(&actions, fd);
    }
    std::vector<std::string> words{MURMELO_COMMAND};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, MURMELO_COMMAND, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    Outcome outcome;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << MURMELO_COMMAND;
        return outcome;
    }
    // The input is small: a pipe buffer takes it whole.
    if (!input.empty() && ::write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
        ADD_FAILURE() << "cannot write the input";
    }
    ::close(in[1]);

    const double deadline = murmelo::Clock::monotonic() + kRunTimeout;
    bool killed = false;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&outcome.out, &outcome.err};
    int open = 2;
    while (open > 0) {
        double left = deadline - murmelo::Clock::monotonic();
        if (left <= 0) {
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left * 1000) + 1) < 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[4096];
                ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, static_cast<size_t>(n));
                    if (!stopWhenOutputHas.empty() && contains(outcome.out, stopWhenOutputHas)) {
                        ::kill(pid, SIGTERM);
                    }
                } else {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    for (pollfd& fd : fds) {
        if (fd.fd >= 0) {
            ::close(fd.fd);
        }
    }
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    outcome.status = !killed && WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    EXPECT_FALSE(killed) << "murmelo ran longer than " << kRunTimeout << " s\nstdout:\n"
                         << outcome.out << "\nstderr:\n"
                         << outcome.err;
    return outcome;
}

class MurmeloCommandTest : public ::testing::Test {
protected:
    std::string writeScript(const std::string& name, const std::string& text) {
        std::string path = m_dir.path() + "/" + name;
        murmelo::test::writeFile(path, text);
        return path;
    }
    // The demo with a fresh home and server folder under the test's directory.
    std::vector<std::string> demo(std::vector<std::string> more) {
        std::vector<std::string> args{"demo", "--home", m_dir.path() + "/home", "--data",
                                      m_dir.path() + "/data"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    const std::string& folder() const { return m_dir.path(); }

private:
    murmelo::test::TemporaryDirectory m_dir;
};

TEST_F(MurmeloCommandTest, BadOptionsAreRefusedBeforeAnythingStarts) {
    struct Case {
        std::vector<std::string> args;
        const char* expectedPart;
    };
    const Case cases[] = {
        {{"run", "--network", "lte"}, "murmelo run: --network lte: expected none, wifi, carrier or system"},
        {{"run", "--device", "watch"}, "--device watch: expected phone or pad"},
        {{"run", "--locale", "x"}, "--locale x: expected a name like en_US"},
        {{"run", "--connect-to", "nonsense"}, "--connect-to nonsense:"},
        {{"run", "--data", "d"}, "unknown argument \"--data\""},
        {{"demo", "--script"}, "--script needs a value"},
        {{"frobnicate"}, "usage: murmelo demo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        Outcome outcome = runMurmelo(c.args);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_TRUE(contains(outcome.err, c.expectedPart)) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
    Outcome help = runMurmelo({"demo", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "usage: murmelo demo")) << help.out;
}

TEST_F(MurmeloCommandTest, ServeStopsWithOneLineWhenItsStoreCannotBeUsed) {
    struct Case {
        std::string store;
        const char* expectedPart;
    };
    const Case cases[] = {
        // Port 1 on loopback: nothing listens, refused at once.
        {"postgresql://murmelo@127.0.0.1:1/murmelo", "murmelo serve: cannot reach PostgreSQL: "},
        {"mysql://somewhere", "murmelo serve: unknown store \"mysql://somewhere\""},
        {"sqlite:" + folder() + "/no/such/folder/content.sqlite3", "murmelo serve: open "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.store);
        Outcome outcome = runMurmelo({"serve", "--listen", "127.0.0.1:0", "--data", folder() + "/data",
                                      "--quiet", "--store", c.store});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.err.rfind(c.expectedPart, 0), 0u) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
}

// A script or supervisor reading serve's output through a pipe learns the
// port it chose while the servers run, not when they stop.
TEST_F(MurmeloCommandTest, ServeSaysWhereItListensWhileItRuns) {
    Outcome outcome = runMurmelo(
        {"serve", "--listen", "127.0.0.1:0", "--data", folder() + "/data", "--quiet"}, "", "/index.php\n");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(contains(outcome.out, "Murmelo reference servers on http://127.0.0.1:")) << outcome.out;
    EXPECT_FALSE(contains(outcome.out, "http://127.0.0.1:0 ")) << outcome.out;
}

TEST_F(MurmeloCommandTest, AFileWhereAHomeFolderBelongsIsSetAsideAndTheAppStarts) {
    // No servers: every connection is refused at once.
    const std::vector<std::string> quiet{"--connect-to", "::127.0.0.1:1", "--network",
                                         "none",         "--script",      "-"};
    const char* const folders[] = {"Library/Caches", "Library/Preferences", "tmp", "Documents"};
    for (const char* const& sub : folders) {
        SCOPED_TRACE(sub);
        const std::string home = folder() + "/home-" + std::to_string(&sub - folders);
        std::filesystem::create_directories(home + "/Library");
        murmelo::test::writeFile(home + "/" + sub, "not a folder");
        std::vector<std::string> args{"run", "--home", home};
        args.insert(args.end(), quiet.begin(), quiet.end());
        Outcome outcome = runMurmelo(args, "screen\n");
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_TRUE(contains(outcome.out, "status bar:")) << outcome.out;
        EXPECT_EQ(murmelo::test::readFile(home + "/" + sub + ".damaged"), "not a folder");
        EXPECT_TRUE(std::filesystem::is_directory(home + "/" + sub));
    }

    // A home that cannot be made: one line on stderr, and no start.
    murmelo::test::writeFile(folder() + "/plain-file", "x");
    std::vector<std::string> args{"run", "--home", folder() + "/plain-file/home"};
    args.insert(args.end(), quiet.begin(), quiet.end());
    Outcome refused = runMurmelo(args, "screen\n");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err.rfind("murmelo run: cannot use the home ", 0), 0u) << refused.err;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
}

TEST_F(MurmeloCommandTest, ABadScriptLineEndsTheRunWithStatusOneNamingTheLine) {
    std::string script =
        writeScript("bad.txt", "settle 20\n# fine so far\nscreen\nalert 0\nfrobnicate now\nscreen\n");
    Outcome outcome = runMurmelo(demo({"--script", script}));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(contains(outcome.err, "bad.txt:5: unknown command \"frobnicate\"")) << outcome.err;
    // One dump (line 3), and the screen after the bad line never printed.
    size_t first = outcome.out.find("status bar:");
    ASSERT_NE(first, std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.out.find("status bar:", first + 1), std::string::npos) << outcome.out;
}

TEST_F(MurmeloCommandTest, ThePromptSurvivesUnknownCommands) {
    Outcome outcome = runMurmelo(demo({}), "frobnicate\nsettle 20\nhelp\nevents\nquit\n");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_TRUE(contains(outcome.out, "the reference servers listen on http://127.0.0.1:")) << outcome.out;
    EXPECT_TRUE(contains(outcome.err, "error: unknown command \"frobnicate\"")) << outcome.err;
    EXPECT_TRUE(contains(outcome.out, "memory-warning")) << outcome.out; // help ran after the error
    // The app reached the servers: the status ping and the pool.
    EXPECT_TRUE(contains(outcome.out, "content GET /index.php?")) << outcome.out;
}

TEST_F(MurmeloCommandTest, APersonReadsThePoolPostsASecretAndComments) {
    const std::string secret = "e2e secret about the blue door";
    const std::string comment = "e2e comment: it was red";
    std::string script =
        writeScript("walk.txt", "settle 20\n"
                                "screen\n"
                                "shot pool.png\n"
                                "# the recommendation offer of the first launch\n"
                                "alert 0\n"
                                "tab Post your secret\n"
                                "settle 20\n"
                                "fill Secret[content] " +
                                    secret +
                                    "\n"
                                    "submit\n"
                                    "settle 20\n"
                                    "tab Secret pool\n"
                                    "settle 20\n"
                                    "# the pool is shown already, so the tab does not reload it\n"
                                    "bar refresh\n"
                                    "settle 20\n"
                                    "screen\n"
                                    "follow comment\n"
                                    "settle 20\n"
                                    "screen\n"
                                    "fill Comment[content] " +
                                    comment +
                                    "\n"
                                    "submit\n"
                                    "settle 20\n"
                                    "screen\n"
                                    "follow back to the pool\n"
                                    "settle 20\n"
                                    "screen\n"
                                    "events\n");
    Outcome outcome = runMurmelo(demo({"--script", script, "--screenshots", folder()}));
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(murmelo::test::readFile(folder() + "/pool.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    // Five dumps, in order.
    std::vector<std::string> dumps;
    for (size_t at = outcome.out.find("status bar:"); at != std::string::npos;) {
        size_t next = outcome.out.find("status bar:", at + 1);
        dumps.push_back(outcome.out.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    ASSERT_EQ(dumps.size(), 5u) << outcome.out;
    EXPECT_TRUE(contains(dumps[0], "tabs: [*\"Secret pool\" #20]")) << dumps[0];
    EXPECT_TRUE(contains(dumps[0], "title \"Secret pool\"")) << dumps[0];
    EXPECT_TRUE(contains(dumps[1], secret)) << dumps[1];
    EXPECT_TRUE(contains(dumps[2], "navigation: OVWebViewController > ")) << dumps[2]; // a stacked screen
    EXPECT_TRUE(contains(dumps[2], secret)) << dumps[2];                               // of the new secret
    EXPECT_TRUE(contains(dumps[3], comment)) << dumps[3];
    EXPECT_TRUE(contains(dumps[4], "navigation: OVWebViewController (bar hidden)")) << dumps[4]; // closed
    EXPECT_TRUE(contains(dumps[4], secret)) << dumps[4];
    // What the content server received from the two forms.
    EXPECT_TRUE(contains(outcome.out, "content POST /index.php?r=secret/create -> 200")) << outcome.out;
    EXPECT_TRUE(contains(outcome.out, "content POST /index.php?r=comment/create -> 200")) << outcome.out;
}

// The banner's rows of a screen shot (scale 2): the host sits at y 361..411 of
// the screen below the 20-point status bar.
murmelo::Result<murmelo::Bitmap> bannerOf(const std::string& png) {
    auto screen = murmelo::decodeImage(murmelo::Data(png.begin(), png.end()));
    if (!screen) {
        return screen.error();
    }
    auto banner = murmelo::Bitmap::create(640, 100);
    if (!banner || screen->width() != 640 || screen->height() < 862) {
        return murmelo::Error("e2e", 1, "the shot is not a 320x480 screen at scale 2");
    }
    for (std::uint32_t y = 0; y < 100; ++y) {
        for (std::uint32_t x = 0; x < 640; ++x) {
            banner->setPixel(x, y, screen->pixelAt(x, 762 + y));
        }
    }
    return banner;
}

TEST_F(MurmeloCommandTest, TheBannerShowsAHouseAdThatOpensItsPage) {
    std::string script = writeScript("ads.txt", "settle 20\n"
                                                "alert 0\n"
                                                "settle 20\n"
                                                "screen\n"
                                                "shot banner.png\n"
                                                "tap-banner\n"
                                                "settle 20\n"
                                                "screen\n"
                                                "bar done\n"
                                                "settle 20\n"
                                                "screen\n"
                                                "events\n");
    Outcome outcome =
        runMurmelo(demo({"--mediation", "custom", "--script", script, "--screenshots", folder()}));
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    std::vector<std::string> dumps;
    for (size_t at = outcome.out.find("status bar:"); at != std::string::npos;) {
        size_t next = outcome.out.find("status bar:", at + 1);
        dumps.push_back(outcome.out.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    ASSERT_EQ(dumps.size(), 3u) << outcome.out;
    EXPECT_TRUE(contains(dumps[0], "ad banner: showing custom")) << dumps[0];
    EXPECT_TRUE(
        contains(dumps[0], "house ad type 1 image 320x50 -> http://itunes.apple.example/app/murmelo/"))
        << dumps[0];
    EXPECT_TRUE(contains(dumps[1], "screen AdWhirlWebBrowserController (presented, cross-dissolve)"))
        << dumps[1];
    EXPECT_TRUE(contains(dumps[1], "web view http://itunes.apple.example/app/murmelo/")) << dumps[1];
    EXPECT_FALSE(contains(dumps[2], "AdWhirlWebBrowserController")) << dumps[2];
    for (const char* line :
         {"mediation-houseads GET /custom.php?appver=230&country_code=", "GET /houseAd.png?ad=0 -> 200",
          "appstore-web GET /app/murmelo/", "mediation-metrics GET /exclick.php?appid="}) {
        EXPECT_TRUE(contains(outcome.out, line)) << line << "\n" << outcome.out;
    }

    auto actual = bannerOf(murmelo::test::readFile(folder() + "/banner.png"));
    ASSERT_TRUE(actual) << actual.error().localizedDescription();
    const std::string reference = std::string(MURMELO_SOURCE_DIR) + "/tests/data/house_ad_banner.png";
    if (std::getenv("MURMELO_UPDATE_REFERENCE")) {
        auto png = actual->encodePNG();
        ASSERT_TRUE(png);
        murmelo::test::writeFile(reference, std::string(png->begin(), png->end()));
    }
    std::string bytes = murmelo::test::readFile(reference);
    auto expected = murmelo::decodeImage(murmelo::Data(bytes.begin(), bytes.end()));
    ASSERT_TRUE(expected) << "no reference picture at " << reference;
    ASSERT_EQ(expected->width(), actual->width());
    ASSERT_EQ(expected->height(), actual->height());
    // Antialiasing may differ by machine; what is drawn where may not.
    std::uint64_t differing = 0;
    for (std::uint32_t y = 0; y < actual->height(); ++y) {
        for (std::uint32_t x = 0; x < actual->width(); ++x) {
            const murmelo::RGBA8 a = actual->pixelAt(x, y), b = expected->pixelAt(x, y);
            differing += std::abs(a.r - b.r) > 40 || std::abs(a.g - b.g) > 40 || std::abs(a.b - b.b) > 40;
        }
    }
    EXPECT_LE(double(differing) / (640.0 * 100.0), 0.01) << "the banner differs from " << reference;
}

TEST_F(MurmeloCommandTest, TheDemoOpensTheNativeSecretForm) {
    const std::string secret = "e2e native secret from the form";
    std::string script = writeScript("form.txt", "settle 20\n"
                                                 "alert 0\n"
                                                 "present secret-form\n"
                                                 "settle 20\n"
                                                 "type 0 " +
                                                     secret +
                                                     "\n"
                                                     "button okay, tell the world\n"
                                                     "shot posting.png\n"
                                                     "settle 20\n"
                                                     "screen\n"
                                                     "alert 0\n"
                                                     "settle 20\n"
                                                     "screen\n");
    Outcome outcome = runMurmelo(demo({"--script", script, "--screenshots", folder()}));
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(murmelo::test::readFile(folder() + "/posting.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    size_t answered = outcome.out.find("message \"Your secret is out! Thank you for sharing.\"");
    ASSERT_NE(answered, std::string::npos) << outcome.out;
    size_t pool = outcome.out.find("text \"" + secret + "\"", answered);
    EXPECT_NE(pool, std::string::npos) << outcome.out;
}

} // namespace
