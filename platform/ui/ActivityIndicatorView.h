// ActivityIndicatorView: the spinner — large white (37 points), white or
// gray (20 points). It hides itself while stopped unless told not to.
// Main thread only.
#pragma once

#include "platform/ui/View.h"

namespace murmelo {

enum class ActivityIndicatorViewStyle { WhiteLarge = 0, White = 1, Gray = 2 };

class ActivityIndicatorView : public View {
public:
    // initWithActivityIndicatorStyle: — sized for the style, stopped.
    explicit ActivityIndicatorView(ActivityIndicatorViewStyle style = ActivityIndicatorViewStyle::White);

    ActivityIndicatorViewStyle activityIndicatorViewStyle() const { return m_style; }
    void setActivityIndicatorViewStyle(ActivityIndicatorViewStyle style) { m_style = style; }
    bool hidesWhenStopped() const { return m_hidesWhenStopped; }
    void setHidesWhenStopped(bool hides);

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return m_animating; }

    void dump(ScreenDumpWriter& writer) const override;

private:
    ActivityIndicatorViewStyle m_style;
    bool m_hidesWhenStopped = true;
    bool m_animating = false;
};

} // namespace murmelo
