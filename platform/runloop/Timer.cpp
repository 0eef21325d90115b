#include "platform/runloop/Timer.h"

#include <algorithm>

#include "platform/core/Clock.h"
#include "platform/runloop/ManualClock.h"
#include "platform/runloop/internal/Sources.h"

namespace murmelo {

namespace {
constexpr double kMinimumRepeatInterval = 0.0001;
}

double Timer::now() {
    return internal::manualClockTime().value_or(Clock::monotonic());
}

Timer::Timer(double interval, Repeats repeats, UniqueFunction<void()> callback, const RunLoopModes& modes) {
    RunLoop& loop = RunLoop::current();
    m_record = std::make_shared<internal::TimerRecord>();
    m_record->repeats = repeats == Repeats::Yes;
    m_record->interval =
        m_record->repeats ? std::max(interval, kMinimumRepeatInterval) : std::max(interval, 0.0);
    m_record->fireDate = now() + m_record->interval;
    m_record->modes = modes;
    m_record->callback = std::move(callback);
    m_loop = loop.weak_from_this();
    loop.addTimer(m_record);
}

Timer::~Timer() {
    release();
}

Timer::Timer(Timer&& other) noexcept : m_record(std::move(other.m_record)), m_loop(std::move(other.m_loop)) {}

Timer& Timer::operator=(Timer&& other) noexcept {
    if (this != &other) {
        release();
        m_record = std::move(other.m_record);
        m_loop = std::move(other.m_loop);
    }
    return *this;
}

void Timer::release() {
    invalidate();
    m_record.reset();
}

void Timer::invalidate() {
    if (!m_record) {
        return;
    }
    m_record->valid = false;
    if (auto loop = m_loop.lock(); loop && !loop->hasEnded()) {
        loop->removeTimer(m_record.get());
    }
}

bool Timer::isValid() const {
    if (!m_record || !m_record->valid) {
        return false;
    }
    auto loop = m_loop.lock();
    return loop && !loop->hasEnded();
}

double Timer::fireDate() const {
    return m_record ? m_record->fireDate : 0.0;
}

void Timer::setFireDate(double date) {
    if (isValid()) {
        m_record->fireDate = date;
    }
}

double Timer::timeInterval() const {
    return m_record ? m_record->interval : 0.0;
}

bool Timer::repeats() const {
    return m_record && m_record->repeats;
}

} // namespace murmelo
