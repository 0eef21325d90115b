#include "app/overlays/OVInfoView.h"

#include "platform/ui/ScreenDump.h"

namespace murmelo {

std::shared_ptr<OVInfoView> OVInfoView::infoViewWithSuperviewFrame(const Rect& superviewFrame) {
    return std::make_shared<OVInfoView>(
        Rect(0, superviewFrame.y() + superviewFrame.height() - 44, superviewFrame.width(), kHeight));
}

OVInfoView::OVInfoView(const Rect& frame) : View(frame) {
    m_infoLabel = std::make_shared<Label>(Rect(0, 5, frame.width(), 40));
    m_infoLabel->setFont(Font::boldSystemFontOfSize(18));
    m_infoLabel->setTextColor(Color::grayColor());
    m_infoLabel->setBackgroundColor(Color::clearColor());
    m_infoLabel->setTextAlignment(TextAlignment::Center);
    addSubview(m_infoLabel);
    setAlpha(0.8);
    setBackgroundColor(Color::blackColor());
}

OVInfoView::~OVInfoView() = default;

void OVInfoView::setInfo(std::string info) {
    m_infoLabel->setText(std::move(info));
}

void OVInfoView::slideTo(double y, const char* animation) {
    Rect target = frame();
    target.origin.y = y;
    View::beginAnimations(animation);
    View::setAnimationDuration(kSlideDuration);
    setFrame(target);
    View::commitAnimations();
}

void OVInfoView::show() {
    m_hideTimer.invalidate();
    View* parent = superview();
    if (!parent) {
        return;
    }
    parent->bringSubviewToFront(*this);
    const Rect& area = parent->bounds();
    slideTo(area.y() + area.height() - frame().height(), kShowAnimation);
}

void OVInfoView::hide() {
    m_hideTimer.invalidate();
    View* parent = superview();
    if (!parent) {
        return;
    }
    const Rect& area = parent->bounds();
    slideTo(area.y() + area.height(), kHideAnimation);
}

void OVInfoView::showForTimeInterval(double seconds) {
    show();
    m_hideTimer = Timer(seconds, Timer::Repeats::No, [this] { hide(); });
}

void OVInfoView::dump(ScreenDumpWriter& writer) const {
    writer.line("info strip");
    writer.nested([&] { dumpSubviews(writer); });
}

} // namespace murmelo
