// Session: acts as the user of the running app — executes driver commands
// (Command.h) against the screens, and reads them line by line from a
// terminal, a pipe or a script while the main run loop keeps the app going.
//
//   Session session(options, std::cout, std::cerr);
//   int status = session.runFromFd(STDIN_FILENO, "-");   // until quit or end of input
//
// Two modes. Interactive: a prompt; after each command that acts on the
// screen the app is settled and the screen dump printed; a failing command
// prints one error line and the session goes on. Script: no prompt, the dump
// only for `screen`; the first failing line ends the session with status 1
// and an error naming the line.
//
// Input arrives through an FdSource on the main run loop (or, for a script
// held in memory, one posted call per line), so timers, connections and
// operations of the app run between commands. A command runs to its end on
// the main thread; `settle` and `wait` run the loop nested inside it.
//
// Main thread only. The session owns nothing of the app; it finds the
// screens through the application object each time it needs them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Result.h"
#include "platform/core/WeakPtr.h"
#include "platform/runloop/FdSource.h"
#include "tools/murmelo/driver/Command.h"

namespace murmelo::driver {

enum class SessionMode { Interactive, Script };
// What the end of the input (fd) does: end the session, or only stop reading
// while something else (the `window`) keeps the app running until end().
enum class InputEnd { EndsSession, StopsReading };

class Session {
public:
    struct Options {
        SessionMode mode = SessionMode::Script;
        InputEnd inputEnd = InputEnd::EndsSession;
        // Where `shot` puts relative file names ("" = the working directory).
        std::string screenshotsDirectory;
        // The reference servers' events after a sequence number, one text
        // line each, and the last sequence; unset outside the demo.
        std::function<std::vector<std::string>(std::uint64_t after, std::uint64_t& last)> events;
        // Saves the key window as a PNG; unset when this build has no renderer.
        std::function<Result<void>(const std::string& path)> screenshot;
        // Opens a native posting form (`present`); the text is the secret id
        // of the comment form. Unset when the app has no such forms.
        std::function<Result<void>(PresentedForm form, const std::string& secretId)> present;
    };

    Session(Options options, std::ostream& out, std::ostream& err);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // One command; its output goes to `out`.
    Result<void> execute(const Command& command);
    // Parses and executes one line (blank lines and comments do nothing).
    Result<void> executeLine(std::string_view line);

    // Reads lines from `fd` until quit or end of input, running the main
    // loop meanwhile; `name` names the input in script errors. Returns the
    // exit status: 0, or 1 after a failing script line.
    int runFromFd(int fd, const std::string& name);
    // The same for lines already read (a script file).
    int runLines(std::vector<std::string> lines, const std::string& name);

    bool hasQuit() const { return m_quit; }
    // Ends the session from outside the input (the window closed); the
    // run* call returns `status`.
    void end(int status) { finish(status); }

private:
    // What follows a command that succeeded: an action on the screen is
    // settled and the screen printed in interactive mode.
    enum class Acts { No, OnScreen };
    using Handler = Result<void> (Session::*)(const Command&);
    struct CommandHandler {
        Handler run;
        Acts acts;
    };
    static CommandHandler handlerFor(CommandKind kind);

    // One handler per command (handlerFor()).
    Result<void> printScreen(const Command&);
    Result<void> saveShot(const Command& command);
    Result<void> settle(const Command& command);
    Result<void> wait(const Command& command);
    Result<void> tapTab(const Command& command);
    Result<void> tapBar(const Command& command);
    Result<void> tapButton(const Command& command);
    Result<void> tapBanner(const Command& command);
    Result<void> tapAlert(const Command& command);
    Result<void> type(const Command& command);
    Result<void> back(const Command&);
    Result<void> follow(const Command& command);
    Result<void> listLinks(const Command&);
    Result<void> fill(const Command& command);
    Result<void> submit(const Command& command);
    Result<void> runScript(const Command& command);
    Result<void> switchNetwork(const Command& command);
    Result<void> switchLocation(const Command& command);
    Result<void> presentForm(const Command& command);
    Result<void> sendMemoryWarning(const Command&);
    Result<void> printDefaults(const Command&);
    Result<void> printEvents(const Command&);
    Result<void> printHelp(const Command&);
    Result<void> quit(const Command&);

    void onReadable();
    // Handles one input line; false when the session is over.
    bool handleLine(const std::string& line);
    // The in-memory script: each line runs from its own posted call, which
    // holds the session weakly and so may outlive it.
    void postScriptStep();
    void runScriptStep();
    void finish(int status);
    void prompt();
    void printScreenAfterAction();

    Options m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    std::string m_inputName;
    std::size_t m_lineNumber = 0;
    bool m_quit = false;
    bool m_finished = false;
    int m_status = 0;

    // fd input
    int m_fd = -1;
    std::string m_pending;
    FdSource m_reader;
    // in-memory script
    std::vector<std::string> m_lines;
    std::size_t m_nextLine = 0;

    // The form the last `fill` set, on the page it was set on.
    std::optional<std::size_t> m_filledForm;
    std::string m_filledPage;
    std::uint64_t m_lastEvent = 0;

    WeakFactory<Session> m_weak{this}; // last: invalidated before the rest goes
};

} // namespace murmelo::driver
