#include "tools/murmelo/driver/Command.h"

#include <gtest/gtest.h>

namespace murmelo::driver {
namespace {

Command make(CommandKind kind) {
    Command command;
    command.kind = kind;
    return command;
}

Command withText(CommandKind kind, std::string text, std::string value = "") {
    Command command = make(kind);
    command.text = std::move(text);
    command.value = std::move(value);
    return command;
}

Command withIndex(CommandKind kind, std::size_t index, std::string text = "") {
    Command command = make(kind);
    command.index = index;
    command.text = std::move(text);
    return command;
}

Command withSeconds(CommandKind kind, double seconds) {
    Command command = make(kind);
    command.seconds = seconds;
    return command;
}

Command presenting(PresentedForm form, std::string secretId = "") {
    Command command = make(CommandKind::Present);
    command.form = form;
    command.text = std::move(secretId);
    return command;
}

Command withNetwork(NetworkState state) {
    Command command = make(CommandKind::Network);
    command.network = state;
    return command;
}

TEST(DriverCommand, ParsesEveryShape) {
    struct Case {
        const char* line;
        Command expected;
    };
    const Case cases[] = {
        {"screen", make(CommandKind::Screen)},
        {"  links  ", make(CommandKind::Links)},
        {"memory-warning\r", make(CommandKind::MemoryWarning)},
        {"shot pool.png", withText(CommandKind::Shot, "pool.png")},
        {"shot \"my pool.png\"", withText(CommandKind::Shot, "my pool.png")},
        {"settle", make(CommandKind::Settle)},
        {"settle 2.5", withSeconds(CommandKind::Settle, 2.5)},
        {"wait 0", withSeconds(CommandKind::Wait, 0)},
        {"tab 1", withIndex(CommandKind::Tab, 1)},
        {"tab Post your secret", withText(CommandKind::Tab, "Post your secret")},
        {"tab \"1\"", withText(CommandKind::Tab, "1")},
        {"bar 0", withIndex(CommandKind::Bar, 0)},
        {"bar refresh", withText(CommandKind::Bar, "refresh")},
        {"button  Cancel ", withText(CommandKind::Button, "Cancel")},
        {"button 2", withText(CommandKind::Button, "2")},
        {"follow 3", withIndex(CommandKind::Follow, 3)},
        {"follow Next page", withText(CommandKind::Follow, "Next page")},
        {"fill Secret[content] I never told anyone",
         withText(CommandKind::Fill, "Secret[content]", "I never told anyone")},
        {"fill \"a name\" \"  padded  \"", withText(CommandKind::Fill, "a name", "  padded  ")},
        {"fill q \"\"", withText(CommandKind::Fill, "q", "")},
        {"fill q say \"hi\" twice", withText(CommandKind::Fill, "q", "say \"hi\" twice")},
        {"fill q \"line\\none\"", withText(CommandKind::Fill, "q", "line\none")},
        {"submit", make(CommandKind::Submit)},
        {"submit 2", withIndex(CommandKind::Submit, 2)},
        {"js document.title", withText(CommandKind::Js, "document.title")},
        {"js \"a\" + \"b\"", withText(CommandKind::Js, "\"a\" + \"b\"")},
        {"alert 0", withIndex(CommandKind::Alert, 0)},
        {"type 1 john doe", withIndex(CommandKind::Type, 1, "john doe")},
        {"type 0 \"\"", withIndex(CommandKind::Type, 0, "")},
        {"type 0 \"say \\\"yes\\\"\"", withIndex(CommandKind::Type, 0, "say \"yes\"")},
        {"back", make(CommandKind::Back)},
        {"network none", withNetwork(NetworkState::None)},
        {"network carrier", withNetwork(NetworkState::Carrier)},
        {"network wifi", withNetwork(NetworkState::Wifi)},
        {"location off", withText(CommandKind::Location, "off")},
        {"location 52.52,13.405", withText(CommandKind::Location, "52.52,13.405")},
        {"present secret-form", presenting(PresentedForm::Secret)},
        {"present comment-form 17", presenting(PresentedForm::Comment, "17")},
        {"present comment-form \"a b\"", presenting(PresentedForm::Comment, "a b")},
        {"present facebook-login", presenting(PresentedForm::FacebookLogin)},
        {"present facebook-post I sing & dance", presenting(PresentedForm::FacebookPost, "I sing & dance")},
        {"present facebook-post \"a b\"", presenting(PresentedForm::FacebookPost, "a b")},
        {"defaults", make(CommandKind::Defaults)},
        {"events", make(CommandKind::Events)},
        {"tap-banner", make(CommandKind::TapBanner)},
        {"help", make(CommandKind::Help)},
        {"quit", make(CommandKind::Quit)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto parsed = parseCommand(c.line);
        ASSERT_TRUE(parsed) << parsed.error().localizedDescription();
        ASSERT_TRUE(parsed->has_value());
        EXPECT_EQ(**parsed, c.expected);
    }
}

TEST(DriverCommand, BlankLinesAndCommentsAreNothing) {
    for (const char* line : {"", "   ", "\t\r", "# a comment", "   #indented comment", "#"}) {
        SCOPED_TRACE(line);
        auto parsed = parseCommand(line);
        ASSERT_TRUE(parsed);
        EXPECT_FALSE(parsed->has_value());
    }
}

TEST(DriverCommand, RejectsWithOneLineNamingTheProblem) {
    struct Case {
        const char* line;
        const char* expectedPart;
    };
    const Case cases[] = {
        {"frobnicate", "unknown command \"frobnicate\""},
        {"\"screen\"", "unknown command"},
        {"SCREEN", "unknown command"},
        {"screen now", "screen: takes no arguments"},
        {"quit 1", "quit: takes no arguments"},
        {"shot", "shot: needs a file name"},
        {"shot a b", "shot: takes one file name"},
        {"shot \"\"", "shot: takes one file name"},
        {"present", "present: needs a form"},
        {"present login-form", "present: unknown form \"login-form\""},
        {"present comment-form", "present: comment-form needs the secret id"},
        {"present comment-form 1 2", "present: comment-form takes one secret id"},
        {"present comment-form \"\"", "present: comment-form takes one secret id"},
        {"present secret-form 3", "present: secret-form takes no secret id"},
        {"present facebook-login now", "present: facebook-login takes nothing more"},
        {"present facebook-post", "present: facebook-post needs the text to share"},
        {"settle -1", "settle: expected seconds"},
        {"settle 1e3", "settle: expected seconds"},
        {"settle 4000", "settle: expected seconds"},
        {"settle nan", "settle: expected seconds"},
        {"settle 1 2", "settle: expected seconds"},
        {"wait", "wait: needs a number of seconds"},
        {"wait soon", "wait: expected seconds"},
        {"tab", "tab: needs a number or a title"},
        {"tab \"Post", "tab: a quote is not closed"},
        {"button", "button: needs a title"},
        {"follow 0", "follow: links are numbered from 1"},
        {"fill", "fill: needs a field name and a value"},
        {"fill name", "fill: needs a value"},
        {"fill \"\" x", "fill: the field name is empty"},
        {"fill \"bad\\q\" x", "fill: unknown escape \\q"},
        {"fill \"a\"b c", "fill: a blank must follow a closing quote"},
        {"submit 0", "submit: expected a form number from 1"},
        {"submit first", "submit: expected a form number from 1"},
        {"js", "js: needs code to run"},
        {"alert", "alert: needs an index"},
        {"alert -1", "alert: expected an index from 0"},
        {"alert 1 2", "alert: takes only an index"},
        {"alert 99999999999999999999", "alert: expected an index from 0"},
        {"type", "type: needs an index"},
        {"type x hello", "type: expected an index from 0"},
        {"type 0", "type: needs the text to type"},
        {"network", "network: needs a network"},
        {"network lte", "network: unknown network \"lte\""},
        {"network none now", "network: takes one network"},
        {"location", "location: takes one of on, off, none or LAT,LON"},
        {"location 95,10", "location: \"95,10\" is not on, off, none or LAT,LON in degrees"},
        {"location on off", "location: takes one of on, off, none or LAT,LON"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto parsed = parseCommand(c.line);
        ASSERT_FALSE(parsed);
        std::string text = parsed.error().localizedDescription();
        EXPECT_NE(text.find(c.expectedPart), std::string::npos) << text;
        EXPECT_EQ(text.find('\n'), std::string::npos) << text;
    }
}

TEST(DriverCommand, HelpListsEveryCommandByName) {
    std::string help = commandHelp();
    for (CommandKind kind :
         {CommandKind::Screen,        CommandKind::Shot,     CommandKind::Settle, CommandKind::Wait,
          CommandKind::Tab,           CommandKind::Bar,      CommandKind::Button, CommandKind::Links,
          CommandKind::Follow,        CommandKind::Fill,     CommandKind::Submit, CommandKind::Js,
          CommandKind::Alert,         CommandKind::Type,     CommandKind::Back,   CommandKind::Network,
          CommandKind::MemoryWarning, CommandKind::Defaults, CommandKind::Events, CommandKind::Help,
          CommandKind::Quit}) {
        std::string name(commandName(kind));
        EXPECT_NE(help.find("  " + name), std::string::npos) << name;
        auto parsed = parseCommand(name);
        // Every listed name is a command (some then want arguments).
        if (!parsed) {
            EXPECT_EQ(parsed.error().localizedDescription().find("unknown command"), std::string::npos)
                << name;
        } else {
            EXPECT_EQ((*parsed)->kind, kind);
        }
    }
}

} // namespace
} // namespace murmelo::driver
