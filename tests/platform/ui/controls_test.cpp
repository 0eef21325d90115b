// Controls and bars as a person uses them: buttons and their states and
// actions, text fields and their delegates, segmented controls, spinners,
// toolbars and bar items.
#include <gtest/gtest.h>

#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/TextMetrics.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/SearchBar.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/Toolbar.h"
#include "tests/platform/ui/ui_test_support.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

class Target : public Object {
public:
    void fired() { calls.push_back("fired"); }
    void withSender(Control& sender) { calls.push_back("sender " + std::to_string(sender.tag())); }
    void segment(SegmentedControl& control) {
        calls.push_back("segment " + std::to_string(control.selectedSegmentIndex()));
    }
    void reload(BarButtonItem&) { calls.push_back("reload"); }
    void share() { calls.push_back("share"); }
    std::vector<std::string> calls;
};

class FieldDelegate : public TextFieldDelegate {
public:
    bool shouldChangeCharactersInRange(TextField&, TextRange range, const std::string& text) override {
        changes.push_back(std::to_string(range.location) + "+" + std::to_string(range.length) + ":" + text);
        return text != "x";
    }
    bool textFieldShouldReturn(TextField& field) override {
        ++returns;
        (void)field.resignFirstResponder(); // the prompt's way: hide the keyboard, accept
        return true;
    }
    bool textFieldShouldBeginEditing(TextField&) override { return allowBegin; }
    void textFieldDidBeginEditing(TextField&) override { ++began; }
    void textFieldDidEndEditing(TextField&) override { ++ended; }
    std::vector<std::string> changes;
    int returns = 0;
    int began = 0;
    int ended = 0;
    bool allowBegin = true;
};

class SearchDelegate : public SearchBarDelegate {
public:
    void textDidChange(SearchBar&, const std::string& text) override { texts.push_back(text); }
    void searchBarSearchButtonClicked(SearchBar& bar) override { searches.push_back(bar.text()); }
    std::vector<std::string> texts;
    std::vector<std::string> searches;
};

} // namespace

TEST_F(UITest, ButtonsShowTheirStateAndSendActionsPerEvent) {
    auto window = makeWindow();
    auto target = std::make_shared<Target>();
    auto button = Button::buttonWithType(ButtonType::Custom);
    button->setFrame(Rect(50, 210, 204, 44));
    button->setTag(4);
    button->setTitle("okay, submit", ControlState::Normal);
    button->setTitleColor(Color(167 / 255.0, 184 / 255.0, 216 / 255.0), ControlState::Normal);
    button->setTitleColor(Color::whiteColor(), ControlState::Highlighted);
    auto background = Image::imageWithSize("post_button_bg.png", Size{204, 44});
    button->setBackgroundImage(background, ControlState::Normal);
    button->setShowsTouchWhenHighlighted(true);
    button->addTarget(target, &Target::fired, ControlEvents::TouchUpInside);
    button->addTarget(target, &Target::withSender, ControlEvents::TouchDown);
    window->addSubview(button);

    // A state without its own value shows the normal one.
    EXPECT_EQ(button->titleForState(ControlState::Highlighted), "okay, submit");
    EXPECT_EQ(button->backgroundImageForState(ControlState::Disabled), background);
    EXPECT_EQ(*button->titleColorForState(ControlState::Highlighted), Color::whiteColor());
    button->setHighlighted(true);
    EXPECT_EQ(button->titleLabel()->textColor(), Color::whiteColor());
    button->setHighlighted(false);
    EXPECT_EQ(button->titleLabel()->text(), "okay, submit");

    ASSERT_TRUE(Interaction::tapButton("okay, submit"));
    EXPECT_EQ(target->calls, (std::vector<std::string>{"sender 4", "fired"}));
    EXPECT_FALSE(button->isHighlighted());

    // Touches that end outside send TouchUpOutside instead.
    target->calls.clear();
    button->addTarget(target, &Target::share, ControlEvents::TouchUpOutside);
    Touch touch{button, window, Point{60, 220}, Point{60, 220}, TouchPhase::Began, 1, 0};
    Event event{EventType::Touches, 0, {touch}};
    window->sendEvent(event);
    event.touches[0].locationInWindow = Point{300, 400};
    event.touches[0].phase = TouchPhase::Ended;
    window->sendEvent(event);
    EXPECT_EQ(target->calls, (std::vector<std::string>{"sender 4", "share"}));

    // Removed targets and disabled buttons send nothing.
    target->calls.clear();
    button->removeTarget(target, ControlEvents::AllEvents);
    EXPECT_EQ(button->actionCount(ControlEvents::AllEvents), 0u);
    button->addTarget(target, &Target::fired, ControlEvents::TouchUpInside);
    button->setEnabled(false);
    EXPECT_FALSE(Interaction::tapButton("okay, submit"));
    ASSERT_TRUE(Interaction::tapAt(Point{100, 230}));
    EXPECT_TRUE(target->calls.empty());

    // An action whose target is gone is skipped.
    button->setEnabled(true);
    target.reset();
    ASSERT_TRUE(Interaction::tapButton("okay, submit"));
}

TEST_F(UITest, TextFieldsTypeThroughTheirDelegate) {
    auto window = makeWindow();
    auto delegate = std::make_shared<FieldDelegate>();
    auto field = std::make_shared<TextField>(Rect(22, 100, 240, 30));
    field->setPlaceholder("twitter username");
    field->setDelegate(delegate);
    field->setKeyboardType(KeyboardType::EmailAddress);
    field->setBorderStyle(TextBorderStyle::Line);
    window->addSubview(field);
    int notifications = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        std::string(TextField::kTextDidChangeNotification), field.get(),
        [&](const Notification&) { ++notifications; });

    EXPECT_FALSE(Interaction::typeText("abc")); // no keyboard yet
    ASSERT_TRUE(Interaction::tapTextInput("twitter username"));
    EXPECT_TRUE(field->isEditing());
    EXPECT_EQ(delegate->began, 1);
    ASSERT_TRUE(Interaction::typeText("axé😀"));
    // "x" is refused; ranges count UTF-16 units, as the platform does.
    EXPECT_EQ(field->text(), "aé😀");
    EXPECT_EQ(delegate->changes, (std::vector<std::string>{"0+0:a", "1+0:x", "1+0:é", "2+0:😀"}));
    EXPECT_EQ(notifications, 3);
    ASSERT_TRUE(Interaction::deleteBackward());
    EXPECT_EQ(field->text(), "aé");
    EXPECT_EQ(delegate->changes.back(), "2+2:");

    ASSERT_TRUE(Interaction::pressReturn());
    EXPECT_EQ(delegate->returns, 1);
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_EQ(delegate->ended, 1);

    field->setText("from code"); // no delegate involved
    EXPECT_EQ(delegate->changes.size(), 5u);
    delegate->allowBegin = false;
    ASSERT_TRUE(Interaction::tapTextInput("from code"));
    EXPECT_FALSE(field->isFirstResponder());
}

TEST_F(UITest, TheKeyboardMovesBetweenInputsAndTextViewsTakeLineBreaks) {
    auto window = makeWindow();
    auto first = std::make_shared<TextField>(Rect(0, 0, 100, 30));
    first->setPlaceholder("first");
    auto box = std::make_shared<TextView>(Rect(10, 60, 300, 140));
    auto search = std::make_shared<SearchBar>(Rect(0, 300, 320, 44));
    auto searchDelegate = std::make_shared<SearchDelegate>();
    search->setDelegate(searchDelegate);
    search->setPlaceholder("Search");
    window->addSubview(first);
    window->addSubview(box);
    window->addSubview(search);

    ASSERT_TRUE(Interaction::tapTextInput("first"));
    ASSERT_TRUE(Interaction::tapView(*box));
    EXPECT_FALSE(first->isFirstResponder());
    EXPECT_TRUE(box->isFirstResponder());
    ASSERT_TRUE(Interaction::typeText("two\nlines"));
    EXPECT_EQ(box->text(), "two\nlines");

    ASSERT_TRUE(Interaction::tapTextInput("Search"));
    ASSERT_TRUE(Interaction::typeText("it's\n"));
    EXPECT_EQ(searchDelegate->texts.back(), "it's");
    EXPECT_EQ(searchDelegate->searches, (std::vector<std::string>{"it's"}));

    box->setEditable(false);
    ASSERT_TRUE(Interaction::tapView(*box));
    EXPECT_TRUE(search->isFirstResponder()); // a read-only text view takes no keyboard
}

TEST_F(UITest, SegmentedControlsReportUserChangesOnly) {
    auto window = makeWindow();
    auto target = std::make_shared<Target>();
    auto segments = std::make_shared<SegmentedControl>(std::vector<std::string>{"New", "Hot", "Mine"});
    segments->setFrame(Rect(10, 10, 300, 30));
    segments->setWidth(60, 0);
    segments->setSegmentedControlStyle(SegmentedControlStyle::Bar);
    segments->addTarget(target, &Target::segment, ControlEvents::ValueChanged);
    window->addSubview(segments);
    EXPECT_EQ(segments->segmentFrame(0), Rect(0, 0, 60, 30));
    EXPECT_EQ(segments->segmentFrame(1), Rect(60, 0, 120, 30)); // the rest shared
    EXPECT_EQ(segments->selectedSegmentIndex(), SegmentedControl::kNoSegment);

    ASSERT_TRUE(Interaction::tapAt(Point{10 + 120, 20})); // "Hot"
    ASSERT_TRUE(Interaction::tapAt(Point{10 + 120, 20})); // again: no change, no action
    ASSERT_TRUE(Interaction::tapAt(Point{10 + 30, 20}));  // "New"
    segments->setSelectedSegmentIndex(2);                 // from code: no action
    segments->setEnabled(false, 0);
    ASSERT_TRUE(Interaction::tapAt(Point{10 + 30, 20})); // disabled segment
    EXPECT_EQ(target->calls, (std::vector<std::string>{"segment 1", "segment 0"}));
    EXPECT_EQ(segments->selectedSegmentIndex(), 2);

    segments->setMomentary(true);
    ASSERT_TRUE(Interaction::tapAt(Point{10 + 250, 20}));
    EXPECT_EQ(target->calls.back(), "segment 2"); // selected while the action runs
    EXPECT_EQ(segments->selectedSegmentIndex(), SegmentedControl::kNoSegment);
}

TEST_F(UITest, ActivityIndicatorsHideWhileStopped) {
    struct Case {
        ActivityIndicatorViewStyle style;
        double side;
    };
    for (const auto& c :
         {Case{ActivityIndicatorViewStyle::WhiteLarge, 37}, Case{ActivityIndicatorViewStyle::White, 20},
          Case{ActivityIndicatorViewStyle::Gray, 20}}) {
        ActivityIndicatorView spinner(c.style);
        EXPECT_EQ(spinner.frame().size, (Size{c.side, c.side}));
        EXPECT_TRUE(spinner.isHidden());
        spinner.startAnimating();
        EXPECT_TRUE(spinner.isAnimating());
        EXPECT_FALSE(spinner.isHidden());
        spinner.stopAnimating();
        EXPECT_TRUE(spinner.isHidden());
        spinner.setHidesWhenStopped(false);
        EXPECT_FALSE(spinner.isHidden());
        spinner.stopAnimating();
        EXPECT_FALSE(spinner.isHidden());
    }
}

TEST_F(UITest, ToolbarsLayOutTheirItemsAndFireTheTappedOne) {
    auto window = makeWindow();
    auto target = std::make_shared<Target>();
    auto toolbar = std::make_shared<Toolbar>(Rect(0, 0, 320, 44));
    toolbar->setTintColor(Color::blackColor());
    auto refresh = BarButtonItem::withSystemItem(BarButtonSystemItem::Refresh, target, &Target::reload);
    auto fixed = BarButtonItem::withSystemItem(BarButtonSystemItem::FixedSpace);
    auto flexible = BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace);
    auto share = BarButtonItem::withTitle("Share", BarButtonItemStyle::Bordered, target, &Target::share);
    auto close = BarButtonItem::withImage(Image::imageWithSize("close.png", Size{20, 20}),
                                          BarButtonItemStyle::Plain, target, &Target::share);
    auto spinner = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::White);
    spinner->setFrame(Rect(0, 0, 18, 18));
    auto spinnerItem = BarButtonItem::withCustomView(spinner);
    toolbar->setItems({refresh, fixed, flexible, share, flexible, close});
    window->addSubview(toolbar);

    auto frames = toolbar->itemFrames();
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[0].x(), 6);
    EXPECT_EQ(frames[1].width(), 0);
    EXPECT_EQ(frames[2].width(), frames[4].width()); // the same flexible space twice shares evenly
    EXPECT_EQ(frames[5].maxX(), 320 - 6);            // the close button at the right edge
    EXPECT_NEAR(frames[3].midX(), 160, 1);           // "Share" in the middle

    EXPECT_EQ(toolbar->itemsDescription(),
              "[refresh] [fixed 0] [flexible] \"Share\" [flexible] [image close.png]");
    ASSERT_TRUE(Interaction::tapBarItem("refresh"));
    ASSERT_TRUE(Interaction::tapBarItem("Share"));
    ASSERT_TRUE(Interaction::tapBarItem("close"));
    EXPECT_FALSE(Interaction::tapBarItem("flexible")); // spaces are not buttons
    EXPECT_EQ(target->calls, (std::vector<std::string>{"reload", "share", "share"}));

    share->setEnabled(false);
    EXPECT_FALSE(Interaction::tapBarItem("Share"));
    ASSERT_TRUE(Interaction::tapAt(toolbar->convertPointToView(frames[3].center(), nullptr)));
    EXPECT_EQ(target->calls.size(), 3u);

    // A custom view takes the refresh button's slot and is shown in it.
    spinner->startAnimating();
    toolbar->setItems({spinnerItem, fixed, flexible, share, flexible, close});
    EXPECT_EQ(spinner->superview(), toolbar.get());
    EXPECT_EQ(spinner->center().x, toolbar->itemFrames()[0].midX());
    EXPECT_EQ(toolbar->itemsDescription(),
              "[activity indicator (white, spinning)] [fixed 0] [flexible] \"Share\" (disabled) [flexible] "
              "[image close.png]");
    toolbar->setItems({refresh});
    EXPECT_EQ(spinner->superview(), nullptr);
}

TEST_F(UITest, LabelsAndImageViewsSizeToTheirContent) {
    Label label(Rect(10, 260, 280, 100));
    label.setFont(Font::boldSystemFontOfSize(14));
    label.setNumberOfLines(0);
    label.setLineBreakMode(LineBreakMode::WordWrap);
    label.setText(" We will not save any personal information  (your ip address, device id etc.), \n"
                  "post the secret is totally anonymously.");
    Size fitted = label.sizeThatFits(Size{280, 0});
    EXPECT_LE(fitted.width, 280);
    EXPECT_GE(fitted.height, 3 * TextMetrics::lineHeight(label.font())); // wraps onto several lines
    label.setNumberOfLines(1);
    EXPECT_EQ(label.sizeThatFits(Size{280, 0}).height, TextMetrics::lineHeight(label.font()));
    EXPECT_FALSE(label.isUserInteractionEnabled());

    ImageView image(Image::imageWithSize("secret_bg.png", Size{40, 30}));
    EXPECT_EQ(image.frame(), Rect(0, 0, 40, 30));
    image.setFrame(Rect(0, 0, 5, 5));
    image.sizeToFit();
    EXPECT_EQ(image.frame().size, (Size{40, 30}));
}

TEST_F(UITest, TheKeyboardComesAndGoesWithTextInputsOnly) {
    auto window = makeWindow();
    auto first = std::make_shared<TextField>(Rect(0, 0, 100, 30));
    auto second = std::make_shared<TextField>(Rect(0, 40, 100, 30));
    auto button = std::make_shared<Button>(Rect(0, 80, 100, 30));
    window->addSubview(first);
    window->addSubview(second);
    window->addSubview(button);
    std::vector<std::string> posted;
    std::vector<ObserverToken> tokens;
    for (auto name : {Keyboard::kWillShowNotification, Keyboard::kDidShowNotification,
                      Keyboard::kWillHideNotification, Keyboard::kDidHideNotification}) {
        tokens.push_back(NotificationCenter::defaultCenter().addObserver(
            std::string(name), nullptr, [&](const Notification& n) {
                const Value* frame = n.userInfo.find(Keyboard::kFrameEndUserInfoKey);
                posted.push_back(n.name + " " + (frame ? frame->stringValue() : "-"));
            }));
    }
    ASSERT_TRUE(first->becomeFirstResponder());
    EXPECT_TRUE(Keyboard::isShown());
    ASSERT_TRUE(second->becomeFirstResponder()); // moving between inputs posts nothing
    ASSERT_TRUE(second->resignFirstResponder());
    EXPECT_FALSE(Keyboard::isShown());
    EXPECT_FALSE(button->becomeFirstResponder()); // buttons take no keyboard
    EXPECT_EQ(posted, (std::vector<std::string>{
                          "UIKeyboardWillShowNotification {{0, 264}, {320, 216}}",
                          "UIKeyboardDidShowNotification {{0, 264}, {320, 216}}",
                          "UIKeyboardWillHideNotification {{0, 480}, {320, 216}}",
                          "UIKeyboardDidHideNotification {{0, 480}, {320, 216}}",
                      }));
}

TEST_F(UITest, TextIsMeasuredByTheEstimateUntilARealMeasureIsInstalled) {
    Font font = Font::systemFontOfSize(10); // 5 points a character, lines 12 high
    struct Case {
        const char* text;
        double maxWidth;
        int maxLines;
        Size expected;
    };
    const Case cases[] = {
        {"abcd", 1000, 0, {20, 12}},
        {"ab cd", 20, 0, {10, 24}},         // wraps at the blank
        {"ab cd ef", 20, 2, {10, 24}},      // at most two lines
        {"line\nbreak", 1000, 0, {25, 24}}, // a line break always starts a line
        {"", 1000, 0, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TextMetrics::sizeOfText(c.text, font, c.maxWidth, c.maxLines), c.expected);
    }
    Label label(Rect(0, 0, 100, 20));
    label.setText("measured");
    TextMetrics::setMeasurer([](std::string_view text, const Font&, double, int) {
        return Size{static_cast<double>(text.size()), 1};
    });
    EXPECT_EQ(label.sizeThatFits(Size{100, 0}), (Size{8, 1}));
    TextMetrics::setMeasurer(nullptr);
    EXPECT_EQ(label.sizeThatFits(Size{100, 0}), TextMetrics::estimate("measured", label.font(), 1e9, 1));
}
