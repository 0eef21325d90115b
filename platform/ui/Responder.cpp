#include "platform/ui/Responder.h"

#include "platform/ui/Keyboard.h"
#include "platform/ui/MainThread.h"

namespace murmelo {

namespace {
// The process's one first responder.
std::weak_ptr<Responder>& firstResponderSlot() {
    static std::weak_ptr<Responder> slot;
    return slot;
}

// Identity of the first responder, to notice it being destroyed (its weak
// reference has expired by then).
const Responder*& firstResponderIdentity() {
    static const Responder* identity = nullptr;
    return identity;
}

// While one responder takes over from another, the keyboard does not go
// down in between.
bool& handingOver() {
    static bool flag = false;
    return flag;
}
} // namespace

Responder::~Responder() {
    if (firstResponderIdentity() == this) {
        // The keyboard goes with its input.
        firstResponderIdentity() = nullptr;
        firstResponderSlot().reset();
        Keyboard::firstResponderChanged();
    }
}

bool Responder::becomeFirstResponder() {
    assertMainThread();
    if (isFirstResponder()) {
        return true;
    }
    if (!canBecomeFirstResponder()) {
        return false;
    }
    auto self = sharedAs<Responder>();
    if (!self) {
        return false;
    }
    if (auto current = firstResponderSlot().lock()) {
        handingOver() = true;
        bool resigned = current->resignFirstResponder();
        handingOver() = false;
        if (!resigned) {
            Keyboard::firstResponderChanged();
            return false;
        }
    }
    firstResponderSlot() = self;
    firstResponderIdentity() = this;
    didBecomeFirstResponder();
    Keyboard::firstResponderChanged();
    return true;
}

bool Responder::resignFirstResponder() {
    assertMainThread();
    if (!isFirstResponder()) {
        return true;
    }
    if (!canResignFirstResponder()) {
        return false;
    }
    firstResponderSlot().reset();
    firstResponderIdentity() = nullptr;
    didResignFirstResponder();
    if (!handingOver()) {
        Keyboard::firstResponderChanged();
    }
    return true;
}

bool Responder::isFirstResponder() const {
    auto current = firstResponderSlot().lock();
    return current.get() == this;
}

std::shared_ptr<Responder> Responder::currentFirstResponder() {
    return firstResponderSlot().lock();
}

void Responder::touchesBegan(const TouchSet& touches, const Event* event) {
    if (auto* next = nextResponder()) {
        next->touchesBegan(touches, event);
    }
}

void Responder::touchesMoved(const TouchSet& touches, const Event* event) {
    if (auto* next = nextResponder()) {
        next->touchesMoved(touches, event);
    }
}

void Responder::touchesEnded(const TouchSet& touches, const Event* event) {
    if (auto* next = nextResponder()) {
        next->touchesEnded(touches, event);
    }
}

void Responder::touchesCancelled(const TouchSet& touches, const Event* event) {
    if (auto* next = nextResponder()) {
        next->touchesCancelled(touches, event);
    }
}

} // namespace murmelo
