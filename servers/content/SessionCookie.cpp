#include "servers/content/SessionCookie.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "servers/http/FormFields.h"
#include "servers/http/Text.h"

namespace murmelo::servers {

namespace {

void randomBytes(unsigned char* out, size_t count) {
    constexpr size_t kBatch = 512;
    struct Pool {
        unsigned char bytes[kBatch];
        size_t used = kBatch;
        ~Pool() { OPENSSL_cleanse(bytes, sizeof bytes); }
    };
    thread_local Pool pool;
    while (count > 0) {
        if (pool.used == kBatch) {
            if (RAND_bytes(pool.bytes, static_cast<int>(kBatch)) != 1) {
                // The system generator does not fail on Linux; refuse to go on with weak ids.
                std::abort();
            }
            pool.used = 0;
        }
        size_t take = std::min(count, kBatch - pool.used);
        std::memcpy(out, pool.bytes + pool.used, take);
        OPENSSL_cleanse(pool.bytes + pool.used, take); // handed out: not kept
        pool.used += take;
        out += take;
        count -= take;
    }
}

struct MdContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;

constexpr size_t kSha256Block = 64;

} // namespace

std::string randomHex(size_t bytes) {
    std::vector<unsigned char> buffer(bytes);
    randomBytes(buffer.data(), buffer.size());
    return hexEncode(std::string_view(reinterpret_cast<const char*>(buffer.data()), buffer.size()));
}

// The two hash states of HMAC after the key's inner and outer blocks
// (RFC 2104); each MAC continues copies of them.
struct SessionCookie::Keyed {
    MdContext inner;
    MdContext outer;
};

SessionCookie::SessionCookie(std::string key) {
    auto keyed = std::make_shared<Keyed>();
    unsigned char block[kSha256Block] = {};
    if (key.size() > kSha256Block) {
        unsigned int length = 0;
        EVP_Digest(key.data(), key.size(), block, &length, EVP_sha256(), nullptr);
    } else {
        std::memcpy(block, key.data(), key.size());
    }
    auto start = [&](unsigned char pad) {
        unsigned char padded[kSha256Block];
        for (size_t i = 0; i < kSha256Block; ++i) {
            padded[i] = static_cast<unsigned char>(block[i] ^ pad);
        }
        MdContext context(EVP_MD_CTX_new());
        if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
            EVP_DigestUpdate(context.get(), padded, sizeof padded) != 1) {
            std::abort(); // SHA-256 is always there; without it no cookie could be trusted
        }
        OPENSSL_cleanse(padded, sizeof padded);
        return context;
    };
    keyed->inner = start(0x36);
    keyed->outer = start(0x5c);
    OPENSSL_cleanse(block, sizeof block);
    OPENSSL_cleanse(key.data(), key.size());
    m_keyed = std::move(keyed);
}

Result<SessionCookie> SessionCookie::load(ContentStorage& storage) {
    auto key = storage.keepOrLoad("session_key", randomHex(32));
    if (!key) {
        return key.error();
    }
    return SessionCookie(std::move(*key));
}

std::string SessionCookie::mac(std::string_view id) const {
    thread_local MdContext scratch(EVP_MD_CTX_new());
    unsigned char inner[EVP_MAX_MD_SIZE];
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int innerLength = 0;
    unsigned int length = 0;
    EVP_MD_CTX* context = scratch.get();
    if (!context || EVP_MD_CTX_copy_ex(context, m_keyed->inner.get()) != 1 ||
        EVP_DigestUpdate(context, id.data(), id.size()) != 1 ||
        EVP_DigestFinal_ex(context, inner, &innerLength) != 1 ||
        EVP_MD_CTX_copy_ex(context, m_keyed->outer.get()) != 1 ||
        EVP_DigestUpdate(context, inner, innerLength) != 1 ||
        EVP_DigestFinal_ex(context, digest, &length) != 1) {
        std::abort(); // as above: a MAC that cannot be made must not pass as one
    }
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
