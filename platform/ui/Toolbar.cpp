#include "platform/ui/Toolbar.h"

#include <algorithm>

#include "platform/graphics/TextMetrics.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

namespace {
constexpr double kEdgeInset = 6;
constexpr double kItemGap = 10;
constexpr double kTitlePadding = 10;
constexpr double kImagePadding = 8;
constexpr double kSystemIconWidth = 36;
constexpr double kButtonHeight = 30;
const Font kItemFont = Font::boldSystemFontOfSize(12);

bool isWordItem(BarButtonSystemItem item) {
    return item == BarButtonSystemItem::Done || item == BarButtonSystemItem::Cancel ||
           item == BarButtonSystemItem::Edit || item == BarButtonSystemItem::Save;
}
} // namespace

const char* barStyleName(BarStyle style) {
    switch (style) {
    case BarStyle::Black:
        return "black";
    case BarStyle::BlackTranslucent:
        return "black-translucent";
    case BarStyle::Default:
        break;
    }
    return "default";
}

Toolbar::Toolbar(const Rect& frame) : View(frame) {}

void Toolbar::setItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool) {
    assertMainThread();
    for (const auto& old : m_items) {
        const auto& view = old->customView();
        bool kept = std::any_of(items.begin(), items.end(),
                                [&](const auto& item) { return item && item->customView() == view; });
        if (view && !kept && view->superview() == this) {
            view->removeFromSuperview();
        }
    }
    items.erase(std::remove(items.begin(), items.end(), nullptr), items.end());
    m_items = std::move(items);
    for (const auto& item : m_items) {
        if (const auto& view = item->customView(); view && view->superview() != this) {
            addSubview(view);
        }
    }
    m_pressedIndex.reset();
    placeCustomViews();
    setNeedsLayout();
}

double Toolbar::naturalWidth(const BarButtonItem& item) const {
    if (item.systemItem() && *item.systemItem() == BarButtonSystemItem::FlexibleSpace) {
        return 0;
    }
    if (item.systemItem() && *item.systemItem() == BarButtonSystemItem::FixedSpace) {
        return std::max(0.0, item.width());
    }
    if (item.width() > 0) {
        return item.width();
    }
    if (const auto& view = item.customView()) {
        return view->bounds().size.width;
    }
    if (item.systemItem()) {
        if (isWordItem(*item.systemItem())) {
            return TextMetrics::sizeOfText(barButtonSystemItemName(*item.systemItem()), kItemFont).width +
                   2 * kTitlePadding;
        }
        return kSystemIconWidth;
    }
    if (item.title()) {
        return TextMetrics::sizeOfText(*item.title(), kItemFont).width + 2 * kTitlePadding;
    }
    if (item.image()) {
        return item.image()->size().width + 2 * kImagePadding;
    }
    return kSystemIconWidth;
}

std::vector<Rect> Toolbar::itemFrames() const {
    std::vector<double> widths;
    double used = 2 * kEdgeInset;
    size_t flexible = 0;
    for (size_t i = 0; i < m_items.size(); ++i) {
        const auto& item = *m_items[i];
        widths.push_back(naturalWidth(item));
        used += widths.back();
        if (item.systemItem() && *item.systemItem() == BarButtonSystemItem::FlexibleSpace) {
            ++flexible;
        }
        if (i > 0 && !item.isSpace() && !m_items[i - 1]->isSpace()) {
            used += kItemGap;
        }
    }
    double spare = std::max(0.0, bounds().size.width - used);
    std::vector<Rect> frames;
    double x = kEdgeInset;
    double height = bounds().size.height;
    for (size_t i = 0; i < m_items.size(); ++i) {
        const auto& item = *m_items[i];
        if (i > 0 && !item.isSpace() && !m_items[i - 1]->isSpace()) {
            x += kItemGap;
        }
        double width = widths[i];
        if (item.systemItem() && *item.systemItem() == BarButtonSystemItem::FlexibleSpace) {
            width = spare / static_cast<double>(flexible);
        }
        double itemHeight = kButtonHeight;
        if (const auto& view = item.customView()) {
            itemHeight = view->bounds().size.height;
        } else if (item.isSpace()) {
            itemHeight = height;
        }
        frames.emplace_back(x, (height - itemHeight) / 2, width, itemHeight);
        x += width;
    }
    return frames;
}

std::optional<size_t> Toolbar::itemIndexAtPoint(Point point) const {
    auto frames = itemFrames();
    for (size_t i = 0; i < frames.size(); ++i) {
        if (m_items[i]->isSpace()) {
            continue;
        }
        // The whole height of the bar counts for a slot.
        Rect slot(frames[i].origin.x, 0, frames[i].size.width, bounds().size.height);
        if (slot.contains(point)) {
            return i;
        }
    }
    return std::nullopt;
}

void Toolbar::placeCustomViews() {
    auto frames = itemFrames();
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (const auto& view = m_items[i]->customView()) {
            Rect f = frames[i];
            view->setCenter({bounds().origin.x + f.midX(), bounds().origin.y + f.midY()});
        }
    }
}

void Toolbar::layoutSubviews() {
    placeCustomViews();
}

void Toolbar::touchesBegan(const TouchSet& touches, const Event*) {
    m_pressedIndex.reset();
    if (!touches.empty()) {
        m_pressedIndex = itemIndexAtPoint(touches.front().locationInView(this));
    }
}

void Toolbar::touchesEnded(const TouchSet& touches, const Event*) {
    auto pressed = m_pressedIndex;
    m_pressedIndex.reset();
    if (!pressed || touches.empty() || *pressed >= m_items.size()) {
        return;
    }
    if (itemIndexAtPoint(touches.front().locationInView(this)) != pressed) {
        return;
    }
    auto item = m_items[*pressed]; // the action may change the items
    item->activate();
}

void Toolbar::touchesCancelled(const TouchSet&, const Event*) {
    m_pressedIndex.reset();
}

std::string Toolbar::itemsDescription() const {
    std::string text;
    for (const auto& item : m_items) {
        if (!text.empty()) {
            text += ' ';
        }
        text += item->dumpDescription();
    }
    return text;
}

void Toolbar::dump(ScreenDumpWriter& writer) const {
    writer.line("toolbar: " + itemsDescription());
}

} // namespace murmelo
