// TargetAction: what a control or a bar item calls when it fires — a member
// function of a target object, or a closure.
//
// The target is held weakly: an action whose target is gone is skipped. The
// member function takes no argument or the sender (any class derived from
// the sender type, checked at the call; a sender of another class skips the
// call). Identity (for removing a target) is the target's most-derived
// address. Value type; used on the main thread with its sender.
//
//   button->addTarget(self, &PostCommentViewController::postComment, ControlEvents::TouchUpInside);
//   segment->addTarget(self, &OVWebViewController::segmentAction, ControlEvents::ValueChanged);
#pragma once

#include <functional>
#include <memory>
#include <type_traits>

namespace murmelo {

namespace internal {
template <class T> const void* identityOf(const T* object) {
    if constexpr (std::is_polymorphic_v<T>) {
        return dynamic_cast<const void*>(object);
    } else {
        return object;
    }
}
} // namespace internal

template <class Sender> class TargetAction {
public:
    template <class T> TargetAction(const std::shared_ptr<T>& target, void (T::*action)()) {
        std::weak_ptr<T> weak = target;
        m_identity = internal::identityOf(target.get());
        m_call = [weak, action](Sender&) {
            if (auto strong = weak.lock()) {
                ((*strong).*action)();
                return true;
            }
            return false;
        };
    }

    template <class T, class S> TargetAction(const std::shared_ptr<T>& target, void (T::*action)(S&)) {
        static_assert(std::is_base_of_v<Sender, S> || std::is_base_of_v<S, Sender>,
                      "the action's parameter must be the sender's class or one derived from it");
        std::weak_ptr<T> weak = target;
        m_identity = internal::identityOf(target.get());
        m_call = [weak, action](Sender& sender) {
            auto strong = weak.lock();
            if (!strong) {
                return false;
            }
            S* typed = nullptr;
            if constexpr (std::is_base_of_v<S, Sender>) {
                typed = &sender;
            } else {
                typed = dynamic_cast<S*>(&sender);
            }
            if (!typed) {
                return false;
            }
            ((*strong).*action)(*typed);
            return true;
        };
    }

    // A closure; it has no target identity.
    explicit TargetAction(std::function<void(Sender&)> closure) {
        m_call = [closure = std::move(closure)](Sender& sender) {
            closure(sender);
            return true;
        };
    }

    // Whether the action ran (false when the target is gone).
    bool invoke(Sender& sender) const { return m_call && m_call(sender); }
    // The target's address for identity only, or null for a closure.
    const void* target() const { return m_identity; }

private:
    std::function<bool(Sender&)> m_call;
    const void* m_identity = nullptr;
};

} // namespace murmelo
