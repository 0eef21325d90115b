// The session cookie's signature stays HMAC-SHA256 with the stored key (the
// cookies browsers already hold must keep verifying), for keys shorter than,
// equal to and longer than the hash's block; fresh ids never repeat.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <set>
#include <string>

#include "servers/content/SessionCookie.h"
#include "servers/http/Text.h"

using namespace murmelo::servers;

namespace {

std::string referenceValue(const std::string& key, const std::string& id) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(id.data()), id.size(), digest, &length);
    return id + "." + hexEncode(std::string_view(reinterpret_cast<const char*>(digest), 16));
}

} // namespace

TEST(SessionCookieSignature, IsHmacSha256OfTheIdForEveryKeyLength) {
    const std::string id = "0123456789abcdef0123456789abcdef";
    for (std::size_t keyLength : {1u, 32u, 63u, 64u, 65u, 200u}) {
        SCOPED_TRACE(keyLength);
        std::string key(keyLength, 'k');
        key[0] = 'a';
        SessionCookie cookie(key);
        EXPECT_EQ(cookie.verify(referenceValue(key, id)), id);
        EXPECT_FALSE(cookie.verify(referenceValue(key + "x", id)));
        std::string issued = cookie.issue();
        ASSERT_EQ(issued.size(), 65u);
        EXPECT_EQ(referenceValue(key, issued.substr(0, 32)), issued);
    }
}

TEST(SessionCookieSignature, FreshIdsAreRandomAndNeverRepeat) {
    SessionCookie cookie("key");
    std::set<std::string> seen;
    for (int i = 0; i < 2000; ++i) { // several refills of a thread's random bytes
        std::string id = cookie.issue().substr(0, 32);
        EXPECT_TRUE(seen.insert(id).second) << id;
    }
    EXPECT_NE(randomHex(16), randomHex(16));
}
