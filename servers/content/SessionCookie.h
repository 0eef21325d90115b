// SessionCookie: the content server's anonymous session, a random id signed
// with the server's key ("<32 hex id>.<32 hex MAC>"), so that a cookie can be
// checked without storing sessions and survives restarts (the key is kept in
// the content storage, or configured; processes that share it accept each
// other's cookies). The pages set it; the posting routes accept it and mark what
// a session posted, so a person sees "you told this" on the pool.
// Immutable after construction; thread-safe.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "servers/http/HttpMessage.h"
#include "servers/store/ContentStorage.h"

namespace murmelo::servers {

class SessionCookie {
public:
    static constexpr std::string_view kName = "MURMELO_SESSION";

    // Loads the signing key from the storage, creating it on first use.
    static Result<SessionCookie> load(ContentStorage& storage);
    explicit SessionCookie(std::string key);

    // A fresh signed cookie value.
    std::string issue() const;
    // The session id of a well-signed cookie value, or nothing.
    std::optional<std::string> verify(std::string_view value) const;
    // The session id carried by the request's Cookie header, or nothing.
    std::optional<std::string> sessionOf(const HttpRequest& request) const;
    // The Set-Cookie header value for a cookie value.
    static std::string setCookieHeader(const std::string& value);

private:
    // HMAC-SHA256 with the key's padded blocks hashed once, here: a cookie is
    // issued for every request without one (each of a crawler's), and the
    // one-shot HMAC() looked the digest up by name every time.
    struct Keyed;
    std::string mac(std::string_view id) const;
    std::shared_ptr<const Keyed> m_keyed;
};

// Random bytes from the system's generator, as lower-case hex. Each thread
// draws them from OpenSSL's generator a few hundred at a time (its own
// locking per call cost more than the bytes); no byte is handed out twice.
std::string randomHex(size_t bytes);

} // namespace murmelo::servers
