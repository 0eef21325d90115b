#include "servers/content/SessionCookie.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <strings.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "servers/http/FormFields.h"
#include "servers/http/Text.h"

namespace murmelo::servers {

std::string randomHex(size_t bytes) {
    std::vector<unsigned char> buffer(bytes);
    if (RAND_bytes(buffer.data(), static_cast<int>(buffer.size())) != 1) {
        // The system generator does not fail on Linux; refuse to go on with weak ids.
        std::abort();
    }
    return hexEncode(std::string_view(reinterpret_cast<const char*>(buffer.data()), buffer.size()));
}

Result<SessionCookie> SessionCookie::load(ContentStorage& storage) {
    auto key = storage.keepOrLoad("session_key", randomHex(32));
    if (!key) {
        return key.error();
    }
    return SessionCookie(std::move(*key));
}

std::string SessionCookie::mac(std::string_view id) const {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), m_key.data(), static_cast<int>(m_key.size()),
         reinterpret_cast<const unsigned char*>(id.data()), id.size(), digest, &length);
    return hexEncode(std::string_view(reinterpret_cast<const char*>(digest), 16));
}

std::string SessionCookie::issue() const {
    std::string id = randomHex(16);
    return id + "." + mac(id);
}

std::optional<std::string> SessionCookie::verify(std::string_view value) const {
    if (value.size() != 65 || value[32] != '.') {
        return std::nullopt;
    }
    std::string_view id = value.substr(0, 32);
    std::string expected = mac(id);
    if (CRYPTO_memcmp(expected.data(), value.data() + 33, 32) != 0) {
        return std::nullopt;
    }
    return std::string(id);
}

std::optional<std::string> SessionCookie::sessionOf(const HttpRequest& request) const {
    for (const auto& [name, value] : request.headers) {
        if (name.size() != 6 || strncasecmp(name.c_str(), "cookie", 6) != 0) {
            continue;
        }
        for (const auto& [cookie, cookieValue] : parseCookieHeader(value)) {
            if (cookie == kName) {
                if (auto id = verify(cookieValue)) {
                    return id;
                }
            }
        }
    }
    return std::nullopt;
}

std::string SessionCookie::setCookieHeader(const std::string& value) {
    return std::string(kName) + "=" + value + "; Path=/; Max-Age=31536000; HttpOnly";
}

} // namespace murmelo::servers
