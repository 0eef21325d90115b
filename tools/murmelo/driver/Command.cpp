#include "tools/murmelo/driver/Command.h"

#include <array>
#include <charconv>
#include <cmath>

namespace murmelo::driver {

namespace {

constexpr double kMaxSeconds = 3600;
constexpr std::size_t kMaxIndex = 1'000'000;

struct Entry {
    CommandKind kind;
    std::string_view name;
    std::string_view usage;
    std::string_view summary;
};

constexpr std::array<Entry, 21> kCommands{{
    {CommandKind::Screen, "screen", "screen", "print the screen as text"},
    {CommandKind::Shot, "shot", "shot FILE", "save the screen as a PNG picture"},
    {CommandKind::Settle, "settle", "settle [SECONDS]",
     "run until nothing loads, queues, animates or is due within 0.5 s (at most SECONDS, default 10)"},
    {CommandKind::Wait, "wait", "wait SECONDS", "let the app run for SECONDS"},
    {CommandKind::Tab, "tab", "tab INDEX|TITLE", "tap a tab (counted from 0)"},
    {CommandKind::Bar, "bar", "bar INDEX|TITLE", "tap an item of the top screen's toolbar (counted from 0)"},
    {CommandKind::Button, "button", "button TITLE", "tap a button"},
    {CommandKind::Links, "links", "links", "list the links of the page shown (numbered from 1)"},
    {CommandKind::Follow, "follow", "follow N|TEXT", "follow a link of the page by number or text"},
    {CommandKind::Fill, "fill", "fill NAME VALUE",
     "set a form field of the page (the rest of the line is the value)"},
    {CommandKind::Submit, "submit", "submit [N]",
     "submit form N of the page (default: the one last filled, else 1)"},
    {CommandKind::Js, "js", "js CODE", "run JavaScript in the page and print the result"},
    {CommandKind::Alert, "alert", "alert INDEX", "tap a button of the front alert or action sheet (from 0)"},
    {CommandKind::Type, "type", "type INDEX TEXT",
     "replace the text of a text field (from 0) of the front alert or screen"},
    {CommandKind::Back, "back", "back", "go back: pop the top screen, else the page's history"},
    {CommandKind::Network, "network", "network none|wifi|carrier", "switch the device's network"},
    {CommandKind::MemoryWarning, "memory-warning", "memory-warning", "send the app a memory warning"},
    {CommandKind::Defaults, "defaults", "defaults", "print the app's user defaults"},
    {CommandKind::Events, "events", "events", "print what the reference servers received (demo only)"},
    {CommandKind::Help, "help", "help", "print this list"},
    {CommandKind::Quit, "quit", "quit", "leave"},
}};

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

// The arguments after the command word, by the command's shape.
Result<Command> parseArguments(const Entry& entry, Scanner& in) {
    Command command;
    command.kind = entry.kind;
    const std::string_view name = entry.name;
    auto usageError = [&](const std::string& what) {
        return syntaxError(name, what + " (usage: " + std::string(entry.usage) + ")");
    };

    switch (entry.kind) {
    case CommandKind::Screen:
    case CommandKind::Links:
    case CommandKind::Back:
    case CommandKind::MemoryWarning:
    case CommandKind::Defaults:
    case CommandKind::Events:
    case CommandKind::Help:
    case CommandKind::Quit:
        if (!in.atEnd()) {
            return usageError("takes no arguments");
        }
        return command;

    case CommandKind::Shot: {
        if (in.atEnd()) {
            return usageError("needs a file name");
        }
        auto file = in.word();
        if (!file) {
            return syntaxError(name, file.error().localizedDescription());
        }
        if (file->text.empty() || !in.atEnd()) {
            return usageError("takes one file name (quote names with blanks)");
        }
        command.text = std::move(file->text);
        return command;
    }

    case CommandKind::Settle:
    case CommandKind::Wait: {
        if (in.atEnd()) {
            if (entry.kind == CommandKind::Wait) {
                return usageError("needs a number of seconds");
            }
            return command;
        }
        auto word = in.word();
        if (!word) {
            return syntaxError(name, word.error().localizedDescription());
        }
        command.seconds = parseSeconds(word->text);
        if (!command.seconds || !in.atEnd()) {
            return usageError("expected seconds from 0 to 3600, got \"" + word->text + "\"");
        }
        return command;
    }

    case CommandKind::Tab:
    case CommandKind::Bar:
    case CommandKind::Button:
    case CommandKind::Follow: {
        auto target = in.rest();
        if (!target) {
            return syntaxError(name, target.error().localizedDescription());
        }
        if (target->text.empty()) {
            return usageError(entry.kind == CommandKind::Button ? "needs a title"
                                                                : "needs a number or a title");
        }
        if (entry.kind != CommandKind::Button && !target->quoted) {
            command.index = parseIndex(target->text);
            if (entry.kind == CommandKind::Follow && command.index && *command.index == 0) {
                return usageError("links are numbered from 1");
            }
        }
        if (!command.index) {
            command.text = std::move(target->text);
        }
        return command;
    }

    case CommandKind::Fill: {
        if (in.atEnd()) {
            return usageError("needs a field name and a value");
        }
        auto field = in.word();
        if (!field) {
            return syntaxError(name, field.error().localizedDescription());
        }
        if (field->text.empty()) {
            return usageError("the field name is empty");
        }
        if (in.atEnd()) {
            return usageError("needs a value after the field name (\"\" for an empty one)");
        }
        auto value = in.rest();
        if (!value) {
            return syntaxError(name, value.error().localizedDescription());
        }
        command.text = std::move(field->text);
        command.value = std::move(value->text);
        return command;
    }

    case CommandKind::Submit: {
        if (in.atEnd()) {
            return command;
        }
        auto word = in.word();
        if (!word) {
            return syntaxError(name, word.error().localizedDescription());
        }
        command.index = parseIndex(word->text);
        if (!command.index || *command.index == 0 || !in.atEnd()) {
            return usageError("expected a form number from 1, got \"" + word->text + "\"");
        }
        return command;
    }

    case CommandKind::Js: {
        auto code = in.rest();
        if (!code) {
            return syntaxError(name, code.error().localizedDescription());
        }
        if (code->text.empty()) {
            return usageError("needs code to run");
        }
        command.text = std::move(code->text);
        return command;
    }

    case CommandKind::Alert:
    case CommandKind::Type: {
        if (in.atEnd()) {
            return usageError("needs an index");
        }
        auto word = in.word();
        if (!word) {
            return syntaxError(name, word.error().localizedDescription());
        }
        command.index = word->quoted ? std::nullopt : parseIndex(word->text);
        if (!command.index) {
            return usageError("expected an index from 0, got \"" + word->text + "\"");
        }
        if (entry.kind == CommandKind::Alert) {
            if (!in.atEnd()) {
                return usageError("takes only an index");
            }
            return command;
        }
        if (in.atEnd()) {
            return usageError("needs the text to type (\"\" to clear the field)");
        }
        auto text = in.rest();
        if (!text) {
            return syntaxError(name, text.error().localizedDescription());
        }
        command.text = std::move(text->text);
        return command;
    }

    case CommandKind::Network: {
        if (in.atEnd()) {
            return usageError("needs a network");
        }
        auto word = in.word();
        if (!word) {
            return syntaxError(name, word.error().localizedDescription());
        }
        if (word->text == "none") {
            command.network = NetworkState::None;
        } else if (word->text == "wifi") {
            command.network = NetworkState::Wifi;
        } else if (word->text == "carrier") {
            command.network = NetworkState::Carrier;
        } else {
            return usageError("unknown network \"" + word->text + "\"");
        }
        if (!in.atEnd()) {
            return usageError("takes one network");
        }
        return command;
    }
    }
    return usageError("cannot be parsed");
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
    auto command = parseArguments(*entry, in);
    if (!command) {
        return command.error();
    }
    return std::optional<Command>(std::move(*command));
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
