// FacebookStandIn: the parts of Facebook the application's client uses.
//   web   GET login.php?api_key=K&next=URL...   login form (e-mail, password)
//         POST login.php                        a configured user: 302 to
//                                               next + "auth_token=T"; else the form again
//         GET|POST connect/prompt_feed.php      the post page: the attachment, a
//                                               message box, "Publish" (records
//                                               the post, 302 to the callback;
//                                               links and pictures http(s) only,
//                                               "fbconnect:success") and "Cancel"
//                                               (the cancel address, "fbconnect:cancel")
//         GET apps/murmelo/                     the application's canvas page
//         GET wall.php                          the published posts, newest first
//   api   POST restserver.php (multipart)       signed REST calls, answered in XML:
//         facebook.auth.getSession (auth_token → uid, session_key, secret,
//         expires) and facebook.users.getLoggedInUser; errors as
//         <error_response> with error_code / error_msg: 3 unknown method,
//         100 invalid parameter, 101 invalid API key, 102 invalid session,
//         104 incorrect signature.
// Each published post is also recorded in the event log (when one is given)
// as a "facebook-wall" event with the parts uid, message, attachment,
// action_links and target_id, so `/_events?role=facebook-wall` shows the wall.
// Multipart bodies with and without the closing boundary are accepted (older
// clients never send it); the REST signature (MD5 of the
// parameters sorted by name, case-insensitively, and the secret) vouches
// for their integrity. Tokens, sessions and posts are kept in the database.
// Thread-safe; borrows the database and the configuration.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "servers/EventLog.h"
#include "servers/Role.h"
#include "servers/ServerConfig.h"
#include "servers/http/FormFields.h"
#include "servers/store/Database.h"

namespace murmelo::servers {

class FacebookStandIn : public Role {
public:
    static constexpr double kTokenLifetime = 600; // seconds an auth token may wait for its exchange

    FacebookStandIn(Database& database, const ServerConfig& config, EventLog* wallLog = nullptr)
        : m_database(database), m_config(config), m_wallLog(wallLog) {}
    HttpResponse handle(HttpRequest& request) override;

    // The signature of a REST call: MD5 hex of "name=value" for every
    // parameter but "sig", sorted case-insensitively by name, then the secret.
    static std::string signature(const FormFields& parameters, std::string_view secret);
    // The address an attachment's link or picture may carry onto the post
    // page: http or https in any case, read as a browser reads it (blanks
    // and control characters at the ends dropped, tabs and line breaks
    // anywhere). Nothing for any other scheme or none.
    static std::optional<std::string> attachmentAddress(std::string_view address);

private:
    struct SessionRow {
        std::int64_t uid = 0;
        std::string secret;
        std::string apiKey;
        std::int64_t expires = 0;
    };

    HttpResponse loginPage(const FormFields& query, std::string_view error, int status);
    HttpResponse login(const HttpRequest& request);
    HttpResponse promptFeed(const HttpRequest& request);
    HttpResponse canvasPage();
    HttpResponse wallPage();
    HttpResponse rest(const HttpRequest& request);
    HttpResponse getSession(const FormFields& fields);
    Result<std::optional<SessionRow>> session(const std::string& sessionKey, double now);
    const FacebookUser* userWithUid(std::int64_t uid) const;

    Database& m_database;
    const ServerConfig& m_config;
    EventLog* m_wallLog;
};

} // namespace murmelo::servers
