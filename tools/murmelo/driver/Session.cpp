#include "tools/murmelo/driver/Session.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "app/ads/AdWhirlView.h"
#include "platform/core/Clock.h"
#include "platform/core/Value.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/ReachabilityDeviceSource.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Event.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SearchBar.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextInput.h"
#include "platform/ui/TextView.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tools/murmelo/driver/FrontPage.h"
#include "tools/murmelo/driver/GoBack.h"
#include "tools/murmelo/driver/ScreenQuery.h"
#include "tools/murmelo/driver/Settle.h"

namespace murmelo::driver {

namespace {

constexpr std::size_t kMaxLineBytes = 64 * 1024;

Error commandError(const std::string& description) {
    return Error("MurmeloDriver", 2, description);
}

Result<void> tapTabBy(const Command& command) {
    if (command.index) {
        return Interaction::tapTabAtIndex(*command.index);
    }
    return Interaction::tapTab(command.text);
}

Result<void> tapToolbarItem(const Command& command) {
    if (!command.index) {
        return Interaction::tapBarItem(command.text);
    }
    Toolbar* bar = frontMostVisible<Toolbar>();
    if (!bar) {
        return commandError("no toolbar is shown");
    }
    auto frames = bar->itemFrames();
    std::size_t index = *command.index;
    if (index >= bar->items().size() || index >= frames.size()) {
        return commandError("the toolbar has " + std::to_string(bar->items().size()) + " items (0 to " +
                            std::to_string(bar->items().size() == 0 ? 0 : bar->items().size() - 1) + ")");
    }
    if (bar->items()[index]->isSpace()) {
        return commandError("toolbar item " + std::to_string(index) + " is a space");
    }
    Window* window = bar->window();
    if (!window) {
        return commandError("the toolbar is not on the screen");
    }
    // Only where a finger would reach the item: not under an alert or a screen in front.
    auto key = Application::sharedApplication().keyWindow();
    if (key && key.get() != window && key->windowLevel() > window->windowLevel()) {
        return commandError("the toolbar is covered by " + key->className());
    }
    Point inWindow = bar->convertPointToView(frames[index].center(), nullptr);
    Event probe;
    View* hit = window->hitTest(inWindow, &probe);
    if (!hit || !hit->isDescendantOfView(bar)) {
        return commandError("the toolbar is covered by a " +
                            (hit ? hit->className() : std::string("nothing")));
    }
    Rect windowFrame = window->frame();
    return Interaction::tapAt({inWindow.x + windowFrame.origin.x, inWindow.y + windowFrame.origin.y});
}

// Text fields, text views and search bars of the key window (the front
// alert while one is shown), in reading order.
std::vector<View*> textInputsOfKeyWindow() {
    std::vector<View*> inputs;
    auto window = Application::sharedApplication().keyWindow();
    if (!window) {
        return inputs;
    }
    for (View* view : visibleViewsOf(*window)) {
        if (dynamic_cast<TextField*>(view) || dynamic_cast<TextView*>(view) ||
            dynamic_cast<SearchBar*>(view)) {
            inputs.push_back(view);
        }
    }
    return inputs;
}

Result<void> typeInto(std::size_t index, const std::string& text) {
    auto inputs = textInputsOfKeyWindow();
    if (index >= inputs.size()) {
        return commandError(inputs.empty()
                                ? "no text field is shown"
                                : "there are " + std::to_string(inputs.size()) + " text fields (0 to " +
                                      std::to_string(inputs.size() - 1) + ")");
    }
    if (auto tapped = Interaction::tapView(*inputs[index]); !tapped) {
        return tapped;
    }
    auto responder = Responder::currentFirstResponder();
    auto* input = dynamic_cast<TextInput*>(responder.get());
    if (!input || responder.get() != dynamic_cast<Responder*>(inputs[index])) {
        return commandError("the text field did not take the keyboard");
    }
    // Replace what is there, one character at a time as a person would.
    for (std::size_t guard = input->currentText().size(); guard > 0 && !input->currentText().empty();
         --guard) {
        if (!input->deleteBackward()) {
            return commandError("the text field refused to delete its text");
        }
    }
    if (text.empty()) {
        return {};
    }
    return Interaction::typeText(text);
}

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
    auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
    return it != haystack.end();
}

Result<void> followLink(const Command& command) {
    auto page = FrontPage::page();
    if (!page) {
        return page.error();
    }
    const auto& links = page->links;
    if (command.index) {
        if (*command.index > links.size()) {
            return commandError("the page has " + std::to_string(links.size()) + " links");
        }
        return FrontPage::clickLink(*command.index - 1);
    }
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (links[i].text == command.text) {
            return FrontPage::clickLink(i);
        }
    }
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (containsIgnoringCase(links[i].text, command.text)) {
            return FrontPage::clickLink(i);
        }
    }
    return commandError("no link reads \"" + command.text + "\"");
}

std::string describeValue(const Value& value) {
    if (value.isString()) {
        return "\"" + value.stringValue() + "\"";
    }
    return value.debugDescription();
}

std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

} // namespace

Session::Session(Options options, std::ostream& out, std::ostream& err)
    : m_options(std::move(options)), m_out(out), m_err(err) {}

Session::~Session() = default;

Session::CommandHandler Session::handlerFor(CommandKind kind) {
    switch (kind) {
    case CommandKind::Screen:
        return {&Session::printScreen, Acts::No};
    case CommandKind::Shot:
        return {&Session::saveShot, Acts::No};
    case CommandKind::Settle:
        return {&Session::settle, Acts::No};
    case CommandKind::Wait:
        return {&Session::wait, Acts::No};
    case CommandKind::Tab:
        return {&Session::tapTab, Acts::OnScreen};
    case CommandKind::Bar:
        return {&Session::tapBar, Acts::OnScreen};
    case CommandKind::Button:
        return {&Session::tapButton, Acts::OnScreen};
    case CommandKind::TapBanner:
        return {&Session::tapBanner, Acts::OnScreen};
    case CommandKind::Links:
        return {&Session::listLinks, Acts::No};
    case CommandKind::Follow:
        return {&Session::follow, Acts::OnScreen};
    case CommandKind::Fill:
        return {&Session::fill, Acts::No};
    case CommandKind::Submit:
        return {&Session::submit, Acts::OnScreen};
    case CommandKind::Js:
        return {&Session::runScript, Acts::No};
    case CommandKind::Alert:
        return {&Session::tapAlert, Acts::OnScreen};
    case CommandKind::Type:
        return {&Session::type, Acts::OnScreen};
    case CommandKind::Back:
        return {&Session::back, Acts::OnScreen};
    case CommandKind::Network:
        return {&Session::switchNetwork, Acts::OnScreen};
    case CommandKind::Location:
        return {&Session::switchLocation, Acts::No};
    case CommandKind::Present:
        return {&Session::presentForm, Acts::OnScreen};
    case CommandKind::MemoryWarning:
        return {&Session::sendMemoryWarning, Acts::OnScreen};
    case CommandKind::Defaults:
        return {&Session::printDefaults, Acts::No};
    case CommandKind::Events:
        return {&Session::printEvents, Acts::No};
    case CommandKind::Help:
        return {&Session::printHelp, Acts::No};
    case CommandKind::Quit:
        return {&Session::quit, Acts::No};
    }
    return {&Session::printHelp, Acts::No};
}

Result<void> Session::execute(const Command& command) {
    const CommandHandler handler = handlerFor(command.kind);
    Result<void> done = (this->*handler.run)(command);
    if (done && handler.acts == Acts::OnScreen && m_options.mode == SessionMode::Interactive) {
        printScreenAfterAction();
    }
    return done;
}

Result<void> Session::printScreen(const Command&) {
    m_out << Interaction::dump();
    return {};
}

Result<void> Session::saveShot(const Command& command) {
    if (!m_options.screenshot) {
        return commandError("this build has no screen renderer, so no pictures");
    }
    std::string path = command.text;
    if (!m_options.screenshotsDirectory.empty() && path.front() != '/') {
        path = m_options.screenshotsDirectory + "/" + path;
    }
    if (auto saved = m_options.screenshot(path); !saved) {
        return saved;
    }
    if (m_options.mode == SessionMode::Interactive) {
        m_out << "saved " << path << "\n";
    }
    return {};
}

Result<void> Session::settle(const Command& command) {
    double limit = command.seconds.value_or(Settle::kDefaultTimeout);
    if (!Settle::run(limit)) {
        return commandError("not settled after " + formatDouble(limit) + " s: " + Settle::busyDescription());
    }
    return {};
}

Result<void> Session::wait(const Command& command) {
    // Runs the loop for the whole time, whatever happens meanwhile.
    double until = RunLoop::dateAfter(*command.seconds);
    (void)RunLoop::main().runModeUntil(
        RunLoop::kDefaultMode, [] { return false; }, until);
    return {};
}

Result<void> Session::tapTab(const Command& command) {
    return tapTabBy(command);
}

Result<void> Session::tapBar(const Command& command) {
    return tapToolbarItem(command);
}

Result<void> Session::tapButton(const Command& command) {
    return Interaction::tapButton(command.text);
}

Result<void> Session::tapBanner(const Command&) {
    auto* banner = frontMostVisible<AdWhirlView>();
    if (!banner) {
        return Error("MurmeloDriver", 2, "no ad banner is shown");
    }
    View* ad = banner->viewWithTag(AdWhirlView::kAdViewTag);
    if (!ad) {
        return Error("MurmeloDriver", 2, "the ad banner shows no ad");
    }
    // Through the screen, as a finger would: whatever covers the ad gets the tap.
    return Interaction::tapView(*ad);
}

Result<void> Session::tapAlert(const Command& command) {
    return Interaction::tapAlertButton(static_cast<int>(*command.index));
}

Result<void> Session::type(const Command& command) {
    return typeInto(*command.index, command.text);
}

Result<void> Session::back(const Command&) {
    return goBack();
}

Result<void> Session::follow(const Command& command) {
    return followLink(command);
}

Result<void> Session::listLinks(const Command&) {
    auto page = FrontPage::page();
    if (!page) {
        return page.error();
    }
    const auto& links = page->links;
    if (links.empty()) {
        m_out << "(no links)\n";
    }
    for (std::size_t i = 0; i < links.size(); ++i) {
        m_out << "[" << i + 1 << "] " << oneLine(links[i].text) << " -> " << links[i].url << "\n";
    }
    return {};
}

Result<void> Session::fill(const Command& command) {
    auto shown = FrontPage::page();
    if (!shown) {
        return shown.error();
    }
    const WebPage& page = *shown;
    if (m_filledPage != page.url) {
        m_filledForm.reset();
    }
    auto hasField = [&](std::size_t form) {
        const auto& fields = page.forms[form].fields;
        return std::any_of(fields.begin(), fields.end(),
                           [&](const WebFormField& field) { return field.name == command.text; });
    };
    // The form filled last on this page first, so fields of one form go together.
    std::optional<std::size_t> form;
    if (m_filledForm && *m_filledForm < page.forms.size() && hasField(*m_filledForm)) {
        form = m_filledForm;
    }
    for (std::size_t i = 0; !form && i < page.forms.size(); ++i) {
        if (hasField(i)) {
            form = i;
        }
    }
    if (!form) {
        return commandError("no form of the page has a field \"" + command.text + "\"");
    }
    if (auto set = FrontPage::setFormField(*form, command.text, command.value); !set) {
        return set;
    }
    m_filledForm = form;
    m_filledPage = page.url;
    return {};
}

Result<void> Session::submit(const Command& command) {
    auto shown = FrontPage::page();
    if (!shown) {
        return shown.error();
    }
    const WebPage& page = *shown;
    std::size_t form = 0;
    if (command.index) {
        form = *command.index - 1;
    } else if (m_filledForm && m_filledPage == page.url) {
        form = *m_filledForm;
    }
    if (form >= page.forms.size()) {
        return commandError(page.forms.empty()
                                ? "the page has no form"
                                : "the page has " + std::to_string(page.forms.size()) + " forms");
    }
    m_filledForm.reset();
    return FrontPage::submitForm(form);
}

Result<void> Session::runScript(const Command& command) {
    auto result = FrontPage::evaluate(command.text);
    if (!result) {
        return result.error();
    }
    m_out << *result << "\n";
    return {};
}

Result<void> Session::switchNetwork(const Command& command) {
    DeviceProfile profile = *DeviceProfile::current();
    const char* name = networkStateName(command.network);
    if (auto changed = profile.applyOverrides({std::string("network=") + name}); !changed) {
        return changed;
    }
    DeviceProfile::setCurrent(std::move(profile));
    ReachabilityDeviceSource::shared().setNetworkState(command.network);
    return {};
}

Result<void> Session::switchLocation(const Command& command) {
    DeviceProfile profile = *DeviceProfile::current();
    std::string option = command.text == "on" || command.text == "off"
                             ? "locationServices=" + std::string(command.text == "on" ? "yes" : "no")
                             : "location=" + command.text;
    if (auto changed = profile.applyOverrides({option}); !changed) {
        return changed;
    }
    DeviceProfile::setCurrent(std::move(profile));
    return {};
}

Result<void> Session::presentForm(const Command& command) {
    if (!m_options.present) {
        return commandError("this application has no posting forms to present");
    }
    return m_options.present(command.form, command.text);
}

Result<void> Session::sendMemoryWarning(const Command&) {
    Interaction::memoryWarning();
    return {};
}

Result<void> Session::printDefaults(const Command&) {
    Dictionary all = UserDefaults::standardUserDefaults()->dictionaryRepresentation();
    std::vector<std::string> keys = all.keys();
    std::sort(keys.begin(), keys.end());
    if (keys.empty()) {
        m_out << "(no user defaults)\n";
    }
    for (const std::string& key : keys) {
        m_out << key << " = " << oneLine(describeValue(*all.find(key))) << "\n";
    }
    return {};
}

Result<void> Session::printEvents(const Command&) {
    if (!m_options.events) {
        return commandError("no reference servers run in this session (events is for the demo)");
    }
    std::uint64_t last = m_lastEvent;
    auto lines = m_options.events(m_lastEvent, last);
    m_lastEvent = last;
    if (lines.empty()) {
        m_out << "(no new events)\n";
    }
    for (const std::string& line : lines) {
        m_out << line << "\n";
    }
    return {};
}

Result<void> Session::printHelp(const Command&) {
    m_out << commandHelp();
    return {};
}

Result<void> Session::quit(const Command&) {
    m_quit = true;
    return {};
}

void Session::printScreenAfterAction() {
    if (!Settle::run(Settle::kDefaultTimeout)) {
        m_out << "(still busy: " << Settle::busyDescription() << ")\n";
    }
    m_out << Interaction::dump();
}

Result<void> Session::executeLine(std::string_view line) {
    auto parsed = parseCommand(line);
    if (!parsed) {
        return parsed.error();
    }
    if (!*parsed) {
        return {};
    }
    return execute(**parsed);
}

bool Session::handleLine(const std::string& line) {
    ++m_lineNumber;
    auto done = executeLine(line);
    m_out.flush();
    if (!done) {
        if (m_options.mode == SessionMode::Script) {
            m_err << "murmelo: " << m_inputName << ":" << m_lineNumber << ": "
                  << done.error().localizedDescription() << "\n";
            m_err.flush();
            finish(1);
            return false;
        }
        m_err << "error: " << done.error().localizedDescription() << "\n";
        m_err.flush();
    }
    if (m_quit) {
        finish(0);
        return false;
    }
    return true;
}

void Session::prompt() {
    if (m_options.mode == SessionMode::Interactive && !m_finished) {
        m_out << "murmelo> ";
        m_out.flush();
    }
}

void Session::finish(int status) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_status = status;
    m_reader.invalidate();
    RunLoop::main().stop();
}

void Session::onReadable() {
    char buffer[4096];
    ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return;
    }
    if (n <= 0) {
        // End of input: a last line without a newline still counts.
        if (!m_pending.empty()) {
            std::string last = std::move(m_pending);
            m_pending.clear();
            if (!handleLine(last)) {
                return;
            }
        }
        if (m_options.mode == SessionMode::Interactive) {
            m_out << "\n";
        }
        if (n == 0 && m_options.inputEnd == InputEnd::StopsReading) {
            m_reader.invalidate();
            m_out.flush();
            return;
        }
        finish(n < 0 ? 1 : 0);
        if (n < 0) {
            m_err << "murmelo: reading " << m_inputName << ": " << std::strerror(errno) << "\n";
        }
        return;
    }
    m_pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t newline;
    while (!m_finished && (newline = m_pending.find('\n')) != std::string::npos) {
        std::string line = m_pending.substr(0, newline);
        m_pending.erase(0, newline + 1);
        if (!handleLine(line)) {
            return;
        }
        prompt();
    }
    if (!m_finished && m_pending.size() > kMaxLineBytes) {
        ++m_lineNumber;
        m_err << "murmelo: " << m_inputName << ":" << m_lineNumber << ": line longer than " << kMaxLineBytes
              << " bytes\n";
        m_pending.clear();
        if (m_options.mode == SessionMode::Script) {
            finish(1);
        }
    }
}

int Session::runFromFd(int fd, const std::string& name) {
    m_fd = fd;
    m_inputName = name;
    prompt();
    m_reader = FdSource(fd, FdEvents::Readable, [this](FdEvents) { onReadable(); });
    while (!m_finished) {
        RunLoop::main().run();
    }
    return m_status;
}

int Session::runLines(std::vector<std::string> lines, const std::string& name) {
    m_lines = std::move(lines);
    m_nextLine = 0;
    m_inputName = name;
    postScriptStep();
    while (!m_finished) {
        RunLoop::main().run();
    }
    return m_status;
}

void Session::postScriptStep() {
    // One posted call per line, so the app's loop turns between commands.
    RunLoop::main().post(bindWeak(m_weak.weakPtr(), [](Session& session) { session.runScriptStep(); }));
}

void Session::runScriptStep() {
    if (m_finished) {
        return;
    }
    if (m_nextLine >= m_lines.size()) {
        finish(0);
        return;
    }
    if (handleLine(m_lines[m_nextLine++])) {
        postScriptStep();
    }
}

} // namespace murmelo::driver
