// BarButtonItem: an entry of a toolbar or navigation bar — one of the
// platform's system items (refresh, flexible or fixed space, ...), a
// bordered or plain button with a title or an image, or any custom view.
// A tap on an enabled button item sends its action to its target.
//
// Main thread only. The target is held weakly (see TargetAction); the
// custom view is owned by the item and shown by the bar holding the item.
//
//   auto refresh = BarButtonItem::withSystemItem(BarButtonSystemItem::Refresh, self, &Screen::reload);
//   auto share = BarButtonItem::withTitle("Share", BarButtonItemStyle::Bordered, self, &Screen::Share);
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/BarItem.h"
#include "platform/ui/TargetAction.h"

namespace murmelo {

class View;

enum class BarButtonItemStyle { Plain, Bordered, Done };

enum class BarButtonSystemItem {
    Done,
    Cancel,
    Edit,
    Save,
    Add,
    FlexibleSpace,
    FixedSpace,
    Compose,
    Reply,
    Action,
    Organize,
    Bookmarks,
    Search,
    Refresh,
    Stop,
    Camera,
    Trash,
    Play,
    Pause,
    Rewind,
    FastForward,
    Undo,
    Redo,
};
// "refresh", "flexible-space", ... as the screen dump and the driver name them.
const char* barButtonSystemItemName(BarButtonSystemItem item);

class BarButtonItem : public BarItem {
public:
    using Action = TargetAction<BarButtonItem>;

    static std::shared_ptr<BarButtonItem> withSystemItem(BarButtonSystemItem item,
                                                         std::optional<Action> action = std::nullopt);
    static std::shared_ptr<BarButtonItem> withTitle(std::string title, BarButtonItemStyle style,
                                                    std::optional<Action> action = std::nullopt);
    static std::shared_ptr<BarButtonItem> withImage(std::shared_ptr<const Image> image,
                                                    BarButtonItemStyle style,
                                                    std::optional<Action> action = std::nullopt);
    static std::shared_ptr<BarButtonItem> withCustomView(std::shared_ptr<View> view);

    template <class T, class M>
    static std::shared_ptr<BarButtonItem> withSystemItem(BarButtonSystemItem item,
                                                         const std::shared_ptr<T>& target, M action) {
        return withSystemItem(item, Action(target, action));
    }
    template <class T, class M>
    static std::shared_ptr<BarButtonItem> withTitle(std::string title, BarButtonItemStyle style,
                                                    const std::shared_ptr<T>& target, M action) {
        return withTitle(std::move(title), style, Action(target, action));
    }
    template <class T, class M>
    static std::shared_ptr<BarButtonItem> withImage(std::shared_ptr<const Image> image,
                                                    BarButtonItemStyle style,
                                                    const std::shared_ptr<T>& target, M action) {
        return withImage(std::move(image), style, Action(target, action));
    }

    BarButtonItem() = default;

    const std::optional<BarButtonSystemItem>& systemItem() const { return m_systemItem; }
    bool isSpace() const;
    BarButtonItemStyle style() const { return m_style; }
    void setStyle(BarButtonItemStyle style) { m_style = style; }
    // The fixed width; 0 lets the bar size the item (fixed spaces are 0 wide).
    double width() const { return m_width; }
    void setWidth(double width) { m_width = width; }
    const std::shared_ptr<View>& customView() const { return m_customView; }
    void setCustomView(std::shared_ptr<View> view) { m_customView = std::move(view); }

    void setAction(std::optional<Action> action) { m_action = std::move(action); }
    template <class T, class M> void setTarget(const std::shared_ptr<T>& target, M action) {
        m_action = Action(target, action);
    }
    const std::optional<Action>& action() const { return m_action; }
    // What a tap does: the action when the item is enabled and has one.
    // True when an action ran.
    bool activate();

    // One line for the screen dump: [refresh], "Share", [image close], ...
    std::string dumpDescription() const;

private:
    std::optional<BarButtonSystemItem> m_systemItem;
    BarButtonItemStyle m_style = BarButtonItemStyle::Plain;
    double m_width = 0;
    std::shared_ptr<View> m_customView;
    std::optional<Action> m_action;
};

} // namespace murmelo
