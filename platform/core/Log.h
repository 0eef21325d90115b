// The platform log: one line per call, like the phone's system log —
//   "2026-12-07 04:16:28.123 murmelo[1234:5678] message"
// written to stderr. Thread-safe; a line is never interleaved with another.
//
// Tests capture lines with a LogCapture; while one exists, lines go to it
// (and not to stderr). The sink is the log's one documented global.
#pragma once

#include <cstdarg>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace murmelo {

// printf-style; the message is the formatted text without a trailing newline.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logMessage(const std::string& message);

// The full line as it would appear on stderr (for tests of the format).
std::string formatLogLine(const std::string& message);

// Sets the process name shown in log lines (default: the executable name).
void setLogProcessName(std::string name);

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Messages (without the time/process prefix) logged since construction.
    std::vector<std::string> messages() const;
    bool contains(const std::string& fragment) const;
    void clear();

private:
    friend void logMessage(const std::string&);
    void append(const std::string& message);
    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
    LogCapture* m_previous = nullptr;
};

} // namespace murmelo
