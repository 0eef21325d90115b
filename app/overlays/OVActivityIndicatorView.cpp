#include "app/overlays/OVActivityIndicatorView.h"

#include <cmath>

#include "platform/graphics/DrawingContext.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

namespace {

constexpr double kLineHeight = 40;

std::shared_ptr<Label> makeLine(double width) {
    auto label = std::make_shared<Label>(Rect(0, 0, width, kLineHeight));
    label->setFont(Font::boldSystemFontOfSize(18));
    label->setTextColor(Color::grayColor());
    label->setBackgroundColor(Color::clearColor());
    label->setTextAlignment(TextAlignment::Center);
    return label;
}

} // namespace

std::shared_ptr<OVActivityIndicatorView> OVActivityIndicatorView::activityIndicatorView() {
    return std::make_shared<OVActivityIndicatorView>(Rect(0, 0, 180, 140));
}

OVActivityIndicatorView::OVActivityIndicatorView(const Rect& frame) : View(frame) {
    setBackgroundColor(Color::clearColor());
    setOpaque(false);
    const double width = bounds().width();
    const double height = bounds().height();
    const Point middle(width / 2, height / 2);

    m_aiView = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::WhiteLarge);
    m_aiView->setHidesWhenStopped(true);
    m_aiView->setCenter(middle);

    m_titleLabel = makeLine(width);
    m_titleLabel->setCenter(Point{middle.x, kLineHeight / 2});
    m_infoLabel = makeLine(width);
    m_infoLabel->setCenter(Point{middle.x, height - kLineHeight / 2});

    // The spinner lies above the labels.
    addSubview(m_titleLabel);
    addSubview(m_infoLabel);
    addSubview(m_aiView);
}

OVActivityIndicatorView::~OVActivityIndicatorView() = default;

void OVActivityIndicatorView::setTitle(std::string title) {
    m_titleLabel->setText(std::move(title));
}

void OVActivityIndicatorView::setInfo(std::string info) {
    m_infoLabel->setText(std::move(info));
}

void OVActivityIndicatorView::show() {
    m_hideTimer.invalidate();
    m_aiView->startAnimating();
    View::beginAnimations(kShowAnimation);
    View::setAnimationDuration(kFadeDuration);
    setAlpha(kShownAlpha);
    View::commitAnimations();
}

void OVActivityIndicatorView::hide() {
    m_hideTimer.invalidate();
    View::beginAnimations(kHideAnimation);
    View::setAnimationDuration(kFadeDuration);
    setAlpha(0);
    View::commitAnimations();
    m_aiView->stopAnimating();
}

void OVActivityIndicatorView::showForTimeInterval(double seconds) {
    show();
    m_hideTimer = Timer(seconds, Timer::Repeats::No, [this] { hide(); });
}

void OVActivityIndicatorView::setRadius(double radius) {
    m_radius = radius;
    setNeedsDisplay();
}

void OVActivityIndicatorView::drawRect(DrawingContext& context, const Rect&) {
    const Rect box = bounds().insetBy(1, 1);
    const double r = m_radius;
    context.setFillColor(Color(0, 0, 0, kShownAlpha));
    context.moveToPoint(box.minX() + r, box.minY());
    context.addArc(box.maxX() - r, box.minY() + r, r, 3 * M_PI / 2, 0, 0);
    context.addArc(box.maxX() - r, box.maxY() - r, r, 0, M_PI / 2, 0);
    context.addArc(box.minX() + r, box.maxY() - r, r, M_PI / 2, M_PI, 0);
    context.addArc(box.minX() + r, box.minY() + r, r, M_PI, 3 * M_PI / 2, 0);
    context.closePath();
    context.fillPath();
}

void OVActivityIndicatorView::dump(ScreenDumpWriter& writer) const {
    writer.line("progress overlay");
    writer.nested([&] { dumpSubviews(writer); });
}

} // namespace murmelo
