// The screen's threading rule: views, controllers, alerts, animations and
// the application object are used on the process main thread only. Entry
// points that matter check it in debug builds.
#pragma once

#include <cassert>

#include "platform/runloop/RunLoop.h"

namespace murmelo {

inline void assertMainThread() {
    assert(RunLoop::isMainThread() && "screen objects are used on the main thread only");
}

} // namespace murmelo
