// Responder: an object in the responder chain — views, view controllers,
// windows and the application. Touches a responder does not handle travel to
// its next responder (a view's controller or superview, a controller's
// view's superview, a window's application).
//
// There is one first responder in the process (the text input with the
// keyboard, typically): becomeFirstResponder() asks the current one to
// resign first. The slot holds the responder weakly.
//
// Main thread only. Ownership is the subclass's; the chain's links are back
// references that never own.
#pragma once

#include <memory>

#include "platform/ui/Event.h"
#include "platform/ui/Object.h"

namespace murmelo {

class Responder : public Object {
public:
    ~Responder() override;

    virtual Responder* nextResponder() const { return nullptr; }

    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool canResignFirstResponder() const { return true; }
    // False when this cannot become first responder, is not owned by a
    // shared_ptr, or the current first responder refuses to resign.
    virtual bool becomeFirstResponder();
    // True when this is not (or no longer) the first responder.
    virtual bool resignFirstResponder();
    bool isFirstResponder() const;
    static std::shared_ptr<Responder> currentFirstResponder();

    // Defaults pass the touches to the next responder.
    virtual void touchesBegan(const TouchSet& touches, const Event* event);
    virtual void touchesMoved(const TouchSet& touches, const Event* event);
    virtual void touchesEnded(const TouchSet& touches, const Event* event);
    virtual void touchesCancelled(const TouchSet& touches, const Event* event);

protected:
    // Hooks after the first-responder slot changed.
    virtual void didBecomeFirstResponder() {}
    virtual void didResignFirstResponder() {}
};

} // namespace murmelo
