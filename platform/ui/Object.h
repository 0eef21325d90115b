// Object: the root of the screen's object model — views, view controllers,
// bar items and whatever application class wants to be a target of a
// control or a view-animation delegate. It gives every such object shared
// ownership (std::enable_shared_from_this) and a readable class name.
//
// Targets and delegates are held weakly (std::weak_ptr<Object>); an action
// or a stop handler whose target is gone is skipped, never called through a
// dangling pointer. Threading: as the subclass says (screen objects are
// main-thread only).
#pragma once

#include <memory>
#include <string>

namespace murmelo {

class Object : public std::enable_shared_from_this<Object> {
public:
    virtual ~Object() = default;

    // The class name without namespaces ("OVWebViewController"), from the
    // dynamic type. Used by the screen dump and log lines.
    std::string className() const;

    // A strong reference to this object as T, or null when it is not (yet)
    // owned by a shared_ptr or is not a T.
    template <class T> std::shared_ptr<T> sharedAs() {
        auto self = weak_from_this().lock();
        return std::dynamic_pointer_cast<T>(self);
    }
    template <class T> std::shared_ptr<const T> sharedAs() const {
        auto self = weak_from_this().lock();
        return std::dynamic_pointer_cast<const T>(self);
    }

protected:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
};

} // namespace murmelo
