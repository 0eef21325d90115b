// Command: one line of the driver's command language, parsed — the same at
// the prompt and in scripts. The grammar (docs/driver.md):
//
//   line     := blank | "#" comment | word args
//   word     := bare text without blanks | "double quoted" (\" \\ \n \t escapes)
//   REST     := the rest of the line, taken as it stands; when it is exactly
//               one quoted word, its unquoted text
//
//   screen | links | back | memory-warning | defaults | events | help | quit
//   shot FILE            settle [SECONDS]       wait SECONDS
//   tab INDEX|TITLE      bar INDEX|TITLE        button TITLE
//   follow N|TEXT        fill NAME VALUE        submit [N]
//   js CODE              alert INDEX            type INDEX TEXT
//   network none|wifi|carrier
//   location on|off|none|LAT,LON
//   present comment-form SECRET_ID | present secret-form
//   present facebook-login | present facebook-post TEXT
//
// A bare number selects by position (tab, bar, alert and type count from 0,
// as the screen dump lists them; links and forms from 1, as the page shows
// them); a quoted number is a title.
//
// parseCommand() reads untrusted text: it never crashes and reports what is
// wrong in one line. Pure functions; any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/foundation/DeviceProfile.h"

namespace murmelo::driver {

enum class CommandKind {
    Screen,
    Shot,
    Settle,
    Wait,
    Tab,
    Bar,
    Button,
    TapBanner,
    Links,
    Follow,
    Fill,
    Submit,
    Js,
    Alert,
    Type,
    Back,
    Network,
    Location,
    Present,
    MemoryWarning,
    Defaults,
    Events,
    Help,
    Quit,
};

// Which fields a command uses:
//   text     shot FILE, the TITLE/TEXT of tab, bar, button, follow; fill NAME;
//            js CODE; type TEXT
//   value    fill VALUE
//   index    tab, bar, alert, type (from 0); follow, submit (from 1)
//   seconds  settle, wait
//   network  network
//            location: the text is on, off, none or LAT,LON
//   form     present; text is the SECRET_ID of comment-form, the TEXT of
//            facebook-post
// The native forms and Facebook panels `present` opens (a route only the
// driver offers).
enum class PresentedForm { Comment, Secret, FacebookLogin, FacebookPost };

struct Command {
    CommandKind kind = CommandKind::Help;
    std::string text;
    std::string value;
    std::optional<std::size_t> index;
    std::optional<double> seconds;
    NetworkState network = NetworkState::Wifi;
    PresentedForm form = PresentedForm::Secret;

    bool operator==(const Command&) const = default;
};

// The command's word as typed ("memory-warning").
std::string_view commandName(CommandKind kind);

// Nothing for a blank line or a comment; an error (one line, naming the
// command) for an unknown command or bad arguments.
Result<std::optional<Command>> parseCommand(std::string_view line);

// The summary `help` prints, one command per line.
std::string commandHelp();

} // namespace murmelo::driver
