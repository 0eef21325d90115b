#include "platform/ui/BarButtonItem.h"

#include "platform/core/Value.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/View.h"

namespace murmelo {

const char* barButtonSystemItemName(BarButtonSystemItem item) {
    switch (item) {
    case BarButtonSystemItem::Done:
        return "done";
    case BarButtonSystemItem::Cancel:
        return "cancel";
    case BarButtonSystemItem::Edit:
        return "edit";
    case BarButtonSystemItem::Save:
        return "save";
    case BarButtonSystemItem::Add:
        return "add";
    case BarButtonSystemItem::FlexibleSpace:
        return "flexible";
    case BarButtonSystemItem::FixedSpace:
        return "fixed";
    case BarButtonSystemItem::Compose:
        return "compose";
    case BarButtonSystemItem::Reply:
        return "reply";
    case BarButtonSystemItem::Action:
        return "action";
    case BarButtonSystemItem::Organize:
        return "organize";
    case BarButtonSystemItem::Bookmarks:
        return "bookmarks";
    case BarButtonSystemItem::Search:
        return "search";
    case BarButtonSystemItem::Refresh:
        return "refresh";
    case BarButtonSystemItem::Stop:
        return "stop";
    case BarButtonSystemItem::Camera:
        return "camera";
    case BarButtonSystemItem::Trash:
        return "trash";
    case BarButtonSystemItem::Play:
        return "play";
    case BarButtonSystemItem::Pause:
        return "pause";
    case BarButtonSystemItem::Rewind:
        return "rewind";
    case BarButtonSystemItem::FastForward:
        return "fast-forward";
    case BarButtonSystemItem::Undo:
        return "undo";
    case BarButtonSystemItem::Redo:
        return "redo";
    }
    return "system";
}

std::shared_ptr<BarButtonItem> BarButtonItem::withSystemItem(BarButtonSystemItem item,
                                                             std::optional<Action> action) {
    auto result = std::make_shared<BarButtonItem>();
    result->m_systemItem = item;
    result->m_action = std::move(action);
    return result;
}

std::shared_ptr<BarButtonItem> BarButtonItem::withTitle(std::string title, BarButtonItemStyle style,
                                                        std::optional<Action> action) {
    auto result = std::make_shared<BarButtonItem>();
    result->setTitle(std::move(title));
    result->m_style = style;
    result->m_action = std::move(action);
    return result;
}

std::shared_ptr<BarButtonItem> BarButtonItem::withImage(std::shared_ptr<const Image> image,
                                                        BarButtonItemStyle style,
                                                        std::optional<Action> action) {
    auto result = std::make_shared<BarButtonItem>();
    result->setImage(std::move(image));
    result->m_style = style;
    result->m_action = std::move(action);
    return result;
}

std::shared_ptr<BarButtonItem> BarButtonItem::withCustomView(std::shared_ptr<View> view) {
    auto result = std::make_shared<BarButtonItem>();
    result->m_customView = std::move(view);
    return result;
}

bool BarButtonItem::isSpace() const {
    return m_systemItem && (*m_systemItem == BarButtonSystemItem::FlexibleSpace ||
                            *m_systemItem == BarButtonSystemItem::FixedSpace);
}

bool BarButtonItem::activate() {
    if (!isEnabled() || !m_action || m_customView || isSpace()) {
        return false;
    }
    return m_action->invoke(*this);
}

std::string BarButtonItem::dumpDescription() const {
    std::string text;
    if (m_customView) {
        std::string summary = ScreenDumpWriter::summarize(*m_customView);
        text += '[';
        text += summary.empty() ? std::string("view") : summary;
        text += ']';
    } else if (m_systemItem && *m_systemItem == BarButtonSystemItem::FixedSpace) {
        text = "[fixed " + formatNumber(m_width) + "]";
    } else if (m_systemItem) {
        text = std::string("[") + barButtonSystemItemName(*m_systemItem) + "]";
    } else if (title()) {
        text = ScreenDumpWriter::quote(*title());
    } else if (image()) {
        text = "[image " + image()->name() + "]";
    } else {
        text = "[item]";
    }
    if (!isEnabled() && !isSpace()) {
        text += " (disabled)";
    }
    return text;
}

} // namespace murmelo
