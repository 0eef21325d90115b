// OVOperation: a unit of background work — calls one method of a target,
// optionally with arguments, optionally after a delay or on a period, and
// optionally reports the method's result to a finish method of the same
// target. Runs on OVOperationManager's queue (an Operation on a worker
// thread with its own run loop).
//
// Selectors are member-function pointers (see OVOperationInvocation.h). The
// finish selector is `nullptr` (none) or a one-argument method of some class
// U; the target "responds" to it when the target is a U (statically, or by
// dynamic_cast for polymorphic types) — a finish method of a class the target
// is not is skipped silently. Its argument is built from the work result: the
// result itself (a std::any parameter gets it as is; otherwise the returned
// value converted to the parameter type), or a default-constructed value (a
// null pointer, an empty optional) when the work returns nothing.
//
// Ownership: the plain factory does not keep the target alive — a raw
// pointer is observed (it must outlive the run), a shared_ptr is held weakly
// (gone by then: the work is skipped). The factories with objects and with a
// period keep target and arguments alive until the operation is destroyed.
//
// Threading: configure (setters) before handing the operation to the
// manager; the work runs on the worker thread, the finish call on the main
// thread by default (posted without waiting from a worker, inline when
// already there), or directly on the worker thread.
//
//   auto op = OVOperation::operationWithTarget(this, nullptr, &AppDelegate_Phone::sendStatus);
//   OVOperationManager::sharedOperationManager().addOperation(op);
#pragma once

#include <any>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "app/base/OVOperationInvocation.h"
#include "platform/runloop/Operation.h"

namespace murmelo {

template <class P> struct OVTargetTraits;
template <class T> struct OVTargetTraits<T*> {
    using Type = T;
    static OVOperationTarget reference(T* target, OVOperationTarget::Retain) {
        return OVOperationTarget::observing(target); // a raw pointer cannot be kept alive
    }
};
template <class T> struct OVTargetTraits<std::shared_ptr<T>> {
    using Type = T;
    static OVOperationTarget reference(const std::shared_ptr<T>& target, OVOperationTarget::Retain retain) {
        return OVOperationTarget::shared(target, retain);
    }
};

class OVOperation : public Operation {
public:
    // operationWithTarget:didFinishSelector:selector:
    template <class TargetPtr, class Finish, class Work>
    static std::shared_ptr<OVOperation> operationWithTarget(const TargetPtr& target, Finish finishSelector,
                                                            Work selector) {
        return make(target, finishSelector, selector, OVOperationTarget::Retain::No);
    }

    // operationWithTarget:didFinishSelector:selector:withObjects: — the objects
    // are the work method's arguments in order (no closing nil needed).
    template <class TargetPtr, class Finish, class Work, class... Objects>
    static std::shared_ptr<OVOperation> operationWithTarget_withObjects(const TargetPtr& target,
                                                                        Finish finishSelector, Work selector,
                                                                        Objects&&... objects);

    // operationWithTarget:didFinishSelector:selector:timeInterval:repeats:
    template <class TargetPtr, class Finish, class Work>
    static std::shared_ptr<OVOperation> operationWithTarget(const TargetPtr& target, Finish finishSelector,
                                                            Work selector, double timeInterval,
                                                            bool repeats) {
        auto operation = make(target, finishSelector, selector, OVOperationTarget::Retain::Yes);
        operation->m_timeInterval = timeInterval;
        operation->m_repeats = repeats;
        return operation;
    }

    // invocationWithTarget:selector: — a callable with no arguments set yet.
    template <class TargetPtr, class Method>
    static std::shared_ptr<OVOperationInvocation> invocationWithTarget(const TargetPtr& target,
                                                                       Method selector) {
        return OVOperationInvocation::make(target, selector);
    }

    const std::optional<std::string>& key() const { return m_key; }
    void setKey(std::optional<std::string> key) { m_key = std::move(key); }
    const std::shared_ptr<OVOperationInvocation>& invocation() const { return m_invocation; }
    void setInvocation(std::shared_ptr<OVOperationInvocation> invocation) {
        m_invocation = std::move(invocation);
    }
    // The target's address (identity only; not owned).
    const void* delegate() const { return m_invocation ? m_invocation->target().identity() : nullptr; }
    bool hasOperationDidFinishSelector() const { return static_cast<bool>(m_finishCall); }
    bool doFinishSelectorOnMainThread() const { return m_doFinishSelectorOnMainThread; }
    void setDoFinishSelectorOnMainThread(bool onMain) { m_doFinishSelectorOnMainThread = onMain; }
    double timeInterval() const { return m_timeInterval; }
    void setTimeInterval(double seconds) { m_timeInterval = seconds; }
    bool repeats() const { return m_repeats; }
    void setRepeats(bool repeats) { m_repeats = repeats; }
    bool awIsFinished() const { return m_awIsFinished.load(); }
    void setAwIsFinished(bool finished) { m_awIsFinished.store(finished); }

    // One run of the work (also the timer's tick).
    void doRealWork();

protected:
    void main() override;

private:
    using FinishCall = std::function<void(void* target, std::any result)>;
    using Responds = std::function<bool(void* target)>;

    template <class TargetPtr, class Finish, class Work>
    static std::shared_ptr<OVOperation> make(const TargetPtr& target, Finish finishSelector, Work selector,
                                             OVOperationTarget::Retain retain);
    template <class U, class T> static U* receiverFor(T* target);
    template <class R, class P> static P finishArgument(std::any&& result);

    std::optional<std::string> m_key;
    std::shared_ptr<OVOperationInvocation> m_invocation;
    Responds m_respondsToFinish;
    FinishCall m_finishCall;
    bool m_doFinishSelectorOnMainThread = true;
    double m_timeInterval = 0;
    bool m_repeats = false;
    std::atomic<bool> m_awIsFinished{false};
};

// ---- templates

template <class U, class T> U* OVOperation::receiverFor(T* target) {
    if constexpr (std::is_base_of_v<U, T>) {
        return target;
    } else if constexpr (std::is_polymorphic_v<T> && std::is_polymorphic_v<U>) {
        return dynamic_cast<U*>(target);
    } else {
        return nullptr; // unrelated, non-polymorphic: cannot respond
    }
}

template <class R, class P> P OVOperation::finishArgument(std::any&& result) {
    if constexpr (std::is_same_v<std::decay_t<P>, std::any>) {
        return std::move(result);
    } else if constexpr (std::is_void_v<R>) {
        return P{};
    } else {
        if (auto* value = std::any_cast<std::decay_t<R>>(&result)) {
            return P(std::move(*value));
        }
        return P{};
    }
}

template <class TargetPtr, class Finish, class Work>
std::shared_ptr<OVOperation> OVOperation::make(const TargetPtr& target, Finish finishSelector, Work selector,
                                               OVOperationTarget::Retain retain) {
    using T = typename OVTargetTraits<TargetPtr>::Type;
    using R = typename OVMethodTraits<Work>::ResultType;
    auto operation = std::make_shared<OVOperation>();
    operation->m_invocation =
        OVOperationInvocation::make<T>(OVTargetTraits<TargetPtr>::reference(target, retain), selector);
    if constexpr (!std::is_null_pointer_v<Finish>) {
        using FinishTraits = OVMethodTraits<Finish>;
        using U = typename FinishTraits::Class;
        static_assert(FinishTraits::arity == 1, "a finish selector takes one argument: the work result");
        using P = std::decay_t<std::tuple_element_t<0, typename FinishTraits::Arguments>>;
        if constexpr (!std::is_same_v<P, std::any>) {
            if constexpr (std::is_void_v<R>) {
                static_assert(std::is_default_constructible_v<P>, "the work returns nothing: the finish "
                                                                  "argument must have an empty value");
            } else {
                static_assert(std::is_constructible_v<P, std::decay_t<R>> &&
                                  std::is_default_constructible_v<P>,
                              "the finish argument must be made from the work result");
            }
        }
        if (finishSelector) {
            operation->m_respondsToFinish = [](void* t) {
                return receiverFor<U>(static_cast<T*>(t)) != nullptr;
            };
            operation->m_finishCall = [finishSelector](void* t, std::any result) {
                if (U* receiver = receiverFor<U>(static_cast<T*>(t))) {
                    (receiver->*finishSelector)(finishArgument<R, P>(std::move(result)));
                }
            };
        }
    }
    return operation;
}

template <class TargetPtr, class Finish, class Work, class... Objects>
std::shared_ptr<OVOperation>
OVOperation::operationWithTarget_withObjects(const TargetPtr& target, Finish finishSelector, Work selector,
                                             Objects&&... objects) {
    using Arguments = typename OVMethodTraits<Work>::Arguments;
    static_assert(sizeof...(Objects) == std::tuple_size_v<Arguments>,
                  "withObjects: one object per argument of the work method");
    auto operation = make(target, finishSelector, selector, OVOperationTarget::Retain::Yes);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        // The types match by construction, so these cannot fail.
        ((void)operation->m_invocation->setArgument(
             I, std::any(std::decay_t<std::tuple_element_t<I, Arguments>>(std::forward<Objects>(objects)))),
         ...);
    }
    (std::index_sequence_for<Objects...>{});
    return operation;
}

} // namespace murmelo
