// LayoutPass: the deferred layout of every window, as the phone does it at
// the end of a run-loop turn. View::setNeedsLayout() schedules one pass (a
// posted call to the main run loop); the interaction API runs one at once
// before it taps or dumps. Main thread only; one documented pending flag.
#pragma once

namespace murmelo::internal {

void scheduleLayoutPass();
// Lays out every window of the application now (views marked as needing it).
void runLayoutPass();
bool isLayoutPassPending();

} // namespace murmelo::internal
