// PoolPageCache: recent renderings of the pool's pages, so that a busy pool
// is not read from the database and written out again for every viewer.
//
// A rendering is handed out only while it reads exactly as a fresh one would:
// the store's generation is still the one it was read at (every post bumps
// it), no secret's age would be worded differently yet, and the viewer told
// none of the secrets on it (those get "you told this" and are rendered for
// them alone, never kept).
//
// Thread-safe (one mutex, held only to swap entries). Keeps at most
// `capacity` pages; owns its copies of them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "servers/content/ContentPages.h"

namespace murmelo::servers {

class PoolPageCache {
public:
    explicit PoolPageCache(size_t capacity = 32) : m_capacity(capacity) {}

    // Whether a rendering must show the data of the generation asked for, or
    // may be one read earlier (while the database cannot be reached, the
    // last rendering beats no page at all).
    enum class Freshness { Current, LastKept };

    // The kept rendering of `page` when it is still what this viewer at
    // context.now would get from the data of `generation`.
    std::optional<std::string> find(int page, std::uint64_t generation, const PageContext& context,
                                    Freshness freshness = Freshness::Current) const;
    // Keeps a rendering made at context.now from `secrets` as read at
    // `generation`; ignored when the page is the viewer's own.
    void keep(int page, std::uint64_t generation, const SecretPage& secrets, const PageContext& context,
              const std::string& html);

private:
    struct Entry {
        std::uint64_t generation = 0;
        double renderedAt = 0;
        double validUntil = 0;
        std::vector<std::string> sessions; // the posters' sessions on the page
        std::string html;
    };
    static bool viewerPostedOn(const std::vector<std::string>& sessions, const std::string& viewer);

    size_t m_capacity;
    mutable std::mutex m_mutex;
    std::unordered_map<int, std::shared_ptr<const Entry>> m_entries;
};

} // namespace murmelo::servers
