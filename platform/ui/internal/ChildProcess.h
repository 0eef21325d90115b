// ChildProcess: runs a helper program (sendmail, xdg-open) with bytes on its
// standard input and waits a bounded time for it to end. Standard output and
// error go to /dev/null. Any thread; blocks the caller up to the time-out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Result.h"

namespace murmelo::internal {

enum class OnTimeout {
    Kill,         // SIGKILL and reap; the run is an error
    LeaveRunning, // reaped in the background; the run counts as still going
};

struct ProcessExit {
    enum class Kind { Exited, Signaled, StillRunning };
    Kind kind = Kind::Exited;
    int code = 0; // exit status or signal number
    bool succeeded() const { return kind == Kind::Exited && code == 0; }
};

// `argv[0]` is looked up in PATH when it has no slash. Errors: the program
// could not be started, the input could not be written in time, or (with
// OnTimeout::Kill) the time-out passed.
Result<ProcessExit> runProcess(const std::vector<std::string>& argv, std::string_view input,
                               double timeoutSeconds, OnTimeout onTimeout);

} // namespace murmelo::internal
