#include "platform/ui/ScreenDump.h"

#include "platform/core/Value.h"
#include "platform/ui/Application.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/ui/internal/AlertOverlay.h"

namespace murmelo {

void ScreenDumpWriter::line(std::string text) {
    m_lines.push_back(std::string(static_cast<size_t>(m_depth) * 2, ' ') + std::move(text));
}

void ScreenDumpWriter::nested(const std::function<void()>& body) {
    ++m_depth;
    body();
    --m_depth;
}

void ScreenDumpWriter::visit(const View& view) {
    if (view.isHidden() || view.alpha() < 0.01) {
        return;
    }
    ViewController* controller = view.viewController();
    if (controller && controller->isViewLoaded()) {
        controller->dump(*this);
        return;
    }
    view.dump(*this);
}

void ScreenDumpWriter::visitContent(const View& view) {
    view.dump(*this);
}

std::string ScreenDumpWriter::text() const {
    std::string result;
    for (const auto& l : m_lines) {
        result += l;
        result += '\n';
    }
    return result;
}

std::string ScreenDumpWriter::quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string ScreenDumpWriter::summarize(const View& view) {
    ScreenDumpWriter writer;
    writer.visit(view);
    std::string joined;
    for (const auto& l : writer.lines()) {
        size_t start = l.find_first_not_of(' ');
        if (start == std::string::npos) {
            continue;
        }
        if (!joined.empty()) {
            joined += "; ";
        }
        joined += l.substr(start);
    }
    return joined;
}

std::string dumpScreen() {
    assertMainThread();
    Application& app = Application::sharedApplication();
    ScreenDumpWriter writer;
    if (app.isStatusBarHidden()) {
        writer.line("status bar: hidden");
    } else {
        std::string status = std::string("status bar: ") + statusBarStyleName(app.statusBarStyle());
        if (app.isNetworkActivityIndicatorVisible()) {
            status += ", network activity";
        }
        writer.line(status);
    }
    auto& overlay = internal::AlertOverlay::shared();
    auto overlayWindow = overlay.panels().empty() ? nullptr : overlay.window();
    for (const auto& window : app.windows()) {
        if (window->isHidden() || window == overlayWindow) {
            continue;
        }
        std::string heading = "window";
        if (window->windowLevel() != kWindowLevelNormal) {
            heading += " level " + formatNumber(window->windowLevel());
        }
        if (window->isKeyWindow()) {
            heading += " (key)";
        }
        writer.line(heading);
        writer.nested([&] { writer.visitContent(*window); });
    }
    auto panels = overlay.panels();
    for (auto it = panels.rbegin(); it != panels.rend(); ++it) {
        writer.visitContent(**it);
        if (it == panels.rbegin() && panels.size() > 1) {
            writer.nested(
                [&] { writer.line("(front; " + std::to_string(panels.size() - 1) + " more behind)"); });
        }
    }
    if (auto responder = Responder::currentFirstResponder()) {
        if (auto view = std::dynamic_pointer_cast<View>(responder); view && view->window()) {
            std::string summary = ScreenDumpWriter::summarize(*view);
            writer.line("keyboard: up" + (summary.empty() ? std::string() : " for " + summary));
        }
    }
    return writer.text();
}

} // namespace murmelo
