#include "app/base/OVOperationInvocation.h"

namespace murmelo {

namespace {
const char* kDomain = "OVOperationErrorDomain";
}

std::shared_ptr<void> OVOperationTarget::lock() const {
    switch (m_kind) {
    case Kind::None:
        return nullptr;
    case Kind::Observer:
        return std::shared_ptr<void>(std::shared_ptr<void>(), m_raw); // not owning
    case Kind::Weak:
        return m_weak.lock();
    case Kind::Strong:
        return m_strong;
    }
    return nullptr;
}

void OVOperationTarget::retain() {
    if (m_kind == Kind::Weak) {
        if (auto strong = m_weak.lock()) {
            m_strong = std::move(strong);
            m_weak.reset();
            m_kind = Kind::Strong;
        }
    }
}

Result<void> OVOperationInvocation::setArgument(std::size_t index, std::any value) {
    if (index >= m_argumentTypes.size()) {
        return Error(kDomain, 1, "Argument index out of range");
    }
    if (value.type() != *m_argumentTypes[index]) {
        return Error(kDomain, 2, "Argument of the wrong type");
    }
    m_arguments[index] = std::move(value);
    return Result<void>::success();
}

Result<std::any> OVOperationInvocation::invoke() {
    if (!m_target.isSet()) {
        return Error(kDomain, 3, "The invocation has no target");
    }
    std::shared_ptr<void> target = m_target.lock();
    if (!target) {
        return Error(kDomain, 4, "The target is gone");
    }
    for (const auto& argument : m_arguments) {
        if (!argument.has_value()) {
            return Error(kDomain, 5, "An argument was not set");
        }
    }
    return m_call(target.get(), m_arguments);
}

} // namespace murmelo
