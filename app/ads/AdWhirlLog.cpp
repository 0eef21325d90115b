#include "app/ads/AdWhirlLog.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/core/Log.h"

namespace murmelo {

std::atomic<int> g_AWLogLevel{40};

namespace {

void writeAtLevel(int level, const char* format, va_list args) {
    if (g_AWLogLevel.load() < level) {
        return;
    }
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) {
        return;
    }
    std::string line(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(line.data(), line.size(), format, args);
    line.resize(static_cast<size_t>(length));
    logMessage(line);
}

} // namespace

#define MURMELO_AW_LOG_FUNCTION(name, level)                                                                 \
    void name(const char* format, ...) {                                                                     \
        va_list args;                                                                                        \
        va_start(args, format);                                                                              \
        writeAtLevel(level, format, args);                                                                   \
        va_end(args);                                                                                        \
    }

MURMELO_AW_LOG_FUNCTION(AWLogDebug, kAWLogLevelDebug)
MURMELO_AW_LOG_FUNCTION(AWLogWarn, kAWLogLevelWarn)
MURMELO_AW_LOG_FUNCTION(AWLogError, kAWLogLevelError)
MURMELO_AW_LOG_FUNCTION(AWLogCrit, kAWLogLevelCrit)

#undef MURMELO_AW_LOG_FUNCTION

} // namespace murmelo
