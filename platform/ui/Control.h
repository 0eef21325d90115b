// Control: a view that turns touches into actions — buttons, text fields,
// segmented controls. Targets register for control events; a touch that
// starts in an enabled control highlights it and sends TouchDown, and its end
// sends TouchUpInside (inside the bounds) or TouchUpOutside. A disabled
// control takes touches but sends nothing.
//
// Main thread only. Targets are held weakly (TargetAction); a control keeps
// itself alive while it sends actions (an action may remove it).
//
//   button->addTarget(self, &Form::postComment, ControlEvents::TouchUpInside);
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/core/Flags.h"
#include "platform/ui/TargetAction.h"
#include "platform/ui/View.h"

namespace murmelo {

enum class ControlEvents : unsigned {
    None = 0,
    TouchDown = 1u << 0,
    TouchDownRepeat = 1u << 1,
    TouchDragInside = 1u << 2,
    TouchDragOutside = 1u << 3,
    TouchDragEnter = 1u << 4,
    TouchDragExit = 1u << 5,
    TouchUpInside = 1u << 6,
    TouchUpOutside = 1u << 7,
    TouchCancel = 1u << 8,
    ValueChanged = 1u << 12,
    EditingDidBegin = 1u << 16,
    EditingChanged = 1u << 17,
    EditingDidEnd = 1u << 18,
    EditingDidEndOnExit = 1u << 19,
    AllTouchEvents = 0x00000FFFu,
    AllEditingEvents = 0x000F0000u,
    AllEvents = 0xFFFFFFFFu,
};
template <> struct EnableFlags<ControlEvents> : std::true_type {};

enum class ControlState : unsigned {
    Normal = 0,
    Highlighted = 1u << 0,
    Disabled = 1u << 1,
    Selected = 1u << 2,
};
template <> struct EnableFlags<ControlState> : std::true_type {};

class Control : public View {
public:
    using Action = TargetAction<Control>;

    explicit Control(const Rect& frame = {});

    void addTarget(Action action, ControlEvents events);
    template <class T, class M>
    void addTarget(const std::shared_ptr<T>& target, M action, ControlEvents events) {
        addTarget(Action(target, action), events);
    }
    void addAction(std::function<void(Control&)> closure, ControlEvents events) {
        addTarget(Action(std::move(closure)), events);
    }
    // Removes the target's registrations for these events.
    template <class T> void removeTarget(const std::shared_ptr<T>& target, ControlEvents events) {
        removeTargetIdentity(internal::identityOf(target.get()), events);
    }
    // How many registrations fire for any of these events.
    size_t actionCount(ControlEvents events) const;
    void sendActionsForControlEvents(ControlEvents events);

    bool isEnabled() const { return m_enabled; }
    virtual void setEnabled(bool enabled);
    bool isSelected() const { return m_selected; }
    virtual void setSelected(bool selected);
    bool isHighlighted() const { return m_highlighted; }
    virtual void setHighlighted(bool highlighted);
    ControlState state() const;
    bool isTracking() const { return m_tracking; }

    void touchesBegan(const TouchSet& touches, const Event* event) override;
    void touchesMoved(const TouchSet& touches, const Event* event) override;
    void touchesEnded(const TouchSet& touches, const Event* event) override;
    void touchesCancelled(const TouchSet& touches, const Event* event) override;

protected:
    // " (disabled)", " (selected)" as the dump marks a control.
    std::string stateSuffix() const;

private:
    struct Registration {
        Action action;
        ControlEvents events;
    };
    void removeTargetIdentity(const void* identity, ControlEvents events);

    std::vector<Registration> m_registrations;
    bool m_enabled = true;
    bool m_selected = false;
    bool m_highlighted = false;
    bool m_tracking = false;
};

} // namespace murmelo
