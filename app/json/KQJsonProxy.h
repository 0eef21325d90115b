// KQJsonProxy: the interface of an object that the JSON writer cannot write
// itself but that offers a value to write in its place (proxyForJson).
//
// Threading: called on the writer's thread during one write; implementations
// must not hand back state another thread is changing. The caller owns the
// proxy; the writer only borrows it for the call.
#pragma once

#include <optional>
#include <string>

#include "platform/core/Value.h"

namespace murmelo {

class KQJsonProxy {
public:
    virtual ~KQJsonProxy() = default;
    // The substitute written in this object's place; std::nullopt when the
    // object has none (the write then fails with error 1).
    virtual std::optional<Value> proxyForJson() const = 0;
    // The object's class name, for "JSON serialisation not supported for %@".
    virtual std::string className() const = 0;
};

} // namespace murmelo
