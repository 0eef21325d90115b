#include "platform/ui/Event.h"

#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace murmelo {

Point Touch::locationInView(const View* inView) const {
    if (!window || !inView) {
        return locationInWindow;
    }
    return inView->convertPointFromView(locationInWindow, window.get());
}

} // namespace murmelo
