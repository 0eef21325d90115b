#include "servers/content/ContentServer.h"

#include <charconv>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "servers/http/Json.h"
#include "servers/http/Text.h"

namespace murmelo::servers {

namespace {

// A positive decimal id of at most 18 digits ("7", not "+7", "07x" or "").
std::optional<std::int64_t> parseId(const std::optional<std::string>& text) {
    if (!text || text->empty() || text->size() > 18) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end != text->data() + text->size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

int parsePage(const FormFields& query) {
    auto page = parseId(query.get("page"));
    if (!page) {
        return 1;
    }
    return static_cast<int>(std::min<std::int64_t>(*page, 100000));
}

bool wantsPage(const FormFields& form) {
    return form.get(kPageReplyField) == std::string(kPageReplyValue);
}

HttpResponse withSession(HttpResponse response, const std::optional<std::string>& newCookie) {
    if (newCookie) {
        response.headers.emplace_back("Set-Cookie", SessionCookie::setCookieHeader(*newCookie));
    }
    // Pages change with every post; a cached pool would hide new secrets.
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

HttpResponse storageFailure(const Error& error) {
    logLine("content: storage failure: %s", error.localizedDescription().c_str());
    if (ContentStore::isUnavailable(error)) {
        return HttpResponse::html(
                   messagePage("Something went wrong",
                               "The secrets cannot be read just now. Please try again in a moment."),
                   503)
            .withHeader("Retry-After", "5");
    }
    return HttpResponse::html(
        messagePage("Something went wrong", "The secrets could not be read. Please try again."), 500);
}

} // namespace

ContentServer::ContentServer(ContentStore& store, SessionCookie cookie, Limits limits)
    : m_store(store), m_cookie(std::move(cookie)), m_limits(limits) {}

ContentServer::Session ContentServer::sessionFor(const HttpRequest& request) const {
    if (auto id = m_cookie.sessionOf(request)) {
        return {*id, std::nullopt};
    }
    std::string value = m_cookie.issue();
    std::string id = value.substr(0, value.find('.'));
    return {id, value};
}

PageContext ContentServer::context(const Session& session) const {
    return {session.id, Clock::now()};
}

HttpResponse ContentServer::handle(HttpRequest& request) {
    Session session = sessionFor(request);
    if (request.path != "/index.php" && request.path != "/") {
        return withSession(HttpResponse::html(messagePage("Not found", "There is no such page here."), 404),
                           session.newCookie);
    }
    FormFields query = parseQueryLeniently(request.query);
    return withSession(route(request, query, session), session.newCookie);
}

std::optional<HttpResponse> ContentServer::answerAtOnce(HttpRequest& request) {
    if ((request.method != "GET" && request.method != "HEAD") ||
        (request.path != "/index.php" && request.path != "/")) {
        return std::nullopt;
    }
    FormFields query = parseQueryLeniently(request.query);
    if (query.getOr("r", "secret/list") != "secret/list") {
        return std::nullopt;
    }
    auto generation = m_store.generationAtOnce();
    if (!generation) {
        return std::nullopt; // asking the database is a worker's job
    }
    Session session = sessionFor(request);
    auto kept = m_poolPages.find(parsePage(query), *generation, context(session));
    if (!kept) {
        return std::nullopt;
    }
    return withSession(HttpResponse::html(std::move(*kept)), session.newCookie);
}

HttpResponse ContentServer::route(const HttpRequest& request, const FormFields& query,
                                  const Session& session) {
    std::string r = query.getOr("r", "secret/list");
    bool post = request.method == "POST";
    bool get = request.method == "GET" || request.method == "HEAD";
    if (r == "secret/create" && post) {
        return createSecret(request, session);
    }
    if (r == "comment/create" && post) {
        return createComment(request, session);
    }
    if (r == "secret/search" && (get || post)) {
        return search(request, query, session);
    }
    if (!get) {
        return HttpResponse::html(
                   messagePage("Not allowed", "This address does not take " + request.method + "."), 405)
            .withHeader("Allow", "GET");
    }
    if (r == "secret/list") {
        return pool(query, session);
    }
    if (r == "secret/create") {
        return HttpResponse::html(postingPage("", ""));
    }
    if (r == "secret/comments") {
        return comments(query, session, "", "", "");
    }
    if (r == "secret/single") {
        return single(query, session);
    }
    if (r == "comment/create") {
        // A comment form is posted; someone followed its address instead.
        if (auto id = parseId(query.get("secret_id"))) {
            return HttpResponse::redirect(links::comments(*id), 303);
        }
    }
    return HttpResponse::html(messagePage("Not found", "There is no such page here."), 404);
}

HttpResponse ContentServer::pool(const FormFields& query, const Session& session) {
    int page = parsePage(query);
    PageContext viewer = context(session);
    // Taken before reading, so a post committed meanwhile leaves the rendering stale.
    std::uint64_t generation = m_store.generation();
    if (auto kept = m_poolPages.find(page, generation, viewer)) {
        return HttpResponse::html(std::move(*kept));
    }
    auto secrets = m_store.newest(page, m_limits.pageSize);
    if (!secrets) {
        if (ContentStore::isUnavailable(secrets.error())) {
            if (auto last = m_poolPages.find(page, generation, viewer, PoolPageCache::Freshness::LastKept)) {
                return HttpResponse::html(std::move(*last));
            }
        }
        return storageFailure(secrets.error());
    }
    std::string html = poolPage(*secrets, page, viewer);
    m_poolPages.keep(page, generation, *secrets, viewer, html);
    return HttpResponse::html(std::move(html));
}

HttpResponse ContentServer::search(const HttpRequest& request, const FormFields& query,
                                   const Session& session) {
    std::string text;
    if (request.method == "POST") {
        auto form = parseRequestForm(request);
        if (!form) {
            return HttpResponse::html(messagePage("Search", "The search could not be read."), 400);
        }
        text = form->getOr("q", "");
    } else if (auto hex = query.get("qx")) {
        auto decoded = hexDecode(*hex);
        if (!decoded || !isValidUtf8(*decoded)) {
            return HttpResponse::html(messagePage("Search", "The search could not be read."), 400);
        }
        text = *decoded;
    } else {
        text = query.getOr("q", "");
    }
    text = trimWhitespace(text);
    if (codePointCount(text) > 100) {
        return HttpResponse::html(messagePage("Search", "Please search for at most 100 characters."), 400);
    }
    int page = parsePage(query);
    SecretPage found;
    if (!text.empty()) {
        auto secrets = m_store.search(text, page, m_limits.pageSize);
        if (!secrets) {
            return storageFailure(secrets.error());
        }
        found = std::move(*secrets);
    }
    return HttpResponse::html(searchPage(text, found, page, context(session)));
}

HttpResponse ContentServer::comments(const FormFields& query, const Session& session, std::string_view notice,
                                     std::string_view error, std::string_view draft, int status) {
    auto id = parseId(query.get("secret_id"));
    if (!id) {
        return HttpResponse::html(messagePage("Not found", "This secret does not exist."), 404);
    }
    auto secret = m_store.secret(*id);
    if (!secret) {
        return storageFailure(secret.error());
    }
    if (!*secret) {
        return HttpResponse::html(messagePage("Not found", "This secret does not exist."), 404);
    }
    auto list = m_store.comments(*id);
    if (!list) {
        return storageFailure(list.error());
    }
    return HttpResponse::html(commentsPage(**secret, *list, context(session), notice, error, draft), status);
}

HttpResponse ContentServer::single(const FormFields& query, const Session& session) {
    auto id = parseId(query.get("secret_id"));
    if (!id) {
        return HttpResponse::html(messagePage("Not found", "This secret does not exist."), 404);
    }
    auto secret = m_store.secret(*id);
    if (!secret) {
        return storageFailure(secret.error());
    }
    if (!*secret) {
        return HttpResponse::html(messagePage("Not found", "This secret does not exist."), 404);
    }
    return HttpResponse::html(singlePage(**secret, context(session)));
}

std::optional<ContentServer::Outcome> ContentServer::checkText(const std::optional<std::string>& text,
                                                               size_t limit, std::string_view what,
                                                               std::string& trimmed) const {
    trimmed = text ? trimWhitespace(*text) : std::string();
    if (trimmed.empty()) {
        return Outcome{kCodeInvalid, "Please write your " + std::string(what) + " before posting."};
    }
    if (hasControlCharacters(trimmed)) {
        return Outcome{kCodeInvalid,
                       "Your " + std::string(what) +
                           " holds control characters that cannot be shown. Please remove them."};
    }
    if (codePointCount(trimmed) > limit) {
        return Outcome{kCodeTooLong, "Your " + std::string(what) + " is too long: please keep it under " +
                                         std::to_string(limit) + " characters."};
    }
    return std::nullopt;
}

std::optional<ContentServer::Outcome> ContentServer::checkAppName(const std::string& appName) const {
    if (codePointCount(appName) > m_limits.maxAppNameLength) {
        return Outcome{kCodeInvalid, "The application name is too long."};
    }
    if (hasControlCharacters(appName)) {
        return Outcome{kCodeInvalid, "The application name holds control characters."};
    }
    return std::nullopt;
}

HttpResponse ContentServer::jsonOutcome(const Outcome& outcome) {
    Dictionary reply{{"code", outcome.code}, {"msg", outcome.msg}};
    if (outcome.id > 0) {
        reply.set("id", static_cast<long long>(outcome.id));
    }
    if (outcome.code == kCodeUnavailable) {
        // Nothing was stored: a status a proxy or client can act on, and
        // never a reply that reads as acknowledged.
        return HttpResponse::json(jsonReply(Value(std::move(reply))), 503).withHeader("Retry-After", "5");
    }
    return HttpResponse::json(jsonReply(Value(std::move(reply))));
}

HttpResponse ContentServer::createSecret(const HttpRequest& request, const Session& session) {
    auto form = parseRequestForm(request);
    if (!form) {
        return jsonOutcome({kCodeInvalid, "Your secret could not be read. Please try again."});
    }
    bool page = wantsPage(*form);
    std::optional<std::string> draft = form->get("Secret[content]");
    auto answer = [&](const Outcome& outcome) {
        if (!page) {
            return jsonOutcome(outcome);
        }
        if (outcome.code == kCodeOk) {
            return HttpResponse::html(postedPage(outcome.id));
        }
        return HttpResponse::html(postingPage(outcome.msg, draft.value_or("")));
    };
    std::string content;
    if (auto failed = checkText(draft, m_limits.maxSecretLength, "secret", content)) {
        return answer(*failed);
    }
    std::string appName = form->getOr("Secret[appName]", "");
    if (auto failed = checkAppName(appName)) {
        return answer(*failed);
    }
    NewSecret secret{content, appName, form->get("Secret[deviceid]"), session.id};
    if (secret.deviceId &&
        (codePointCount(*secret.deviceId) > 128 || hasControlCharacters(*secret.deviceId))) {
        return answer({kCodeInvalid, "The device id is not valid."});
    }
    auto id = m_store.addSecret(secret, Clock::now());
    if (!id) {
        logLine("content: cannot store a secret: %s", id.error().localizedDescription().c_str());
        if (ContentStore::isUnavailable(id.error())) {
            return answer({kCodeUnavailable,
                           "Your secret could not be stored just now. Please try again in a "
                           "moment."});
        }
        return answer({kCodeNotStored, "Your secret could not be stored. Please try again later."});
    }
    return answer({kCodeOk, "Your secret is out! Thank you for sharing.", *id});
}

HttpResponse ContentServer::createComment(const HttpRequest& request, const Session& session) {
    auto form = parseRequestForm(request);
    if (!form) {
        return jsonOutcome({kCodeInvalid, "Your comment could not be read. Please try again."});
    }
    bool page = wantsPage(*form);
    std::optional<std::string> draft = form->get("Comment[content]");
    std::optional<std::int64_t> secretId = parseId(form->get("Comment[secret_id]"));
    auto answer = [&](const Outcome& outcome) {
        if (!page) {
            return jsonOutcome(outcome);
        }
        FormFields target;
        if (secretId) {
            target.add("secret_id", std::to_string(*secretId));
        }
        if (outcome.code == kCodeOk) {
            return comments(target, session, "Your comment is posted.", "", "");
        }
        if (outcome.code == kCodeUnknownSecret || !secretId) {
            return HttpResponse::html(messagePage("Not found", outcome.msg), 404);
        }
        return comments(target, session, "", outcome.msg, draft.value_or(""));
    };
    if (!secretId) {
        return answer({kCodeUnknownSecret, "This secret does not exist."});
    }
    std::string content;
    if (auto failed = checkText(draft, m_limits.maxCommentLength, "comment", content)) {
        return answer(*failed);
    }
    std::string appName = form->getOr("Comment[appName]", "");
    if (auto failed = checkAppName(appName)) {
        return answer(*failed);
    }
    auto id = m_store.addComment(*secretId, content, appName, session.id, Clock::now());
    if (!id) {
        if (id.error().is(ContentStore::kErrorDomain, ContentStore::kUnknownSecret)) {
            return answer({kCodeUnknownSecret, "This secret does not exist."});
        }
        logLine("content: cannot store a comment: %s", id.error().localizedDescription().c_str());
        if (ContentStore::isUnavailable(id.error())) {
            return answer({kCodeUnavailable,
                           "Your comment could not be stored just now. Please try again in a "
                           "moment."});
        }
        return answer({kCodeNotStored, "Your comment could not be stored. Please try again later."});
    }
    return answer({kCodeOk, "Your comment is posted. Thank you!", *id});
}

} // namespace murmelo::servers
