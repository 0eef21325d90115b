// OVActivityIndicatorView: the modal progress overlay — a dark translucent
// rounded rectangle (180 by 140 points by default) with a large white
// spinner in its middle, a title line above it and an info line below it.
// It fades in (show) and out (hide) over 0.4 s.
//
//   auto overlay = OVActivityIndicatorView::activityIndicatorView();
//   overlay->setCenter(screen->view()->center());
//   screen->view()->addSubview(overlay);
//   overlay->setInfo(localizedString("Posting Secret"));
//   overlay->show();            // ... and later overlay->hide();
//
// The automatic hide of showForTimeInterval() is one kept timer: a later
// show() or hide() cancels it and a later showForTimeInterval() restarts
// it, so a timer left from an earlier call never hides a later show().
//
// Main thread only (the timer runs on the main run loop). The overlay owns
// its spinner, its labels and its timer; destroying it cancels the timer.
#pragma once

#include <memory>
#include <string>

#include "platform/runloop/Timer.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

namespace murmelo {

class OVActivityIndicatorView : public View {
public:
    static constexpr double kDefaultRadius = 10;
    // The overlay's alpha while shown; the drawn fill has the same alpha.
    static constexpr double kShownAlpha = 0.85;
    static constexpr double kFadeDuration = 0.4;
    static constexpr const char* kShowAnimation = "showProgress";
    static constexpr const char* kHideAnimation = "hideProgress";

    // A new overlay with frame (0, 0, 180, 140).
    static std::shared_ptr<OVActivityIndicatorView> activityIndicatorView();
    // initWithFrame: — the spinner centred, the title filling the top 40
    // points and the info the bottom 40. Fully opaque until the first
    // show() or hide().
    explicit OVActivityIndicatorView(const Rect& frame);
    ~OVActivityIndicatorView() override;

    void setTitle(std::string title);
    void setInfo(std::string info);

    // Starts the spinner and fades in to kShownAlpha; cancels a pending
    // automatic hide.
    void show();
    // Fades out to 0 and stops (hides) the spinner at once; cancels a
    // pending automatic hide.
    void hide();
    // show(), then hide() after `seconds` unless something else comes first.
    void showForTimeInterval(double seconds);
    // Whether an automatic hide is pending.
    bool hasPendingHide() const { return m_hideTimer.isValid(); }

    // Corner radius of the drawn rectangle; shows at the next redraw.
    double radius() const { return m_radius; }
    void setRadius(double radius);

    const std::shared_ptr<ActivityIndicatorView>& aiView() const { return m_aiView; }
    const std::shared_ptr<Label>& titleLabel() const { return m_titleLabel; }
    const std::shared_ptr<Label>& infoLabel() const { return m_infoLabel; }

    void drawRect(DrawingContext& context, const Rect& rect) override;
    void dump(ScreenDumpWriter& writer) const override;

private:
    std::shared_ptr<ActivityIndicatorView> m_aiView;
    std::shared_ptr<Label> m_titleLabel;
    std::shared_ptr<Label> m_infoLabel;
    double m_radius = kDefaultRadius;
    Timer m_hideTimer; // last: cancelled before the views go
};

} // namespace murmelo
