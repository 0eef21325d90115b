#include "platform/ui/ScreenChanges.h"

#include <atomic>
#include <map>
#include <utility>

#include "platform/runloop/RunLoop.h"

namespace murmelo {

namespace {

struct State {
    std::atomic<std::uint64_t> count{0};
    std::uint64_t nextId = 1;
    int quiet = 0;
    bool posted = false;
    std::map<std::uint64_t, std::function<void()>> observers;
};

State& state() {
    static State shared;
    return shared;
}

void tellObservers() {
    State& s = state();
    s.posted = false;
    // Copied: an observer may end its own or another observation.
    auto observers = s.observers;
    for (auto& [id, onChange] : observers) {
        if (s.observers.count(id)) {
            onChange();
        }
    }
}

} // namespace

ScreenChanges::Observation& ScreenChanges::Observation::operator=(Observation&& other) noexcept {
    if (this != &other) {
        reset();
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

void ScreenChanges::Observation::reset() {
    if (m_id != 0) {
        state().observers.erase(m_id);
        m_id = 0;
    }
}

ScreenChanges::Quiet::Quiet() {
    ++state().quiet;
}

ScreenChanges::Quiet::~Quiet() {
    --state().quiet;
}

void ScreenChanges::note() {
    State& s = state();
    s.count.fetch_add(1, std::memory_order_relaxed);
    // Screen objects live on the main thread; a view made elsewhere (and not
    // yet shown) only counts.
    if (!RunLoop::isMainThread() || s.quiet > 0 || s.posted || s.observers.empty()) {
        return;
    }
    s.posted = true;
    RunLoop::main().post(tellObservers);
}

std::uint64_t ScreenChanges::count() {
    return state().count.load(std::memory_order_relaxed);
}

ScreenChanges::Observation ScreenChanges::observe(std::function<void()> onChange) {
    State& s = state();
    std::uint64_t id = s.nextId++;
    s.observers.emplace(id, std::move(onChange));
    return Observation(id);
}

} // namespace murmelo
