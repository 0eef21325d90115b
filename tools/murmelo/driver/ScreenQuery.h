// ScreenQuery: finds what a person sees — visible views of every window,
// the front-most first, the way the interaction API hit-tests them.
// Main thread only; stateless.
#pragma once

#include <vector>

namespace murmelo {
class View;
class Window;
} // namespace murmelo

namespace murmelo::driver {

// Visible views of `window` in reading order (back to front).
std::vector<View*> visibleViewsOf(Window& window);
// Every visible view on the screen, the front-most first.
std::vector<View*> visibleViewsFrontFirst();

template <class T> T* frontMostVisible() {
    for (View* view : visibleViewsFrontFirst()) {
        if (auto* typed = dynamic_cast<T*>(view)) {
            return typed;
        }
    }
    return nullptr;
}

} // namespace murmelo::driver
