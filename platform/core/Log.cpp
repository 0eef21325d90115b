#include "platform/core/Log.h"

#include <cstdio>
#include <ctime>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace murmelo {

namespace {

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}
LogCapture*& activeCapture() {
    static LogCapture* capture = nullptr;
    return capture;
}
std::string& processName() {
    static std::string name = [] {
        char buffer[256] = {};
        ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n <= 0) {
            return std::string("murmelo");
        }
        std::string path(buffer, static_cast<size_t>(n));
        auto slash = path.rfind('/');
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }();
    return name;
}

} // namespace

void setLogProcessName(std::string name) {
    std::lock_guard lock(sinkMutex());
    processName() = std::move(name);
}

std::string formatLogLine(const std::string& message) {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    localtime_r(&tv.tv_sec, &local);
    char stamp[64];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char prefix[400];
    std::string name;
    {
        name = processName();
    }
    snprintf(prefix, sizeof prefix, "%s.%03ld %s[%d:%ld] ", stamp, static_cast<long>(tv.tv_usec / 1000),
             name.c_str(), static_cast<int>(getpid()), static_cast<long>(syscall(SYS_gettid)));
    return prefix + message;
}

void logMessage(const std::string& message) {
    std::lock_guard lock(sinkMutex());
    if (LogCapture* capture = activeCapture()) {
        capture->append(message);
        return;
    }
    std::string line = formatLogLine(message);
    line.push_back('\n');
    fwrite(line.data(), 1, line.size(), stderr);
    fflush(stderr);
}

void logLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int needed = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(needed > 0 ? static_cast<size_t>(needed) : 0, '\0');
    if (needed > 0) {
        vsnprintf(text.data(), text.size() + 1, format, args);
    }
    va_end(args);
    logMessage(text);
}

LogCapture::LogCapture() {
    std::lock_guard lock(sinkMutex());
    m_previous = activeCapture();
    activeCapture() = this;
}

LogCapture::~LogCapture() {
    std::lock_guard lock(sinkMutex());
    activeCapture() = m_previous;
}

void LogCapture::append(const std::string& message) {
    std::lock_guard lock(m_mutex);
    m_messages.push_back(message);
}

std::vector<std::string> LogCapture::messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

bool LogCapture::contains(const std::string& fragment) const {
    std::lock_guard lock(m_mutex);
    for (const auto& m : m_messages) {
        if (m.find(fragment) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void LogCapture::clear() {
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

} // namespace murmelo
