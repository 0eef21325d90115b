// ContentPages: the HTML of the content server — the pool, a secret's
// comments, the posting page, a secret's own page, search results — and the
// addresses they link to. Small, script-free pages (the pool adds the three
// functions the application may call) that read well 320 points wide.
//
// Link vocabulary the application watches for: comment pages are opened by
// addresses holding "comment", the way back holds "closenew", share links hold
// "shareToiPhoneFT" with "secret_id" and "content". No other address written
// here contains one of those words, whatever the user typed (search terms
// travel hex-encoded or in a POST body).
//
// Every user text goes through htmlEscape. Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "servers/content/ContentStore.h"

namespace murmelo::servers {

struct PageContext {
    std::string session; // the viewer's session id ("" when new)
    double now = 0;
};

// What a page form carries so the server answers it with a page rather than
// the JSON of the native forms.
inline constexpr std::string_view kPageReplyField = "reply";
inline constexpr std::string_view kPageReplyValue = "page";
inline constexpr std::string_view kPageAppName = "MurmeloWeb";

namespace links {
std::string pool(int page);
std::string comments(std::int64_t secretId);
std::string single(std::int64_t secretId);
std::string share(const Secret& secret);
std::string search(std::string_view text, int page);
std::string close();
std::string postingPage();
inline constexpr std::string_view kCreateSecret = "index.php?r=secret/create";
inline constexpr std::string_view kCreateComment = "index.php?r=comment/create";
inline constexpr std::string_view kSearch = "index.php?r=secret/search";
// The "content" value of a share link: the text percent-encoded so that one
// round of percent-unescaping gives it back, with "&" (which would end the
// value for a query parser) written as the full-width ampersand U+FF06.
std::string shareContent(std::string_view text);
} // namespace links

std::string poolPage(const SecretPage& secrets, int page, const PageContext& context);
std::string searchPage(std::string_view query, const SecretPage& secrets, int page,
                       const PageContext& context);
// `error` and `draft` re-show a rejected post.
std::string postingPage(std::string_view error, std::string_view draft);
std::string postedPage(std::int64_t secretId);
std::string commentsPage(const Secret& secret, const std::vector<Comment>& comments,
                         const PageContext& context, std::string_view notice, std::string_view error,
                         std::string_view draft);
std::string singlePage(const Secret& secret, const PageContext& context);
std::string messagePage(std::string_view title, std::string_view message);

} // namespace murmelo::servers
