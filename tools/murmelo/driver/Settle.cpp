#include "tools/murmelo/driver/Settle.h"

#include <algorithm>

#include "platform/core/Clock.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/OperationQueue.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Timer.h"
#include "platform/ui/Interaction.h"
#include "tools/murmelo/driver/FrontPage.h"

namespace murmelo::driver {

namespace {

struct Busy {
    std::size_t loads = 0;
    std::size_t operations = 0;
    std::size_t connections = 0;
    std::size_t pageTimers = 0;
    bool loopTimerDue = false;
    bool screenMoving = false;

    bool any() const {
        return loads || operations || connections || pageTimers || loopTimerDue || screenMoving;
    }
};

Busy measure() {
    Busy busy;
    // Operations first: one that finishes has already handed its main-thread
    // work to the loop, which the screen check below then sees as pending.
    busy.operations = OperationQueue::unfinishedOperationsInAllQueues();
    busy.connections = URLConnection::connectionsInFlight();
    busy.loads = FrontPage::loadsInFlight();
    busy.pageTimers = FrontPage::timersDueWithin(Settle::kTimerHorizon);
    if (auto next = RunLoop::main().nextTimerFireDate(RunLoop::kDefaultMode)) {
        busy.loopTimerDue = *next <= Timer::now() + Settle::kTimerHorizon;
    }
    busy.screenMoving = !Interaction::isSettled();
    return busy;
}

std::string plural(std::size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

} // namespace

bool Settle::isQuiet() {
    return !measure().any();
}

std::string Settle::busyDescription() {
    Busy busy = measure();
    std::string text;
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (busy.loads) {
        add(plural(busy.loads, "page load"));
    }
    if (busy.operations) {
        add(plural(busy.operations, "operation"));
    }
    if (busy.connections) {
        add(plural(busy.connections, "connection"));
    }
    if (busy.pageTimers) {
        add(plural(busy.pageTimers, "page timer"));
    }
    if (busy.loopTimerDue) {
        add("a timer due within 0.5 s");
    }
    if (busy.screenMoving) {
        add("the screen still moving");
    }
    return text;
}

bool Settle::run(double timeoutSeconds) {
    const double deadline = Clock::monotonic() + timeoutSeconds;
    auto remaining = [&] { return std::max(0.0, deadline - Clock::monotonic()); };
    while (true) {
        if (isQuiet()) {
            // Run what is ready (posted calls, due layout) and check again:
            // quiet only when that started nothing.
            if (Interaction::settle(remaining()) && isQuiet()) {
                return true;
            }
        } else {
            Interaction::runUntil([] { return isQuiet(); }, remaining());
        }
        if (Clock::monotonic() >= deadline) {
            return isQuiet();
        }
    }
}

} // namespace murmelo::driver
