// UniqueFunction<R(Args...)>: a move-only callable, so closures that own
// move-only state (a unique_ptr, a promise) can be posted to a run loop.
// Task is the shape of a posted call. Not thread-safe; moved between threads
// by whoever owns it.
//
//   Task task = [buffer = std::move(buffer)] { consume(*buffer); };
//   loop.post(std::move(task));
#pragma once

#include <cassert>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace murmelo {

template <class Signature> class UniqueFunction;

template <class R, class... Args> class UniqueFunction<R(Args...)> {
public:
    UniqueFunction() = default;
    UniqueFunction(std::nullptr_t) {}

    template <class F>
    requires(!std::is_same_v<std::decay_t<F>, UniqueFunction> && std::is_invocable_r_v<R, F&, Args...>)
        UniqueFunction(F&& f)
        : m_callable(std::make_unique<Holder<std::decay_t<F>>>(std::forward<F>(f))) {}

    UniqueFunction(UniqueFunction&&) noexcept = default;
    UniqueFunction& operator=(UniqueFunction&&) noexcept = default;
    UniqueFunction(const UniqueFunction&) = delete;
    UniqueFunction& operator=(const UniqueFunction&) = delete;

    explicit operator bool() const { return m_callable != nullptr; }

    // REQUIRES: not empty.
    R operator()(Args... args) {
        assert(m_callable);
        return m_callable->call(std::forward<Args>(args)...);
    }

private:
    struct Callable {
        virtual ~Callable() = default;
        virtual R call(Args... args) = 0;
    };
    template <class F> struct Holder final : Callable {
        explicit Holder(F&& f) : function(std::move(f)) {}
        explicit Holder(const F& f) : function(f) {}
        R call(Args... args) override { return std::invoke(function, std::forward<Args>(args)...); }
        F function;
    };

    std::unique_ptr<Callable> m_callable;
};

using Task = UniqueFunction<void()>;

} // namespace murmelo
