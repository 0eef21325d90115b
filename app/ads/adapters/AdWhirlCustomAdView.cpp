#include "app/ads/adapters/AdWhirlCustomAdView.h"

#include <cmath>

#include "platform/graphics/DrawingContext.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

namespace {

constexpr double kWidth = 320;
constexpr double kHeight = 50;
constexpr double kIconSize = 39;
constexpr double kIconX = 4;
constexpr double kCornerRadius = 7;

} // namespace

std::shared_ptr<AdWhirlCustomAdView>
AdWhirlCustomAdView::create(std::weak_ptr<AdWhirlCustomAdViewDelegate> delegate, Content content,
                            std::optional<Color> backgroundColor, std::optional<Color> textColor) {
    auto view = std::make_shared<AdWhirlCustomAdView>(std::move(delegate), std::move(content),
                                                      std::move(backgroundColor), std::move(textColor));
    view->build();
    return view;
}

AdWhirlCustomAdView::AdWhirlCustomAdView(std::weak_ptr<AdWhirlCustomAdViewDelegate> delegate, Content content,
                                         std::optional<Color> backgroundColor, std::optional<Color> textColor)
    : Button(Rect(0, 0, kWidth, kHeight), ButtonType::Custom), m_delegate(std::move(delegate)),
      m_content(std::move(content)), m_backgroundColor(std::move(backgroundColor)),
      m_textColor(std::move(textColor)) {}

void AdWhirlCustomAdView::build() {
    if (m_content.adType == 2) {
        m_textLabel = std::make_shared<Label>(Rect(50, 0, 270, kHeight));
        m_textLabel->setText(m_content.text.value_or(""));
        m_textLabel->setTextColor(m_textColor.value_or(Color::whiteColor()));
        m_textLabel->setNumberOfLines(3);
        m_textLabel->setBackgroundColor(Color::clearColor());
        m_textLabel->setFont(Font::fontWithName(kCustomAdFontName, kCustomAdFontSize));
        addSubview(m_textLabel);
    }
    m_tapButton = std::make_shared<Button>(Rect(0, 0, kWidth, kHeight), ButtonType::Custom);
    m_tapButton->setShowsTouchWhenHighlighted(true);
    std::weak_ptr<AdWhirlCustomAdView> weakSelf = sharedAs<AdWhirlCustomAdView>();
    m_tapButton->addAction(
        [weakSelf](Control&) {
            if (auto self = weakSelf.lock()) {
                self->buttonTapUp();
            }
        },
        ControlEvents::TouchUpInside);
    addSubview(m_tapButton);
}

void AdWhirlCustomAdView::setImage(std::shared_ptr<const Image> image) {
    m_image = std::move(image);
    setNeedsDisplay();
}

void AdWhirlCustomAdView::buttonTapUp() {
    if (auto delegate = m_delegate.lock()) {
        delegate->adTapped(*this);
    }
}

void AdWhirlCustomAdView::drawRect(DrawingContext& context, const Rect&) {
    const Size size = bounds().size;
    if (m_content.adType == 1) {
        if (m_image) {
            const Size imageSize = m_image->size();
            context.drawImageAtPoint(
                *m_image, Point{(size.width - imageSize.width) / 2, (size.height - imageSize.height) / 2});
        }
    } else if (m_content.adType == 2) {
        drawTextAd(context);
    }
}

void AdWhirlCustomAdView::drawTextAd(DrawingContext& context) {
    const Size size = bounds().size;
    context.setFillColor(Color::whiteColor());
    context.fillRect(Rect(0, 0, size.width, size.height));

    // Lighter at both edges: the same ramp from the top and from the bottom
    // edge towards the middle.
    const Color background = m_backgroundColor.value_or(Color::colorWithWhite(0.3));
    if (auto gradient = Gradient::withColors({background.withAlphaComponent(0.6), background, background},
                                             {0.0, 0.7, 1.0})) {
        const double middle = size.height / 2;
        context.drawLinearGradient(*gradient, Point{0, 0}, Point{0, middle});
        context.drawLinearGradient(*gradient, Point{0, size.height}, Point{0, middle});
    }

    const double y0 = (size.height - kIconSize) / 2;
    const double left = kIconX + kCornerRadius;              // 11
    const double right = kIconX + kIconSize - kCornerRadius; // 36
    const double top = y0 + kCornerRadius;
    const double bottom = y0 + kIconSize - kCornerRadius;
    if (m_image) {
        context.saveGState();
        context.beginPath();
        context.addArc(left, top, kCornerRadius, M_PI, 3 * M_PI / 2, 0);
        context.addArc(right, top, kCornerRadius, 3 * M_PI / 2, 0, 0);
        context.addArc(right, bottom, kCornerRadius, 0, M_PI / 2, 0);
        context.addArc(left, bottom, kCornerRadius, M_PI / 2, M_PI, 0);
        context.closePath();
        context.clip();
        context.drawImageAtPoint(*m_image, Point{kIconX, y0});
        context.restoreGState();
    }

    // The frame: shaded darker on the lower left, lit on the upper right.
    context.setLineWidth(0.5);
    context.setGrayStrokeColor(0.4, 1);
    context.beginPath();
    context.moveToPoint(kIconX, bottom);
    context.addArc(left, top, kCornerRadius, M_PI, 5 * M_PI / 4, 0);
    context.strokePath();

    context.setGrayStrokeColor(0.9, 1);
    context.beginPath();
    context.addArc(left, top, kCornerRadius, 5 * M_PI / 4, 3 * M_PI / 2, 0);
    context.addArc(right, top, kCornerRadius, 3 * M_PI / 2, 0, 0);
    context.addArc(right, bottom, kCornerRadius, 0, M_PI / 4, 0);
    context.strokePath();

    context.setGrayStrokeColor(0.4, 1);
    context.beginPath();
    context.addArc(right, bottom, kCornerRadius, M_PI / 4, M_PI / 2, 0);
    context.addArc(left, bottom, kCornerRadius, M_PI / 2, M_PI, 0);
    context.strokePath();
}

void AdWhirlCustomAdView::dump(ScreenDumpWriter& writer) const {
    std::string line = "house ad type " + std::to_string(m_content.adType);
    if (m_content.adType == 2 && m_content.text) {
        line += " " + ScreenDumpWriter::quote(*m_content.text);
    }
    if (m_image) {
        const Size size = m_image->size();
        line += " image " + std::to_string(static_cast<int>(std::lround(size.width))) + "x" +
                std::to_string(static_cast<int>(std::lround(size.height)));
    } else {
        line += " no image";
    }
    if (m_content.redirectURL) {
        line += " -> " + m_content.redirectURL->absoluteString();
    }
    writer.line(line);
}

} // namespace murmelo
