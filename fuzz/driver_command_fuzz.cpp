// libFuzzer target: the driver's command lines (scripts are untrusted text).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/murmelo/driver/Command.h"
#include "tools/murmelo/driver/LaunchOptions.h"

using namespace murmelo::driver;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = parseCommand(text);
    if (parsed && *parsed) {
        const Command& command = **parsed;
        // What is accepted is well formed for its kind.
        if ((command.kind == CommandKind::Follow || command.kind == CommandKind::Submit) && command.index &&
            *command.index == 0) {
            std::abort();
        }
        if (command.seconds && (*command.seconds < 0 || *command.seconds > 3600)) {
            std::abort();
        }
        if (command.kind == CommandKind::Shot && command.text.empty()) {
            std::abort();
        }
    } else if (!parsed && parsed.error().localizedDescription().find('\n') != std::string::npos) {
        std::abort(); // errors are one line
    }
    (void)languagesForLocale(std::string(text));
    return 0;
}
