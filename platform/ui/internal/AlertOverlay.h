// AlertOverlay: the window of alert level in which alerts and action sheets
// are shown, newest in front. Only the front panel is visible and gets
// touches; the others wait behind it and come back as the ones in front go.
// While any panel is shown the overlay is the key window; the key window
// from before gets the key back when the last panel goes.
//
// One documented instance; main thread only. The overlay owns its window and
// the shown panels (as subviews of that window).
#pragma once

#include <memory>
#include <vector>

namespace murmelo {
class View;
class Window;
} // namespace murmelo

namespace murmelo::internal {

class AlertOverlay {
public:
    static AlertOverlay& shared();

    void show(std::shared_ptr<View> panel);
    void remove(View& panel);
    bool contains(const View& panel) const;
    // Back to front.
    std::vector<std::shared_ptr<View>> panels() const;
    std::shared_ptr<View> front() const;
    // The overlay window, made on first use.
    std::shared_ptr<Window> window();
    // Removes every panel (tests).
    void reset();

private:
    void restoreFront();

    std::shared_ptr<Window> m_window;
    std::weak_ptr<Window> m_previousKey;
};

} // namespace murmelo::internal
