// The screen as text: what a person would see, one element per line, nested
// by screen — the status bar, each visible window with its tab bar, stacks of
// screens, modal screens, toolbars, labels, buttons and text fields, then the
// alerts and action sheets with their buttons by index, and the keyboard.
// Hidden and fully transparent views are left out. Stable enough to compare
// in tests: no addresses, numbers written without needless fractions.
//
//   status bar: black-opaque
//   window (key)
//     tab bar controller
//       tabs: [*"Secret pool" #20] ["Post your secret" #21]
//       navigation: OVWebViewController (bar hidden)
//         screen OVWebViewController
//           toolbar: [refresh] [fixed 0] [flexible] "Share" [flexible] "Feedback"
//
// Views describe themselves by overriding View::dump (the web view of the
// screen renderer does too). Main thread only.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace murmelo {

class View;

class ScreenDumpWriter {
public:
    void line(std::string text);
    // Lines written by `body` are indented one step.
    void nested(const std::function<void()>& body);
    // A view as part of the screen: skipped when hidden or transparent; the
    // view of a view controller is described by the controller.
    void visit(const View& view);
    // The view's own description, whatever it belongs to.
    void visitContent(const View& view);

    const std::vector<std::string>& lines() const { return m_lines; }
    std::string text() const;

    // "text" with \" \\ \n \t \r escaped, so a value stays on one line.
    static std::string quote(std::string_view text);
    // The lines a view writes, joined by "; " (for bar items with views).
    static std::string summarize(const View& view);

private:
    std::vector<std::string> m_lines;
    int m_depth = 0;
};

// The whole screen.
std::string dumpScreen();

} // namespace murmelo
