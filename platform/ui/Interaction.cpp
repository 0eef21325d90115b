#include "platform/ui/Interaction.h"

#include <algorithm>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/Value.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/SearchBar.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/ui/internal/AlertOverlay.h"
#include "platform/ui/internal/AnimationScheduler.h"
#include "platform/ui/internal/LayoutPass.h"

namespace murmelo {

namespace {

Error interactionError(const std::string& description) {
    return Error("InteractionErrorDomain", 1, description);
}

bool isShown(const View& view) {
    return !view.isHidden() && view.alpha() >= 0.01;
}

// Visible windows, the front-most first.
std::vector<std::shared_ptr<Window>> windowsFrontFirst() {
    auto windows = Application::sharedApplication().windows();
    std::vector<std::shared_ptr<Window>> shown;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (isShown(**it)) {
            shown.push_back(*it);
        }
    }
    return shown;
}

void collectBackToFront(View& view, std::vector<View*>& out) {
    if (!isShown(view)) {
        return;
    }
    out.push_back(&view);
    for (const auto& subview : view.subviews()) {
        collectBackToFront(*subview, out);
    }
}

// Every visible view on the screen, the front-most first.
std::vector<View*> viewsFrontFirst() {
    std::vector<View*> all;
    for (const auto& window : windowsFrontFirst()) {
        std::vector<View*> inWindow;
        collectBackToFront(*window, inWindow);
        all.insert(all.end(), inWindow.rbegin(), inWindow.rend());
    }
    return all;
}

template <class T> T* findFrontMost(const std::function<bool(T&)>& matches) {
    for (View* view : viewsFrontFirst()) {
        if (auto* typed = dynamic_cast<T*>(view); typed && matches(*typed)) {
            return typed;
        }
    }
    return nullptr;
}

struct Hit {
    std::shared_ptr<Window> window;
    Point pointInWindow;
    View* view = nullptr;
};

Hit hitAt(Point screenPoint, const Event* event) {
    for (const auto& window : windowsFrontFirst()) {
        Rect frame = window->frame();
        Point p{screenPoint.x - frame.origin.x, screenPoint.y - frame.origin.y};
        if (View* hit = window->hitTest(p, event)) {
            return {window, p, hit};
        }
    }
    return {};
}

void deliverTap(const Hit& hit) {
    auto target = hit.view->sharedAs<View>();
    Event event;
    event.timestamp = Clock::monotonic();
    Touch touch{target, hit.window,     hit.pointInWindow, hit.pointInWindow, TouchPhase::Began,
                1,      event.timestamp};
    event.touches = {touch};
    hit.window->sendEvent(event);
    event.touches[0].phase = TouchPhase::Ended;
    hit.window->sendEvent(event);
}

// Taps `pointInTarget` of `target`, provided the touch would land on it.
Result<void> tapInside(const View& target, Point pointInTarget) {
    internal::runLayoutPass();
    Window* window = target.window();
    if (!window) {
        return interactionError("the " + target.className() + " is not on the screen");
    }
    for (const View* v = &target; v; v = v->superview()) {
        if (!isShown(*v)) {
            return interactionError("the " + target.className() + " is not visible");
        }
    }
    Point inWindow = target.convertPointToView(pointInTarget, nullptr);
    Rect frame = window->frame();
    Event probe;
    Hit hit = hitAt({inWindow.x + frame.origin.x, inWindow.y + frame.origin.y}, &probe);
    if (!hit.view) {
        return interactionError("nothing takes touches at the " + target.className());
    }
    if (!hit.view->isDescendantOfView(&target)) {
        return interactionError("the " + target.className() + " is covered by a " + hit.view->className());
    }
    deliverTap(hit);
    return {};
}

Result<void> tapPanelButton(int index, bool sheetsOnly) {
    auto front = internal::AlertOverlay::shared().front();
    auto* panel = dynamic_cast<ButtonPanel*>(front.get());
    if (!panel) {
        return interactionError("no alert or action sheet is shown");
    }
    if (sheetsOnly && !dynamic_cast<ActionSheet*>(panel)) {
        return interactionError("the front panel is an alert, not an action sheet");
    }
    auto button = panel->buttonAtIndex(index);
    if (!button) {
        return interactionError("the " + panel->className() + " has no button " + std::to_string(index));
    }
    return Interaction::tapView(*button);
}

bool isSettledNow() {
    return internal::AnimationScheduler::shared().pendingCount() == 0 && !internal::isLayoutPassPending();
}

// Handles whatever the main loop has ready now (posted calls, due timers).
void runReadyWork(double deadline) {
    RunLoop& loop = RunLoop::main();
    while (Clock::monotonic() < deadline) {
        if (loop.runMode(RunLoop::kDefaultMode, Clock::monotonic()) != RunStatus::HandledSource) {
            return;
        }
    }
}

} // namespace

bool Interaction::isSettled() {
    return isSettledNow();
}

bool Interaction::settle(double timeoutSeconds) {
    assertMainThread();
    double deadline = RunLoop::dateAfter(timeoutSeconds);
    while (true) {
        runReadyWork(deadline);
        if (!RunLoop::main().runModeUntil(RunLoop::kDefaultMode, isSettledNow, deadline)) {
            return false;
        }
        // What the last completions handed to the loop runs too; settled
        // only when that starts nothing new.
        runReadyWork(deadline);
        if (isSettledNow()) {
            return true;
        }
        if (Clock::monotonic() >= deadline) {
            return false;
        }
    }
}

bool Interaction::runUntil(const std::function<bool()>& condition, double timeoutSeconds) {
    assertMainThread();
    return RunLoop::main().runModeUntil(RunLoop::kDefaultMode, condition, RunLoop::dateAfter(timeoutSeconds));
}

Result<void> Interaction::tapAt(Point screenPoint) {
    assertMainThread();
    internal::runLayoutPass();
    Event probe;
    Hit hit = hitAt(screenPoint, &probe);
    if (!hit.view) {
        return interactionError("nothing takes touches at (" + formatNumber(screenPoint.x) + ", " +
                                formatNumber(screenPoint.y) + ")");
    }
    deliverTap(hit);
    return {};
}

Result<void> Interaction::tapView(const View& view) {
    assertMainThread();
    return tapInside(view, view.bounds().center());
}

Result<void> Interaction::tapTab(std::string_view title) {
    internal::runLayoutPass();
    size_t index = 0;
    TabBar* bar = findFrontMost<TabBar>([&](TabBar& candidate) {
        auto items = candidate.items();
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i]->title() && *items[i]->title() == title) {
                index = i;
                return true;
            }
        }
        return false;
    });
    if (!bar) {
        return interactionError("no tab \"" + std::string(title) + "\" is shown");
    }
    return tapInside(*bar, bar->itemFrame(index).center());
}

Result<void> Interaction::tapTabAtIndex(size_t index) {
    internal::runLayoutPass();
    TabBar* bar = findFrontMost<TabBar>([&](TabBar& candidate) { return index < candidate.items().size(); });
    if (!bar) {
        return interactionError("no tab bar with a tab " + std::to_string(index) + " is shown");
    }
    return tapInside(*bar, bar->itemFrame(index).center());
}

Result<void> Interaction::tapBarItem(std::string_view name) {
    internal::runLayoutPass();
    auto matches = [&](const BarButtonItem& item) {
        if (item.isSpace()) {
            return false;
        }
        if (item.title() && *item.title() == name) {
            return true;
        }
        if (item.systemItem() && barButtonSystemItemName(*item.systemItem()) == name) {
            return true;
        }
        return item.image() && !item.title() &&
               (item.image()->name() == name || item.image()->name() == std::string(name) + ".png");
    };
    size_t index = 0;
    Toolbar* bar = findFrontMost<Toolbar>([&](Toolbar& candidate) {
        for (size_t i = 0; i < candidate.items().size(); ++i) {
            if (matches(*candidate.items()[i])) {
                index = i;
                return true;
            }
        }
        return false;
    });
    if (!bar) {
        return interactionError("no bar item \"" + std::string(name) + "\" is shown");
    }
    if (!bar->items()[index]->isEnabled()) {
        return interactionError("the bar item \"" + std::string(name) + "\" is disabled");
    }
    return tapInside(*bar, bar->itemFrames()[index].center());
}

Result<void> Interaction::tapButton(std::string_view title) {
    internal::runLayoutPass();
    Button* button = findFrontMost<Button>([&](Button& candidate) {
        auto current = candidate.currentTitle();
        return current && *current == title;
    });
    if (!button) {
        return interactionError("no button \"" + std::string(title) + "\" is shown");
    }
    if (!button->isEnabled()) {
        return interactionError("the button \"" + std::string(title) + "\" is disabled");
    }
    return tapView(*button);
}

Result<void> Interaction::tapAlertButton(int index) {
    assertMainThread();
    return tapPanelButton(index, false);
}

Result<void> Interaction::tapSheetButton(int index) {
    assertMainThread();
    return tapPanelButton(index, true);
}

Result<void> Interaction::tapTextInput(std::string_view name) {
    internal::runLayoutPass();
    View* input = findFrontMost<View>([&](View& candidate) {
        if (auto* field = dynamic_cast<TextField*>(&candidate)) {
            return field->text() == name || (field->placeholder() && *field->placeholder() == name);
        }
        if (auto* bar = dynamic_cast<SearchBar*>(&candidate)) {
            return bar->text() == name || (bar->placeholder() && *bar->placeholder() == name);
        }
        if (auto* text = dynamic_cast<TextView*>(&candidate)) {
            return text->text() == name;
        }
        return false;
    });
    if (!input) {
        return interactionError("no text input \"" + std::string(name) + "\" is shown");
    }
    return tapView(*input);
}

Result<void> Interaction::typeText(std::string_view text) {
    assertMainThread();
    auto responder = Responder::currentFirstResponder();
    auto* input = dynamic_cast<TextInput*>(responder.get());
    if (!input) {
        return interactionError("no text input has the keyboard");
    }
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '\n') {
            input->pressReturn();
            ++i;
            // Return may hand the keyboard elsewhere; keep typing there.
            responder = Responder::currentFirstResponder();
            input = dynamic_cast<TextInput*>(responder.get());
            if (!input && i < text.size()) {
                return interactionError("the keyboard went away while typing");
            }
            continue;
        }
        size_t length = 1;
        while (i + length < text.size() && (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80) {
            ++length;
        }
        (void)input->insertText(text.substr(i, length)); // a refused character is simply not typed
        i += length;
    }
    return {};
}

Result<void> Interaction::pressReturn() {
    return typeText("\n");
}

Result<void> Interaction::deleteBackward(size_t count) {
    assertMainThread();
    auto responder = Responder::currentFirstResponder();
    auto* input = dynamic_cast<TextInput*>(responder.get());
    if (!input) {
        return interactionError("no text input has the keyboard");
    }
    for (size_t i = 0; i < count; ++i) {
        (void)input->deleteBackward();
    }
    return {};
}

Result<void> Interaction::dismissModal(bool animated) {
    assertMainThread();
    for (const auto& window : windowsFrontFirst()) {
        const auto& subviews = window->subviews();
        for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
            ViewController* shown = (*it)->viewController();
            if (!shown || (!shown->presentingViewController() && !shown->modalViewController())) {
                continue;
            }
            // The last screen of the chain goes.
            auto last = shown->modalViewController();
            ViewController* target = last ? last.get() : shown;
            while (auto next = target->modalViewController()) {
                target = next.get();
            }
            target->dismissModalViewControllerAnimated(animated);
            return {};
        }
    }
    return interactionError("no screen is presented");
}

void Interaction::memoryWarning() {
    Application::sharedApplication().didReceiveMemoryWarning();
}

void Interaction::resignActive() {
    Application::sharedApplication().resignActive();
}

void Interaction::becomeActive() {
    Application::sharedApplication().becomeActive();
}

std::vector<std::shared_ptr<View>> Interaction::shownPanels() {
    return internal::AlertOverlay::shared().panels();
}

std::string Interaction::dump() {
    internal::runLayoutPass();
    return dumpScreen();
}

} // namespace murmelo
