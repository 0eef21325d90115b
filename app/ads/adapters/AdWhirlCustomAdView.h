// AdWhirlCustomAdView: a house ad, 320 by 50. Type 1 is a banner image
// centred in the view; type 2 a 39-point icon in a rounded frame beside up to
// three lines of text, over a white ground shaded towards both edges with the
// background colour; types 3 to 5 draw nothing but stay tappable. A
// transparent button covering the view glows while touched and reports a tap
// (touch up inside) to the delegate.
//
//   auto ad = AdWhirlCustomAdView::create(delegate, fields, background, text);
//   ad->setImage(image); // drawn on the next pass of the screen
//
// Main thread. The delegate (the house-ad adapter) is held weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/Image.h"
#include "platform/net/URL.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"

namespace murmelo {

class AdWhirlCustomAdView;

class AdWhirlCustomAdViewDelegate {
public:
    virtual ~AdWhirlCustomAdViewDelegate() = default;
    virtual void adTapped(AdWhirlCustomAdView& adView) = 0;
};

// The text ad's font, and the face the device draws it with.
inline constexpr const char* kCustomAdFontName = "TrebuchetMS-Bold";
inline constexpr double kCustomAdFontSize = 13;

class AdWhirlCustomAdView : public Button {
public:
    struct Content {
        std::optional<std::string> text;
        std::optional<URL> redirectURL;
        std::optional<URL> clickMetricsURL;
        int adType = 1;
        int launchType = 2;
        int animType = 0;
    };

    static std::shared_ptr<AdWhirlCustomAdView> create(std::weak_ptr<AdWhirlCustomAdViewDelegate> delegate,
                                                       Content content, std::optional<Color> backgroundColor,
                                                       std::optional<Color> textColor);
    AdWhirlCustomAdView(std::weak_ptr<AdWhirlCustomAdViewDelegate> delegate, Content content,
                        std::optional<Color> backgroundColor, std::optional<Color> textColor);

    const std::shared_ptr<const Image>& image() const { return m_image; }
    void setImage(std::shared_ptr<const Image> image);
    const std::shared_ptr<Label>& textLabel() const { return m_textLabel; }
    const std::shared_ptr<Button>& tapButton() const { return m_tapButton; }
    const std::optional<URL>& redirectURL() const { return m_content.redirectURL; }
    const std::optional<URL>& clickMetricsURL() const { return m_content.clickMetricsURL; }
    int adType() const { return m_content.adType; }
    int launchType() const { return m_content.launchType; }
    int animType() const { return m_content.animType; }
    const std::optional<Color>& adBackgroundColor() const { return m_backgroundColor; }
    const std::optional<Color>& textColor() const { return m_textColor; }
    void setDelegate(std::weak_ptr<AdWhirlCustomAdViewDelegate> delegate) {
        m_delegate = std::move(delegate);
    }

    void buttonTapUp();

    void drawRect(DrawingContext& context, const Rect& rect) override;
    void dump(ScreenDumpWriter& writer) const override;

private:
    void build();
    void drawTextAd(DrawingContext& context);

    std::weak_ptr<AdWhirlCustomAdViewDelegate> m_delegate;
    std::shared_ptr<const Image> m_image;
    std::shared_ptr<Label> m_textLabel;
    std::shared_ptr<Button> m_tapButton;
    Content m_content;
    std::optional<Color> m_backgroundColor;
    std::optional<Color> m_textColor;
};

} // namespace murmelo
