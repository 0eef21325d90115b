#include "tests/support/bounded_child.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace murmelo::test {

namespace {

std::size_t statusField(const char* name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    std::size_t length = std::strlen(name);
    while (std::getline(status, line)) {
        if (line.compare(0, length, name) == 0 && line.size() > length && line[length] == ':')
            return std::stoull(line.substr(length + 1)) * 1024;
    }
    return 0;
}

} // namespace

std::size_t peakResidentSize() {
    return statusField("VmHWM");
}
std::size_t residentSize() {
    return statusField("VmRSS");
}

bool residentSizeIsMeaningful() {
#ifdef MURMELO_SANITIZED
    return false;
#else
    return true;
#endif
}

void resetPeakResidentSize() {
    // "5" resets the peak to the current resident size (Linux 4.0 and later).
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

ChildOutcome runInChild(const std::function<std::string()>& body, double seconds,
                        std::size_t extraAddressSpace) {
    ChildOutcome outcome;
    int fds[2];
    if (pipe(fds) != 0)
        return outcome;
    const std::size_t mapped = statusField("VmSize");
    const auto begin = std::chrono::steady_clock::now();
    std::fflush(nullptr); // or the child would write the parent's buffered output again
    pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return outcome;
    }
    if (child == 0) {
        close(fds[0]);
        rlimit limit{mapped + extraAddressSpace, mapped + extraAddressSpace};
        setrlimit(RLIMIT_AS, &limit);
        std::string report = body();
        for (std::size_t done = 0; done < report.size();) {
            ssize_t n = write(fds[1], report.data() + done, report.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        std::fflush(nullptr);
        _exit(0);
    }
    close(fds[1]);
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    };
    char buffer[4096];
    bool killed = false;
    for (;;) {
        double left = seconds - elapsed();
        if (left <= 0) {
            kill(child, SIGKILL);
            killed = true;
            break;
        }
        pollfd readable{fds[0], POLLIN, 0};
        int ready = poll(&readable, 1, static_cast<int>(left * 1000) + 1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break; // the child closed its end: it is ending
        outcome.report.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.seconds = elapsed();
    if (WIFEXITED(status)) {
        outcome.finished = !killed;
        outcome.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    return outcome;
}

} // namespace murmelo::test
