#include "servers/thirdparty/FacebookStandIn.h"

#include <strings.h>

#include <algorithm>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/foundation/Crypto.h"
#include "servers/Accounts.h"
#include "servers/HostTable.h"
#include "servers/content/SessionCookie.h"
#include "servers/http/Json.h"
#include "servers/http/Text.h"

namespace murmelo::servers {

namespace {

constexpr int kUnknownMethod = 3;
constexpr int kInvalidParameter = 100;
constexpr int kInvalidApiKey = 101;
constexpr int kInvalidSession = 102;
constexpr int kIncorrectSignature = 104;

std::string xmlNamespace() {
    return "http://" + std::string(hostFor(HostRole::FacebookApi)) + "/1.0/";
}

HttpResponse restError(int code, const std::string& message, const FormFields& fields) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<error_response xmlns=\"" +
                      xmlNamespace() + "\">\n  <error_code>" + std::to_string(code) +
                      "</error_code>\n  <error_msg>" + xmlEscape(message) +
                      "</error_msg>\n  <request_args list=\"true\">\n";
    for (const auto& [name, value] : fields.all()) {
        xml += "    <arg>\n      <key>" + xmlEscape(name) + "</key>\n      <value>" + xmlEscape(value) +
               "</value>\n    </arg>\n";
    }
    xml += "  </request_args>\n</error_response>\n";
    return HttpResponse::xml(std::move(xml));
}

// Fields of a request: its query, then its form.
Result<FormFields> requestFields(const HttpRequest& request) {
    FormFields fields = parseQueryLeniently(request.query);
    if (request.method == "POST") {
        auto form = parseRequestForm(request, UnterminatedMultipart::Accept);
        if (!form) {
            return form.error();
        }
        for (const auto& [name, value] : form->all()) {
            fields.add(name, value);
        }
    }
    return fields;
}

bool acceptableReturnAddress(const std::string& address) {
    bool scheme = address.starts_with("fbconnect:") || address.starts_with("http://") ||
                  address.starts_with("https://");
    return scheme && address.find_first_of("\r\n") == std::string::npos;
}

std::string page(std::string_view title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
           "content=\"width=device-width, initial-scale=1\"><title>" +
           htmlEscape(title) +
           "</title><style>body{margin:0;padding:8px;font:14px/1.4 'lucida grande',Tahoma,Verdana,sans-serif;"
           "color:#333}h1{background:#3b5998;color:#fff;font-size:15px;margin:-8px -8px 8px;padding:8px}"
           "input[type=text],input[type=email],input[type=password],textarea{width:100%;box-sizing:border-"
           "box}"
           ".error{color:#c00}.attachment{border-left:3px solid #ccc;padding-left:8px;margin:8px 0}"
           "button{background:#5b74a8;color:#fff;border:1px solid #29447e;padding:4px "
           "10px}</style></head><body>\n" +
           body + "</body></html>\n";
}

std::string hidden(std::string_view name, std::string_view value) {
    return "<input type=\"hidden\" name=\"" + htmlEscape(name) + "\" value=\"" + htmlEscape(value) + "\">";
}

} // namespace

std::string FacebookStandIn::signature(const FormFields& parameters, std::string_view secret) {
    std::vector<std::pair<std::string, std::string>> sorted;
    for (const auto& field : parameters.all()) {
        if (field.first != "sig") {
            sorted.push_back(field);
        }
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return strcasecmp(a.first.c_str(), b.first.c_str()) < 0;
    });
    std::string text;
    for (const auto& [name, value] : sorted) {
        text += name + "=" + value;
    }
    text += secret;
    return md5Hex(text);
}

const FacebookUser* FacebookStandIn::userWithUid(std::int64_t uid) const {
    for (const FacebookUser& user : m_config.facebookUsers) {
        if (user.uid == uid) {
            return &user;
        }
    }
    return nullptr;
}

HttpResponse FacebookStandIn::handle(HttpRequest& request) {
    HostRole role = roleForHost(request.host).value_or(HostRole::Admin);
    if (role == HostRole::FacebookApi || role == HostRole::FacebookVideoApi) {
        if (request.path == "/restserver.php") {
            return rest(request);
        }
        return HttpResponse::text("not found\n", 404);
    }
    if (request.path == "/login.php") {
        if (request.method == "POST") {
            return login(request);
        }
        return loginPage(parseQueryLeniently(request.query), "", 200);
    }
    if (request.path == "/connect/prompt_feed.php") {
        return promptFeed(request);
    }
    if (request.path == "/apps/murmelo/" || request.path == "/apps/murmelo") {
        return canvasPage();
    }
    if (request.path == "/wall.php") {
        return wallPage();
    }
    return HttpResponse::html(page("Page not found", "<h1>facebook</h1><p>This page isn't available.</p>"),
                              404);
}

HttpResponse FacebookStandIn::loginPage(const FormFields& fields, std::string_view error, int status) {
    std::string apiKey = fields.getOr("api_key", "");
    if (apiKey != kFacebookApiKey) {
        return HttpResponse::html(page("Error", "<h1>facebook</h1><p class=\"error\">Invalid API key.</p>"
                                                "<p><a href=\"fbconnect:cancel\">Cancel</a></p>"),
                                  200);
    }
    std::string next = fields.getOr("next", "fbconnect://success");
    std::string body = "<h1>facebook</h1>\n<p>Log in to use your Facebook account with <b>" +
                       htmlEscape(kAppName) + "</b>.</p>\n";
    if (!error.empty()) {
        body += "<p class=\"error\">" + htmlEscape(error) + "</p>\n";
    }
    body += "<form method=\"post\" action=\"login.php\">" + hidden("api_key", apiKey) + hidden("next", next) +
            hidden("fbconnect", fields.getOr("fbconnect", "1")) +
            hidden("connect_display", fields.getOr("connect_display", "touch")) +
            "<p>Email<br><input type=\"email\" id=\"email\" name=\"email\" value=\"" +
            htmlEscape(fields.getOr("email", "")) +
            "\"></p><p>Password<br><input type=\"password\" name=\"pass\"></p>"
            "<button type=\"submit\">Log In</button></form>\n<p><a href=\"fbconnect:cancel\">Cancel</a></p>\n"
            // The login dialog calls "email.blur();" when it closes; browsers
            // name elements by id on the page's global object, this one by hand.
            "<script>var email = document.getElementById('email');</script>\n";
    return HttpResponse::html(page("Log in", body), status);
}

HttpResponse FacebookStandIn::login(const HttpRequest& request) {
    auto fields = requestFields(request);
    if (!fields) {
        return loginPage({}, "Your login could not be read.", 400);
    }
    if (fields->getOr("api_key", "") != kFacebookApiKey) {
        return loginPage(*fields, "", 200);
    }
    std::string email = fields->getOr("email", "");
    std::string password = fields->getOr("pass", "");
    const FacebookUser* user = nullptr;
    for (const FacebookUser& candidate : m_config.facebookUsers) {
        if (strcasecmp(candidate.email.c_str(), email.c_str()) == 0 && candidate.password == password) {
            user = &candidate;
        }
    }
    if (!user) {
        return loginPage(*fields, "Incorrect email or password.", 200);
    }
    std::string token = randomHex(16);
    auto stored = m_database.write<int>([&](Connection& connection) -> Result<int> {
        auto insert =
            connection.prepare("INSERT INTO fb_tokens (token, uid, api_key, created) VALUES (?, ?, ?, ?)");
        if (!insert) {
            return insert.error();
        }
        insert->bind(1, token)
            .bind(2, user->uid)
            .bind(3, std::string_view(kFacebookApiKey))
            .bind(4, Clock::now());
        return insert->run();
    });
    if (!stored) {
        logLine("facebook: cannot store a token: %s", stored.error().localizedDescription().c_str());
        return loginPage(*fields, "Something went wrong. Please try again.", 500);
    }
    std::string next = fields->getOr("next", "");
    if (!acceptableReturnAddress(next)) {
        next = "fbconnect://success";
    }
    next += next.find('?') == std::string::npos ? "?" : "&";
    return HttpResponse::redirect(next + "auth_token=" + token);
}

Result<std::optional<FacebookStandIn::SessionRow>> FacebookStandIn::session(const std::string& sessionKey,
                                                                            double now) {
    return m_database.read<std::optional<SessionRow>>(
        [&](Connection& connection) -> Result<std::optional<SessionRow>> {
            auto select = connection.prepare("SELECT uid, secret, api_key, expires FROM fb_sessions "
                                             "WHERE session_key = ?");
            if (!select) {
                return select.error();
            }
            select->bind(1, sessionKey);
            auto row = select->step();
            if (!row) {
                return row.error();
            }
            if (!*row) {
                return std::optional<SessionRow>();
            }
            SessionRow found{select->integer(0), select->text(1), select->text(2), select->integer(3)};
            if (found.expires != 0 && static_cast<double>(found.expires) <= now) {
                return std::optional<SessionRow>();
            }
            return std::optional<SessionRow>(found);
        });
}

HttpResponse FacebookStandIn::promptFeed(const HttpRequest& request) {
    auto fields = requestFields(request);
    std::string cancel = fields ? fields->getOr("cancel", "fbconnect:cancel") : "fbconnect:cancel";
    if (!acceptableReturnAddress(cancel)) {
        cancel = "fbconnect:cancel";
    }
    auto problem = [&](const std::string& message) {
        return HttpResponse::html(page("Publish", "<h1>facebook</h1><p class=\"error\">" +
                                                      htmlEscape(message) + "</p><p><a href=\"" +
                                                      htmlEscape(cancel) + "\">Cancel</a></p>"));
    };
    if (!fields) {
        return problem("The post could not be read.");
    }
    if (fields->getOr("api_key", "") != kFacebookApiKey) {
        return problem("Invalid API key.");
    }
    std::string sessionKey = fields->getOr("session_key", "");
    auto found = session(sessionKey, Clock::now());
    if (!found) {
        return problem("Something went wrong. Please try again.");
    }
    if (!*found || (*found)->apiKey != kFacebookApiKey) {
        return problem("Your session has expired. Please log in again.");
    }
    std::string callback = fields->getOr("callback", "fbconnect:success");
    if (!acceptableReturnAddress(callback)) {
        callback = "fbconnect:success";
    }
    std::string attachment = fields->getOr("attachment", "");
    std::optional<Value> parsed;
    if (!attachment.empty()) {
        auto value = parseJson(attachment);
        if (!value || !value->isDictionary()) {
            return problem("The attachment could not be read.");
        }
        parsed = std::move(*value);
    }
    if (fields->getOr("publish", "") == "1") {
        std::string message = trimWhitespace(fields->getOr("message", ""));
        if (codePointCount(message) > 5000) {
            return problem("Your message is too long.");
        }
        auto stored = m_database.write<int>([&](Connection& connection) -> Result<int> {
            auto insert = connection.prepare("INSERT INTO fb_posts (uid, message, attachment, action_links, "
                                             "target_id, received) VALUES (?, ?, ?, ?, ?, ?)");
            if (!insert) {
                return insert.error();
            }
            insert->bind(1, (*found)->uid).bind(2, message).bind(3, attachment);
            insert->bind(4, fields->getOr("action_links", "")).bind(5, fields->getOr("target_id", ""));
            insert->bind(6, request.receivedAt);
            return insert->run();
        });
        if (!stored) {
            logLine("facebook: cannot store a post: %s", stored.error().localizedDescription().c_str());
            return problem("Your post could not be published. Please try again.");
        }
        if (m_wallLog) {
            HttpRequest post;
            post.method = "POST";
            post.host = request.host;
            post.path = post.target = "/wall.php";
            post.receivedAt = request.receivedAt;
            post.multipart = true;
            post.parts = {{"uid", "", "", std::to_string((*found)->uid)},
                          {"message", "", "", message},
                          {"attachment", "", "", attachment},
                          {"action_links", "", "", fields->getOr("action_links", "")},
                          {"target_id", "", "", fields->getOr("target_id", "")}};
            m_wallLog->record(post, "facebook-wall", 201);
        }
        return HttpResponse::redirect(callback);
    }

    const FacebookUser* user = userWithUid((*found)->uid);
    std::string body = "<h1>facebook</h1>\n<p><b>" + htmlEscape(user ? user->name : "You") +
                       "</b>, publish this story to your wall?</p>\n"
                       "<form method=\"post\" action=\"prompt_feed.php?display=touch\">"
                       "<textarea name=\"message\" rows=\"3\" placeholder=\"" +
                       htmlEscape(fields->getOr("user_message_prompt", "")) + "\"></textarea>";
    for (const char* name : {"api_key", "session_key", "callback", "cancel", "attachment", "action_links",
                             "target_id", "user_message_prompt"}) {
        body += hidden(name, fields->getOr(name, ""));
    }
    body += hidden("publish", "1");
    if (parsed) {
        auto text = [&](std::string_view key) {
            const Value* v = parsed->find(key);
            return v && v->isString() ? v->asString()->str() : std::string();
        };
        body += "<div class=\"attachment\">";
        std::optional<std::string> picture;
        if (const Value* media = parsed->find("media");
            media && media->isArray() && !media->asArray()->empty()) {
            if (const Value* src = media->asArray()->front().find("src"); src && src->isString()) {
                picture = attachmentAddress(*src->asString());
            }
        }
        if (picture) {
            body += "<img src=\"" + htmlEscape(*picture) +
                    "\" width=\"90\" alt=\"\" style=\"float:left;margin:0 8px 0 0\">";
        }
        // A link of another scheme (javascript:, data:, ...) leaves the name as plain text.
        std::string name = "<b>" + htmlEscape(text("name")) + "</b>";
        if (auto href = attachmentAddress(text("href"))) {
            name = "<a href=\"" + htmlEscape(*href) + "\">" + name + "</a>";
        }
        body += "<p>" + name + "<br>" + htmlEscape(text("caption")) + "</p><p>" +
                htmlEscape(text("description")) + "</p></div>";
    }
    body +=
        "<button type=\"submit\">Publish</button> <a href=\"" + htmlEscape(cancel) + "\">Cancel</a></form>\n";
    return HttpResponse::html(page("Publish", body));
}

std::optional<std::string> FacebookStandIn::attachmentAddress(std::string_view address) {
    auto ignored = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!address.empty() && ignored(address.front())) {
        address.remove_prefix(1);
    }
    while (!address.empty() && ignored(address.back())) {
        address.remove_suffix(1);
    }
    std::string cleaned;
    for (char c : address) {
        if (c != '\t' && c != '\n' && c != '\r') {
            cleaned += c;
        }
    }
    std::string scheme = cleaned.substr(0, cleaned.find(':'));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (scheme.size() == cleaned.size() || (scheme != "http" && scheme != "https")) {
        return std::nullopt;
    }
    return cleaned;
}

HttpResponse FacebookStandIn::canvasPage() {
    return HttpResponse::html(page(std::string(kAppName) + " on Facebook",
                                   "<h1>facebook</h1><h2>" + htmlEscape(kAppName) + "</h2><p>" +
                                       htmlEscape(kAppCaption) + "</p><p><a href=\"" +
                                       htmlEscape(kAppShortUrl) + "\">Get it now</a></p>"));
}

HttpResponse FacebookStandIn::wallPage() {
    auto posts = m_database.read<std::string>([&](Connection& connection) -> Result<std::string> {
        auto select = connection.prepare("SELECT uid, message, attachment FROM fb_posts ORDER BY rowid DESC "
                                         "LIMIT 50");
        if (!select) {
            return select.error();
        }
        std::string out;
        for (;;) {
            auto row = select->step();
            if (!row) {
                return row.error();
            }
            if (!*row) {
                break;
            }
            const FacebookUser* user = userWithUid(select->integer(0));
            std::string title;
            if (auto value = parseJson(select->text(2)); value && value->isDictionary()) {
                if (const Value* name = value->find("name"); name && name->isString()) {
                    title = *name->asString();
                }
            }
            out += "<div class=\"attachment\"><p><b>" + htmlEscape(user ? user->name : "Someone") + "</b> " +
                   htmlEscape(select->text(1)) + "</p>";
            if (!title.empty()) {
                out += "<p>" + htmlEscape(title) + "</p>";
            }
            out += "</div>\n";
        }
        return out;
    });
    if (!posts) {
        return HttpResponse::html(
            page("Wall", "<h1>facebook</h1><p class=\"error\">The wall cannot be read.</p>"), 500);
    }
    std::string body = posts->empty() ? "<p>Nothing has been posted yet.</p>" : *posts;
    return HttpResponse::html(page("Wall", "<h1>facebook</h1>\n" + body));
}

HttpResponse FacebookStandIn::rest(const HttpRequest& request) {
    auto parsed = requestFields(request);
    if (!parsed) {
        return restError(kInvalidParameter, "Invalid parameter", {});
    }
    const FormFields& fields = *parsed;
    if (fields.getOr("api_key", "") != kFacebookApiKey) {
        return restError(kInvalidApiKey, "Invalid API key", fields);
    }
    std::string method = fields.getOr("method", "");
    if (fields.getOr("v", "") != "1.0") {
        return restError(kInvalidParameter, "Invalid parameter: v", fields);
    }
    bool authMethod = method == "facebook.auth.getSession" || method == "auth.getSession";
    std::string secret(kFacebookApiSecret);
    std::optional<SessionRow> callerSession;
    if (!authMethod) {
        auto found = session(fields.getOr("session_key", ""), Clock::now());
        if (!found) {
            return restError(1, "An unknown error occurred", fields);
        }
        if (!*found) {
            return restError(kInvalidSession, "Session key invalid or no longer valid", fields);
        }
        callerSession = **found;
        if (fields.getOr("ss", "") == "1") {
            secret = callerSession->secret;
        }
    }
    std::string sig = fields.getOr("sig", "");
    std::transform(sig.begin(), sig.end(), sig.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    if (sig != signature(fields, secret)) {
        return restError(kIncorrectSignature, "Incorrect signature", fields);
    }
    if (authMethod) {
        return getSession(fields);
    }
    if (method == "facebook.users.getLoggedInUser" || method == "users.getLoggedInUser") {
        return HttpResponse::xml(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<users_getLoggedInUser_response xmlns=\"" +
            xmlNamespace() + "\">" + std::to_string(callerSession->uid) +
            "</users_getLoggedInUser_response>\n");
    }
    return restError(kUnknownMethod, "Unknown method", fields);
}

HttpResponse FacebookStandIn::getSession(const FormFields& fields) {
    std::string token = fields.getOr("auth_token", "");
    if (token.empty()) {
        return restError(kInvalidParameter, "Invalid parameter: auth_token", fields);
    }
    double now = Clock::now();
    struct Issued {
        std::int64_t uid = 0;
        std::string sessionKey;
        std::string secret;
        std::int64_t expires = 0;
    };
    auto issued = m_database.write<Issued>([&](Connection& connection) -> Result<Issued> {
        auto claim = connection.prepare("UPDATE fb_tokens SET used = 1 WHERE token = ? AND used = 0 "
                                        "AND api_key = ? AND created > ? RETURNING uid");
        if (!claim) {
            return claim.error();
        }
        claim->bind(1, token).bind(2, std::string_view(kFacebookApiKey)).bind(3, now - kTokenLifetime);
        auto row = claim->step();
        if (!row) {
            return row.error();
        }
        if (!*row) {
            return Issued{};
        }
        Issued out;
        out.uid = claim->integer(0);
        if (auto rest = claim->run(); !rest) {
            return rest.error();
        }
        out.sessionKey = randomHex(16) + "-" + std::to_string(out.uid);
        out.secret = randomHex(16);
        out.expires = m_config.facebookSessionLifetime > 0
                          ? static_cast<std::int64_t>(now) + m_config.facebookSessionLifetime
                          : 0;
        auto insert = connection.prepare(
            "INSERT INTO fb_sessions (session_key, uid, secret, api_key, expires) VALUES (?, ?, ?, ?, ?)");
        if (!insert) {
            return insert.error();
        }
        insert->bind(1, out.sessionKey).bind(2, out.uid).bind(3, out.secret);
        insert->bind(4, std::string_view(kFacebookApiKey)).bind(5, out.expires);
        if (auto done = insert->run(); !done) {
            return done.error();
        }
        return out;
    });
    if (!issued) {
        logLine("facebook: cannot issue a session: %s", issued.error().localizedDescription().c_str());
        return restError(1, "An unknown error occurred", fields);
    }
    if (issued->uid == 0) {
        return restError(kInvalidParameter, "Invalid parameter: auth_token", fields);
    }
    return HttpResponse::xml(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<auth_getSession_response xmlns=\"" + xmlNamespace() +
        "\">\n  <session_key>" + issued->sessionKey + "</session_key>\n  <uid>" +
        std::to_string(issued->uid) + "</uid>\n  <expires>" + std::to_string(issued->expires) +
        "</expires>\n  <secret>" + issued->secret + "</secret>\n</auth_getSession_response>\n");
}

} // namespace murmelo::servers
