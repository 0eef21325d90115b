#include "servers/content/ContentPages.h"

#include "servers/http/Text.h"

namespace murmelo::servers {

namespace {

constexpr std::string_view kStyle = R"css(
body{margin:0;padding:8px;font:15px/1.4 Helvetica,Arial,sans-serif;background:#f6f3ec;color:#222}
a{color:#2a55a4}h1{font-size:20px;margin:4px 0 8px}h2{font-size:16px;margin:12px 0 4px}
.secret,.comment{background:#fff;border-radius:6px;padding:8px;margin:0 0 8px}
.text{margin:0 0 4px;white-space:pre-wrap;word-wrap:break-word}
.meta{font-size:12px;color:#777}.mine{color:#b36b00}
textarea{width:100%;box-sizing:border-box;font-size:15px}
button{margin-top:6px;padding:6px 12px;font-size:15px}
.error{color:#b00}.notice{color:#2a7a2a}nav{margin:8px 0}input[type=search]{width:60%}
ol{list-style:none;padding:0;margin:0}
)css";

// Page paths are our own literals and numbers; nothing needs escaping in a
// script string, but the quote and backslash are refused anyway.
std::string scriptString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c != '"' && c != '\\' && c != '<') {
            out += c;
        }
    }
    return out + "\"";
}

std::string head(std::string_view title, std::string_view script = {}) {
    std::string out;
    out.reserve(4096);
    out += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>";
    out += htmlEscapeText(title);
    out += "</title><style>";
    out += kStyle;
    out += "</style>";
    if (!script.empty()) {
        out += "<script>";
        out += script;
        out += "</script>";
    }
    // The page colour also as an attribute: small browsers read no style sheets.
    out += "</head><body bgcolor=\"#f6f3ec\">\n";
    return out;
}

constexpr std::string_view kFoot = "</body></html>\n";

std::string plural(std::int64_t n, std::string_view word) {
    return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

// The pool's functions for the application: paging and search. Search terms
// go out hex-encoded so that no typed word shows up in the address.
std::string poolScript(const std::string& next, const std::string& previous) {
    std::string out;
    out += "var nextPage=" + scriptString(next) + ";var prevPage=" + scriptString(previous) + ";";
    out += "function gotoNextPage(){if(nextPage){window.location.href=nextPage;}}"
           "function gotoPrevPage(){if(prevPage){window.location.href=prevPage;}}"
           "function search(text){var b=unescape(encodeURIComponent(String(text)));var h='';"
           "for(var i=0;i<b.length;i++){var x=b.charCodeAt(i).toString(16);h+=(x.length<2?'0':'')+x;}"
           "window.location.href='index.php?r=secret/search&qx='+h;}";
    return out;
}

void appendSecret(std::string& out, const Secret& secret, const PageContext& context, bool withLinks) {
    out += "<li class=\"secret\" id=\"s" + std::to_string(secret.id) + "\"><p class=\"text\">";
    out += htmlEscapeText(secret.content);
    out += "</p><div class=\"meta\">";
    out += describeAge(context.now - secret.created);
    if (withLinks) {
        out += " · <a class=\"comments\" href=\"" + htmlEscapeText(links::comments(secret.id)) + "\">" +
               plural(secret.commentCount, "comment") + "</a>";
        out += " · <a class=\"share\" href=\"" + htmlEscapeText(links::share(secret)) + "\">share</a>";
    }
    if (!context.session.empty() && secret.session == context.session) {
        out += " · <span class=\"mine\">you told this</span>";
    }
    out += "</div></li>\n";
}

void appendSearchForm(std::string& out, std::string_view query) {
    // POST keeps the typed words out of the address.
    out += "<form method=\"post\" action=\"" + htmlEscapeText(links::kSearch) +
           "\"><input type=\"search\" name=\"q\" maxlength=\"100\" value=\"" + htmlEscapeText(query) +
           "\" placeholder=\"search secrets\"> <button type=\"submit\">Search</button></form>\n";
}

void appendList(std::string& out, const SecretPage& secrets, const PageContext& context) {
    out += "<ol class=\"secrets\">\n";
    for (const Secret& secret : secrets.secrets) {
        appendSecret(out, secret, context, true);
    }
    out += "</ol>\n";
}

void appendNav(std::string& out, const std::string& previous, const std::string& next) {
    if (previous.empty() && next.empty()) {
        return;
    }
    out += "<nav>";
    if (!previous.empty()) {
        out += "<a class=\"newer\" href=\"" + htmlEscapeText(previous) + "\">‹ newer</a> ";
    }
    if (!next.empty()) {
        out += "<a class=\"older\" href=\"" + htmlEscapeText(next) + "\">older ›</a>";
    }
    out += "</nav>\n";
}

void appendPostForm(std::string& out, std::string_view action, std::string_view field,
                    std::string_view appField, std::string_view extraHidden, std::string_view draft,
                    std::string_view button, int maxLength) {
    out += "<form method=\"post\" action=\"" + htmlEscapeText(action) + "\"><textarea name=\"" +
           htmlEscapeText(field) + "\" rows=\"5\" maxlength=\"" + std::to_string(maxLength) + "\">" +
           htmlEscapeText(draft) + "</textarea>";
    out += "<input type=\"hidden\" name=\"" + htmlEscapeText(appField) + "\" value=\"" +
           htmlEscapeText(kPageAppName) + "\">";
    out += "<input type=\"hidden\" name=\"" + std::string(kPageReplyField) + "\" value=\"" +
           std::string(kPageReplyValue) + "\">";
    out += extraHidden;
    out += "<button type=\"submit\">" + htmlEscapeText(button) + "</button></form>\n";
}

} // namespace

namespace links {

std::string pool(int page) {
    return page <= 1 ? "index.php" : "index.php?page=" + std::to_string(page);
}

std::string comments(std::int64_t secretId) {
    return "index.php?r=secret/comments&secret_id=" + std::to_string(secretId);
}

std::string single(std::int64_t secretId) {
    return "index.php?r=secret/single&secret_id=" + std::to_string(secretId);
}

std::string shareContent(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    for (char c : text) {
        if (c == '&') {
            safe += "\xEF\xBC\x86"; // U+FF06 FULLWIDTH AMPERSAND
        } else {
            safe += c;
        }
    }
    return percentEncode(safe);
}

std::string share(const Secret& secret) {
    // "content" comes last: its value runs to the end of the query as the
    // application reads it (up to the parameter block it appends).
    return single(secret.id) + "&shareToiPhoneFT=1&content=" + shareContent(secret.content);
}

std::string search(std::string_view text, int page) {
    std::string url = "index.php?r=secret/search&qx=" + hexEncode(text);
    if (page > 1) {
        url += "&page=" + std::to_string(page);
    }
    return url;
}

std::string close() {
    return "index.php?closenew=1";
}

std::string postingPage() {
    return std::string(kCreateSecret);
}

} // namespace links

std::string poolPage(const SecretPage& secrets, int page, const PageContext& context) {
    std::string next = secrets.hasMore ? links::pool(page + 1) : "";
    std::string previous = page > 1 ? links::pool(page - 1) : "";
    std::string out = head("Secret pool", poolScript(next, previous));
    out += "<h1>Secret pool</h1>\n";
    appendSearchForm(out, "");
    if (secrets.secrets.empty()) {
        out += "<p>No secrets here yet. <a href=\"" + htmlEscapeText(links::postingPage()) +
               "\">Tell the first one</a>.</p>\n";
    } else {
        appendList(out, secrets, context);
    }
    appendNav(out, previous, next);
    out += "<p><a href=\"" + htmlEscapeText(links::postingPage()) + "\">Tell a secret</a></p>\n";
    out += kFoot;
    return out;
}

std::string searchPage(std::string_view query, const SecretPage& secrets, int page,
                       const PageContext& context) {
    std::string next = secrets.hasMore ? links::search(query, page + 1) : "";
    std::string previous = page > 1 ? links::search(query, page - 1) : "";
    std::string out = head("Search", poolScript(next, previous));
    out += "<h1>Search</h1>\n";
    appendSearchForm(out, query);
    if (secrets.secrets.empty()) {
        out += "<p>No secret holds “" + htmlEscapeText(query) + "”.</p>\n";
    } else {
        appendList(out, secrets, context);
    }
    appendNav(out, previous, next);
    out += "<p><a href=\"index.php\">All secrets</a></p>\n";
    out += kFoot;
    return out;
}

std::string postingPage(std::string_view error, std::string_view draft) {
    std::string out = head("Post your secret");
    out += "<h1>Post your secret</h1>\n";
    if (!error.empty()) {
        out += "<p class=\"error\">" + htmlEscapeText(error) + "</p>\n";
    }
    appendPostForm(out, links::kCreateSecret, "Secret[content]", "Secret[appName]", "", draft,
                   "okay, tell the world", 1000);
    out += "<p class=\"meta\">We will not save any personal information (your ip address, device id etc.), "
           "post the secret is totally anonymously.</p>\n";
    out += kFoot;
    return out;
}

std::string postedPage(std::int64_t secretId) {
    std::string out = head("Secret posted");
    out += "<h1>Your secret is out</h1>\n<p class=\"notice\">Thank you for sharing. Feel better now?</p>\n";
    out += "<p><a href=\"" + htmlEscapeText(links::single(secretId)) +
           "\">See your secret</a> · <a href=\"index.php\">"
           "Secret pool</a> · <a href=\"" +
           htmlEscapeText(links::postingPage()) + "\">Tell another</a></p>\n";
    out += kFoot;
    return out;
}

std::string commentsPage(const Secret& secret, const std::vector<Comment>& comments,
                         const PageContext& context, std::string_view notice, std::string_view error,
                         std::string_view draft) {
    std::string out = head("Comments");
    out +=
        "<p><a class=\"back\" href=\"" + htmlEscapeText(links::close()) + "\">‹ back to the pool</a></p>\n";
    out += "<ol>";
    appendSecret(out, secret, context, false);
    out += "</ol>\n<h2>" + plural(static_cast<std::int64_t>(comments.size()), "comment") + "</h2>\n";
    if (!notice.empty()) {
        out += "<p class=\"notice\">" + htmlEscapeText(notice) + "</p>\n";
    }
    out += "<ol class=\"comments\">\n";
    for (const Comment& comment : comments) {
        out += "<li class=\"comment\" id=\"c" + std::to_string(comment.id) + "\"><p class=\"text\">" +
               htmlEscapeText(comment.content) + "</p><div class=\"meta\">" +
               describeAge(context.now - comment.created);
        if (!context.session.empty() && comment.session == context.session) {
            out += " · <span class=\"mine\">yours</span>";
        }
        out += "</div></li>\n";
    }
    out += "</ol>\n<h2>Add a comment</h2>\n";
    if (!error.empty()) {
        out += "<p class=\"error\">" + htmlEscapeText(error) + "</p>\n";
    }
    std::string hidden =
        "<input type=\"hidden\" name=\"Comment[secret_id]\" value=\"" + std::to_string(secret.id) + "\">";
    appendPostForm(out, links::kCreateComment, "Comment[content]", "Comment[appName]", hidden, draft,
                   "okay, submit", 500);
    out += kFoot;
    return out;
}

std::string singlePage(const Secret& secret, const PageContext& context) {
    std::string out = head("A secret");
    out += "<h1>A secret</h1>\n<ol>";
    appendSecret(out, secret, context, false);
    out += "</ol>\n<p><a class=\"comments\" href=\"" + htmlEscapeText(links::comments(secret.id)) + "\">" +
           plural(secret.commentCount, "comment") + "</a> · <a href=\"index.php\">Secret pool</a></p>\n";
    out += kFoot;
    return out;
}

std::string messagePage(std::string_view title, std::string_view message) {
    std::string out = head(title);
    out += "<h1>" + htmlEscapeText(title) + "</h1>\n<p>" + htmlEscapeText(message) +
           "</p>\n<p><a href=\"index.php\">Secret pool</a></p>\n";
    out += kFoot;
    return out;
}

} // namespace murmelo::servers
