#include "servers/maker/MakerServers.h"

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/foundation/PropertyListSerialization.h"
#include "servers/Accounts.h"
#include "servers/HostTable.h"
#include "servers/http/Text.h"

namespace murmelo::servers {

namespace {

HttpResponse notFound() {
    return HttpResponse::text("not found\n", 404);
}

HttpResponse notStored(const Error& error) {
    logLine("maker: cannot store: %s", error.localizedDescription().c_str());
    return HttpResponse::text("could not be stored\n", 500);
}

constexpr std::string_view kFeedbackStyle =
    "body{margin:0;padding:8px;font:15px/1.4 Helvetica,Arial,sans-serif;background:#fff;color:#222}"
    "h1{font-size:20px}textarea,input[type=text]{width:100%;box-sizing:border-box;font-size:15px}"
    "button{margin-top:6px;padding:6px 12px;font-size:15px}.error{color:#b00}.notice{color:#070}";

std::string feedbackHead(std::string_view title) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
           "content=\"width=device-width, initial-scale=1\"><title>" +
           htmlEscape(title) + "</title><style>" + std::string(kFeedbackStyle) + "</style></head><body>\n";
}

} // namespace

HttpResponse MakerServers::handle(HttpRequest& request) {
    switch (roleForHost(request.host).value_or(HostRole::Admin)) {
    case HostRole::Status:
        return status(request);
    case HostRole::Service:
        return service(request);
    case HostRole::Support:
        return support(request);
    case HostRole::Link:
        return link(request);
    default:
        return notFound();
    }
}

HttpResponse MakerServers::status(const HttpRequest& request) {
    if (request.path != "/status.php") {
        return notFound();
    }
    FormFields query = parseQueryLeniently(request.query);
    std::string userAgent = request.header("User-Agent").value_or("");
    auto stored = m_database.write<int>([&](Connection& connection) -> Result<int> {
        auto insert =
            connection.prepare("INSERT INTO status_pings (received, app, version, lang, jailbroken, "
                               "device_id, phone_type, user_agent) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        if (!insert) {
            return insert.error();
        }
        insert->bind(1, request.receivedAt);
        int index = 2;
        for (const char* field : {"app", "v", "lang", "jb", "deviceid", "phonetype"}) {
            if (auto value = query.get(field)) {
                insert->bind(index, *value);
            } else {
                insert->bindNull(index);
            }
            ++index;
        }
        insert->bind(8, userAgent);
        return insert->run();
    });
    if (!stored) {
        return notStored(stored.error());
    }
    return HttpResponse::text("OK\n");
}

HttpResponse MakerServers::recommendation() {
    const Recommendation& offer = m_config.recommendation;
    if (!offer.enabled) {
        return HttpResponse::text("no recommendation\n", 404);
    }
    Dictionary plist{{"ver", offer.ver},
                     {"title", offer.title},
                     {"message", offer.message},
                     {"okayBtn", offer.okayBtn},
                     {"cancelBtn", offer.cancelBtn},
                     {"appUrl", offer.appUrl},
                     {"notifyUrl", offer.notifyUrl}};
    auto xml =
        PropertyListSerialization::dataWithPropertyList(Value(std::move(plist)), PropertyListFormat::Xml);
    if (!xml) {
        logLine("service: cannot write the offer: %s", xml.error().localizedDescription().c_str());
        return HttpResponse::text("offer unavailable\n", 500);
    }
    HttpResponse response = HttpResponse::xml(std::move(*xml));
    response.contentType = "application/x-plist; charset=utf-8";
    return response;
}

HttpResponse MakerServers::service(const HttpRequest& request) {
    if (request.path == "/recommandApp.php") {
        return recommendation();
    }
    if (request.path == "/adsensekeywords.php") {
        return HttpResponse::text(m_config.adsenseKeywords + "\n");
    }
    if (request.path == "/recommandClicked.php") {
        return HttpResponse::text("OK\n");
    }
    if (request.path != "/sharedNotify.php") {
        return notFound();
    }
    std::string type = parseQueryLeniently(request.query).getOr("type", "");
    if (type != "facebook" && type != "twitter") {
        return HttpResponse::text("unknown share type\n", 400);
    }
    auto stored = m_database.write<int>([&](Connection& connection) -> Result<int> {
        auto insert = connection.prepare("INSERT INTO share_notices (received, type) VALUES (?, ?)");
        if (!insert) {
            return insert.error();
        }
        insert->bind(1, request.receivedAt).bind(2, type);
        return insert->run();
    });
    if (!stored) {
        return notStored(stored.error());
    }
    return HttpResponse::text("OK\n");
}

HttpResponse MakerServers::feedbackPage(const FormFields& origin, std::string_view error,
                                        std::string_view message, std::string_view contact, int status) {
    std::string out = feedbackHead("Feedback");
    out += "<h1>Tell us what you think</h1>\n<p>Found a bug, have an idea, or just want to say hello? "
           "We read every message.</p>\n";
    if (!error.empty()) {
        out += "<p class=\"error\">" + htmlEscape(error) + "</p>\n";
    }
    out +=
        "<form method=\"post\" action=\"isupport.php\">"
        "<textarea name=\"message\" rows=\"6\" maxlength=\"" +
        std::to_string(kMaxFeedbackLength) + "\" placeholder=\"Your message\">" + htmlEscape(message) +
        "</textarea><input type=\"text\" name=\"contact\" maxlength=\"" + std::to_string(kMaxContactLength) +
        "\" placeholder=\"E-mail (optional, if you want an answer)\" value=\"" + htmlEscape(contact) + "\">";
    // Which build sent it helps to answer; the device id is not kept.
    for (const char* field : {"app", "v", "lang"}) {
        if (auto value = origin.get(field)) {
            out += "<input type=\"hidden\" name=\"" + std::string(field) + "\" value=\"" +
                   htmlEscape(*value) + "\">";
        }
    }
    out += "<button type=\"submit\">Send</button></form>\n<p>Or write to <a href=\"mailto:" +
           htmlEscape(kSupportEmail) + "\">" + htmlEscape(kSupportEmail) + "</a>.</p>\n</body></html>\n";
    return HttpResponse::html(std::move(out), status);
}

HttpResponse MakerServers::support(const HttpRequest& request) {
    if (request.path != "/isupport.php") {
        return notFound();
    }
    if (request.method == "GET") {
        return feedbackPage(parseQueryLeniently(request.query), "", "", "", 200);
    }
    if (request.method != "POST") {
        return HttpResponse::text("method not allowed\n", 405);
    }
    auto form = parseRequestForm(request);
    if (!form) {
        return feedbackPage({}, "Your message could not be read. Please try again.", "", "", 400);
    }
    std::string message = trimWhitespace(form->getOr("message", ""));
    std::string contact = trimWhitespace(form->getOr("contact", ""));
    if (message.empty()) {
        return feedbackPage(*form, "Please write a message.", "", contact, 200);
    }
    if (codePointCount(message) > kMaxFeedbackLength || codePointCount(contact) > kMaxContactLength) {
        return feedbackPage(*form,
                            "That is a little long; please keep it under " +
                                std::to_string(kMaxFeedbackLength) + " characters.",
                            message, contact, 200);
    }
    auto stored = m_database.write<int>([&](Connection& connection) -> Result<int> {
        auto insert = connection.prepare("INSERT INTO feedback (received, message, contact, app, version, "
                                         "lang) VALUES (?, ?, ?, ?, ?, ?)");
        if (!insert) {
            return insert.error();
        }
        insert->bind(1, request.receivedAt).bind(2, message).bind(3, contact);
        insert->bind(4, form->getOr("app", ""))
            .bind(5, form->getOr("v", ""))
            .bind(6, form->getOr("lang", ""));
        return insert->run();
    });
    if (!stored) {
        logLine("support: cannot store feedback: %s", stored.error().localizedDescription().c_str());
        return feedbackPage(*form, "Your message could not be stored. Please try again later.", message,
                            contact, 500);
    }
    return HttpResponse::html(feedbackHead("Thank you") +
                              "<h1>Thank you!</h1>\n<p class=\"notice\">Your message reached us.</p>\n"
                              "<p><a href=\"isupport.php\">Write another</a></p>\n</body></html>\n");
}

HttpResponse MakerServers::link(const HttpRequest& request) {
    if (request.path != "/vasksendmailEn") {
        return notFound();
    }
    return HttpResponse::text("OK\n");
}

} // namespace murmelo::servers
