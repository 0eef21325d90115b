// Alerts and action sheets: button indexes, delegate calls on taps, several
// shown at once, the key window, and an alert subclass with text fields that
// lays itself out taller.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/graphics/FontLibrary.h"
#include "platform/graphics/TextMetrics.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"
#include "tests/platform/ui/ui_test_support.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

class AlertLog : public AlertViewDelegate, public ActionSheetDelegate {
public:
    void clickedButtonAtIndex(AlertView& alert, int index) override { add("clicked", alert.tag(), index); }
    void willPresentAlertView(AlertView& alert) override { add("willPresent", alert.tag(), -1); }
    void didPresentAlertView(AlertView& alert) override { add("didPresent", alert.tag(), -1); }
    void willDismissWithButtonIndex(AlertView& alert, int index) override {
        add("willDismiss", alert.tag(), index);
    }
    void didDismissWithButtonIndex(AlertView& alert, int index) override {
        add("didDismiss", alert.tag(), index);
    }
    void clickedButtonAtIndex(ActionSheet& sheet, int index) override {
        add("sheet clicked", sheet.tag(), index);
    }
    void didDismissWithButtonIndex(ActionSheet& sheet, int index) override {
        add("sheet didDismiss", sheet.tag(), index);
    }

    std::vector<std::string> events;

private:
    void add(const std::string& what, int tag, int index) {
        events.push_back(what + " " + std::to_string(tag) + (index >= 0 ? " " + std::to_string(index) : ""));
    }
};

// An account prompt: three fields under the title, the buttons moved down
// below them and the alert made taller on its first layout.
class PromptAlert : public AlertView {
public:
    PromptAlert(std::weak_ptr<AlertViewDelegate> delegate)
        : AlertView("Twitter Account:\n", "", std::move(delegate), "Dismiss", {"Post"}) {
        for (const char* placeholder : {"twitter username", "twitter password", "add extra message here"}) {
            auto field = std::make_shared<TextField>(Rect(0, 0, 10, 30));
            field->setPlaceholder(placeholder);
            field->setBorderStyle(TextBorderStyle::Line);
            field->setBackgroundColor(Color::whiteColor());
            fields.push_back(field);
            addSubview(field);
        }
        fields[1]->setSecureTextEntry(true);
    }

    void layoutSubviews() override {
        AlertView::layoutSubviews();
        ++layouts;
        double width = frame().width() - 50;
        if (!layoutDone) {
            double lowest = 0;
            for (const auto& view : subviews()) {
                if (dynamic_cast<Label*>(view.get())) {
                    lowest = std::max(lowest, view->frame().maxY());
                }
            }
            int n = 0;
            for (const auto& view : subviews()) {
                if (dynamic_cast<TextField*>(view.get())) {
                    view->setFrame(Rect(22, lowest + 50 * n++, width - 44, 30));
                } else if (!dynamic_cast<Label*>(view.get())) {
                    Rect f = view->frame();
                    view->setFrame(f.offsetBy(0, 150));
                }
            }
            Rect f = frame();
            f.size.height += 170;
            setFrame(f);
            layoutDone = true;
        } else {
            for (const auto& field : fields) {
                Rect f = field->frame();
                field->setFrame(Rect(22, f.y(), width - 44, f.height()));
            }
        }
    }

    std::vector<std::shared_ptr<TextField>> fields;
    bool layoutDone = false;
    int layouts = 0;
};

std::vector<std::string> titles(const ButtonPanel& panel) {
    std::vector<std::string> result;
    for (int i = 0; i < panel.numberOfButtons(); ++i) {
        result.push_back(*panel.buttonTitleAtIndex(i));
    }
    return result;
}

} // namespace

TEST_F(UITest, AlertButtonsAreNumberedCancelFirstThenOthersThenAdded) {
    struct Case {
        const char* name;
        std::optional<std::string> cancel;
        std::vector<std::string> others;
        std::vector<std::string> added;
        std::vector<std::string> expected;
        int cancelIndex;
        int firstOther;
    };
    const Case cases[] = {
        {"recommendation: cancel, then one added", "Later", {}, {"Get it"}, {"Later", "Get it"}, 0, 1},
        {"no cancel title: the added button is 0", std::nullopt, {}, {"Get it"}, {"Get it"}, -1, 0},
        {"others then added", "Cancel", {"A", "B"}, {"C"}, {"Cancel", "A", "B", "C"}, 0, 1},
        {"only a cancel button", "OK", {}, {}, {"OK"}, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto alert = std::make_shared<AlertView>("Title", "Message", std::weak_ptr<AlertViewDelegate>(),
                                                 c.cancel, c.others);
        for (const auto& title : c.added) {
            int index = alert->addButtonWithTitle(title);
            EXPECT_EQ(index, alert->numberOfButtons() - 1);
        }
        EXPECT_EQ(titles(*alert), c.expected);
        EXPECT_EQ(alert->cancelButtonIndex(), c.cancelIndex);
        EXPECT_EQ(alert->firstOtherButtonIndex(), c.firstOther);
        EXPECT_FALSE(alert->buttonTitleAtIndex(static_cast<int>(c.expected.size())));
    }
}

TEST_F(UITest, ActionSheetButtonsAreNumberedDestructiveOthersCancelThenAdded) {
    struct Case {
        const char* name;
        std::optional<std::string> cancel;
        std::optional<std::string> destructive;
        std::vector<std::string> others;
        std::vector<std::string> added;
        std::vector<std::string> expected;
        int cancelIndex;
        int destructiveIndex;
    };
    const Case cases[] = {
        {"share sheet: cancel, then the choices added",
         "Cancel",
         std::nullopt,
         {},
         {"Mail", "Facebook", "Twitter"},
         {"Cancel", "Mail", "Facebook", "Twitter"},
         0,
         -1},
        {"all at once", "Cancel", "Delete", {"A", "B"}, {}, {"Delete", "A", "B", "Cancel"}, 3, 0},
        {"added after a full set", "Cancel", "Delete", {"A"}, {"Z"}, {"Delete", "A", "Cancel", "Z"}, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto sheet = std::make_shared<ActionSheet>("Good news!", std::weak_ptr<ActionSheetDelegate>(),
                                                   c.cancel, c.destructive, c.others);
        for (const auto& title : c.added) {
            sheet->addButtonWithTitle(title);
        }
        EXPECT_EQ(titles(*sheet), c.expected);
        EXPECT_EQ(sheet->cancelButtonIndex(), c.cancelIndex);
        EXPECT_EQ(sheet->destructiveButtonIndex(), c.destructiveIndex);
    }
}

TEST_F(UITest, TappingAnAlertButtonTellsTheDelegateAndDismissesIt) {
    auto window = makeWindow();
    auto log = std::make_shared<AlertLog>();
    auto alert = std::make_shared<AlertView>("New app", "Try it", log, "Later");
    alert->addButtonWithTitle("Get it");
    alert->setTag(2000);
    alert->show();
    EXPECT_TRUE(alert->isVisible());
    EXPECT_NE(alert->window(), window.get());
    EXPECT_FALSE(window->isKeyWindow()); // the alert's window takes the key
    ASSERT_TRUE(Interaction::tapAlertButton(1));
    EXPECT_EQ(log->events, (std::vector<std::string>{"willPresent 2000", "didPresent 2000", "clicked 2000 1",
                                                     "willDismiss 2000 1"}));
    EXPECT_FALSE(alert->isVisible());
    EXPECT_EQ(alert->window(), nullptr);
    EXPECT_TRUE(window->isKeyWindow());
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(log->events.back(), "didDismiss 2000 1");

    // Dismissing from code tells no click.
    log->events.clear();
    alert->show();
    alert->dismissWithClickedButtonIndex(0, false);
    EXPECT_EQ(log->events, (std::vector<std::string>{"willPresent 2000", "didPresent 2000",
                                                     "willDismiss 2000 0", "didDismiss 2000 0"}));
    EXPECT_FALSE(Interaction::tapAlertButton(0)); // nothing shown any more
    EXPECT_FALSE(Interaction::tapAlertButton(7));
}

TEST_F(UITest, TheFrontAlertTakesTheTapsAndTheOneBehindComesBack) {
    auto window = makeWindow();
    auto log = std::make_shared<AlertLog>();
    auto first = std::make_shared<AlertView>("First", std::nullopt, log, "OK");
    first->setTag(1);
    auto second = std::make_shared<AlertView>("Second", std::nullopt, log, "OK");
    second->setTag(2);
    first->show();
    second->show();
    EXPECT_FALSE(Interaction::tapView(*first->buttonAtIndex(0))); // waiting behind the second
    ASSERT_TRUE(Interaction::tapAlertButton(0));
    ASSERT_TRUE(Interaction::tapAlertButton(0));
    std::vector<std::string> clicks;
    std::copy_if(log->events.begin(), log->events.end(), std::back_inserter(clicks),
                 [](const std::string& e) { return e.rfind("clicked", 0) == 0; });
    EXPECT_EQ(clicks, (std::vector<std::string>{"clicked 2 0", "clicked 1 0"}));
    EXPECT_TRUE(window->isKeyWindow());

    // While an alert shows, nothing behind it can be tapped.
    auto button = std::make_shared<Button>(Rect(0, 0, 320, 480));
    int taps = 0;
    button->addAction([&](Control&) { ++taps; }, ControlEvents::TouchUpInside);
    window->addSubview(button);
    first->show();
    EXPECT_FALSE(Interaction::tapView(*button));
    ASSERT_TRUE(Interaction::tapAt(Point{5, 5}));
    EXPECT_EQ(taps, 0);
    EXPECT_TRUE(first->isVisible());
}

TEST_F(UITest, ActionSheetsShowInAViewAndReportTheChosenButton) {
    auto window = makeWindow();
    auto log = std::make_shared<AlertLog>();
    auto screen = std::make_shared<View>(Rect(0, 0, 320, 480));
    window->addSubview(screen);
    auto sheet = std::make_shared<ActionSheet>("Share", log, "Cancel", std::nullopt);
    sheet->addButtonWithTitle("Mail");
    sheet->addButtonWithTitle("Facebook");
    sheet->setActionSheetStyle(ActionSheetStyle::BlackTranslucent);
    sheet->showInView(*screen);
    EXPECT_EQ(sheet->shownInView(), screen);
    EXPECT_EQ(sheet->frame().maxY(), 480); // resting on the bottom edge
    EXPECT_FALSE(Interaction::tapSheetButton(5));
    ASSERT_TRUE(Interaction::tapSheetButton(2));
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(log->events, (std::vector<std::string>{"sheet clicked 0 2", "sheet didDismiss 0 2"}));

    auto alert = std::make_shared<AlertView>("Alert", std::nullopt, log, "OK");
    alert->show();
    EXPECT_FALSE(Interaction::tapSheetButton(0)); // the front panel is an alert
}

TEST_F(UITest, AnAlertSubclassPlacesItsFieldsAndGrowsOnItsFirstLayout) {
    auto window = makeWindow();
    auto log = std::make_shared<AlertLog>();
    auto prompt = std::make_shared<PromptAlert>(log);
    prompt->setTag(2115);
    ASSERT_TRUE(prompt->fields[2]->becomeFirstResponder()); // before showing, as the prompt does
    prompt->show();
    ASSERT_TRUE(Interaction::settle());

    Rect frame = prompt->frame();
    // The base layout made room for the title and two side-by-side buttons.
    auto cancel = prompt->buttonAtIndex(0);
    auto post = prompt->buttonAtIndex(1);
    EXPECT_EQ(cancel->frame().y(), post->frame().y());
    EXPECT_LT(cancel->frame().x(), post->frame().x());
    // The buttons moved below the three fields, inside the grown alert.
    EXPECT_GT(cancel->frame().y(), prompt->fields[2]->frame().maxY());
    EXPECT_LE(cancel->frame().maxY(), frame.height());
    EXPECT_EQ(prompt->fields[1]->frame().y() - prompt->fields[0]->frame().y(), 50);
    EXPECT_EQ(prompt->fields[0]->frame().x(), 22);
    EXPECT_EQ(prompt->fields[0]->frame().width(), AlertView::kWidth - 50 - 44);

    // Later layouts keep the height and the fields' rows.
    int layouts = prompt->layouts;
    prompt->setNeedsLayout();
    ASSERT_TRUE(Interaction::settle());
    EXPECT_GT(prompt->layouts, layouts);
    EXPECT_EQ(prompt->frame(), frame);

    // Moved down by a transform (screens without a scale), it still takes taps where it is drawn.
    prompt->setTransform(AffineTransform::translation(0, 100));
    ASSERT_TRUE(Interaction::tapTextInput("twitter username"));
    ASSERT_TRUE(Interaction::typeText("someone"));
    ASSERT_TRUE(Interaction::tapTextInput("twitter password"));
    ASSERT_TRUE(Interaction::typeText("secret"));
    EXPECT_EQ(prompt->fields[0]->text(), "someone");
    EXPECT_EQ(prompt->fields[1]->text(), "secret");
    // Pushed down that far, its buttons are below the screen's edge.
    EXPECT_FALSE(Interaction::tapAlertButton(1));
    prompt->setTransform(AffineTransform::identity());
    ASSERT_TRUE(Interaction::tapAlertButton(1));
    EXPECT_NE(std::find(log->events.begin(), log->events.end(), "clicked 2115 1"), log->events.end());
    EXPECT_EQ(Responder::currentFirstResponder(), nullptr); // the fields left the screen with the alert
}

TEST_F(UITest, AnAlertMustBeSharedToBeShown) {
    AlertView standalone("Title", std::nullopt, std::weak_ptr<AlertViewDelegate>(), "OK");
    standalone.show();
    EXPECT_FALSE(standalone.isVisible());
}

TEST_F(UITest, AlertsOfAnyTextFitTheScreenAndCanBeAnswered) {
    std::string words;
    while (words.size() < 700) {
        words += "a recommendation that goes on ";
    }
    const std::string longWord(10000, 'w');
    const std::string tenThousand = words + std::string(10000 - words.size(), 'x');
    const std::string megabyte(1 << 20, 'm');
    const std::string newlines(10000, '\n');
    std::string wordsAndBreaks;
    while (wordsAndBreaks.size() < (1 << 20)) {
        wordsAndBreaks += "line\n";
    }
    struct Case {
        const char* name;
        std::string title;
        std::string message;
        int buttons;
    };
    const Case cases[] = {
        {"empty", "", "", 2},
        {"short", "New app", "Try it", 2},
        {"700 characters", "New app", words, 2},
        {"10 000 characters", tenThousand, tenThousand, 2},
        {"1 MB title", megabyte, "Try it", 2},
        {"1 MB message", "New app", megabyte, 2},
        {"long unbroken words", longWord, longWord, 2},
        {"many newlines", newlines, newlines, 2},
        {"1 MB of short lines", wordsAndBreaks, wordsAndBreaks, 2},
        {"one button", words, words, 1},
        {"more buttons than fit", words, words, 14},
    };
    const Rect screen = Screen::mainScreen().bounds();
    auto within = [&](const Rect& r) {
        return r.x() >= screen.x() && r.y() >= screen.y() && r.maxX() <= screen.maxX() &&
               r.maxY() <= screen.maxY() && r.width() > 0 && r.height() > 0;
    };
    enum class Measure { Estimate, Fonts };
    for (Measure measure : {Measure::Estimate, Measure::Fonts}) {
        if (measure == Measure::Fonts) {
            FontLibrary::shared().installTextMeasurer();
        }
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (measure == Measure::Fonts ? " (fonts)" : " (estimate)"));
            auto log = std::make_shared<AlertLog>();
            auto alert = std::make_shared<AlertView>(c.title, c.message, log, "Cancel");
            for (int i = 1; i < c.buttons; ++i) {
                alert->addButtonWithTitle("OK " + std::to_string(i));
            }
            alert->show();
            ASSERT_TRUE(Interaction::settle(5));
            EXPECT_TRUE(within(alert->frame())) << alert->frame().description();
            for (int i = 0; i < c.buttons; ++i) {
                auto button = alert->buttonAtIndex(i);
                EXPECT_TRUE(within(button->convertRectToView(button->bounds(), nullptr)))
                    << i << " " << button->convertRectToView(button->bounds(), nullptr).description();
            }
            for (const auto& view : alert->subviews()) {
                if (auto* label = dynamic_cast<Label*>(view.get()); label && !label->isHidden()) {
                    EXPECT_TRUE(alert->bounds().contains(label->frame())) << label->frame().description();
                }
            }
            const int last = c.buttons - 1;
            ASSERT_TRUE(Interaction::tapAlertButton(last));
            const std::string clicked = "clicked 0 " + std::to_string(last);
            EXPECT_NE(std::find(log->events.begin(), log->events.end(), clicked), log->events.end());
        }
        TextMetrics::setMeasurer(nullptr);
    }
}
