// AdWhirlLog: the mediation's levelled log lines. AWLogDebug writes when
// g_AWLogLevel is at least 50, AWLogWarn at 30, AWLogError at 20, AWLogCrit
// at 10; the level starts at 40, so debug lines are silent by default.
// printf-style formats; each call writes one line to the device log.
// Any thread.
#pragma once

#include <atomic>

namespace murmelo {

inline constexpr int kAWLogLevelDebug = 50;
inline constexpr int kAWLogLevelWarn = 30;
inline constexpr int kAWLogLevelError = 20;
inline constexpr int kAWLogLevelCrit = 10;

extern std::atomic<int> g_AWLogLevel;

void AWLogDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));
void AWLogWarn(const char* format, ...) __attribute__((format(printf, 1, 2)));
void AWLogError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void AWLogCrit(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace murmelo
