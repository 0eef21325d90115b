#include "platform/ui/internal/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

#include "platform/core/Clock.h"

extern char** environ;

namespace murmelo::internal {

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd;
};

int remainingMillis(double deadline) {
    double left = deadline - Clock::monotonic();
    if (left <= 0) {
        return 0;
    }
    return static_cast<int>(left * 1000) + 1;
}

ProcessExit fromStatus(int status) {
    if (WIFSIGNALED(status)) {
        return {ProcessExit::Kind::Signaled, WTERMSIG(status)};
    }
    return {ProcessExit::Kind::Exited, WEXITSTATUS(status)};
}

// Waits for `pid` until the deadline; true with its status when it ended.
bool waitUntil(pid_t pid, int pidfd, double deadline, int* status) {
    while (true) {
        pid_t done = ::waitpid(pid, status, WNOHANG);
        if (done == pid) {
            return true;
        }
        if (done < 0 && errno != EINTR) {
            *status = 255 << 8; // not our child any more: count it as a failed run
            return true;
        }
        int wait = remainingMillis(deadline);
        if (wait == 0) {
            return false;
        }
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            (void)::poll(&p, 1, wait);
        } else {
            // Kernels without pidfd: look again shortly, still bounded by the deadline.
            timespec step{0, 5 * 1000 * 1000};
            ::nanosleep(&step, nullptr);
        }
    }
}

void giveUp(pid_t pid, OnTimeout onTimeout) {
    if (onTimeout == OnTimeout::Kill) {
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    } else {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
}

} // namespace

Result<ProcessExit> runProcess(const std::vector<std::string>& argv, std::string_view input,
                               double timeoutSeconds, OnTimeout onTimeout) {
    if (argv.empty() || argv[0].empty()) {
        return Error("ChildProcessErrorDomain", 1, "no program to run");
    }
    double deadline = Clock::monotonic() + (timeoutSeconds > 0 ? timeoutSeconds : 0);
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return Error::posix(errno, "socketpair");
    }
    Fd parentEnd(pair[0]);
    Fd childEnd(pair[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childEnd.get(), 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    int spawned = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    childEnd.reset();
    if (spawned != 0) {
        return Error::posix(spawned, "starting " + argv[0]);
    }
    Fd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));

    // Feed the input; a child that stops reading early ends the writing, not the run.
    int flags = ::fcntl(parentEnd.get(), F_GETFL);
    ::fcntl(parentEnd.get(), F_SETFL, flags | O_NONBLOCK);
    size_t written = 0;
    while (written < input.size()) {
        ssize_t n = ::send(parentEnd.get(), input.data() + written, input.size() - written, MSG_NOSIGNAL);
        if (n > 0) {
            written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int wait = remainingMillis(deadline);
            if (wait == 0) {
                giveUp(pid, onTimeout);
                return Error("ChildProcessErrorDomain", 2, argv[0] + " did not take its input in time");
            }
            pollfd p{parentEnd.get(), POLLOUT, 0};
            (void)::poll(&p, 1, wait);
            continue;
        }
        break; // the child closed its input
    }
    parentEnd.reset();

    int status = 0;
    if (!waitUntil(pid, pidfd.get(), deadline, &status)) {
        giveUp(pid, onTimeout);
        if (onTimeout == OnTimeout::LeaveRunning) {
            return ProcessExit{ProcessExit::Kind::StillRunning, 0};
        }
        return Error("ChildProcessErrorDomain", 3, argv[0] + " did not finish in time");
    }
    return fromStatus(status);
}

} // namespace murmelo::internal
