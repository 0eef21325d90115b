#include "servers/thirdparty/TwitterStandIn.h"

#include <ctime>

#include "platform/core/Log.h"
#include "platform/foundation/Crypto.h"
#include "servers/http/Text.h"

namespace murmelo::servers {

namespace {

HttpResponse errorXml(int status, const std::string& request, const std::string& message) {
    HttpResponse response = HttpResponse::xml(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<hash>\n  <request>" + xmlEscape(request) +
            "</request>\n  <error>" + xmlEscape(message) + "</error>\n</hash>\n",
        status);
    return response;
}

std::string twitterDate(double seconds) {
    time_t t = static_cast<time_t>(seconds);
    tm utc{};
    gmtime_r(&t, &utc);
    char buffer[64];
    strftime(buffer, sizeof buffer, "%a %b %d %H:%M:%S +0000 %Y", &utc);
    return buffer;
}

} // namespace

std::optional<std::string>
TwitterStandIn::authenticate(const std::optional<std::string>& authorization) const {
    if (!authorization || authorization->size() < 6 || authorization->compare(0, 6, "Basic ") != 0) {
        return std::nullopt;
    }
    auto decoded = base64Decode(std::string_view(*authorization).substr(6));
    if (!decoded) {
        return std::nullopt;
    }
    std::string pair(decoded->begin(), decoded->end());
    auto colon = pair.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    std::string user = pair.substr(0, colon);
    auto account = m_config.twitterAccounts.find(user);
    if (account == m_config.twitterAccounts.end() || account->second != pair.substr(colon + 1)) {
        return std::nullopt;
    }
    return user;
}

std::optional<std::string> TwitterStandIn::statusText(std::string_view body) {
    constexpr std::string_view prefix = "status=";
    if (body.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    std::string_view value = body.substr(prefix.size());
    if (value.find(' ') != std::string_view::npos) {
        return std::string(value);
    }
    // Looks encoded: the value ends at the next field.
    std::string_view encoded = value.substr(0, value.find('&'));
    auto decoded = percentDecode(encoded, PlusAsSpace::Yes);
    return decoded ? *decoded : std::string(value);
}

HttpResponse TwitterStandIn::handle(HttpRequest& request) {
    std::string path = request.path;
    if (path != "/statuses/update.xml" && path != "/1/statuses/update.xml") {
        return errorXml(404, path, "Not found");
    }
    std::optional<std::string> user = authenticate(request.header("Authorization"));
    if (!user) {
        return errorXml(401, path, "Could not authenticate you.")
            .withHeader("WWW-Authenticate", "Basic realm=\"Twitter API\"");
    }
    if (request.method != "POST") {
        return errorXml(400, path, "This method requires a POST.");
    }
    std::optional<std::string> text = statusText(request.body);
    if (!text || !isValidUtf8(*text) || trimWhitespace(*text).empty()) {
        return errorXml(403, path, "Client must provide a 'status' parameter with a value.");
    }
    if (codePointCount(*text) > kMaxStatusLength) {
        return errorXml(403, path, "Status is over 140 characters.");
    }
    auto id = m_database.write<std::int64_t>([&](Connection& connection) -> Result<std::int64_t> {
        auto insert = connection.prepare("INSERT INTO tweets (account, text, received) VALUES (?, ?, ?)");
        if (!insert) {
            return insert.error();
        }
        insert->bind(1, *user).bind(2, *text).bind(3, request.receivedAt);
        if (auto done = insert->run(); !done) {
            return done.error();
        }
        return connection.lastInsertId();
    });
    if (!id) {
        logLine("twitter: cannot store a status: %s", id.error().localizedDescription().c_str());
        return errorXml(500, path, "Something is technically wrong.");
    }
    return HttpResponse::xml("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<status>\n  <created_at>" +
                             twitterDate(request.receivedAt) + "</created_at>\n  <id>" + std::to_string(*id) +
                             "</id>\n  <text>" + xmlEscape(*text) +
                             "</text>\n  <source>Murmelo</source>\n  <truncated>false</truncated>\n  <user>\n"
                             "    <screen_name>" +
                             xmlEscape(*user) + "</screen_name>\n  </user>\n</status>\n");
}

} // namespace murmelo::servers
