#include "platform/ui/WebView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Event.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/WebPagePainter.h"
#include "platform/ui/internal/WebViewEngine.h"

namespace murmelo {

const char* webViewNavigationTypeName(WebViewNavigationType type) {
    switch (type) {
    case WebViewNavigationType::LinkClicked:
        return "LinkClicked";
    case WebViewNavigationType::FormSubmitted:
        return "FormSubmitted";
    case WebViewNavigationType::BackForward:
        return "BackForward";
    case WebViewNavigationType::Reload:
        return "Reload";
    case WebViewNavigationType::FormResubmitted:
        return "FormResubmitted";
    case WebViewNavigationType::Other:
        return "Other";
    }
    return "Other";
}

WebView::WebView() : WebView(Rect{}) {}

WebView::WebView(const Rect& frame) : View(frame), m_engine(std::make_unique<Engine>(*this)) {}

WebView::~WebView() = default;

void WebView::loadRequest(const URLRequest& request) {
    m_engine->navigate(request, WebViewNavigationType::Other, Engine::Commit{Engine::Commit::Kind::Push});
}

void WebView::loadHTMLString(const std::string& html, const std::optional<URL>& baseURL) {
    URL url = baseURL ? baseURL->absoluteURL() : *URL::strictParse("about:blank");
    m_engine->navigate(URLRequest(url), WebViewNavigationType::Other,
                       Engine::Commit{Engine::Commit::Kind::Push}, html);
}

void WebView::reload() {
    m_engine->reload();
}

void WebView::stopLoading() {
    m_engine->stopLoading();
}

void WebView::goBack() {
    if (canGoBack())
        m_engine->goToHistoryIndex(*m_engine->historyIndex() - 1);
}

void WebView::goForward() {
    if (canGoForward())
        m_engine->goToHistoryIndex(*m_engine->historyIndex() + 1);
}

bool WebView::canGoBack() const {
    return m_engine->canGoBack();
}

bool WebView::canGoForward() const {
    return m_engine->canGoForward();
}

bool WebView::isLoading() const {
    return m_engine->isLoading();
}

std::string WebView::stringByEvaluatingJavaScriptFromString(std::string_view script) {
    return m_engine->evaluate(script);
}

void WebView::drawRect(DrawingContext& context, const Rect&) {
    WebPaintOptions options;
    options.scrollOffset = shownScrollOffset();
    if (m_focused && isFirstResponder()) {
        options.focusedField = std::pair(m_focused->form, m_focused->field);
    }
    (void)paintWebPage(context, page(), bounds(), options);
}

double WebView::shownScrollOffset() const {
    if (m_scrollOffset <= 0) {
        return 0; // no layout needed at the top
    }
    // A page that got shorter since it was scrolled shows its end.
    double longest = std::max(0.0, webPageHeight(page(), bounds().width()) - bounds().height());
    return std::min(m_scrollOffset, longest);
}

bool WebView::scrollBy(double points) {
    if (!std::isfinite(points)) {
        return false;
    }
    double longest = std::max(0.0, webPageHeight(page(), bounds().width()) - bounds().height());
    double offset = std::clamp(std::min(m_scrollOffset, longest) + points, 0.0, longest);
    if (offset == m_scrollOffset) {
        return false;
    }
    m_scrollOffset = offset;
    setNeedsDisplay();
    return true;
}

// The page takes its touches; they do not go on up the responder chain.
void WebView::touchesEnded(const TouchSet& touches, const Event*) {
    if (touches.empty()) {
        return;
    }
    Point at = touches.front().locationInView(this);
    if (!bounds().contains(at)) {
        return;
    }
    auto target = webPageTargetAt(page(), bounds().width(),
                                  {at.x - bounds().x(), at.y - bounds().y() + shownScrollOffset()});
    if (!target) {
        return;
    }
    if (target->kind == WebPageTarget::Kind::Link) {
        (void)clickLink(target->linkIndex);
        return;
    }
    tapField({target->formIndex, target->fieldIndex});
}

const WebFormField* WebView::field(const FieldPosition& position) const {
    const WebPage& shown = page();
    if (position.form >= shown.forms.size() || position.field >= shown.forms[position.form].fields.size()) {
        return nullptr;
    }
    return &shown.forms[position.form].fields[position.field];
}

void WebView::tapField(const FieldPosition& position) {
    const WebFormField* tapped = field(position);
    if (!tapped || tapped->disabled) {
        return;
    }
    const std::string type = tapped->type;
    const std::string name = tapped->name;
    if (type == "submit" || type == "image") {
        (void)resignFirstResponder();
        // A button without a name is told apart by its title.
        (void)submitForm(position.form, !name.empty() ? name : tapped->label);
        return;
    }
    if (type == "checkbox") {
        (void)setFormField(position.form, name, tapped->checked ? "off" : "on");
        return;
    }
    if (type == "radio") {
        (void)setFormField(position.form, name, tapped->value);
        return;
    }
    // Buttons without a form action, selects and file choosers take no keyboard.
    if (type == "button" || type == "reset" || type == "select" || type == "file" || type == "hidden" ||
        name.empty()) {
        return;
    }
    if (isFirstResponder() && m_focused) {
        m_focused = position;
        assignText(tapped->value);
        setNeedsDisplay();
        return;
    }
    m_focused = position;
    assignText(tapped->value);
    if (!becomeFirstResponder()) {
        m_focused.reset();
    }
}

bool WebView::becomeFirstResponder() {
    if (!isFirstResponder() && !canBecomeFirstResponder()) {
        return false;
    }
    return beginEditing(isFirstResponder(), [this] { return View::becomeFirstResponder(); });
}

bool WebView::resignFirstResponder() {
    bool resigned = endEditing(isFirstResponder(), [this] { return View::resignFirstResponder(); });
    if (resigned) {
        m_focused.reset();
    }
    return resigned;
}

void WebView::textDidChange() {
    if (!m_focused) {
        return;
    }
    if (const WebFormField* typedInto = field(*m_focused)) {
        // Copied: setting the field rebuilds the page the pointer is into.
        const std::string name = typedInto->name;
        (void)setFormField(m_focused->form, name, currentText());
    }
}

std::shared_ptr<const void> WebView::retainDuringEdit() const {
    return sharedAs<WebView>();
}

void WebView::pressReturn() {
    if (!m_focused) {
        return;
    }
    const WebFormField* typedInto = field(*m_focused);
    if (typedInto && typedInto->type == "textarea") {
        (void)insertText("\n");
        return;
    }
    std::size_t form = m_focused->form;
    auto keepAlive = sharedAs<WebView>();
    (void)resignFirstResponder();
    (void)submitForm(form);
}

void WebView::pageCommitted() {
    m_scrollOffset = 0;
    if (m_focused) {
        (void)resignFirstResponder();
        m_focused.reset();
    }
}

const WebPage& WebView::page() const {
    return m_engine->page();
}

Result<void> WebView::clickLink(std::size_t index) {
    return m_engine->clickLink(index);
}

Result<void> WebView::setFormField(std::size_t formIndex, std::string_view name, std::string_view value) {
    return m_engine->setFormField(formIndex, name, value);
}

Result<void> WebView::submitForm(std::size_t formIndex, std::optional<std::string_view> submitter) {
    return m_engine->submitForm(formIndex, submitter);
}

namespace {

web::ScriptLimits& currentScriptLimits() {
    static web::ScriptLimits limits{.timeBudgetSeconds = WebView::kScriptTimeBudget,
                                    .heapBytes = WebView::kScriptHeapLimit};
    return limits;
}

} // namespace

const web::ScriptLimits& WebView::scriptLimits() {
    return currentScriptLimits();
}

void WebView::setScriptLimits(const web::ScriptLimits& limits) {
    currentScriptLimits() = limits;
}

std::size_t WebView::loadsInFlight() {
    std::size_t count = 0;
    for (const Engine* engine : Engine::all())
        count += engine->busyCount();
    return count;
}

std::size_t WebView::timersDueWithin(double withinSeconds) {
    std::size_t count = 0;
    for (const Engine* engine : Engine::all())
        count += engine->timersDueWithin(withinSeconds);
    return count;
}

namespace {

std::string describeField(const WebFormField& field) {
    std::string text = field.type;
    if (!field.name.empty())
        text += " " + ScreenDumpWriter::quote(field.name);
    if (field.type == "checkbox" || field.type == "radio") {
        text += std::string(field.checked ? " [x] " : " [ ] ") + ScreenDumpWriter::quote(field.value);
    } else if (field.type == "password") {
        text += " (" + std::to_string(field.value.size()) + " characters)";
    } else if (field.type == "submit" || field.type == "image" || field.type == "button" ||
               field.type == "reset") {
        text += " " + ScreenDumpWriter::quote(field.label);
    } else {
        text += " = " + ScreenDumpWriter::quote(field.value);
        if (field.value.empty() && !field.placeholder.empty())
            text += " placeholder " + ScreenDumpWriter::quote(field.placeholder);
    }
    if (field.type != "submit" && field.type != "image" && field.type != "button" && field.type != "reset" &&
        !field.label.empty())
        text += " label " + ScreenDumpWriter::quote(field.label);
    if (field.disabled)
        text += " (disabled)";
    return text;
}

} // namespace

void WebView::dump(ScreenDumpWriter& writer) const {
    const WebPage& shown = page();
    std::string head = "web view";
    if (!shown.url.empty())
        head += " " + shown.url;
    if (isLoading())
        head += " (loading " + (m_request ? m_request->url.absoluteString() : std::string()) + ")";
    writer.line(head);
    writer.nested([&] {
        if (!shown.title.empty())
            writer.line("title " + ScreenDumpWriter::quote(shown.title));
        std::string text = shown.text();
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            if (end > start)
                writer.line("text " + ScreenDumpWriter::quote(text.substr(start, end - start)));
            start = end + 1;
        }
        for (std::size_t i = 0; i < shown.links.size(); ++i) {
            writer.line("link [" + std::to_string(i + 1) + "] " +
                        ScreenDumpWriter::quote(shown.links[i].text) + " " + shown.links[i].url);
        }
        for (std::size_t i = 0; i < shown.forms.size(); ++i) {
            const WebForm& form = shown.forms[i];
            std::string line = "form [" + std::to_string(i + 1) + "] " + form.method + " " + form.action;
            if (form.enctype == "multipart/form-data")
                line += " (multipart)";
            writer.line(line);
            writer.nested([&] {
                for (const WebFormField& field : form.fields) {
                    if (field.type != "hidden")
                        writer.line(describeField(field));
                }
            });
        }
    });
    dumpSubviews(writer);
}

} // namespace murmelo
