// UniqueFunction<R(Args...)>: a move-only callable, so closures that own
// move-only state (a unique_ptr, a promise) can be posted to a run loop.
// Task is the shape of a posted call. Not thread-safe; moved between threads
// by whoever owns it.
//
//   Task task = [buffer = std::move(buffer)] { consume(*buffer); };
//   loop.post(std::move(task));
//
// A small closure whose bytes can simply be copied (a lambda capturing a
// pointer or two: `[this]`, `[self, socket]`) is stored inside the object,
// so timers, descriptor sources and posted calls of that kind allocate
// nothing for it; anything else lives on the heap. A closure kept inside
// still has its captures when its UniqueFunction is moved or reset while it
// runs (its bytes are left as they were), as a heap one has when moved.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
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
        UniqueFunction(F&& f) {
        using Fn = std::decay_t<F>;
        if constexpr (kInline<Fn>) {
            ::new (static_cast<void*>(m_storage)) Fn(std::forward<F>(f));
        } else {
            Fn* heap = new Fn(std::forward<F>(f));
            std::memcpy(m_storage, &heap, sizeof heap);
        }
        m_ops = &kOps<Fn>;
    }

    UniqueFunction(UniqueFunction&& other) noexcept { takeFrom(other); }
    UniqueFunction& operator=(UniqueFunction&& other) noexcept {
        if (this != &other) {
            reset();
            takeFrom(other);
        }
        return *this;
    }
    UniqueFunction& operator=(std::nullptr_t) noexcept {
        reset();
        return *this;
    }
    UniqueFunction(const UniqueFunction&) = delete;
    UniqueFunction& operator=(const UniqueFunction&) = delete;
    ~UniqueFunction() { reset(); }

    explicit operator bool() const { return m_ops != nullptr; }

    // REQUIRES: not empty.
    R operator()(Args... args) {
        assert(m_ops);
        return m_ops->call(m_storage, std::forward<Args>(args)...);
    }

private:
    static constexpr std::size_t kInlineSize = 2 * sizeof(void*);

    // Trivially copyable only: a copy of the bytes is a move, and the bytes
    // left behind stay valid for a closure still running from them.
    template <class Fn>
    static constexpr bool kInline = sizeof(Fn) <= kInlineSize &&
                                    alignof(Fn) <= alignof(void*) && std::is_trivially_copyable_v<Fn>;

    struct Ops {
        R (*call)(void* storage, Args&&... args);
        void (*destroy)(void* storage) noexcept;
    };

    template <class Fn> static Fn& target(void* storage) {
        if constexpr (kInline<Fn>) {
            return *std::launder(reinterpret_cast<Fn*>(storage));
        } else {
            Fn* heap = nullptr;
            std::memcpy(&heap, storage, sizeof heap);
            return *heap;
        }
    }
    template <class Fn> static R callTarget(void* storage, Args&&... args) {
        return std::invoke(target<Fn>(storage), std::forward<Args>(args)...);
    }
    template <class Fn> static void destroyTarget(void* storage) noexcept {
        if constexpr (!kInline<Fn>) {
            delete &target<Fn>(storage);
        }
    }
    template <class Fn> static constexpr Ops kOps{&callTarget<Fn>, &destroyTarget<Fn>};

    // Both kinds move by copying the bytes: the inline closure is trivially
    // copyable, the heap one is a pointer.
    void takeFrom(UniqueFunction& other) noexcept {
        std::memcpy(m_storage, other.m_storage, kInlineSize);
        m_ops = other.m_ops;
        other.m_ops = nullptr;
    }
    void reset() noexcept {
        if (const Ops* ops = m_ops) {
            m_ops = nullptr;
            ops->destroy(m_storage);
        }
    }

    alignas(void*) unsigned char m_storage[kInlineSize] = {};
    const Ops* m_ops = nullptr;
};

using Task = UniqueFunction<void()>;

} // namespace murmelo
