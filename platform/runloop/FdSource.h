// FdSource: watches a file descriptor on the run loop of the thread that
// makes it and calls back with the events that fired. The object *is* the
// registration: destroying it stops the watch at once (so the owner may close
// the descriptor right after). It never owns or closes the descriptor.
//
// Threading: made, changed and destroyed on its loop's thread; the callback
// runs there, in one of the source's modes, and is not re-entered while it
// runs (a nested run of the loop does not watch it). Error and Hangup are
// reported whatever the interest; a source with no interest sees nothing.
// A descriptor that epoll cannot watch (a regular file) is always ready, as
// poll() would report it; one that cannot be watched at all (closed) is
// reported once with Error and then no longer watched.
//
//   FdSource reader(sock, FdEvents::Readable, [&](FdEvents e) { drain(sock); });
//   reader.setInterest(FdEvents::Readable | FdEvents::Writable);
#pragma once

#include <memory>

#include "platform/runloop/FdEvents.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

namespace internal {
struct FdRecord;
}

class FdSource {
public:
    FdSource() = default;
    FdSource(int fd, FdEvents interest, UniqueFunction<void(FdEvents)> callback,
             const RunLoopModes& modes = RunLoopModes(RunLoop::kDefaultMode));
    ~FdSource();
    FdSource(FdSource&& other) noexcept;
    FdSource& operator=(FdSource&& other) noexcept;
    FdSource(const FdSource&) = delete;
    FdSource& operator=(const FdSource&) = delete;

    void setInterest(FdEvents interest);
    FdEvents interest() const;
    int fd() const;
    // Stops watching; safe from inside the callback.
    void invalidate();
    bool isValid() const;

private:
    std::shared_ptr<internal::FdRecord> m_record;
    std::weak_ptr<RunLoop> m_loop;
};

} // namespace murmelo
