// libFuzzer target: a page's bytes through the whole web path — charset
// decoding, HTML parsing, the page model, the inline scripts against the
// minimal DOM, a form submission built from every form — with a short
// script budget so runaway scripts end quickly.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/web/FormSubmission.h"
#include "platform/web/PageBuilder.h"
#include "platform/web/ScriptEngine.h"
#include "platform/web/TextDecoding.h"

using namespace murmelo;
using namespace murmelo::web;

namespace {

class Host : public ScriptHost {
public:
    explicit Host(HtmlDocument& document) : m_document(document) {}
    HtmlDocument& scriptDocument() override { return m_document; }
    std::string scriptLocation() override { return "http://fuzz.test/page.php"; }
    std::string scriptUserAgent() override { return "fuzz"; }
    void scriptNavigate(const std::string&, Navigation) override {}
    void scriptReload() override {}
    void scriptHistoryGo(int) override {}
    void scriptDocumentChanged() override {}
    void scriptSubmitForm(DomNode&) override {}
    void scriptClick(DomNode&) override {}

private:
    HtmlDocument& m_document;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the charset the "server" announces.
    static const char* const kCharsets[] = {nullptr,        "utf-8",  "iso-8859-1",
                                            "windows-1252", "koi8-r", "shift_jis"};
    const char* charset = kCharsets[data[0] % (sizeof kCharsets / sizeof kCharsets[0])];
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    DecodedText text = decodeDocument(bytes, charset ? std::optional<std::string>(charset) : std::nullopt);
    auto document = HtmlDocument::parse(text.utf8);
    auto url = URL::strictParse("http://fuzz.test/dir/page.php?x=1");
    BuiltPage built = buildPage(*document, url);
    for (std::size_t i = 0; i < built.page.forms.size(); ++i)
        (void)formSubmissionRequest(built.page.forms[i], std::nullopt, "fuzz");
    Host host(*document);
    ScriptEngine scripts(host, ScriptLimits{.timeBudgetSeconds = 0.05, .heapBytes = std::size_t{16} << 20});
    scripts.runInlineScripts();
    (void)scripts.evaluate("document.title", "fuzz");
    BuiltPage after = buildPage(*document, url);
    (void)after.page.text();
    return 0;
}
