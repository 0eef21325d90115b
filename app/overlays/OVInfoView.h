// OVInfoView: a black translucent strip, 50 points high and as wide as the
// frame it is made for, that slides up onto the bottom edge of its
// superview with one line of text (show) and slides back below it (hide).
//
//   auto strip = OVInfoView::infoViewWithSuperviewFrame(screen->view()->frame());
//   screen->view()->addSubview(strip);
//   strip->setInfo("Saved");
//   strip->showForTimeInterval(3);   // a second call within 3 s extends it
//
// The automatic hide is one kept timer, cancelled by show() and hide().
// Without a superview show() and hide() do nothing. Positions are taken in
// the superview's own coordinates (its bounds), so the strip lands on the
// bottom edge whatever the superview's place in its own superview.
//
// Main thread only. The strip owns its label and its hide timer;
// destroying it cancels the timer.
#pragma once

#include <memory>
#include <string>

#include "platform/runloop/Timer.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

namespace murmelo {

class OVInfoView : public View {
public:
    static constexpr double kHeight = 50;
    static constexpr double kSlideDuration = 0.4;
    static constexpr const char* kShowAnimation = "showProgress";
    static constexpr const char* kHideAnimation = "hideProgress";

    // A strip with frame (0, y + height - 44, width, 50) of `superviewFrame`.
    static std::shared_ptr<OVInfoView> infoViewWithSuperviewFrame(const Rect& superviewFrame);
    explicit OVInfoView(const Rect& frame);
    ~OVInfoView() override;

    void setInfo(std::string info);
    // Brought to the front and slid onto the superview's bottom edge.
    // Cancels a pending automatic hide, as hide() does.
    void show();
    // Slid to just below the superview's bottom edge.
    void hide();
    // show(), then hide() after `seconds`; the pending hide is replaced, so
    // repeated calls extend the display.
    void showForTimeInterval(double seconds);

    const std::shared_ptr<Label>& infoLabel() const { return m_infoLabel; }
    // The pending automatic hide (invalid when none).
    const Timer& hideTimer() const { return m_hideTimer; }

    void dump(ScreenDumpWriter& writer) const override;

private:
    void slideTo(double y, const char* animation);

    std::shared_ptr<Label> m_infoLabel;
    Timer m_hideTimer; // last: cancelled before the label goes
};

} // namespace murmelo
