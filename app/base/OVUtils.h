// OVUtils: the app's class of static operations (never instantiated) — who
// is asking (user agent, parameter block, device facts), the URL helpers,
// and the blocking fetch and post helpers.
//
// Threading: every operation may be called from any thread. The user agent,
// the parameter block and the network type are computed at their first
// request and then kept for the life of the process; concurrent first
// requests all get the same complete value. The fetch and post helpers block
// the calling thread for the whole exchange.
//
// Ownership: OVUtils holds nothing but the three cached texts; the requests
// it builds belong to the caller, and the cached fetches use the shared disk
// cache (or the one passed in, borrowed for the call).
//
// nil and empty differ: operations that can give "nothing" return
// std::optional.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/http/ASIHTTPRequest.h"
#include "platform/core/Value.h"
#include "platform/foundation/Locale.h"
#include "platform/net/URL.h"

namespace murmelo {

class EGOCache;

class OVUtils {
public:
    OVUtils() = delete;

    // ---- Request identity (computed once per process) ----

    // "<CFBundleName>/<CFBundleVersion> (<model>; <system> <version>;
    // <locale>; <machine>; <unique id>; <network>; JB_<0|1>)".
    static std::string defaultUserAgent();
    // "app=…&v=…&lang=…&jb=…&deviceid=…&phonetype=iphone", no leading "?".
    static std::string customHTTPGETParams();
    // "WIFI", "Carrier" or "None": the connection status at the first call.
    static std::string networkType();
    // Forgets the three cached values so the next request computes them
    // again. Tests only: production computes each once per process.
    static void resetCachedIdentityForTesting();
    // The start-up check (main thread): when networkType() is "None", an
    // alert "Network" / "Sorry, you may need internet connection to use this
    // app." / "OK" (each through the strings table) says so; nothing else
    // happens either way. Defined with reachability (app/reach).
    static void checkNetwork();

    // ---- Device facts ----

    // Whether "/Applications/Cydia.app" or "/private/var/lib/apt" exists.
    static bool isJailBroken();
    // The same check below another root folder (tests).
    static bool jailbreakMarkersExistBelow(const std::string& root);
    // iPhone1,1 or iPod1,1 in any letter case; logs "isFirstGenerationModel:<id>".
    static bool isFirstGenerationModel();
    // Nothing for nothing; else 32 lower-case hex digits of the UTF-8 bytes' MD5.
    static std::optional<std::string> md5HexHashOfString(std::optional<std::string_view> text);
    // The documents folder of the app home with `component` appended.
    static std::string fullPathInDocumentDirectory(std::string_view component);
    // AES-256 (CBC, zero vector, PKCS#7) decryption under the per-device key
    // below. The input is the encrypted bytes themselves, not Base64 text.
    // Nothing when they do not decrypt.
    static std::optional<Data> dataByDecryptingBase64Data(const Data& encrypted);
    // The per-device key: the first 32 characters of the Base64 text of the
    // identifier's MD5 hex digits 16..32, "_", and digits 0..16.
    static std::string deviceDecryptionKey(std::string_view uniqueIdentifier);

    // ---- URL helpers ----

    // `url`, then "&" when it holds a "?" anywhere, else "?", then `params`.
    static std::string urlByAddingParamsForURL(std::string_view url, std::string_view params);
    // The same with customHTTPGETParams().
    static std::string urlByAddingParamsForURL(std::string_view url);
    // The URL with its host replaced by `ipAddress` (scheme, port and path
    // kept); nothing when it has no "://".
    static std::optional<std::string> replaceHostOfStrURL(std::string_view url, std::string_view ipAddress);
    // The fixed address of the image-serving domain's hosts; nothing for others.
    static std::optional<std::string> ipAddressOfDomain(std::string_view host);
    // "http://<host>/" after the photo host table's rules; nothing for a URL
    // without a host (rather than a referer naming no host).
    static std::optional<std::string> guessRefererForURL(const URL& url);
    static std::optional<std::string> guessRefererForStrURL(std::string_view url);

    // ---- Requests and posts ----

    // A new, unstarted request with the identity headers: "User-Agent" (the
    // given one, else defaultUserAgent()), "referer" and "cookie" (lower
    // case) when given. With an address the request goes to the URL with
    // its host replaced and a "Host" header names the original host.
    // Null for nothing, or when the rewritten URL does not parse.
    static std::shared_ptr<ASIHTTPRequest> requestWithURL(const std::optional<URL>& url,
                                                          const std::optional<std::string>& ipAddress,
                                                          const std::optional<std::string>& userAgent,
                                                          const std::optional<std::string>& referer,
                                                          const std::optional<std::string>& cookie);
    // The same from a string (strict parse; null when it does not parse).
    static std::shared_ptr<ASIHTTPRequest> requestWithStrURL(const std::optional<std::string>& url,
                                                             const std::optional<std::string>& ipAddress,
                                                             const std::optional<std::string>& userAgent,
                                                             const std::optional<std::string>& referer,
                                                             const std::optional<std::string>& cookie);
    // The browser user agent, the URL itself as referer, no address, no cookie.
    static std::shared_ptr<ASIHTTPRequest> simpleFakeRequestWithURL(const std::optional<URL>& url);
    static std::shared_ptr<ASIHTTPRequest> simpleFakeRequestWithStrURL(const std::optional<std::string>& url);

    // Posts every entry of `data` as a form field, synchronously. The body
    // when there was no error and the status is at most 399, else nothing.
    static std::optional<Data> dataBySendingPostToURL(const std::optional<URL>& url, const Dictionary& data,
                                                      const std::optional<std::string>& userAgent,
                                                      const std::optional<std::string>& referer,
                                                      const std::optional<std::string>& cookie);
    static std::optional<std::string> sendPostToURL(const std::optional<URL>& url, const Dictionary& data,
                                                    const std::optional<std::string>& userAgent,
                                                    const std::optional<std::string>& referer,
                                                    const std::optional<std::string>& cookie);
    // Own user agent, no referer, no cookie.
    static std::optional<Data> dataBySendingPostToURL(const std::optional<URL>& url, const Dictionary& data);
    static std::optional<std::string> sendPostToURL(const std::optional<URL>& url, const Dictionary& data);

    // The body of a plain device GET (URLConnection), with defaultUserAgent()
    // as "User-Agent" only when asked; the HTTP status is not looked at.
    // Nothing for nothing or when the device reports an error.
    static std::optional<Data> dataWithContentsOfURL_withCustomUserAgent(const std::optional<URL>& url,
                                                                         bool withCustomUserAgent);

    // ---- Blocking GET helpers ----
    // Nothing for nothing, an unparsable string, an error or a status above
    // 399; otherwise the body (data forms) or the request's text (string forms).

    static std::optional<Data> dataWithContentsOfURL(const std::optional<URL>& url);
    static std::optional<std::string> stringWithContentsOfURL(const std::optional<URL>& url);
    static std::optional<Data> dataWithContentsOfStrURL(const std::optional<std::string>& url);
    static std::optional<std::string> stringWithContentsOfStrURL(const std::optional<std::string>& url);
    static std::optional<Data> dataWithContentsOfURL(const std::optional<URL>& url,
                                                     const std::optional<std::string>& ipAddress,
                                                     const std::optional<std::string>& userAgent,
                                                     const std::optional<std::string>& referer,
                                                     const std::optional<std::string>& cookie);
    static std::optional<std::string> stringWithContentsOfURL(const std::optional<URL>& url,
                                                              const std::optional<std::string>& ipAddress,
                                                              const std::optional<std::string>& userAgent,
                                                              const std::optional<std::string>& referer,
                                                              const std::optional<std::string>& cookie);
    static std::optional<Data> dataWithContentsOfStrURL(const std::optional<std::string>& url,
                                                        const std::optional<std::string>& ipAddress,
                                                        const std::optional<std::string>& userAgent,
                                                        const std::optional<std::string>& referer,
                                                        const std::optional<std::string>& cookie);
    static std::optional<std::string> stringWithContentsOfStrURL(const std::optional<std::string>& url,
                                                                 const std::optional<std::string>& ipAddress,
                                                                 const std::optional<std::string>& userAgent,
                                                                 const std::optional<std::string>& referer,
                                                                 const std::optional<std::string>& cookie);
    // The browser user agent when `likeBrowser`, else the own one.
    static std::optional<Data> dataWithContentsOfURL(const std::optional<URL>& url,
                                                     const std::optional<std::string>& referer,
                                                     bool likeBrowser);
    static std::optional<std::string> stringWithContentsOfURL(const std::optional<URL>& url,
                                                              const std::optional<std::string>& referer,
                                                              bool likeBrowser);
    static std::optional<Data> dataWithContentsOfStrURL(const std::optional<std::string>& url,
                                                        const std::optional<std::string>& referer,
                                                        bool likeBrowser);
    static std::optional<std::string> stringWithContentsOfStrURL(const std::optional<std::string>& url,
                                                                 const std::optional<std::string>& referer,
                                                                 bool likeBrowser);
    static std::optional<Data> dataWithContentsOfURL(const std::optional<URL>& url,
                                                     const std::optional<std::string>& ipAddress,
                                                     const std::optional<std::string>& referer,
                                                     bool likeBrowser);

    // ---- Fetching through the disk cache ----

    // Fresh bytes from the shared cache, else from the network (kept for an
    // hour), else whatever the cache still holds for the URL, however old.
    static std::optional<Data> getDataCachedByStrUrl(const std::optional<std::string>& url);
    // Fresh bytes from `cache`, else from the network; the result is stored
    // with `timeoutInterval` even when it is nothing. No stale fallback.
    static std::optional<Data> getDataOfStrURL(const std::optional<std::string>& url, EGOCache& cache,
                                               double timeoutInterval);
};

// The string-category shorthands: stringWithContentsOfURL:referer:likeBrowser:
// (and the StrURL form) with the browser user agent.
std::optional<std::string> stringWithContentsOfURL(const std::optional<URL>& url,
                                                   const std::optional<std::string>& referer);
std::optional<std::string> stringWithContentsOfStrURL(const std::optional<std::string>& url,
                                                      const std::optional<std::string>& referer);

// The user's first preferred language ("AppleLanguages") as a locale, or the
// platform's current locale when the list is missing or empty.
Locale OVgetCurrentLocale();
// The hardware identifier ("iPhone1,2"): the device's uname machine.
std::string specificMachineModel();

} // namespace murmelo
