// OVOperationInvocation: the callable of an OVOperation — a target, one of
// its member functions (the "selector") and the arguments for it, called
// later on another thread. OVOperationTarget is how the target is held.
//
// Selectors are member-function pointers; the invocation is shaped by the
// method's signature: it knows how many arguments the method takes and of
// which types, and setArgument() refuses a value of another type. The
// method's result is read as one object reference: a std::any holding the
// returned value, empty when the method returns nothing.
//
// Targets (see OVOperationTarget): a raw pointer is observed (the caller keeps
// it alive for as long as the call may happen); a shared_ptr is held weakly
// (a target gone by call time means the call is skipped) unless the
// invocation retains it (retainArguments()), when it is held strongly.
// Arguments are stored by value, so shared_ptr arguments are kept alive.
//
// Threading: build and set arguments on one thread, then invoke() from one
// thread at a time.
//
//   auto call = OVOperationInvocation::make(form, &SecretForm::postText);
//   (void)call->setArgument(0, std::string("hello"));
//   Result<std::any> result = call->invoke();
#pragma once

#include <any>
#include <cstddef>
#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "platform/core/Result.h"

namespace murmelo {

// The parts of a member-function pointer type.
template <class Method> struct OVMethodTraits;
template <class C, class R, class... A> struct OVMethodTraits<R (C::*)(A...)> {
    using Class = C;
    using ResultType = R;
    using Arguments = std::tuple<A...>;
    static constexpr std::size_t arity = sizeof...(A);
};
template <class C, class R, class... A>
struct OVMethodTraits<R (C::*)(A...) const> : OVMethodTraits<R (C::*)(A...)> {};
template <class C, class R, class... A>
struct OVMethodTraits<R (C::*)(A...) noexcept> : OVMethodTraits<R (C::*)(A...)> {};
template <class C, class R, class... A>
struct OVMethodTraits<R (C::*)(A...) const noexcept> : OVMethodTraits<R (C::*)(A...)> {};

class OVOperationTarget {
public:
    enum class Retain { No, Yes };

    OVOperationTarget() = default; // no target (nil)

    template <class T> static OVOperationTarget observing(T* target) {
        OVOperationTarget ref;
        ref.m_kind = target ? Kind::Observer : Kind::None;
        ref.m_raw = const_cast<std::remove_cv_t<T>*>(target);
        return ref;
    }
    template <class T> static OVOperationTarget shared(const std::shared_ptr<T>& target, Retain retain) {
        OVOperationTarget ref;
        if (!target) {
            return ref;
        }
        ref.m_raw = const_cast<std::remove_cv_t<T>*>(target.get());
        if (retain == Retain::Yes) {
            ref.m_kind = Kind::Strong;
            ref.m_strong = std::const_pointer_cast<std::remove_cv_t<T>>(target);
        } else {
            ref.m_kind = Kind::Weak;
            ref.m_weak = std::const_pointer_cast<std::remove_cv_t<T>>(target);
        }
        return ref;
    }

    // The target for the duration of a call: null when there is none or it is
    // gone. An observed target comes back without ownership.
    std::shared_ptr<void> lock() const;
    // The target's address, for identity only (never dereference: it may be gone).
    const void* identity() const { return m_raw; }
    bool isSet() const { return m_kind != Kind::None; }
    // Hold a weakly held target strongly from now on (when it is still alive).
    void retain();
    bool isRetained() const { return m_kind == Kind::Strong; }

private:
    enum class Kind { None, Observer, Weak, Strong };
    Kind m_kind = Kind::None;
    void* m_raw = nullptr;
    std::weak_ptr<void> m_weak;
    std::shared_ptr<void> m_strong;
};

class OVOperationInvocation {
public:
    // T is the target's type: the class of `method` or derived from it.
    template <class T, class Method>
    static std::shared_ptr<OVOperationInvocation> make(T* target, Method method) {
        return make<T>(OVOperationTarget::observing(target), method);
    }
    template <class T, class Method>
    static std::shared_ptr<OVOperationInvocation> make(const std::shared_ptr<T>& target, Method method) {
        return make<T>(OVOperationTarget::shared(target, OVOperationTarget::Retain::No), method);
    }
    template <class T, class Method>
    static std::shared_ptr<OVOperationInvocation> make(OVOperationTarget target, Method method);

    std::size_t numberOfArguments() const { return m_argumentTypes.size(); }
    // Error for an index past the method's arguments or a value of another type.
    Result<void> setArgument(std::size_t index, std::any value);
    const std::any& argument(std::size_t index) const { return m_arguments.at(index); }
    // Keeps the target alive from now on (arguments are values, always kept).
    void retainArguments() { m_target.retain(); }
    bool argumentsRetained() const { return m_target.isRetained(); }

    // Calls the method. Error when there is no target, the target is gone, or
    // an argument was not set.
    Result<std::any> invoke();
    const OVOperationTarget& target() const { return m_target; }

private:
    using Call = std::function<std::any(void* target, std::vector<std::any>& arguments)>;
    OVOperationInvocation(OVOperationTarget target, std::vector<const std::type_info*> types, Call call)
        : m_target(std::move(target)), m_arguments(types.size()), m_argumentTypes(std::move(types)),
          m_call(std::move(call)) {}

    template <class T, class Method, std::size_t... I>
    static std::any callWith(T* target, Method method, std::vector<std::any>& arguments,
                             std::index_sequence<I...>);

    OVOperationTarget m_target;
    std::vector<std::any> m_arguments;
    std::vector<const std::type_info*> m_argumentTypes;
    Call m_call;
};

// ---- templates

template <class T, class Method, std::size_t... I>
std::any OVOperationInvocation::callWith(T* target, Method method, std::vector<std::any>& arguments,
                                         std::index_sequence<I...>) {
    using Traits = OVMethodTraits<Method>;
    using Class = typename Traits::Class;
    using R = typename Traits::ResultType;
    Class* receiver = target;
    if constexpr (std::is_void_v<R>) {
        (receiver->*method)(*std::any_cast<std::decay_t<std::tuple_element_t<I, typename Traits::Arguments>>>(
            &arguments[I])...);
        return {};
    } else {
        return std::any(std::decay_t<R>((receiver->*method)(
            *std::any_cast<std::decay_t<std::tuple_element_t<I, typename Traits::Arguments>>>(
                &arguments[I])...)));
    }
}

template <class T, class Method>
std::shared_ptr<OVOperationInvocation> OVOperationInvocation::make(OVOperationTarget target, Method method) {
    using Traits = OVMethodTraits<Method>;
    using Class = typename Traits::Class;
    using R = typename Traits::ResultType;
    static_assert(std::is_base_of_v<Class, T>, "the selector must be a method of the target's class");
    static_assert(std::is_void_v<R> || std::is_copy_constructible_v<std::decay_t<R>>,
                  "the work result is read as one object reference: it must be copyable");
    constexpr std::size_t arity = Traits::arity;
    std::vector<const std::type_info*> types;
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        static_assert(
            (!std::is_rvalue_reference_v<std::tuple_element_t<I, typename Traits::Arguments>> && ...),
            "stored arguments are passed as lvalues; take them by value or reference");
        (types.push_back(&typeid(std::decay_t<std::tuple_element_t<I, typename Traits::Arguments>>)), ...);
    }
    (std::make_index_sequence<arity>{});
    Call call = [method](void* target, std::vector<std::any>& arguments) -> std::any {
        return callWith(static_cast<T*>(target), method, arguments, std::make_index_sequence<arity>{});
    };
    return std::shared_ptr<OVOperationInvocation>(
        new OVOperationInvocation(std::move(target), std::move(types), std::move(call)));
}

} // namespace murmelo
