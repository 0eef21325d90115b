// ContentServer: the secret pool's host. Pages (pool, comments, posting page,
// single secret, search) and the two posting routes:
//
//   POST index.php?r=secret/create   Secret[content], Secret[appName]
//   POST index.php?r=comment/create  Comment[content], Comment[secret_id], Comment[appName]
//
// The native forms get {"code":200,"msg":...} (always with HTTP status 200,
// because the application discards the body of a status above 399 and the
// user would see no message); a failure has the code 400 (unreadable, empty,
// or holding control characters other than tab and line breaks), 404 (unknown secret), 413 (too long) or 500
// (not stored). While the database cannot be reached a post gets 503 (not
// stored; try again), as the HTTP status too. A post that carries the field reply=page — the server's own
// page forms do — gets an HTML page instead. Every page and post sets the session cookie when the request has
// none.
//
// Thread-safe; borrows the store, which must outlive it. Pool pages are kept
// rendered between posts (PoolPageCache).
#pragma once

#include <optional>
#include <string>

#include "servers/Role.h"
#include "servers/content/ContentPages.h"
#include "servers/content/ContentStore.h"
#include "servers/content/PoolPageCache.h"
#include "servers/content/SessionCookie.h"
#include "servers/http/FormFields.h"

namespace murmelo::servers {

class ContentServer : public Role {
public:
    struct Limits {
        size_t maxSecretLength = 1000; // code points after trimming
        size_t maxCommentLength = 500;
        size_t maxAppNameLength = 64;
        int pageSize = 20;
    };

    ContentServer(ContentStore& store, SessionCookie cookie, Limits limits);
    HttpResponse handle(HttpRequest& request) override;
    // A pool page that is kept rendered for this viewer; nothing otherwise.
    std::optional<HttpResponse> answerAtOnce(HttpRequest& request) override;

    static constexpr int kCodeOk = 200;
    static constexpr int kCodeInvalid = 400;
    static constexpr int kCodeUnknownSecret = 404;
    static constexpr int kCodeTooLong = 413;
    static constexpr int kCodeNotStored = 500;
    static constexpr int kCodeUnavailable = 503;

private:
    struct Session {
        std::string id;
        std::optional<std::string> newCookie; // set when the request carried none
    };
    struct Outcome {
        int code;
        std::string msg;
        std::int64_t id = 0;
    };

    Session sessionFor(const HttpRequest& request) const;
    HttpResponse route(const HttpRequest& request, const FormFields& query, const Session& session);
    HttpResponse pool(const FormFields& query, const Session& session);
    HttpResponse search(const HttpRequest& request, const FormFields& query, const Session& session);
    HttpResponse comments(const FormFields& query, const Session& session, std::string_view notice,
                          std::string_view error, std::string_view draft, int status = 200);
    HttpResponse single(const FormFields& query, const Session& session);
    HttpResponse createSecret(const HttpRequest& request, const Session& session);
    HttpResponse createComment(const HttpRequest& request, const Session& session);
    // Checks and trims a posted text; gives the error outcome when it fails.
    std::optional<Outcome> checkText(const std::optional<std::string>& text, size_t limit,
                                     std::string_view what, std::string& trimmed) const;
    std::optional<Outcome> checkAppName(const std::string& appName) const;
    static HttpResponse jsonOutcome(const Outcome& outcome);
    PageContext context(const Session& session) const;

    ContentStore& m_store;
    SessionCookie m_cookie;
    Limits m_limits;
    PoolPageCache m_poolPages;
};

} // namespace murmelo::servers
