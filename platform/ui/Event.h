// Touches and events as the screen delivers them to responders. A Touch is
// one finger at one moment: the view it started in, its window, where it is
// in window coordinates, its phase and tap count. An Event carries the
// touches of one delivery.
//
// Value types made by the screen (the interaction API) and handed to
// responders on the main thread; a touch keeps its view and window alive
// for the delivery.
#pragma once

#include <memory>
#include <vector>

#include "platform/graphics/Geometry.h"

namespace murmelo {

class View;
class Window;

enum class TouchPhase { Began, Moved, Stationary, Ended, Cancelled };
enum class EventType { Touches, Motion, RemoteControl };

struct Touch {
    std::shared_ptr<View> view;
    std::shared_ptr<Window> window;
    Point locationInWindow;
    Point previousLocationInWindow;
    TouchPhase phase = TouchPhase::Began;
    int tapCount = 1;
    double timestamp = 0;

    // The location in `view`'s own coordinates (null: window coordinates).
    Point locationInView(const View* inView) const;
};

using TouchSet = std::vector<Touch>;

struct Event {
    EventType type = EventType::Touches;
    double timestamp = 0;
    TouchSet touches;
};

} // namespace murmelo
