#include "platform/ui/WebPagePainter.h"

#include <algorithm>
#include <cmath>

#include "platform/core/Text.h"
#include "platform/graphics/FontLibrary.h"

namespace murmelo {

namespace {

constexpr double kMargin = 8;
constexpr double kIndent = 16;
const Color kLinkBlue(0.1, 0.28, 0.75);
const Color kText = Color::blackColor();
const Color kBoxGrey = Color::colorWithWhite(0.55);
const Color kPlaceholder = Color::colorWithWhite(0.6);

Font blockFont(const WebBlock& block) {
    switch (block.kind) {
    case WebBlock::Kind::Heading: {
        static const double sizes[] = {22, 19, 17, 15, 14, 13};
        int level = std::clamp(block.level, 1, 6);
        return Font::boldSystemFontOfSize(sizes[level - 1]);
    }
    case WebBlock::Kind::Preformatted:
        return Font::fontWithName("Courier", 12);
    default:
        return Font::systemFontOfSize(14);
    }
}

std::string bullets(const std::string& value) {
    std::string out;
    for (unsigned char c : value) {
        if ((c & 0xC0) != 0x80) {
            out += "\xE2\x80\xA2";
        }
    }
    return out;
}

bool isButton(const std::string& type) {
    return type == "submit" || type == "button" || type == "reset" || type == "image";
}

// Lays out one page top to bottom; paints only when a context is given.
class PageLayout {
public:
    PageLayout(DrawingContext* context, const WebPage& page, double width, double visibleHeight,
               const WebPaintOptions& options)
        : m_context(context), m_page(page), m_width(width), m_visible(visibleHeight), m_options(options) {}

    // Lays out without painting and remembers what lies under `point`.
    void probe(Point point) { m_probe = point; }
    const std::optional<WebPageTarget>& found() const { return m_found; }

    double run() {
        m_y = kMargin;
        for (const WebBlock& block : m_page.blocks) {
            block_(block);
        }
        return m_y + kMargin;
    }

private:
    bool painting() const { return m_context && m_y < m_visible; }

    bool probed(const Rect& r) const { return m_probe && !m_found && r.contains(*m_probe); }

    void block_(const WebBlock& block) {
        if (block.kind == WebBlock::Kind::Rule) {
            if (painting()) {
                m_context->saveGState();
                m_context->setFillColor(Color::colorWithWhite(0.7));
                m_context->fillRect(Rect(kMargin, m_y + 4, m_width - 2 * kMargin, 1));
                m_context->restoreGState();
            }
            m_y += 10;
            return;
        }
        if (block.inlines.empty()) {
            return;
        }
        double left = kMargin;
        Font font = blockFont(block);
        double top = m_y;
        if (block.kind == WebBlock::Kind::Heading && m_y > kMargin) {
            m_y += 4;
        }
        std::vector<TextRun> runs;
        m_runLinks.clear();
        if (block.kind == WebBlock::Kind::ListItem) {
            left += kIndent;
            if (painting()) {
                m_context->saveGState();
                m_context->setFillColor(kText);
                m_context->drawText("\xE2\x80\xA2", Rect(kMargin + 4, m_y, kIndent, 20), font);
                m_context->restoreGState();
            }
        } else if (block.kind == WebBlock::Kind::Quote) {
            left += kIndent;
        }
        for (const WebInline& piece : block.inlines) {
            switch (piece.kind) {
            case WebInline::Kind::Text: {
                TextRun run = plainRun(piece.text);
                run.bold = piece.bold;
                run.italic = piece.italic;
                runs.push_back(run);
                m_runLinks.push_back(std::nullopt);
                break;
            }
            case WebInline::Kind::Link: {
                TextRun run = plainRun(piece.text);
                run.bold = piece.bold;
                run.italic = piece.italic;
                run.underline = true;
                run.color = kLinkBlue;
                runs.push_back(run);
                m_runLinks.push_back(piece.linkIndex);
                if (piece.linkIndex) {
                    TextRun number = plainRun("[" + std::to_string(*piece.linkIndex + 1) + "]");
                    number.color = kLinkBlue;
                    number.scale = 0.75;
                    runs.push_back(number);
                    m_runLinks.push_back(piece.linkIndex);
                }
                break;
            }
            case WebInline::Kind::LineBreak:
                runs.push_back(plainRun("\n"));
                m_runLinks.push_back(std::nullopt);
                break;
            case WebInline::Kind::Field:
                flush(runs, left, font);
                field(piece, left);
                break;
            case WebInline::Kind::Image:
                flush(runs, left, font);
                image(piece, left);
                break;
            }
        }
        flush(runs, left, font);
        if (block.kind == WebBlock::Kind::Quote && painting()) {
            m_context->saveGState();
            m_context->setFillColor(Color::colorWithWhite(0.75));
            m_context->fillRect(Rect(kMargin + 2, top, 3, m_y - top));
            m_context->restoreGState();
        }
        m_y += block.kind == WebBlock::Kind::ListItem ? 3 : 8;
    }

    // Draws the text gathered so far as one wrapped paragraph.
    void flush(std::vector<TextRun>& runs, double left, const Font& font) {
        bool blank = std::all_of(runs.begin(), runs.end(), [](const TextRun& r) {
            return r.text.find_first_not_of(" \n\t") == std::string::npos;
        });
        if (blank) {
            runs.clear();
            m_runLinks.clear();
            return;
        }
        Rect area(left, m_y, m_width - left - kMargin, 0);
        Size size;
        if (painting()) {
            m_context->saveGState();
            m_context->setFillColor(kText);
            size = m_context->drawRuns(runs, area, font);
            m_context->restoreGState();
        } else {
            size = DrawingContext::sizeOfRuns(runs, font, area.width());
        }
        if (probed(Rect(left, m_y, area.width(), size.height))) {
            auto run =
                DrawingContext::runAtPoint(runs, font, area.width(), {m_probe->x - left, m_probe->y - m_y});
            if (run && *run < m_runLinks.size() && m_runLinks[*run]) {
                m_found = WebPageTarget{WebPageTarget::Kind::Link, *m_runLinks[*run], 0, 0};
            }
        }
        m_y += size.height + 2;
        runs.clear();
        m_runLinks.clear();
    }

    void label(const std::string& text, double left) {
        if (text.empty()) {
            return;
        }
        Font font = Font::boldSystemFontOfSize(12);
        if (painting()) {
            m_context->saveGState();
            m_context->setFillColor(Color::colorWithWhite(0.25));
            m_context->drawText(text, Rect(left, m_y, m_width - left - kMargin, 16), font,
                                TextAlignment::Left, LineBreakMode::TailTruncation, 1);
            m_context->restoreGState();
        }
        m_y += 16;
    }

    void box(const Rect& r, double radius, const Color& fill) {
        m_context->saveGState();
        m_context->setFillColor(fill);
        m_context->addRoundedRect(r, radius);
        m_context->fillPath();
        m_context->setStrokeColor(kBoxGrey);
        m_context->addRoundedRect(r.insetBy(0.5, 0.5), radius);
        m_context->strokePath();
        m_context->restoreGState();
    }

    void textIn(const std::string& text, const Rect& r, const Color& color, const Font& font,
                TextAlignment alignment = TextAlignment::Left, int lines = 1) {
        if (text.empty()) {
            return;
        }
        Size size = FontLibrary::shared().sizeOfText(text, font, r.width(), lines);
        double y = lines == 1 ? r.y() + (r.height() - size.height) / 2 : r.y();
        m_context->saveGState();
        m_context->clipToRect(r);
        m_context->setFillColor(color);
        m_context->drawText(text, Rect(r.x(), y, r.width(), size.height), font, alignment,
                            LineBreakMode::TailTruncation, lines);
        m_context->restoreGState();
    }

    void field(const WebInline& piece, double left) {
        if (!piece.formIndex || !piece.fieldIndex || *piece.formIndex >= m_page.forms.size() ||
            *piece.fieldIndex >= m_page.forms[*piece.formIndex].fields.size()) {
            return;
        }
        const WebFormField& f = m_page.forms[*piece.formIndex].fields[*piece.fieldIndex];
        if (f.type == "hidden") {
            return;
        }
        double available = m_width - left - kMargin;
        Font font = Font::systemFontOfSize(13);
        Color ink = f.disabled ? Color::colorWithWhite(0.55) : kText;
        const WebPageTarget target{WebPageTarget::Kind::Field, 0, *piece.formIndex, *piece.fieldIndex};
        if (isButton(f.type)) {
            std::string title = !f.label.empty() ? f.label : !f.value.empty() ? f.value : "Submit";
            Font bold = Font::boldSystemFontOfSize(13);
            double w = std::min(available, FontLibrary::shared().sizeOfText(title, bold).width + 28);
            if (probed(Rect(left, m_y, w, 28))) {
                m_found = target;
            }
            if (painting()) {
                Rect r(left, m_y, w, 28);
                box(r, 6, Color::colorWithWhite(0.93));
                textIn(title, r.insetBy(6, 0), ink, bold, TextAlignment::Center);
            }
            m_y += 32;
            return;
        }
        if (f.type == "checkbox" || f.type == "radio") {
            if (probed(Rect(left, m_y, available, 20))) {
                m_found = target;
            }
            if (painting()) {
                Rect r(left, m_y + 2, 16, 16);
                box(r, f.type == "radio" ? 8 : 3, Color::whiteColor());
                if (f.checked) {
                    m_context->saveGState();
                    m_context->setFillColor(kText);
                    if (f.type == "radio") {
                        m_context->addEllipseInRect(r.insetBy(4.5, 4.5));
                        m_context->fillPath();
                    } else {
                        m_context->setStrokeColor(kText);
                        m_context->setLineWidth(2);
                        m_context->moveToPoint(r.x() + 3.5, r.y() + 8);
                        m_context->addLineToPoint(r.x() + 7, r.y() + 12);
                        m_context->addLineToPoint(r.x() + 13, r.y() + 4);
                        m_context->strokePath();
                    }
                    m_context->restoreGState();
                }
                std::string text = !f.label.empty() ? f.label : f.name;
                textIn(text, Rect(left + 22, m_y, available - 22, 20), ink, font);
            }
            m_y += 24;
            return;
        }
        label(f.label, left);
        bool area = f.type == "textarea";
        double height = area ? 64 : 28;
        if (probed(Rect(left, m_y, std::min(available, 280.0), height))) {
            m_found = target;
        }
        if (painting()) {
            Rect r(left, m_y, std::min(available, 280.0), height);
            box(r, 4, f.disabled ? Color::colorWithWhite(0.92) : Color::whiteColor());
            if (m_options.focusedField == std::pair(*piece.formIndex, *piece.fieldIndex)) {
                m_context->saveGState();
                m_context->setStrokeColor(kLinkBlue);
                m_context->setLineWidth(2);
                m_context->addRoundedRect(r.insetBy(1, 1), 4);
                m_context->strokePath();
                m_context->restoreGState();
            }
            Rect inner = r.insetBy(6, area ? 5 : 0);
            std::string shown = f.type == "password" ? bullets(f.value) : f.value;
            if (f.type == "file") {
                shown = f.value.empty() ? "Choose File" : f.value;
            }
            if (f.type == "select") {
                inner.size.width -= 14;
                m_context->saveGState();
                m_context->setFillColor(Color::colorWithWhite(0.35));
                double ax = r.maxX() - 16, ay = r.midY() - 2;
                m_context->moveToPoint(ax, ay);
                m_context->addLineToPoint(ax + 9, ay);
                m_context->addLineToPoint(ax + 4.5, ay + 5);
                m_context->closePath();
                m_context->fillPath();
                m_context->restoreGState();
            }
            if (shown.empty()) {
                textIn(f.placeholder, inner, kPlaceholder, font, TextAlignment::Left, area ? 0 : 1);
            } else {
                textIn(shown, inner, ink, font, TextAlignment::Left, area ? 0 : 1);
            }
        }
        m_y += height + 6;
    }

    void image(const WebInline& piece, double left) {
        double available = m_width - left - kMargin;
        std::shared_ptr<const Image> picture;
        if (auto it = m_options.images.find(piece.imageURL); it != m_options.images.end()) {
            picture = it->second;
        }
        double w = piece.imageWidth;
        double h = piece.imageHeight;
        if (picture && picture->bitmap()) {
            Size natural = picture->size();
            if (w <= 0 && h <= 0) {
                w = natural.width, h = natural.height;
            } else if (w <= 0) {
                w = natural.height > 0 ? h * natural.width / natural.height : h;
            } else if (h <= 0) {
                h = natural.width > 0 ? w * natural.height / natural.width : w;
            }
        } else {
            picture.reset();
            if (w <= 0) {
                w = piece.text.empty() ? 40 : std::min(available, 120.0);
            }
            if (h <= 0) {
                h = piece.text.empty() ? 40 : 24;
            }
        }
        if (w > available && w > 0) {
            h *= available / w;
            w = available;
        }
        if (painting()) {
            Rect r(left, m_y, w, h);
            if (picture) {
                m_context->drawImage(*picture, r);
            } else {
                m_context->saveGState();
                m_context->setFillColor(Color::colorWithWhite(0.94));
                m_context->fillRect(r);
                m_context->setStrokeColor(Color::colorWithWhite(0.65));
                m_context->strokeRect(r.insetBy(0.5, 0.5));
                m_context->restoreGState();
                textIn(piece.text, r.insetBy(4, 2), Color::colorWithWhite(0.4), Font::systemFontOfSize(11),
                       TextAlignment::Center, 0);
            }
        }
        m_y += h + 4;
    }

    DrawingContext* m_context;
    const WebPage& m_page;
    double m_width;
    double m_visible;
    const WebPaintOptions& m_options;
    double m_y = 0;
    // The link each run of the paragraph being gathered belongs to.
    std::vector<std::optional<std::size_t>> m_runLinks;
    std::optional<Point> m_probe;
    std::optional<WebPageTarget> m_found;
};

} // namespace

std::optional<Color> colorFromHex(std::string_view text) {
    if (text.empty() || text[0] != '#' || (text.size() != 7 && text.size() != 4)) {
        return std::nullopt;
    }
    std::vector<int> digits;
    for (char c : text.substr(1)) {
        int d = text::hexDigitValue(c);
        if (d < 0) {
            return std::nullopt;
        }
        digits.push_back(d);
    }
    if (digits.size() == 3) {
        return Color(digits[0] * 17 / 255.0, digits[1] * 17 / 255.0, digits[2] * 17 / 255.0);
    }
    return Color((digits[0] * 16 + digits[1]) / 255.0, (digits[2] * 16 + digits[3]) / 255.0,
                 (digits[4] * 16 + digits[5]) / 255.0);
}

double paintWebPage(DrawingContext& context, const WebPage& page, const Rect& frame,
                    const WebPaintOptions& options) {
    if (frame.isEmpty() || !std::isfinite(frame.width()) || !std::isfinite(frame.height())) {
        return 0;
    }
    context.saveGState();
    context.clipToRect(frame);
    if (page.backgroundColor) {
        if (auto colour = colorFromHex(*page.backgroundColor)) {
            context.setFillColor(*colour);
            context.fillRect(frame);
        }
    }
    // Scrolled: the page moves up under the frame, and what is above it is
    // laid out but not painted into view.
    double offset = std::max(0.0, options.scrollOffset);
    context.translateCTM(frame.x(), frame.y() - offset);
    PageLayout layout(&context, page, frame.width(), frame.height() + offset, options);
    double height = layout.run();
    context.restoreGState();
    return height;
}

double webPageHeight(const WebPage& page, double width) {
    if (!(width > 0) || !std::isfinite(width)) {
        return 0;
    }
    WebPaintOptions none;
    PageLayout layout(nullptr, page, width, 0, none);
    return layout.run();
}

std::optional<WebPageTarget> webPageTargetAt(const WebPage& page, double width, Point point) {
    if (!(width > 0) || !std::isfinite(width) || !std::isfinite(point.x) || !std::isfinite(point.y)) {
        return std::nullopt;
    }
    WebPaintOptions none;
    PageLayout layout(nullptr, page, width, 0, none);
    layout.probe(point);
    (void)layout.run();
    return layout.found();
}

} // namespace murmelo
