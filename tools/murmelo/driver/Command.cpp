#include "tools/murmelo/driver/Command.h"

#include <array>
#include <charconv>
#include <cmath>

namespace murmelo::driver {

namespace {

constexpr double kMaxSeconds = 3600;
constexpr std::size_t kMaxIndex = 1'000'000;

Error syntaxError(std::string_view command, const std::string& what) {
    std::string text = command.empty() ? what : std::string(command) + ": " + what;
    // One line, whatever the quoted words held.
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return Error("MurmeloDriverCommand", 1, text);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A cursor over one line.
class Scanner {
public:
    explicit Scanner(std::string_view line) : m_line(line) {}

    void skipBlanks() {
        while (m_pos < m_line.size() && isBlank(m_line[m_pos])) {
            ++m_pos;
        }
    }
    bool atEnd() {
        skipBlanks();
        return m_pos >= m_line.size();
    }

    struct Word {
        std::string text;
        bool quoted = false;
    };

    // REQUIRES: !atEnd()
    Result<Word> word() {
        skipBlanks();
        if (m_line[m_pos] != '"') {
            std::size_t start = m_pos;
            while (m_pos < m_line.size() && !isBlank(m_line[m_pos])) {
                ++m_pos;
            }
            return Word{std::string(m_line.substr(start, m_pos - start)), false};
        }
        std::string text;
        ++m_pos;
        while (m_pos < m_line.size()) {
            char c = m_line[m_pos++];
            if (c == '"') {
                if (m_pos < m_line.size() && !isBlank(m_line[m_pos])) {
                    return Error("MurmeloDriverCommand", 1, "a blank must follow a closing quote");
                }
                return Word{std::move(text), true};
            }
            if (c != '\\') {
                text += c;
                continue;
            }
            if (m_pos >= m_line.size()) {
                break;
            }
            char escaped = m_line[m_pos++];
            switch (escaped) {
            case '"':
            case '\\':
                text += escaped;
                break;
            case 'n':
                text += '\n';
                break;
            case 't':
                text += '\t';
                break;
            default:
                return Error("MurmeloDriverCommand", 1,
                             std::string("unknown escape \\") + escaped +
                                 " in quotes (use \\\" \\\\ \\n \\t)");
            }
        }
        return Error("MurmeloDriverCommand", 1, "a quote is not closed");
    }

    // The rest of the line without surrounding blanks; a single quoted word
    // stands for its text.
    Result<Word> rest() {
        skipBlanks();
        std::string_view tail = m_line.substr(m_pos);
        while (!tail.empty() && isBlank(tail.back())) {
            tail.remove_suffix(1);
        }
        if (!tail.empty() && tail.front() == '"') {
            Scanner inner(tail);
            auto quoted = inner.word();
            if (quoted && inner.atEnd()) {
                m_pos = m_line.size();
                return quoted;
            }
            if (!quoted && tail.find('"', 1) == std::string_view::npos) {
                return quoted.error(); // an opening quote that never closes is a typo
            }
        }
        m_pos = m_line.size();
        return Word{std::string(tail), false};
    }

private:
    std::string_view m_line;
    std::size_t m_pos = 0;
};

std::optional<std::size_t> parseIndex(std::string_view text) {
    std::size_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value > kMaxIndex) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseSeconds(std::string_view text) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || !std::isfinite(value) ||
        value < 0 || value > kMaxSeconds) {
        return std::nullopt;
    }
    return value;
}

// ---- arguments, one parser per shape; each gets the command with its kind set

struct Entry;
using ArgumentParser = Result<Command> (*)(const Entry& entry, Scanner& in, Command command);

struct Entry {
    CommandKind kind;
    std::string_view name;
    std::string_view usage;
    std::string_view summary;
    ArgumentParser parse;
};

Error usageError(const Entry& entry, const std::string& what) {
    return syntaxError(entry.name, what + " (usage: " + std::string(entry.usage) + ")");
}

// A malformed word (an open quote, an unknown escape), named by the command.
Error wordError(const Entry& entry, const Error& error) {
    return syntaxError(entry.name, error.localizedDescription());
}

Result<Command> parseNothing(const Entry& entry, Scanner& in, Command command) {
    if (!in.atEnd()) {
        return usageError(entry, "takes no arguments");
    }
    return command;
}

Result<Command> parseFileName(const Entry& entry, Scanner& in, Command command) {
    if (in.atEnd()) {
        return usageError(entry, "needs a file name");
    }
    auto file = in.word();
    if (!file) {
        return wordError(entry, file.error());
    }
    if (file->text.empty() || !in.atEnd()) {
        return usageError(entry, "takes one file name (quote names with blanks)");
    }
    command.text = std::move(file->text);
    return command;
}

// REQUIRES: !in.atEnd()
Result<Command> parseSecondsWord(const Entry& entry, Scanner& in, Command command) {
    auto word = in.word();
    if (!word) {
        return wordError(entry, word.error());
    }
    command.seconds = parseSeconds(word->text);
    if (!command.seconds || !in.atEnd()) {
        return usageError(entry, "expected seconds from 0 to 3600, got \"" + word->text + "\"");
    }
    return command;
}

Result<Command> parseOptionalSeconds(const Entry& entry, Scanner& in, Command command) {
    if (in.atEnd()) {
        return command;
    }
    return parseSecondsWord(entry, in, std::move(command));
}

Result<Command> parseRequiredSeconds(const Entry& entry, Scanner& in, Command command) {
    if (in.atEnd()) {
        return usageError(entry, "needs a number of seconds");
    }
    return parseSecondsWord(entry, in, std::move(command));
}

Result<Command> parseTitle(const Entry& entry, Scanner& in, Command command) {
    auto title = in.rest();
    if (!title) {
        return wordError(entry, title.error());
    }
    if (title->text.empty()) {
        return usageError(entry, "needs a title");
    }
    command.text = std::move(title->text);
    return command;
}

// A bare number is a position (from 0, links from 1); anything else a title.
Result<Command> parseIndexOrTitle(const Entry& entry, Scanner& in, Command command) {
    auto target = in.rest();
    if (!target) {
        return wordError(entry, target.error());
    }
    if (target->text.empty()) {
        return usageError(entry, "needs a number or a title");
    }
    if (!target->quoted) {
        command.index = parseIndex(target->text);
        if (entry.kind == CommandKind::Follow && command.index && *command.index == 0) {
            return usageError(entry, "links are numbered from 1");
        }
    }
    if (!command.index) {
        command.text = std::move(target->text);
    }
    return command;
}

Result<Command> parseFieldAndValue(const Entry& entry, Scanner& in, Command command) {
    if (in.atEnd()) {
        return usageError(entry, "needs a field name and a value");
    }
    auto field = in.word();
    if (!field) {
        return wordError(entry, field.error());
    }
    if (field->text.empty()) {
        return usageError(entry, "the field name is empty");
    }
    if (in.atEnd()) {
        return usageError(entry, "needs a value after the field name (\"\" for an empty one)");
    }
    auto value = in.rest();
    if (!value) {
        return wordError(entry, value.error());
    }
    command.text = std::move(field->text);
    command.value = std::move(value->text);
    return command;
}

Result<Command> parseOptionalFormNumber(const Entry& entry, Scanner& in, Command command) {
    if (in.atEnd()) {
        return command;
    }
    auto word = in.word();
    if (!word) {
        return wordError(entry, word.error());
    }
    command.index = parseIndex(word->text);
    if (!command.index || *command.index == 0 || !in.atEnd()) {
        return usageError(entry, "expected a form number from 1, got \"" + word->text + "\"");
    }
    return command;
}

Result<Command> parseCode(const Entry& entry, Scanner& in, Command command) {
    auto code = in.rest();
    if (!code) {
        return wordError(entry, code.error());
    }
    if (code->text.empty()) {
        return usageError(entry, "needs code to run");
    }
    command.text = std::move(code->text);
    return command;
}

// The leading index of alert and type; a quoted number is not one.
Result<Command> parseLeadingIndex(const Entry& entry, Scanner& in, Command command) {
    if (in.atEnd()) {
        return usageError(entry, "needs an index");
    }
    auto word = in.word();
    if (!word) {
        return wordError(entry, word.error());
    }
    command.index = word->quoted ? std::nullopt : parseIndex(word->text);
    if (!command.index) {
        return usageError(entry, "expected an index from 0, got \"" + word->text + "\"");
    }
    return command;
}

Result<Command> parseIndexOnly(const Entry& entry, Scanner& in, Command command) {
    auto indexed = parseLeadingIndex(entry, in, std::move(command));
    if (indexed && !in.atEnd()) {
        return usageError(entry, "takes only an index");
    }
    return indexed;
}

Result<Command> parseIndexAndText(const Entry& entry, Scanner& in, Command command) {
    auto indexed = parseLeadingIndex(entry, in, std::move(command));
    if (!indexed) {
        return indexed;
    }
    if (in.atEnd()) {
        return usageError(entry, "needs the text to type (\"\" to clear the field)");
    }
    auto text = in.rest();
    if (!text) {
        return wordError(entry, text.error());
    }
    indexed->text = std::move(text->text);
    return indexed;
}

Result<Command> parseNetwork(const Entry& entry, Scanner& in, Command command) {
    if (in.atEnd()) {
        return usageError(entry, "needs a network");
    }
    auto word = in.word();
    if (!word) {
        return wordError(entry, word.error());
    }
    if (word->text == "none") {
        command.network = NetworkState::None;
    } else if (word->text == "wifi") {
        command.network = NetworkState::Wifi;
    } else if (word->text == "carrier") {
        command.network = NetworkState::Carrier;
    } else {
        return usageError(entry, "unknown network \"" + word->text + "\"");
    }
    if (!in.atEnd()) {
        return usageError(entry, "takes one network");
    }
    return command;
}

Result<Command> parseForm(const Entry& entry, Scanner& in, Command command) {
    if (in.atEnd()) {
        return usageError(entry, "needs a form");
    }
    auto form = in.word();
    if (!form) {
        return wordError(entry, form.error());
    }
    if (form->text == "secret-form") {
        command.form = PresentedForm::Secret;
        if (!in.atEnd()) {
            return usageError(entry, "secret-form takes no secret id");
        }
        return command;
    }
    if (form->text == "facebook-login") {
        command.form = PresentedForm::FacebookLogin;
        if (!in.atEnd()) {
            return usageError(entry, "facebook-login takes nothing more");
        }
        return command;
    }
    if (form->text == "facebook-post") {
        command.form = PresentedForm::FacebookPost;
        auto text = in.rest();
        if (!text) {
            return wordError(entry, text.error());
        }
        if (text->text.empty()) {
            return usageError(entry, "facebook-post needs the text to share");
        }
        command.text = std::move(text->text);
        return command;
    }
    if (form->text != "comment-form") {
        return usageError(entry, "unknown form \"" + form->text + "\"");
    }
    command.form = PresentedForm::Comment;
    if (in.atEnd()) {
        return usageError(entry, "comment-form needs the secret id");
    }
    auto secretId = in.word();
    if (!secretId) {
        return wordError(entry, secretId.error());
    }
    if (secretId->text.empty() || !in.atEnd()) {
        return usageError(entry, "comment-form takes one secret id");
    }
    command.text = std::move(secretId->text);
    return command;
}

Result<Command> parseLocation(const Entry& entry, Scanner& in, Command command) {
    if (in.atEnd()) {
        return usageError(entry, "takes one of on, off, none or LAT,LON");
    }
    auto word = in.word();
    if (!word) {
        return wordError(entry, word.error());
    }
    if (!in.atEnd()) {
        return usageError(entry, "takes one of on, off, none or LAT,LON");
    }
    if (word->text != "on" && word->text != "off" && word->text != "none" &&
        !parseDeviceLocation(word->text, 0)) {
        return usageError(entry, "\"" + word->text + "\" is not on, off, none or LAT,LON in degrees");
    }
    command.text = std::move(word->text);
    return command;
}

constexpr std::array<Entry, 24> kCommands{{
    {CommandKind::Screen, "screen", "screen", "print the screen as text", parseNothing},
    {CommandKind::Shot, "shot", "shot FILE", "save the screen as a PNG picture", parseFileName},
    {CommandKind::Settle, "settle", "settle [SECONDS]",
     "run until nothing loads, queues, animates or is due within 0.5 s (at most SECONDS, default 10)",
     parseOptionalSeconds},
    {CommandKind::Wait, "wait", "wait SECONDS", "let the app run for SECONDS", parseRequiredSeconds},
    {CommandKind::Tab, "tab", "tab INDEX|TITLE", "tap a tab (counted from 0)", parseIndexOrTitle},
    {CommandKind::Bar, "bar", "bar INDEX|TITLE", "tap an item of the top screen's toolbar (counted from 0)",
     parseIndexOrTitle},
    {CommandKind::Button, "button", "button TITLE", "tap a button", parseTitle},
    {CommandKind::TapBanner, "tap-banner", "tap-banner", "tap the ad shown in the front-most ad banner",
     parseNothing},
    {CommandKind::Links, "links", "links", "list the links of the page shown (numbered from 1)",
     parseNothing},
    {CommandKind::Follow, "follow", "follow N|TEXT", "follow a link of the page by number or text",
     parseIndexOrTitle},
    {CommandKind::Fill, "fill", "fill NAME VALUE",
     "set a form field of the page (the rest of the line is the value)", parseFieldAndValue},
    {CommandKind::Submit, "submit", "submit [N]",
     "submit form N of the page (default: the one last filled, else 1)", parseOptionalFormNumber},
    {CommandKind::Js, "js", "js CODE", "run JavaScript in the page and print the result", parseCode},
    {CommandKind::Alert, "alert", "alert INDEX", "tap a button of the front alert or action sheet (from 0)",
     parseIndexOnly},
    {CommandKind::Type, "type", "type INDEX TEXT",
     "replace the text of a text field (from 0) of the front alert or screen", parseIndexAndText},
    {CommandKind::Back, "back", "back", "go back: pop the top screen, else the page's history", parseNothing},
    {CommandKind::Network, "network", "network none|wifi|carrier", "switch the device's network",
     parseNetwork},
    {CommandKind::Location, "location", "location on|off|none|LAT,LON",
     "switch the device's location service, forget its fix or give it one", parseLocation},
    {CommandKind::Present, "present", "present FORM [SECRET_ID|TEXT]",
     "open a posting form: comment-form SECRET_ID or secret-form; or a Facebook panel: facebook-login, "
     "facebook-post TEXT (driver only)",
     parseForm},
    {CommandKind::MemoryWarning, "memory-warning", "memory-warning", "send the app a memory warning",
     parseNothing},
    {CommandKind::Defaults, "defaults", "defaults", "print the app's user defaults", parseNothing},
    {CommandKind::Events, "events", "events", "print what the reference servers received (demo only)",
     parseNothing},
    {CommandKind::Help, "help", "help", "print this list", parseNothing},
    {CommandKind::Quit, "quit", "quit", "leave", parseNothing},
}};

const Entry* findEntry(std::string_view name) {
    for (const Entry& entry : kCommands) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

const Entry& entryFor(CommandKind kind) {
    for (const Entry& entry : kCommands) {
        if (entry.kind == kind) {
            return entry;
        }
    }
    return kCommands.back();
}

} // namespace

std::string_view commandName(CommandKind kind) {
    return entryFor(kind).name;
}

Result<std::optional<Command>> parseCommand(std::string_view line) {
    Scanner in(line);
    if (in.atEnd()) {
        return std::optional<Command>();
    }
    auto word = in.word();
    if (!word) {
        return syntaxError("", word.error().localizedDescription());
    }
    if (!word->quoted && !word->text.empty() && word->text.front() == '#') {
        return std::optional<Command>();
    }
    const Entry* entry = word->quoted ? nullptr : findEntry(word->text);
    if (!entry) {
        std::string shown = word->text.size() > 40 ? word->text.substr(0, 40) + "..." : word->text;
        return syntaxError("", "unknown command \"" + shown + "\" (help lists the commands)");
    }
    Command command;
    command.kind = entry->kind;
    auto parsed = entry->parse(*entry, in, std::move(command));
    if (!parsed) {
        return parsed.error();
    }
    return std::optional<Command>(std::move(*parsed));
}

std::string commandHelp() {
    std::size_t width = 0;
    for (const Entry& entry : kCommands) {
        width = std::max(width, entry.usage.size());
    }
    std::string text;
    for (const Entry& entry : kCommands) {
        text += "  ";
        text += entry.usage;
        text.append(width + 2 - entry.usage.size(), ' ');
        text += entry.summary;
        text += '\n';
    }
    text += "Quote words with blanks: fill \"Secret[content]\" my secret; type 0 \"two words\".\n";
    return text;
}

} // namespace murmelo::driver
