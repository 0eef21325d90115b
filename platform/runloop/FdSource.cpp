#include "platform/runloop/FdSource.h"

#include "platform/runloop/internal/Sources.h"

namespace murmelo {

FdSource::FdSource(int fd, FdEvents interest, UniqueFunction<void(FdEvents)> callback,
                   const RunLoopModes& modes) {
    RunLoop& loop = RunLoop::current();
    m_record = std::make_shared<internal::FdRecord>();
    m_record->fd = fd;
    m_record->interest = interest & (FdEvents::Readable | FdEvents::Writable);
    m_record->modes = modes;
    m_record->callback = std::move(callback);
    m_loop = loop.weak_from_this();
    loop.addFdSource(m_record);
}

FdSource::~FdSource() {
    invalidate();
}

FdSource::FdSource(FdSource&& other) noexcept
    : m_record(std::move(other.m_record)), m_loop(std::move(other.m_loop)) {}

FdSource& FdSource::operator=(FdSource&& other) noexcept {
    if (this != &other) {
        invalidate();
        m_record = std::move(other.m_record);
        m_loop = std::move(other.m_loop);
    }
    return *this;
}

void FdSource::setInterest(FdEvents interest) {
    if (!isValid()) {
        return;
    }
    interest = interest & (FdEvents::Readable | FdEvents::Writable);
    if (interest == m_record->interest) {
        return;
    }
    m_record->interest = interest;
    // A source that still watches keeps its descriptor open, so the next pass
    // of the loop brings the watch up to date with one change, not two. One
    // that no longer watches is unwatched now, as its owner may close the
    // descriptor before the loop runs again.
    if (interest == FdEvents::None) {
        if (auto loop = m_loop.lock()) {
            loop->fdSourceChanged(m_record->fd);
        }
    }
}

FdEvents FdSource::interest() const {
    return m_record ? m_record->interest : FdEvents::None;
}

int FdSource::fd() const {
    return m_record ? m_record->fd : -1;
}

void FdSource::invalidate() {
    if (!m_record) {
        return;
    }
    m_record->valid = false;
    if (auto loop = m_loop.lock(); loop && !loop->hasEnded()) {
        loop->removeFdSource(m_record.get());
    }
    m_record.reset();
}

bool FdSource::isValid() const {
    if (!m_record || !m_record->valid) {
        return false;
    }
    auto loop = m_loop.lock();
    return loop && !loop->hasEnded();
}

} // namespace murmelo
