#include "platform/ui/internal/AnimationScheduler.h"

#include <algorithm>
#include <utility>

#include "platform/ui/MainThread.h"

namespace murmelo::internal {

AnimationScheduler& AnimationScheduler::shared() {
    static AnimationScheduler instance;
    return instance;
}

AnimationScheduler::Id AnimationScheduler::schedule(double seconds, std::function<void()> completion) {
    assertMainThread();
    Id id = m_nextId++;
    double delay = std::max(0.0, seconds * m_scale);
    Entry entry{Timer(
                    delay, Timer::Repeats::No, [this, id] { fire(id); }, RunLoop::kCommonModes),
                std::move(completion)};
    m_pending.emplace(id, std::move(entry));
    return id;
}

void AnimationScheduler::fire(Id id) {
    auto it = m_pending.find(id);
    if (it == m_pending.end()) {
        return;
    }
    auto completion = std::move(it->second.completion);
    m_pending.erase(it); // also when called from the entry's own timer: the loop keeps the record alive
    if (completion) {
        completion();
    }
}

bool AnimationScheduler::finishNow(Id id) {
    assertMainThread();
    if (!isPending(id)) {
        return false;
    }
    fire(id);
    return true;
}

void AnimationScheduler::finishAll() {
    assertMainThread();
    while (!m_pending.empty()) {
        fire(m_pending.begin()->first);
    }
}

void AnimationScheduler::setDurationScale(double scale) {
    assertMainThread();
    m_scale = scale >= 0 ? scale : 1.0;
}

} // namespace murmelo::internal
