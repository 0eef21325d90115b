// postTaskAndReply: runs `task` on another thread's loop, then hands its
// result back to the calling thread's loop as `reply(receiver, result)` —
// unless the receiver is gone by then, in which case the reply is dropped.
//
// Threading: call it on a thread with a run loop; RunLoop::current() is
// where the reply runs, and the receiver must belong to that thread (a
// WeakPtr is checked on its owner's thread). The task runs on `target` in
// its common modes; the reply is posted to the caller's loop, in its common
// modes, after the task returned. Neither ever runs synchronously, not even
// when `target` is the caller's own loop. Returns false, dropping both, when
// `target` has ended. A reply whose loop ended meanwhile is destroyed unrun
// on the target's thread, so both must own what they capture.
//
//   postTaskAndReply(worker.runLoop(), [path] { return readFile(path); }, m_weak.weakPtr(),
//                    [](Loader& self, Result<Data> data) { self.loaded(std::move(data)); });
#pragma once

#include <type_traits>
#include <utility>

#include "platform/core/WeakPtr.h"
#include "platform/runloop/RunLoop.h"

namespace murmelo {

// `task()` returns a value (given to the reply) or nothing (the reply then
// takes only the receiver).
template <class TaskFunction, class T, class ReplyFunction>
bool postTaskAndReply(const RunLoopHandle& target, TaskFunction task, WeakPtr<T> receiver,
                      ReplyFunction reply) {
    using Value = std::invoke_result_t<TaskFunction&>;
    RunLoopHandle origin = RunLoop::current().handle();
    return target.post([task = std::move(task), origin = std::move(origin),
                        reply = bindWeak(std::move(receiver), std::move(reply))]() mutable {
        if constexpr (std::is_void_v<Value>) {
            task();
            (void)origin.post(std::move(reply));
        } else {
            (void)origin.post(
                [reply = std::move(reply), value = task()]() mutable { reply(std::move(value)); });
        }
    });
}

} // namespace murmelo
