// CookieFile: the on-disk form of the persistent cookies — a small versioned
// line format, read back strictly.
//
//   MurmeloCookies 1
//   cookie<TAB>name<TAB>value<TAB>domain<TAB>path<TAB>expires<TAB>created<TAB>accessed<TAB>flags
//   ...
//   end<TAB>count
//
// Text fields escape '%', TAB, CR, LF and other control bytes as %XX; times
// are seconds since 1970; flags are three digits 0/1: host-only, secure,
// HttpOnly. A file without its end line (cut short), with an unknown version
// or with any line that does not check out is refused as a whole
// (NetErrorCode::CookieFileDamaged); one that cannot be read or written at
// all gives NetErrorCode::CookieFileUnusable.
//
// Stateless; thread-safe. Writing is atomic (temporary file in the same
// folder, fsync, rename), the file mode 0600, missing folders made 0700.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Result.h"
#include "platform/net/Cookie.h"

namespace murmelo {

class CookieFile {
public:
    static constexpr int kVersion = 1;
    static constexpr size_t kMaxFileBytes = 16 * 1024 * 1024;

    static std::string encode(const std::vector<Cookie>& cookies);
    static Result<std::vector<Cookie>> decode(std::string_view text);

    // Missing file → empty list.
    static Result<std::vector<Cookie>> read(const std::string& path);
    static Result<void> write(const std::string& path, const std::vector<Cookie>& cookies);
};

} // namespace murmelo
