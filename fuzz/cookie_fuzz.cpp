// libFuzzer target: Set-Cookie lines, cookie dates and the cookie file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/net/CookieFile.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    static const auto url = URL::strictParse("https://www.example.com/a/b");
    (void)parseCookieDate(text);
    auto cookie = Cookie::parseSetCookie(text, *url, 1.8e9);
    if (cookie) {
        // What the parser accepts is storable, and the file keeps it intact.
        // What the parser accepts is storable and is sent back to where it
        // came from; the file keeps it intact.
        bool pathCovers =
            cookie->path == "/" || cookie->path == "/a" || cookie->path == "/a/" || cookie->path == "/a/b";
        if (!Cookie::validate(*cookie) || (pathCovers && !cookie->matches(*url, CookieAccess::HTTP))) {
            std::abort();
        }
        auto decoded = CookieFile::decode(CookieFile::encode({*cookie}));
        if (!decoded || decoded->size() != 1 || !(*decoded)[0].sameIdentity(*cookie) ||
            (*decoded)[0].value != cookie->value) {
            std::abort();
        }
    }
    (void)CookieFile::decode(text);
    return 0;
}
