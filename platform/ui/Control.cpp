#include "platform/ui/Control.h"

#include "platform/ui/MainThread.h"

namespace murmelo {

Control::Control(const Rect& frame) : View(frame) {}

void Control::addTarget(Action action, ControlEvents events) {
    m_registrations.push_back({std::move(action), events});
}

void Control::removeTargetIdentity(const void* identity, ControlEvents events) {
    for (auto& registration : m_registrations) {
        if (registration.action.target() == identity) {
            registration.events = registration.events & ~events;
        }
    }
    std::erase_if(m_registrations, [](const Registration& r) { return r.events == ControlEvents::None; });
}

size_t Control::actionCount(ControlEvents events) const {
    size_t count = 0;
    for (const auto& registration : m_registrations) {
        if (hasAny(registration.events, events)) {
            ++count;
        }
    }
    return count;
}

void Control::sendActionsForControlEvents(ControlEvents events) {
    assertMainThread();
    auto keepAlive = sharedAs<Control>();
    auto registrations = m_registrations; // actions may add or remove targets
    for (const auto& registration : registrations) {
        if (hasAny(registration.events, events)) {
            registration.action.invoke(*this);
        }
    }
}

void Control::setEnabled(bool enabled) {
    m_enabled = enabled;
    if (!enabled) {
        m_highlighted = false;
        m_tracking = false;
    }
    setNeedsDisplay();
}

void Control::setSelected(bool selected) {
    m_selected = selected;
    setNeedsDisplay();
}

void Control::setHighlighted(bool highlighted) {
    m_highlighted = highlighted;
    setNeedsDisplay();
}

ControlState Control::state() const {
    ControlState s = ControlState::Normal;
    if (m_highlighted) {
        s |= ControlState::Highlighted;
    }
    if (!m_enabled) {
        s |= ControlState::Disabled;
    }
    if (m_selected) {
        s |= ControlState::Selected;
    }
    return s;
}

std::string Control::stateSuffix() const {
    std::string suffix;
    if (!m_enabled) {
        suffix += " (disabled)";
    }
    if (m_selected) {
        suffix += " (selected)";
    }
    return suffix;
}

void Control::touchesBegan(const TouchSet& touches, const Event*) {
    if (!m_enabled || touches.empty()) {
        return;
    }
    m_tracking = true;
    setHighlighted(true);
    sendActionsForControlEvents(touches.front().tapCount > 1
                                    ? ControlEvents::TouchDown | ControlEvents::TouchDownRepeat
                                    : ControlEvents::TouchDown);
}

void Control::touchesMoved(const TouchSet& touches, const Event*) {
    if (!m_tracking || touches.empty()) {
        return;
    }
    bool inside = bounds().contains(touches.front().locationInView(this));
    if (inside != m_highlighted) {
        setHighlighted(inside);
        sendActionsForControlEvents(inside ? ControlEvents::TouchDragEnter : ControlEvents::TouchDragExit);
    }
    sendActionsForControlEvents(inside ? ControlEvents::TouchDragInside : ControlEvents::TouchDragOutside);
}

void Control::touchesEnded(const TouchSet& touches, const Event*) {
    if (!m_tracking || touches.empty()) {
        return;
    }
    m_tracking = false;
    setHighlighted(false);
    bool inside = bounds().contains(touches.front().locationInView(this));
    sendActionsForControlEvents(inside ? ControlEvents::TouchUpInside : ControlEvents::TouchUpOutside);
}

void Control::touchesCancelled(const TouchSet&, const Event*) {
    if (!m_tracking) {
        return;
    }
    m_tracking = false;
    setHighlighted(false);
    sendActionsForControlEvents(ControlEvents::TouchCancel);
}

} // namespace murmelo
