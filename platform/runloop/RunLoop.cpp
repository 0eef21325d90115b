#include "platform/runloop/RunLoop.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/Timer.h"
#include "platform/runloop/internal/Sources.h"

namespace murmelo {

namespace {

int currentTid() {
    thread_local const int tid = static_cast<int>(gettid());
    return tid;
}

std::uint32_t toEpoll(FdEvents interest) {
    std::uint32_t events = 0;
    if (any(interest & FdEvents::Readable)) {
        events |= EPOLLIN;
    }
    if (any(interest & FdEvents::Writable)) {
        events |= EPOLLOUT;
    }
    return events;
}

FdEvents fromEpoll(std::uint32_t events) {
    FdEvents seen = FdEvents::None;
    if (events & (EPOLLIN | EPOLLPRI)) {
        seen |= FdEvents::Readable;
    }
    if (events & EPOLLOUT) {
        seen |= FdEvents::Writable;
    }
    if (events & EPOLLERR) {
        seen |= FdEvents::Error;
    }
    if (events & EPOLLHUP) {
        seen |= FdEvents::Hangup;
    }
    return seen;
}

constexpr FdEvents kAlwaysReported = FdEvents::Error | FdEvents::Hangup;

} // namespace

// Owns the calling thread's loop; ending the thread ends the loop, so handles
// held elsewhere stop accepting calls.
struct CurrentLoopSlot {
    std::shared_ptr<RunLoop> loop;
    ~CurrentLoopSlot() {
        if (loop && !loop->isMain()) {
            loop->end();
        }
    }
};

namespace {
thread_local CurrentLoopSlot t_slot;

// Every live loop, so a manual clock's advance() can wake them all.
std::mutex g_loopsMutex;
std::vector<RunLoop*>& liveLoops() {
    static auto* loops = new std::vector<RunLoop*>();
    return *loops;
}

// The main loop is the documented single instance that is never destroyed.
std::shared_ptr<RunLoop>& mainLoopStorage(const std::function<std::shared_ptr<RunLoop>()>& make) {
    static auto* storage = new std::shared_ptr<RunLoop>(make());
    return *storage;
}
} // namespace

const char* toString(RunStatus status) {
    switch (status) {
    case RunStatus::HandledSource:
        return "handled source";
    case RunStatus::TimedOut:
        return "timed out";
    case RunStatus::Stopped:
        return "stopped";
    case RunStatus::Finished:
        return "finished";
    }
    return "?";
}

RunLoop::RunLoop(bool isMain) : m_isMain(isMain), m_commonModes{std::string(kDefaultMode)} {
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_epoll < 0 || m_wakeFd < 0) {
        // Out of descriptors before the first loop of a thread: nothing sane remains.
        logLine("RunLoop: cannot create epoll/eventfd: %s", std::strerror(errno));
        std::abort();
    }
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = m_wakeFd;
    if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wakeFd, &wake) != 0) {
        logLine("RunLoop: cannot watch the wake-up descriptor: %s", std::strerror(errno));
        std::abort();
    }
    std::lock_guard lock(g_loopsMutex);
    liveLoops().push_back(this);
}

RunLoop::~RunLoop() {
    {
        std::lock_guard lock(g_loopsMutex);
        std::erase(liveLoops(), this);
    }
    end();
    close(m_wakeFd);
    close(m_epoll);
}

std::shared_ptr<RunLoop> RunLoop::makeLoop(bool isMain) {
    auto loop = std::shared_ptr<RunLoop>(new RunLoop(isMain));
    loop->m_ownerTid = isMain ? static_cast<int>(getpid()) : currentTid();
    return loop;
}

bool RunLoop::isMainThread() {
    thread_local const bool isMain = gettid() == getpid();
    return isMain;
}

RunLoop& RunLoop::main() {
    return *mainLoopStorage([] { return makeLoop(true); });
}

RunLoop& RunLoop::current() {
    if (isMainThread()) {
        return main();
    }
    if (!t_slot.loop) {
        t_slot.loop = makeLoop(false);
    }
    return *t_slot.loop;
}

RunLoop* RunLoop::currentIfAny() {
    if (isMainThread()) {
        return &main();
    }
    return t_slot.loop.get();
}

void RunLoop::endCurrentThreadLoop() {
    if (isMainThread() || !t_slot.loop) {
        return;
    }
    auto loop = std::move(t_slot.loop);
    loop->end();
}

double RunLoop::dateAfter(double seconds) {
    return Clock::monotonic() + seconds;
}

RunLoopHandle RunLoop::handle() {
    return RunLoopHandle(weak_from_this());
}

void RunLoop::assertOnOwnThread() const {
    assert(currentTid() == m_ownerTid && "RunLoop used off its own thread");
}

void RunLoop::end() {
    std::deque<PostedCall> dropped;
    {
        std::lock_guard lock(m_inboxMutex);
        if (m_ended.exchange(true)) {
            return;
        }
        dropped.swap(m_inbox);
    }
    // Callbacks may own objects whose destructors unregister from this loop;
    // move the lists out first so those calls see empty lists.
    auto timers = std::move(m_timers);
    auto sources = std::move(m_fdSources);
    m_timers.clear();
    m_fdSources.clear();
    for (const auto& timer : timers) {
        timer->valid = false;
    }
    for (const auto& source : sources) {
        source->valid = false;
    }
    dropped.clear();
    timers.clear();
    sources.clear();
}

// ---- modes

bool RunLoop::isActive(const RunLoopModes& modes, std::string_view mode) const {
    for (const auto& name : modes.names()) {
        if (name == mode) {
            return true;
        }
        if (name == kCommonModes && isCommonMode(mode)) {
            return true;
        }
    }
    return false;
}

void RunLoop::addCommonMode(std::string_view mode) {
    assertOnOwnThread();
    if (!isCommonMode(mode) && mode != kCommonModes) {
        m_commonModes.emplace_back(mode);
    }
}

bool RunLoop::isCommonMode(std::string_view mode) const {
    return std::find(m_commonModes.begin(), m_commonModes.end(), mode) != m_commonModes.end();
}

std::optional<std::string> RunLoop::currentMode() const {
    if (m_modeStack.empty()) {
        return std::nullopt;
    }
    return m_modeStack.back();
}

// ---- posted calls

bool RunLoop::post(Task task, const RunLoopModes& modes) {
    {
        std::lock_guard lock(m_inboxMutex);
        if (m_ended.load(std::memory_order_relaxed)) {
            return false;
        }
        m_inbox.push_back(PostedCall{std::move(task), modes, ++m_postSequence});
    }
    wakeUp();
    return true;
}

void RunLoop::wakeUp() {
    if (!m_wakePending.exchange(true)) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(m_wakeFd, &one, sizeof one);
    }
}

void RunLoop::wakeAll() {
    std::lock_guard lock(g_loopsMutex);
    for (RunLoop* loop : liveLoops()) {
        loop->wakeUp();
    }
}

void RunLoop::drainWakeUp() {
    // Read first, then clear: a poster that still sees the flag set relies on
    // us looking at the inbox after this, which every pass does.
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t got = read(m_wakeFd, &count, sizeof count);
    m_wakePending.store(false);
}

bool RunLoop::hasPostedCallsFor(std::string_view mode) {
    std::lock_guard lock(m_inboxMutex);
    for (const auto& call : m_inbox) {
        if (isActive(call.modes, mode)) {
            return true;
        }
    }
    return false;
}

Task RunLoop::takeNextPostedCall(std::string_view mode, std::uint64_t upToSequence) {
    std::lock_guard lock(m_inboxMutex);
    for (auto it = m_inbox.begin(); it != m_inbox.end() && it->sequence <= upToSequence; ++it) {
        if (isActive(it->modes, mode)) {
            Task task = std::move(it->task);
            m_inbox.erase(it);
            return task;
        }
    }
    return nullptr;
}

std::uint64_t RunLoop::lastPostedSequence() const {
    std::lock_guard lock(m_inboxMutex);
    return m_postSequence;
}

void RunLoop::stop() {
    m_stopRequested.store(true);
    wakeUp();
}

// ---- timers

void RunLoop::addTimer(std::shared_ptr<internal::TimerRecord> timer) {
    assertOnOwnThread();
    timer->sequence = ++m_timerSequence;
    m_timers.push_back(std::move(timer));
}

void RunLoop::removeTimer(const internal::TimerRecord* timer) {
    auto it = std::find_if(m_timers.begin(), m_timers.end(), [&](const auto& t) { return t.get() == timer; });
    if (it != m_timers.end()) {
        m_timers.erase(it);
    }
}

void RunLoop::scheduleAfter(double delay, Task task, const RunLoopModes& modes) {
    auto timer = std::make_shared<internal::TimerRecord>();
    timer->fireDate = Timer::now() + std::max(0.0, delay);
    timer->modes = modes;
    timer->callback = std::move(task);
    addTimer(std::move(timer));
}

std::shared_ptr<internal::TimerRecord> RunLoop::earliestTimer(std::string_view mode) const {
    std::shared_ptr<internal::TimerRecord> best;
    for (const auto& timer : m_timers) {
        if (!timer->valid || timer->firing || !isActive(timer->modes, mode)) {
            continue;
        }
        if (!best || timer->fireDate < best->fireDate ||
            (timer->fireDate == best->fireDate && timer->sequence < best->sequence)) {
            best = timer;
        }
    }
    return best;
}

std::optional<double> RunLoop::nextTimerFireDate(std::string_view mode) const {
    assertOnOwnThread();
    if (auto timer = earliestTimer(mode)) {
        return timer->fireDate;
    }
    return std::nullopt;
}

void RunLoop::fireTimer(const std::shared_ptr<internal::TimerRecord>& timer, double now) {
    timer->firing = true;
    if (timer->repeats) {
        // A timer that fell behind fires once and continues from now: no burst.
        double next = timer->fireDate + timer->interval;
        timer->fireDate = next > now ? next : now + timer->interval;
    } else {
        timer->valid = false;
        removeTimer(timer.get());
    }
    timer->callback();
    timer->firing = false;
    if (!timer->valid) {
        removeTimer(timer.get());
    }
}

// ---- file-descriptor sources

void RunLoop::addFdSource(std::shared_ptr<internal::FdRecord> source) {
    assertOnOwnThread();
    m_fdSources.push_back(std::move(source));
}

void RunLoop::removeFdSource(const internal::FdRecord* source) {
    assertOnOwnThread();
    auto it = std::find_if(m_fdSources.begin(), m_fdSources.end(),
                           [&](const auto& s) { return s.get() == source; });
    if (it == m_fdSources.end()) {
        return;
    }
    int fd = (*it)->fd;
    m_fdSources.erase(it);
    fdSourceChanged(fd);
}

void RunLoop::fdSourceChanged(int fd) {
    assertOnOwnThread();
    // Unwatch at once; the next pass watches again what its mode needs. The
    // owner may close the descriptor right after, and a new descriptor with
    // the same number must not inherit a stale watch.
    applyWatch(fd, 0);
}

void RunLoop::syncFdWatches(std::string_view mode) {
    if (m_fdSources.empty() && m_watched.empty()) {
        return;
    }
    std::vector<std::pair<int, std::uint32_t>> desired;
    for (const auto& source : m_fdSources) {
        if (!source->valid || source->dispatching || source->alwaysReady || source->failed ||
            !any(source->interest) || !isActive(source->modes, mode)) {
            continue;
        }
        auto it = std::find_if(desired.begin(), desired.end(),
                               [&](const auto& d) { return d.first == source->fd; });
        if (it == desired.end()) {
            desired.emplace_back(source->fd, toEpoll(source->interest));
        } else {
            it->second |= toEpoll(source->interest);
        }
    }
    std::vector<int> unwatch;
    for (const auto& watched : m_watched) {
        int fd = watched.first;
        if (std::none_of(desired.begin(), desired.end(), [fd](const auto& d) { return d.first == fd; })) {
            unwatch.push_back(fd);
        }
    }
    for (int fd : unwatch) {
        applyWatch(fd, 0);
    }
    for (const auto& [fd, events] : desired) {
        auto it = m_watched.find(fd);
        if (it == m_watched.end() || it->second != events) {
            applyWatch(fd, events);
        }
    }
}

void RunLoop::applyWatch(int fd, std::uint32_t events) {
    auto it = m_watched.find(fd);
    if (events == 0) {
        if (it != m_watched.end()) {
            epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr); // may already be gone with a closed fd
            m_watched.erase(it);
        }
        return;
    }
    epoll_event event{};
    event.events = events;
    event.data.fd = fd;
    int op = it == m_watched.end() ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    int rc = epoll_ctl(m_epoll, op, fd, &event);
    if (rc != 0 && op == EPOLL_CTL_MOD && errno == ENOENT) {
        rc = epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    } else if (rc != 0 && op == EPOLL_CTL_ADD && errno == EEXIST) {
        rc = epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
    }
    if (rc == 0) {
        m_watched[fd] = events;
        return;
    }
    int error = errno;
    if (it != m_watched.end()) {
        m_watched.erase(it);
    }
    for (const auto& source : m_fdSources) {
        if (source->fd != fd) {
            continue;
        }
        if (error == EPERM) {
            source->alwaysReady = true; // a regular file or similar: always ready
        } else {
            logLine("RunLoop: cannot watch descriptor %d: %s", fd, std::strerror(error));
            source->failed = true; // reported once as Error, then dropped
        }
    }
}

void RunLoop::dispatchFd(const std::shared_ptr<internal::FdRecord>& source, std::uint8_t events) {
    source->dispatching = true;
    source->callback(static_cast<FdEvents>(events));
    source->dispatching = false;
}

// ---- running

RunStatus RunLoop::runMode(std::string_view mode, double beforeDate) {
    return runModeInternal(mode, beforeDate, WhenEmpty::Return);
}

void RunLoop::run() {
    while (runModeInternal(kDefaultMode, kDistantFuture, WhenEmpty::Wait) != RunStatus::Stopped) {
    }
}

RunStatus RunLoop::runUntil(double date) {
    for (;;) {
        RunStatus status = runModeInternal(kDefaultMode, date, WhenEmpty::Return);
        if (status != RunStatus::HandledSource) {
            return status;
        }
    }
}

bool RunLoop::runModeUntil(std::string_view mode, const std::function<bool()>& condition, double beforeDate) {
    for (;;) {
        if (condition()) {
            return true;
        }
        RunStatus status = runModeInternal(mode, beforeDate, WhenEmpty::Wait);
        if (status == RunStatus::TimedOut) {
            return condition();
        }
    }
}

RunStatus RunLoop::runModeInternal(std::string_view mode, double beforeDate, WhenEmpty whenEmpty) {
    assertOnOwnThread();
    m_modeStack.emplace_back(mode);
    struct PopMode {
        std::vector<std::string>& stack;
        ~PopMode() { stack.pop_back(); }
    } popMode{m_modeStack};

    for (;;) {
        if (m_stopRequested.exchange(false)) {
            return RunStatus::Stopped;
        }
        syncFdWatches(mode);
        Readiness ready = readiness(mode);
        if (ready.isEmpty() && whenEmpty == WhenEmpty::Return) {
            return RunStatus::Finished;
        }
        std::optional<int> timeoutMs = waitMilliseconds(ready, beforeDate);
        if (!timeoutMs) {
            return RunStatus::TimedOut;
        }
        waitForEvents(*timeoutMs);
        if (handleOneSource(mode)) {
            return RunStatus::HandledSource;
        }
    }
}

RunLoop::Readiness RunLoop::readiness(std::string_view mode) {
    Readiness ready;
    ready.timer = earliestTimer(mode);
    for (const auto& source : m_fdSources) {
        if (source->valid && isActive(source->modes, mode)) {
            ready.hasFdSource = true;
            if (!source->dispatching &&
                (source->failed || (source->alwaysReady &&
                                    any(source->interest & (FdEvents::Readable | FdEvents::Writable))))) {
                ready.fdReadyWithoutWaiting = true;
            }
        }
    }
    ready.posted = hasPostedCallsFor(mode);
    return ready;
}

namespace {

// Seconds are doubles counted from boot; past nine hours of uptime their
// rounding (7e-12 s) can leave a fire date that the arithmetic reaches
// (start + 0.049 + 0.001 against start + 0.05) a hair ahead of the clock.
// Such a timer is due: a nanosecond early is harmless, never firing is not.
constexpr double kDueSlack = 1e-9;

bool isDue(double fireDate, double now) {
    return fireDate <= now + kDueSlack;
}

} // namespace

std::optional<int> RunLoop::waitMilliseconds(const Readiness& ready, double beforeDate) const {
    // One reading serves both clocks, so with the real clock a timer due at
    // the run date is judged against the same instant.
    const double now = Clock::monotonic();
    const std::optional<double> manual = internal::manualClockTime();
    const double timerNow = manual.value_or(now);
    if (ready.posted || ready.fdReadyWithoutWaiting ||
        (ready.timer && isDue(ready.timer->fireDate, timerNow))) {
        return 0;
    }
    if (now >= beforeDate) {
        return std::nullopt;
    }
    // A manual clock's timers are due only after advance(), which wakes us:
    // never sleep in real time for them.
    double until = ready.timer && !manual ? std::min(beforeDate, ready.timer->fireDate) : beforeDate;
    if (std::isinf(until)) {
        return -1;
    }
    // Round up: waking a little late is harmless, waking early would spin.
    double ms = std::ceil((until - now) * 1000.0);
    return ms >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

void RunLoop::waitForEvents(int timeoutMs) {
    constexpr int kMaxEvents = 32;
    epoll_event events[kMaxEvents];
    int count = epoll_wait(m_epoll, events, kMaxEvents, timeoutMs);
    if (count < 0) {
        if (errno != EINTR) {
            logLine("RunLoop: epoll_wait failed: %s", std::strerror(errno));
        }
        count = 0;
    }
    m_ready.clear();
    for (int i = 0; i < count; ++i) {
        if (events[i].data.fd == m_wakeFd) {
            drainWakeUp();
        } else {
            int fd = events[i].data.fd; // copied out: the struct is packed
            std::uint32_t bits = events[i].events;
            m_ready.emplace_back(fd, bits);
        }
    }
}

// Handles one source, rotating between timers, descriptors and posted calls
// so none starves the others.
bool RunLoop::handleOneSource(std::string_view mode) {
    const double now = Timer::now();
    for (unsigned step = 0; step < 3; ++step) {
        unsigned kind = (m_nextKind + step) % 3;
        bool handled = kind == 0   ? fireDueTimer(mode, now)
                       : kind == 1 ? dispatchReadyFd(mode)
                                   : runPostedBatch(mode);
        if (handled) {
            return true;
        }
    }
    return false;
}

bool RunLoop::fireDueTimer(std::string_view mode, double now) {
    auto due = earliestTimer(mode);
    if (!due || !isDue(due->fireDate, now)) {
        return false;
    }
    m_nextKind = 1;
    fireTimer(due, now);
    return true;
}

bool RunLoop::dispatchReadyFd(std::string_view mode) {
    auto [chosen, deliver] = chooseReadyFd(mode);
    if (!chosen) {
        return false;
    }
    m_nextKind = 2;
    if (chosen->failed) {
        chosen->valid = false; // reported once, then no longer watched
    }
    dispatchFd(chosen, static_cast<std::uint8_t>(deliver));
    return true;
}

// The first source with events from the last wait, else one that is ready
// without being watched (a failed or an always-ready descriptor).
std::pair<std::shared_ptr<internal::FdRecord>, FdEvents> RunLoop::chooseReadyFd(std::string_view mode) const {
    for (const auto& [fd, bits] : m_ready) {
        FdEvents seen = fromEpoll(bits);
        for (const auto& source : m_fdSources) {
            if (source->fd == fd && source->valid && !source->dispatching && isActive(source->modes, mode)) {
                FdEvents deliver = seen & (source->interest | kAlwaysReported);
                if (any(deliver)) {
                    return {source, deliver};
                }
            }
        }
    }
    for (const auto& source : m_fdSources) {
        if (!source->valid || source->dispatching || !isActive(source->modes, mode)) {
            continue;
        }
        if (source->failed) {
            return {source, FdEvents::Error};
        }
        if (source->alwaysReady && any(source->interest & (FdEvents::Readable | FdEvents::Writable))) {
            return {source, source->interest & (FdEvents::Readable | FdEvents::Writable)};
        }
    }
    return {nullptr, FdEvents::None};
}

bool RunLoop::runPostedBatch(std::string_view mode) {
    // The batch is what was posted before it began. Calls are taken one by
    // one, so a nested run inside one of them continues the same queue in
    // order instead of overtaking the rest.
    std::uint64_t batchEnd = lastPostedSequence();
    Task call = takeNextPostedCall(mode, batchEnd);
    if (!call) {
        return false;
    }
    m_nextKind = 0;
    while (call) {
        call();
        call = takeNextPostedCall(mode, batchEnd);
    }
    return true;
}

// ---- handle

bool RunLoopHandle::post(Task task, const RunLoopModes& modes) const {
    auto loop = m_loop.lock();
    return loop && loop->post(std::move(task), modes);
}

bool RunLoopHandle::stop() const {
    auto loop = m_loop.lock();
    if (!loop || loop->hasEnded()) {
        return false;
    }
    loop->stop();
    return true;
}

bool RunLoopHandle::isAlive() const {
    auto loop = m_loop.lock();
    return loop && !loop->hasEnded();
}

bool RunLoopHandle::isCurrent() const {
    auto loop = m_loop.lock();
    return loop && loop.get() == RunLoop::currentIfAny();
}

bool RunLoopHandle::operator==(const RunLoopHandle& other) const {
    return !m_loop.owner_before(other.m_loop) && !other.m_loop.owner_before(m_loop);
}

} // namespace murmelo
