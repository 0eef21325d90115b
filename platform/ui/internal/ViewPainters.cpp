#include "platform/ui/internal/ViewPainters.h"

#include <cmath>

#include "platform/graphics/FontLibrary.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/SearchBar.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"

namespace murmelo::internal {

namespace {

const Color kBarTop(0.69, 0.74, 0.80);
const Color kBarBottom(0.43, 0.52, 0.64);
const Color kSelectedBlue(0.16, 0.45, 0.90);
const Color kPlaceholderGrey = Color::colorWithWhite(0.7);

Color mix(const Color& a, const Color& b, double t) {
    return Color(a.red() + (b.red() - a.red()) * t, a.green() + (b.green() - a.green()) * t,
                 a.blue() + (b.blue() - a.blue()) * t, a.alpha() + (b.alpha() - a.alpha()) * t);
}

void verticalGradient(DrawingContext& c, const Rect& r, const Color& top, const Color& bottom) {
    if (auto g = Gradient::withColors({top, bottom})) {
        c.saveGState();
        c.clipToRect(r);
        c.drawLinearGradient(*g, {r.x(), r.minY()}, {r.x(), r.maxY()});
        c.restoreGState();
    }
}

size_t codePoints(const std::string& text) {
    size_t n = 0;
    for (unsigned char ch : text) {
        n += (ch & 0xC0) != 0x80;
    }
    return n;
}

// Text of one line centred vertically in `rect`.
void drawLine(DrawingContext& c, const std::string& text, const Rect& rect, const Font& font,
              const Color& color, TextAlignment alignment,
              LineBreakMode mode = LineBreakMode::TailTruncation) {
    if (text.empty()) {
        return;
    }
    Size size = FontLibrary::shared().sizeOfText(text, font, rect.width(), 1);
    c.saveGState();
    c.setFillColor(color);
    c.drawText(text, Rect(rect.x(), rect.y() + (rect.height() - size.height) / 2, rect.width(), size.height),
               font, alignment, mode, 1);
    c.restoreGState();
}

void paintRoundedBox(DrawingContext& c, const Rect& r, double radius, const Color& fill, const Color& stroke,
                     double lineWidth = 1) {
    c.saveGState();
    c.setFillColor(fill);
    c.addRoundedRect(r, radius);
    c.fillPath();
    if (lineWidth > 0) {
        c.setStrokeColor(stroke);
        c.setLineWidth(lineWidth);
        c.addRoundedRect(r.insetBy(lineWidth / 2, lineWidth / 2), radius);
        c.strokePath();
    }
    c.restoreGState();
}

Color barTint(BarStyle style, const std::optional<Color>& tint) {
    if (tint && !tint->patternImage()) {
        return *tint;
    }
    return style == BarStyle::Default ? kBarBottom : Color::colorWithWhite(0.12);
}

// ---- the classes

void paintLabel(DrawingContext& c, const Label& label) {
    if (label.text().empty()) {
        return;
    }
    const Rect& b = label.bounds();
    Size size =
        FontLibrary::shared().sizeOfText(label.text(), label.font(), b.width(), label.numberOfLines());
    // Labels centre their text vertically.
    double y = b.y() + std::floor((b.height() - size.height) / 2);
    c.saveGState();
    c.setFillColor(label.isEnabled() ? label.textColor() : Color::colorWithWhite(0.55));
    c.drawText(label.text(), Rect(b.x(), y, b.width(), size.height), label.font(), label.textAlignment(),
               label.lineBreakMode(), label.numberOfLines());
    c.restoreGState();
}

bool inPanel(const View& view) {
    return dynamic_cast<const ButtonPanel*>(view.superview()) != nullptr;
}

void paintButton(DrawingContext& c, const Button& button) {
    const Rect& b = button.bounds();
    if (auto background = button.currentBackgroundImage()) {
        c.drawImage(*background, b);
    } else if (button.buttonType() == ButtonType::RoundedRect) {
        Color fill = button.backgroundColor().value_or(Color::whiteColor());
        if (inPanel(button)) {
            // Alert and sheet buttons: glassy and light, over the dark panel.
            auto* sheet = dynamic_cast<const ActionSheet*>(button.superview());
            bool destructive = false;
            if (sheet) {
                auto own = sheet->buttonAtIndex(sheet->destructiveButtonIndex());
                destructive = own.get() == &button;
            }
            fill = destructive ? Color(1, 0.62, 0.6) : Color(0.92, 0.93, 0.96);
        }
        if (button.isHighlighted()) {
            fill = kSelectedBlue;
        }
        paintRoundedBox(c, b.insetBy(0.5, 0.5), 8, fill, Color::colorWithWhite(0.55));
        if (auto g = Gradient::withColors({Color(1, 1, 1, 0.35), Color(1, 1, 1, 0)})) {
            c.saveGState();
            c.addRoundedRect(b.insetBy(1, 1), 8);
            c.clip();
            c.drawLinearGradient(*g, {0, b.minY()}, {0, b.midY()});
            c.restoreGState();
        }
    }
    if (auto image = button.currentImage()) {
        Size s = image->size();
        bool titled = button.currentTitle() && !button.currentTitle()->empty();
        double x = titled ? b.x() + 6 : b.midX() - s.width / 2;
        c.drawImage(*image, Rect(x, b.midY() - s.height / 2, s.width, s.height));
    }
    if (!button.isEnabled()) {
        c.saveGState();
        c.setFillColor(Color(1, 1, 1, 0.35));
        c.fillRect(b);
        c.restoreGState();
    }
}

void paintImageView(DrawingContext& c, const ImageView& view) {
    const auto& image = view.image();
    if (!image) {
        return;
    }
    const Rect& b = view.bounds();
    Size s = image->size();
    if (s.width <= 0 || s.height <= 0) {
        return;
    }
    Rect target = b;
    switch (view.contentMode()) {
    case ContentMode::ScaleToFill:
    case ContentMode::Redraw:
        break;
    case ContentMode::ScaleAspectFit:
    case ContentMode::ScaleAspectFill: {
        double fx = b.width() / s.width, fy = b.height() / s.height;
        double f = view.contentMode() == ContentMode::ScaleAspectFit ? std::min(fx, fy) : std::max(fx, fy);
        target = Rect(b.midX() - s.width * f / 2, b.midY() - s.height * f / 2, s.width * f, s.height * f);
        break;
    }
    default: {
        double x = b.midX() - s.width / 2, y = b.midY() - s.height / 2;
        switch (view.contentMode()) {
        case ContentMode::Top:
            y = b.minY();
            break;
        case ContentMode::Bottom:
            y = b.maxY() - s.height;
            break;
        case ContentMode::Left:
            x = b.minX();
            break;
        case ContentMode::Right:
            x = b.maxX() - s.width;
            break;
        case ContentMode::TopLeft:
            x = b.minX(), y = b.minY();
            break;
        case ContentMode::TopRight:
            x = b.maxX() - s.width, y = b.minY();
            break;
        case ContentMode::BottomLeft:
            x = b.minX(), y = b.maxY() - s.height;
            break;
        case ContentMode::BottomRight:
            x = b.maxX() - s.width, y = b.maxY() - s.height;
            break;
        default:
            break;
        }
        target = Rect(x, y, s.width, s.height);
    }
    }
    c.drawImage(*image, target);
}

void paintTextField(DrawingContext& c, const TextField& field) {
    const Rect& b = field.bounds();
    double inset = 2;
    switch (field.borderStyle()) {
    case TextBorderStyle::RoundedRect:
        paintRoundedBox(c, b.insetBy(0.5, 0.5), 6, field.backgroundColor().value_or(Color::whiteColor()),
                        Color::colorWithWhite(0.6));
        inset = 8;
        break;
    case TextBorderStyle::Bezel:
        c.saveGState();
        c.setFillColor(field.backgroundColor().value_or(Color::whiteColor()));
        c.fillRect(b);
        c.setStrokeColor(Color::colorWithWhite(0.4));
        c.strokeRect(b.insetBy(0.5, 0.5));
        c.restoreGState();
        inset = 6;
        break;
    case TextBorderStyle::Line:
        c.saveGState();
        c.setStrokeColor(Color::blackColor());
        c.strokeRect(b.insetBy(0.5, 0.5));
        c.restoreGState();
        inset = 4;
        break;
    case TextBorderStyle::None:
        break;
    }
    Rect area = b.insetBy(inset, 0);
    std::string shown = field.text();
    if (field.isSecureTextEntry()) {
        shown.clear();
        for (size_t i = 0; i < codePoints(field.text()); ++i) {
            shown += "\xE2\x80\xA2"; // •
        }
    }
    if (shown.empty() && field.placeholder()) {
        drawLine(c, *field.placeholder(), area, field.font(), kPlaceholderGrey, field.textAlignment());
    } else {
        drawLine(c, shown, area, field.font(), field.textColor(), field.textAlignment(),
                 LineBreakMode::HeadTruncation);
    }
    if (field.isEditing()) {
        Size size = FontLibrary::shared().sizeOfText(shown, field.font());
        double x = area.x() + std::min(size.width, area.width()) + 1;
        double h = std::ceil(field.font().pointSize * 1.2);
        c.saveGState();
        c.setFillColor(kSelectedBlue);
        c.fillRect(Rect(x, b.midY() - h / 2, 2, h));
        c.restoreGState();
    }
}

void paintTextView(DrawingContext& c, const TextView& view) {
    const Rect& b = view.bounds();
    c.saveGState();
    c.setFillColor(view.textColor());
    c.drawText(view.text(), b.insetBy(8, 8), view.font(), view.textAlignment());
    c.restoreGState();
}

void paintToolbar(DrawingContext& c, const Toolbar& bar) {
    paintBarBackground(c, bar.bounds(), bar.barStyle(), bar.tintColor());
    Color buttonFill = mix(barTint(bar.barStyle(), bar.tintColor()), Color::blackColor(), 0.25);
    auto frames = bar.itemFrames();
    const auto& items = bar.items();
    for (size_t i = 0; i < items.size() && i < frames.size(); ++i) {
        const BarButtonItem& item = *items[i];
        if (item.isSpace() || item.customView()) {
            continue; // custom views are subviews and draw themselves
        }
        Rect f = frames[i];
        c.saveGState();
        if (!item.isEnabled()) {
            c.setAlpha(0.4);
        }
        Rect button(f.x(), bar.bounds().midY() - 15, f.width(), 30);
        if (item.systemItem()) {
            BarButtonSystemItem system = *item.systemItem();
            const char* word = nullptr;
            switch (system) {
            case BarButtonSystemItem::Done:
                word = "Done";
                break;
            case BarButtonSystemItem::Cancel:
                word = "Cancel";
                break;
            case BarButtonSystemItem::Edit:
                word = "Edit";
                break;
            case BarButtonSystemItem::Save:
                word = "Save";
                break;
            case BarButtonSystemItem::Undo:
                word = "Undo";
                break;
            case BarButtonSystemItem::Redo:
                word = "Redo";
                break;
            default:
                break;
            }
            if (word) {
                paintBarButton(c, button, word,
                               system == BarButtonSystemItem::Done ? kSelectedBlue : buttonFill);
            } else {
                if (item.style() != BarButtonItemStyle::Plain) {
                    paintBarButton(c, button, "", buttonFill);
                }
                paintSystemIcon(c, system, Rect(f.midX() - 11, bar.bounds().midY() - 11, 22, 22),
                                Color::whiteColor());
            }
        } else if (item.title()) {
            if (item.style() == BarButtonItemStyle::Plain) {
                drawLine(c, *item.title(), f, Font::boldSystemFontOfSize(12), Color::whiteColor(),
                         TextAlignment::Center);
            } else {
                paintBarButton(c, button, *item.title(),
                               item.style() == BarButtonItemStyle::Done ? kSelectedBlue : buttonFill);
            }
        } else if (item.image()) {
            if (item.style() != BarButtonItemStyle::Plain) {
                paintBarButton(c, button, "", buttonFill);
            }
            Size s = item.image()->size();
            Rect at(f.midX() - s.width / 2, bar.bounds().midY() - s.height / 2, s.width, s.height);
            c.drawImageAsMask(*item.image(), at, Color::whiteColor());
        }
        c.restoreGState();
    }
}

void paintNavigationBar(DrawingContext& c, const NavigationBar& bar) {
    const Rect& b = bar.bounds();
    paintBarBackground(c, b, bar.barStyle(), bar.tintColor());
    double left = 8;
    if (auto back = bar.backButtonFrame(); back && bar.backTitle()) {
        Rect r = *back;
        c.saveGState();
        c.setFillColor(mix(barTint(bar.barStyle(), bar.tintColor()), Color::blackColor(), 0.25));
        double mid = r.midY(), tip = r.minX();
        c.moveToPoint(tip, mid);
        c.addLineToPoint(tip + 12, r.minY());
        c.addLineToPoint(r.maxX() - 5, r.minY());
        c.addArc(r.maxX() - 5, r.minY() + 5, 5, 3 * M_PI / 2, 0, 0);
        c.addArc(r.maxX() - 5, r.maxY() - 5, 5, 0, M_PI / 2, 0);
        c.addLineToPoint(tip + 12, r.maxY());
        c.closePath();
        c.fillPath();
        c.restoreGState();
        drawLine(c, *bar.backTitle(), Rect(r.x() + 10, r.y(), r.width() - 12, r.height()),
                 Font::boldSystemFontOfSize(12), Color::whiteColor(), TextAlignment::Center);
        left = r.maxX() + 6;
    }
    double side = std::max(left, 8.0);
    drawLine(c, bar.topTitle(), Rect(side, 0, b.width() - 2 * side, b.height()),
             Font::boldSystemFontOfSize(20), Color::whiteColor(), TextAlignment::Center);
}

void paintTabBar(DrawingContext& c, const TabBar& bar) {
    const Rect& b = bar.bounds();
    verticalGradient(c, Rect(0, 0, b.width(), b.height() / 2), Color::colorWithWhite(0.24),
                     Color::colorWithWhite(0.12));
    c.saveGState();
    c.setFillColor(Color::colorWithWhite(0.04));
    c.fillRect(Rect(0, b.height() / 2, b.width(), b.height() / 2));
    c.restoreGState();
    auto items = bar.items();
    auto selected = bar.selectedIndex();
    for (size_t i = 0; i < items.size(); ++i) {
        const TabBarItem& item = *items[i];
        Rect f = bar.itemFrame(i);
        bool isSelected = selected && *selected == i;
        if (isSelected) {
            paintRoundedBox(c, f.insetBy(2, 2), 4, Color(1, 1, 1, 0.14), Color(), 0);
        }
        Color tint = isSelected ? Color(0.35, 0.7, 1.0) : Color::colorWithWhite(0.55);
        if (item.image() && item.image()->bitmap()) {
            Size s = item.image()->size();
            double k = std::min({1.0, 30 / std::max(s.width, 1.0), 30 / std::max(s.height, 1.0)});
            Rect at(f.midX() - s.width * k / 2, f.minY() + 3 + (30 - s.height * k) / 2, s.width * k,
                    s.height * k);
            c.drawImageAsMask(*item.image(), at, tint);
        }
        if (item.title()) {
            drawLine(c, *item.title(), Rect(f.x() + 2, f.maxY() - 15, f.width() - 4, 13),
                     Font::boldSystemFontOfSize(10),
                     isSelected ? Color::whiteColor() : Color::colorWithWhite(0.6), TextAlignment::Center);
        }
        if (item.badgeValue() && !item.badgeValue()->empty()) {
            Font font = Font::boldSystemFontOfSize(13);
            double w = std::max(20.0, FontLibrary::shared().sizeOfText(*item.badgeValue(), font).width + 10);
            Rect badge(f.midX() + 8, f.minY() + 1, w, 20);
            paintRoundedBox(c, badge, 10, Color(0.85, 0.1, 0.1), Color::whiteColor(), 1.5);
            drawLine(c, *item.badgeValue(), badge, font, Color::whiteColor(), TextAlignment::Center);
        }
    }
}

void paintSearchBar(DrawingContext& c, const SearchBar& bar) {
    const Rect& b = bar.bounds();
    paintBarBackground(c, b, bar.barStyle(), bar.tintColor());
    double right = bar.showsCancelButton() ? 70 : 6;
    Rect field(6, b.midY() - 15, b.width() - 6 - right, 30);
    paintRoundedBox(c, field, 15, Color::whiteColor(), Color::colorWithWhite(0.45));
    // The magnifier.
    c.saveGState();
    c.setStrokeColor(Color::colorWithWhite(0.5));
    c.setLineWidth(2);
    c.addEllipseInRect(Rect(field.x() + 10, field.midY() - 7, 10, 10));
    c.strokePath();
    c.moveToPoint(field.x() + 18.5, field.midY() + 1.5);
    c.addLineToPoint(field.x() + 23, field.midY() + 6);
    c.strokePath();
    c.restoreGState();
    Rect textArea(field.x() + 28, field.y(), field.width() - 36, field.height());
    Font font = Font::systemFontOfSize(14);
    if (bar.text().empty()) {
        drawLine(c, bar.placeholder().value_or(""), textArea, font, kPlaceholderGrey, TextAlignment::Left);
    } else {
        drawLine(c, bar.text(), textArea, font, Color::blackColor(), TextAlignment::Left);
    }
    if (bar.showsCancelButton()) {
        paintBarButton(c, Rect(b.width() - 66, b.midY() - 15, 60, 30), "Cancel",
                       mix(barTint(bar.barStyle(), bar.tintColor()), Color::blackColor(), 0.25));
    }
}

void paintSegmentedControl(DrawingContext& c, const SegmentedControl& control) {
    const Rect& b = control.bounds();
    bool bar = control.segmentedControlStyle() == SegmentedControlStyle::Bar;
    Color base = bar ? control.tintColor().value_or(kBarBottom) : Color::whiteColor();
    Color text = bar ? Color::whiteColor() : Color(0.2, 0.2, 0.3);
    paintRoundedBox(c, b.insetBy(0.5, 0.5), 5, base, Color::colorWithWhite(0.45));
    for (size_t i = 0; i < control.numberOfSegments(); ++i) {
        Rect f = control.segmentFrame(i);
        bool selected = control.selectedSegmentIndex() == int(i);
        c.saveGState();
        c.addRoundedRect(b.insetBy(1, 1), 5);
        c.clip();
        if (selected) {
            c.setFillColor(bar ? mix(base, Color::blackColor(), 0.35) : kSelectedBlue);
            c.fillRect(f);
        }
        if (i > 0) {
            c.setFillColor(Color::colorWithWhite(0.45));
            c.fillRect(Rect(f.minX(), b.minY(), 1, b.height()));
        }
        c.restoreGState();
        Color colour = selected ? Color::whiteColor() : text;
        if (!control.isEnabledForSegmentAtIndex(i)) {
            colour = colour.withAlphaComponent(0.4);
        }
        if (auto title = control.titleForSegmentAtIndex(i)) {
            drawLine(c, *title, f.insetBy(4, 0), Font::boldSystemFontOfSize(13), colour,
                     TextAlignment::Center);
        }
    }
}

void paintActivityIndicator(DrawingContext& c, const ActivityIndicatorView& spinner) {
    Color colour = spinner.activityIndicatorViewStyle() == ActivityIndicatorViewStyle::Gray
                       ? Color::colorWithWhite(0.45)
                       : Color::whiteColor();
    paintSpinner(c, spinner.bounds(), colour);
}

void paintAlert(DrawingContext& c, const AlertView& alert) {
    const Rect& b = alert.bounds();
    Color fill = alert.backgroundColor().value_or(Color(0.09, 0.16, 0.33, 0.9));
    paintRoundedBox(c, b.insetBy(1, 1), 10, fill, Color(1, 1, 1, 0.85), 2);
    if (auto g = Gradient::withColors({Color(1, 1, 1, 0.3), Color(1, 1, 1, 0.05)})) {
        c.saveGState();
        c.addRoundedRect(b.insetBy(2, 2), 9);
        c.clip();
        c.clipToRect(Rect(0, 0, b.width(), 28));
        c.drawLinearGradient(*g, {0, 0}, {0, 28});
        c.restoreGState();
    }
}

void paintSheet(DrawingContext& c, const ActionSheet& sheet) {
    const Rect& b = sheet.bounds();
    Color fill = sheet.backgroundColor().value_or(Color(0.2, 0.2, 0.2, 0.9));
    verticalGradient(c, b, mix(fill, Color::whiteColor(), 0.15), fill);
    c.saveGState();
    c.setFillColor(Color::colorWithWhite(0.05));
    c.fillRect(Rect(0, 0, b.width(), 1));
    c.restoreGState();
}

} // namespace

bool paintsOwnBackground(const View& view) {
    if (auto* button = dynamic_cast<const Button*>(&view)) {
        return button->buttonType() == ButtonType::RoundedRect || button->currentBackgroundImage();
    }
    if (auto* field = dynamic_cast<const TextField*>(&view)) {
        return field->borderStyle() == TextBorderStyle::RoundedRect ||
               field->borderStyle() == TextBorderStyle::Bezel;
    }
    return dynamic_cast<const Toolbar*>(&view) || dynamic_cast<const NavigationBar*>(&view) ||
           dynamic_cast<const TabBar*>(&view) || dynamic_cast<const SearchBar*>(&view) ||
           dynamic_cast<const AlertView*>(&view) || dynamic_cast<const ActionSheet*>(&view);
}

void paintPlatformView(DrawingContext& c, const View& view) {
    if (auto* label = dynamic_cast<const Label*>(&view)) {
        paintLabel(c, *label);
    } else if (auto* button = dynamic_cast<const Button*>(&view)) {
        paintButton(c, *button);
    } else if (auto* field = dynamic_cast<const TextField*>(&view)) {
        paintTextField(c, *field);
    } else if (auto* text = dynamic_cast<const TextView*>(&view)) {
        paintTextView(c, *text);
    } else if (auto* image = dynamic_cast<const ImageView*>(&view)) {
        paintImageView(c, *image);
    } else if (auto* toolbar = dynamic_cast<const Toolbar*>(&view)) {
        paintToolbar(c, *toolbar);
    } else if (auto* navigation = dynamic_cast<const NavigationBar*>(&view)) {
        paintNavigationBar(c, *navigation);
    } else if (auto* tabs = dynamic_cast<const TabBar*>(&view)) {
        paintTabBar(c, *tabs);
    } else if (auto* search = dynamic_cast<const SearchBar*>(&view)) {
        paintSearchBar(c, *search);
    } else if (auto* segments = dynamic_cast<const SegmentedControl*>(&view)) {
        paintSegmentedControl(c, *segments);
    } else if (auto* spinner = dynamic_cast<const ActivityIndicatorView*>(&view)) {
        paintActivityIndicator(c, *spinner);
    } else if (auto* alert = dynamic_cast<const AlertView*>(&view)) {
        paintAlert(c, *alert);
    } else if (auto* sheet = dynamic_cast<const ActionSheet*>(&view)) {
        paintSheet(c, *sheet);
    }
}

void paintBarBackground(DrawingContext& c, const Rect& r, BarStyle style, const std::optional<Color>& tint) {
    Color base = barTint(style, tint);
    Color top = style == BarStyle::Default && !tint ? kBarTop : mix(base, Color::whiteColor(), 0.3);
    verticalGradient(c, r, top, base);
    double alpha = style == BarStyle::BlackTranslucent ? 0.75 : 1;
    c.saveGState();
    c.setFillColor(Color(1, 1, 1, 0.3 * alpha));
    c.fillRect(Rect(r.x(), r.minY(), r.width(), 1));
    c.setFillColor(Color(0, 0, 0, 0.5 * alpha));
    c.fillRect(Rect(r.x(), r.maxY() - 1, r.width(), 1));
    c.restoreGState();
}

void paintSpinner(DrawingContext& c, const Rect& r, const Color& color) {
    double radius = std::min(r.width(), r.height()) / 2;
    if (radius <= 0) {
        return;
    }
    c.saveGState();
    c.setLineWidth(std::max(1.0, radius * 0.22));
    for (int i = 0; i < 12; ++i) {
        double angle = -M_PI / 2 + i * M_PI / 6;
        double dx = std::cos(angle), dy = std::sin(angle);
        // The leading spoke is brightest; the trail fades.
        c.setStrokeColor(color.withAlphaComponent(color.alpha() * (0.25 + 0.75 * (12 - i) / 12.0)));
        c.moveToPoint(r.midX() + dx * radius * 0.45, r.midY() + dy * radius * 0.45);
        c.addLineToPoint(r.midX() + dx * radius * 0.9, r.midY() + dy * radius * 0.9);
        c.strokePath();
    }
    c.restoreGState();
}

void paintBarButton(DrawingContext& c, const Rect& rect, const std::string& title, const Color& fill) {
    paintRoundedBox(c, rect.insetBy(0.5, 0.5), 5, fill, Color(0, 0, 0, 0.45));
    if (!title.empty()) {
        drawLine(c, title, rect.insetBy(6, 0), Font::boldSystemFontOfSize(12), Color::whiteColor(),
                 TextAlignment::Center);
    }
}

namespace {

// The icon's square and its centre, named as the icon drawings use them.
struct IconBox {
    double x, y, w, h, cx, cy;
};

IconBox iconBox(const Rect& r) {
    return {r.x(), r.y(), r.width(), r.height(), r.midX(), r.midY()};
}

// One drawing per system item, in the colour and 2.5-point line the caller set.

// A circular arrow, open at the top right, with its head.
void drawRefreshIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    double radius = w * 0.36;
    c.addArc(cx, cy, radius, -M_PI / 3, -M_PI / 2 + 0.05, 0);
    c.strokePath();
    double ax = cx + radius * std::cos(-M_PI / 3), ay = cy + radius * std::sin(-M_PI / 3);
    c.moveToPoint(ax + 5, ay - 4);
    c.addLineToPoint(ax + 2, ay + 5);
    c.addLineToPoint(ax - 6, ay - 1);
    c.closePath();
    c.fillPath();
}

void drawStopIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.moveToPoint(x + 4, y + 4);
    c.addLineToPoint(x + w - 4, y + h - 4);
    c.moveToPoint(x + w - 4, y + 4);
    c.addLineToPoint(x + 4, y + h - 4);
    c.strokePath();
}

void drawAddIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.fillRect(Rect(cx - 1.5, y + 3, 3, h - 6));
    c.fillRect(Rect(x + 3, cy - 1.5, w - 6, 3));
}

void drawActionIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.setLineWidth(2);
    c.moveToPoint(x + 6, y + 9);
    c.addLineToPoint(x + 3, y + 9);
    c.addLineToPoint(x + 3, y + h - 2);
    c.addLineToPoint(x + w - 3, y + h - 2);
    c.addLineToPoint(x + w - 3, y + 9);
    c.addLineToPoint(x + w - 6, y + 9);
    c.strokePath();
    c.moveToPoint(cx, y + 14);
    c.addLineToPoint(cx, y + 3);
    c.strokePath();
    c.moveToPoint(cx - 5, y + 7);
    c.addLineToPoint(cx, y + 1);
    c.addLineToPoint(cx + 5, y + 7);
    c.closePath();
    c.fillPath();
}

void drawSearchIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.addEllipseInRect(Rect(x + 3, y + 3, w * 0.55, h * 0.55));
    c.strokePath();
    c.moveToPoint(x + 3 + w * 0.5, y + 3 + h * 0.5);
    c.addLineToPoint(x + w - 3, y + h - 3);
    c.strokePath();
}

void drawComposeIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.setLineWidth(2);
    c.strokeRect(Rect(x + 2, y + 5, w - 8, h - 7));
    c.moveToPoint(x + 9, y + 14);
    c.addLineToPoint(x + w - 2, y + 2);
    c.strokePath();
}

void drawReplyIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.moveToPoint(x + 2, cy);
    c.addLineToPoint(x + 10, y + 3);
    c.addLineToPoint(x + 10, y + h - 3);
    c.closePath();
    c.fillPath();
    c.moveToPoint(x + 9, cy);
    c.addCurveToPoint(x + 15, cy - 2, x + w - 2, cy, x + w - 2, y + h - 3);
    c.strokePath();
}

void drawTrashIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.setLineWidth(2);
    c.strokeRect(Rect(x + 5, y + 6, w - 10, h - 8));
    c.fillRect(Rect(x + 3, y + 3, w - 6, 2));
    c.fillRect(Rect(cx - 3, y + 1, 6, 2));
}

void drawCameraIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.addRoundedRect(Rect(x + 1, y + 6, w - 2, h - 9), 3);
    c.fillPath();
    c.fillRect(Rect(cx - 4, y + 3, 8, 4));
    c.setFillColor(Color(0, 0, 0, 0.5));
    c.addEllipseInRect(Rect(cx - 5, y + 9, 10, 10));
    c.fillPath();
}

void drawBookmarksIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.setLineWidth(2);
    c.strokeRect(Rect(x + 4, y + 2, w - 8, h - 4));
    c.moveToPoint(cx - 3, y + 2);
    c.addLineToPoint(cx - 3, y + 11);
    c.addLineToPoint(cx, y + 8);
    c.addLineToPoint(cx + 3, y + 11);
    c.addLineToPoint(cx + 3, y + 2);
    c.fillPath();
}

void drawOrganizeIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.setLineWidth(2);
    c.strokeRect(Rect(x + 2, y + 7, w - 4, h - 10));
    c.fillRect(Rect(x + 2, y + 4, w * 0.4, 3));
}

void drawPlayIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.moveToPoint(x + 5, y + 3);
    c.addLineToPoint(x + w - 3, cy);
    c.addLineToPoint(x + 5, y + h - 3);
    c.closePath();
    c.fillPath();
}

void drawPauseIcon(DrawingContext& c, const Rect& r) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    c.fillRect(Rect(x + 5, y + 3, 4, h - 6));
    c.fillRect(Rect(x + w - 9, y + 3, 4, h - 6));
}

enum class Pointing { Left, Right };

// Two triangles side by side: rewind points left, fast forward right.
void drawDoubleTriangleIcon(DrawingContext& c, const Rect& r, Pointing pointing) {
    auto [x, y, w, h, cx, cy] = iconBox(r);
    bool forward = pointing == Pointing::Right;
    for (int k = 0; k < 2; ++k) {
        double start = x + 1 + k * (w / 2 - 1);
        double tipX = forward ? start + w / 2 : start;
        double baseX = forward ? start : start + w / 2;
        c.moveToPoint(baseX, y + 4);
        c.addLineToPoint(tipX, cy);
        c.addLineToPoint(baseX, y + h - 4);
        c.closePath();
        c.fillPath();
    }
}

void drawRewindIcon(DrawingContext& c, const Rect& r) {
    drawDoubleTriangleIcon(c, r, Pointing::Left);
}

void drawFastForwardIcon(DrawingContext& c, const Rect& r) {
    drawDoubleTriangleIcon(c, r, Pointing::Right);
}

using IconDrawing = void (*)(DrawingContext& c, const Rect& r);

// Nothing for the items drawn as titles or spaces.
IconDrawing iconDrawingFor(BarButtonSystemItem item) {
    switch (item) {
    case BarButtonSystemItem::Refresh:
        return drawRefreshIcon;
    case BarButtonSystemItem::Stop:
        return drawStopIcon;
    case BarButtonSystemItem::Add:
        return drawAddIcon;
    case BarButtonSystemItem::Action:
        return drawActionIcon;
    case BarButtonSystemItem::Search:
        return drawSearchIcon;
    case BarButtonSystemItem::Compose:
        return drawComposeIcon;
    case BarButtonSystemItem::Reply:
        return drawReplyIcon;
    case BarButtonSystemItem::Trash:
        return drawTrashIcon;
    case BarButtonSystemItem::Camera:
        return drawCameraIcon;
    case BarButtonSystemItem::Bookmarks:
        return drawBookmarksIcon;
    case BarButtonSystemItem::Organize:
        return drawOrganizeIcon;
    case BarButtonSystemItem::Play:
        return drawPlayIcon;
    case BarButtonSystemItem::Pause:
        return drawPauseIcon;
    case BarButtonSystemItem::Rewind:
        return drawRewindIcon;
    case BarButtonSystemItem::FastForward:
        return drawFastForwardIcon;
    default:
        return nullptr;
    }
}

} // namespace

void paintSystemIcon(DrawingContext& c, BarButtonSystemItem item, const Rect& r, const Color& color) {
    IconDrawing draw = iconDrawingFor(item);
    if (!draw) {
        return;
    }
    c.saveGState();
    c.setFillColor(color);
    c.setStrokeColor(color);
    c.setLineWidth(2.5);
    draw(c, r);
    c.restoreGState();
}

} // namespace murmelo::internal
