// OVUtils: request builders, form posts, blocking GET helpers and the
// cached fetches.
#include "app/base/OVUtils.h"
#include "app/cache/EGOCache.h"
#include "app/http/ASIFormDataRequest.h"
#include "app/http/ASIHTTPRequest.h"
#include "app/product/Constants.h"
#include "platform/foundation/Crypto.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLRequest.h"

namespace murmelo {

namespace {

constexpr double kCachedFetchLifetime = 3600; // getDataCachedByStrUrl

std::optional<URL> parseURL(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    return URL::strictParse(*text);
}

void addIdentityHeaders(ASIHTTPRequest& request, const std::optional<std::string>& userAgent,
                        const std::optional<std::string>& referer, const std::optional<std::string>& cookie) {
    request.addRequestHeader("User-Agent", userAgent ? *userAgent : OVUtils::defaultUserAgent());
    if (referer) {
        request.addRequestHeader("referer", *referer);
    }
    if (cookie) {
        request.addRequestHeader("cookie", *cookie);
    }
}

bool succeeded(const ASIHTTPRequest& request) {
    return !request.error() && request.responseStatusCode() <= 399;
}

std::optional<Data> bodyOf(const std::shared_ptr<ASIHTTPRequest>& request) {
    if (!request) {
        return std::nullopt;
    }
    request->start();
    if (!succeeded(*request)) {
        return std::nullopt;
    }
    return request->responseData();
}

std::optional<std::string> textOf(const std::shared_ptr<ASIHTTPRequest>& request) {
    if (!request) {
        return std::nullopt;
    }
    request->start();
    if (!succeeded(*request)) {
        return std::nullopt;
    }
    return request->responseString();
}

std::optional<std::string> browserOrOwn(bool likeBrowser) {
    if (likeBrowser) {
        return std::string(Constant_UserAgent);
    }
    return std::nullopt; // the request builder fills in the own user agent
}

std::shared_ptr<ASIFormDataRequest> formRequest(const std::optional<URL>& url, const Dictionary& data,
                                                const std::optional<std::string>& userAgent,
                                                const std::optional<std::string>& referer,
                                                const std::optional<std::string>& cookie) {
    if (!url) {
        return nullptr;
    }
    std::shared_ptr<ASIFormDataRequest> request = ASIFormDataRequest::requestWithURL(url);
    if (!request) {
        return nullptr;
    }
    addIdentityHeaders(*request, userAgent, referer, cookie);
    for (const auto& [key, value] : data) {
        request->setPostValue(value, key.str());
    }
    return request;
}

} // namespace

// ---- Requests ----

std::shared_ptr<ASIHTTPRequest> OVUtils::requestWithURL(const std::optional<URL>& url,
                                                        const std::optional<std::string>& ipAddress,
                                                        const std::optional<std::string>& userAgent,
                                                        const std::optional<std::string>& referer,
                                                        const std::optional<std::string>& cookie) {
    if (!url) {
        return nullptr;
    }
    std::shared_ptr<ASIHTTPRequest> request;
    if (ipAddress) {
        std::optional<std::string> rewritten = replaceHostOfStrURL(url->absoluteString(), *ipAddress);
        std::optional<URL> target = rewritten ? URL::strictParse(*rewritten) : std::nullopt;
        if (!target) {
            return nullptr;
        }
        request = ASIHTTPRequest::requestWithURL(target);
        if (request) {
            request->addRequestHeader("Host", url->host().value_or(""));
        }
    } else {
        request = ASIHTTPRequest::requestWithURL(url);
    }
    if (!request) {
        return nullptr;
    }
    addIdentityHeaders(*request, userAgent, referer, cookie);
    return request;
}

std::shared_ptr<ASIHTTPRequest> OVUtils::requestWithStrURL(const std::optional<std::string>& url,
                                                           const std::optional<std::string>& ipAddress,
                                                           const std::optional<std::string>& userAgent,
                                                           const std::optional<std::string>& referer,
                                                           const std::optional<std::string>& cookie) {
    return requestWithURL(parseURL(url), ipAddress, userAgent, referer, cookie);
}

std::shared_ptr<ASIHTTPRequest> OVUtils::simpleFakeRequestWithURL(const std::optional<URL>& url) {
    if (!url) {
        return nullptr;
    }
    return requestWithURL(url, std::nullopt, std::string(Constant_UserAgent), url->absoluteString(),
                          std::nullopt);
}

std::shared_ptr<ASIHTTPRequest> OVUtils::simpleFakeRequestWithStrURL(const std::optional<std::string>& url) {
    if (!url) {
        return nullptr;
    }
    return requestWithURL(parseURL(url), std::nullopt, std::string(Constant_UserAgent), *url, std::nullopt);
}

// ---- Posts ----

std::optional<Data> OVUtils::dataBySendingPostToURL(const std::optional<URL>& url, const Dictionary& data,
                                                    const std::optional<std::string>& userAgent,
                                                    const std::optional<std::string>& referer,
                                                    const std::optional<std::string>& cookie) {
    return bodyOf(formRequest(url, data, userAgent, referer, cookie));
}

std::optional<std::string> OVUtils::sendPostToURL(const std::optional<URL>& url, const Dictionary& data,
                                                  const std::optional<std::string>& userAgent,
                                                  const std::optional<std::string>& referer,
                                                  const std::optional<std::string>& cookie) {
    return textOf(formRequest(url, data, userAgent, referer, cookie));
}

std::optional<Data> OVUtils::dataBySendingPostToURL(const std::optional<URL>& url, const Dictionary& data) {
    return dataBySendingPostToURL(url, data, std::nullopt, std::nullopt, std::nullopt);
}

std::optional<std::string> OVUtils::sendPostToURL(const std::optional<URL>& url, const Dictionary& data) {
    return sendPostToURL(url, data, std::nullopt, std::nullopt, std::nullopt);
}

std::optional<Data> OVUtils::dataWithContentsOfURL_withCustomUserAgent(const std::optional<URL>& url,
                                                                       bool withCustomUserAgent) {
    if (!url) {
        return std::nullopt;
    }
    URLRequest request(*url);
    if (withCustomUserAgent) {
        request.setValue(defaultUserAgent(), "User-Agent");
    }
    Result<Data> body = URLConnection::sendSynchronousRequest(request, nullptr);
    if (!body) {
        return std::nullopt;
    }
    return std::move(*body);
}

// ---- GET ----

std::optional<Data> OVUtils::dataWithContentsOfURL(const std::optional<URL>& url,
                                                   const std::optional<std::string>& ipAddress,
                                                   const std::optional<std::string>& userAgent,
                                                   const std::optional<std::string>& referer,
                                                   const std::optional<std::string>& cookie) {
    return bodyOf(requestWithURL(url, ipAddress, userAgent, referer, cookie));
}

std::optional<std::string> OVUtils::stringWithContentsOfURL(const std::optional<URL>& url,
                                                            const std::optional<std::string>& ipAddress,
                                                            const std::optional<std::string>& userAgent,
                                                            const std::optional<std::string>& referer,
                                                            const std::optional<std::string>& cookie) {
    return textOf(requestWithURL(url, ipAddress, userAgent, referer, cookie));
}

std::optional<Data> OVUtils::dataWithContentsOfStrURL(const std::optional<std::string>& url,
                                                      const std::optional<std::string>& ipAddress,
                                                      const std::optional<std::string>& userAgent,
                                                      const std::optional<std::string>& referer,
                                                      const std::optional<std::string>& cookie) {
    return dataWithContentsOfURL(parseURL(url), ipAddress, userAgent, referer, cookie);
}

std::optional<std::string> OVUtils::stringWithContentsOfStrURL(const std::optional<std::string>& url,
                                                               const std::optional<std::string>& ipAddress,
                                                               const std::optional<std::string>& userAgent,
                                                               const std::optional<std::string>& referer,
                                                               const std::optional<std::string>& cookie) {
    return stringWithContentsOfURL(parseURL(url), ipAddress, userAgent, referer, cookie);
}

std::optional<Data> OVUtils::dataWithContentsOfURL(const std::optional<URL>& url) {
    return dataWithContentsOfURL(url, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
}

std::optional<std::string> OVUtils::stringWithContentsOfURL(const std::optional<URL>& url) {
    return stringWithContentsOfURL(url, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
}

std::optional<Data> OVUtils::dataWithContentsOfStrURL(const std::optional<std::string>& url) {
    return dataWithContentsOfURL(parseURL(url));
}

std::optional<std::string> OVUtils::stringWithContentsOfStrURL(const std::optional<std::string>& url) {
    return stringWithContentsOfURL(parseURL(url));
}

std::optional<Data> OVUtils::dataWithContentsOfURL(const std::optional<URL>& url,
                                                   const std::optional<std::string>& referer,
                                                   bool likeBrowser) {
    return dataWithContentsOfURL(url, std::nullopt, browserOrOwn(likeBrowser), referer, std::nullopt);
}

std::optional<std::string> OVUtils::stringWithContentsOfURL(const std::optional<URL>& url,
                                                            const std::optional<std::string>& referer,
                                                            bool likeBrowser) {
    return stringWithContentsOfURL(url, std::nullopt, browserOrOwn(likeBrowser), referer, std::nullopt);
}

std::optional<Data> OVUtils::dataWithContentsOfStrURL(const std::optional<std::string>& url,
                                                      const std::optional<std::string>& referer,
                                                      bool likeBrowser) {
    return dataWithContentsOfURL(parseURL(url), referer, likeBrowser);
}

std::optional<std::string> OVUtils::stringWithContentsOfStrURL(const std::optional<std::string>& url,
                                                               const std::optional<std::string>& referer,
                                                               bool likeBrowser) {
    return stringWithContentsOfURL(parseURL(url), referer, likeBrowser);
}

std::optional<Data> OVUtils::dataWithContentsOfURL(const std::optional<URL>& url,
                                                   const std::optional<std::string>& ipAddress,
                                                   const std::optional<std::string>& referer,
                                                   bool likeBrowser) {
    return dataWithContentsOfURL(url, ipAddress, browserOrOwn(likeBrowser), referer, std::nullopt);
}

// ---- Through the disk cache ----

std::optional<Data> OVUtils::getDataCachedByStrUrl(const std::optional<std::string>& url) {
    if (!url) {
        return std::nullopt;
    }
    const std::string key = md5Hex(*url);
    std::shared_ptr<EGOCache> cache = EGOCache::currentCache();
    if (std::optional<Data> fresh = cache->dataForKey(key)) {
        return fresh;
    }
    std::optional<Data> fetched = dataWithContentsOfStrURL(url);
    if (!fetched) {
        return cache->dataForKey(key, true);
    }
    cache->setData(fetched, key, kCachedFetchLifetime);
    return fetched;
}

std::optional<Data> OVUtils::getDataOfStrURL(const std::optional<std::string>& url, EGOCache& cache,
                                             double timeoutInterval) {
    if (!url) {
        return std::nullopt;
    }
    const std::string key = md5Hex(*url);
    if (std::optional<Data> fresh = cache.dataForKey(key)) {
        return fresh;
    }
    std::optional<Data> fetched = dataWithContentsOfStrURL(url);
    cache.setData(fetched, key, timeoutInterval);
    return fetched;
}

// String-category shorthands: the browser user agent.
std::optional<std::string> stringWithContentsOfURL(const std::optional<URL>& url,
                                                   const std::optional<std::string>& referer) {
    return OVUtils::stringWithContentsOfURL(url, referer, true);
}

std::optional<std::string> stringWithContentsOfStrURL(const std::optional<std::string>& url,
                                                      const std::optional<std::string>& referer) {
    return OVUtils::stringWithContentsOfStrURL(url, referer, true);
}

} // namespace murmelo
