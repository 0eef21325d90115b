#include "servers/content/PoolPageCache.h"

#include <algorithm>
#include <limits>

#include "servers/http/Text.h"

namespace murmelo::servers {

bool PoolPageCache::viewerPostedOn(const std::vector<std::string>& sessions, const std::string& viewer) {
    return !viewer.empty() && std::find(sessions.begin(), sessions.end(), viewer) != sessions.end();
}

std::optional<std::string> PoolPageCache::find(int page, std::uint64_t generation, const PageContext& context,
                                               Freshness freshness) const {
    std::shared_ptr<const Entry> entry;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_entries.find(page);
        if (found == m_entries.end()) {
            return std::nullopt;
        }
        entry = found->second;
    }
    // A clock set back could make ages read younger than when rendered.
    bool staleData = freshness == Freshness::Current && entry->generation != generation;
    if (staleData || context.now < entry->renderedAt || context.now >= entry->validUntil ||
        viewerPostedOn(entry->sessions, context.session)) {
        return std::nullopt;
    }
    return entry->html;
}

void PoolPageCache::keep(int page, std::uint64_t generation, const SecretPage& secrets,
                         const PageContext& context, const std::string& html) {
    auto entry = std::make_shared<Entry>();
    entry->generation = generation;
    entry->renderedAt = context.now;
    double stable = std::numeric_limits<double>::infinity();
    for (const Secret& secret : secrets.secrets) {
        stable = std::min(stable, secondsUntilAgeChanges(context.now - secret.created));
        if (!secret.session.empty()) {
            entry->sessions.push_back(secret.session);
        }
    }
    if (viewerPostedOn(entry->sessions, context.session)) {
        return;
    }
    entry->validUntil = context.now + stable;
    entry->html = html;
    std::lock_guard lock(m_mutex);
    auto found = m_entries.find(page);
    if (found != m_entries.end()) {
        // Never replace a rendering of newer data by one of older data that
        // a slower reader finished later.
        if (found->second->generation > generation) {
            return;
        }
        found->second = std::move(entry);
        return;
    }
    if (m_entries.size() >= m_capacity) {
        // Pages far from the first are rarely read twice; the first ones
        // stay, the highest page numbers make room.
        auto highest = std::max_element(m_entries.begin(), m_entries.end(),
                                        [](const auto& a, const auto& b) { return a.first < b.first; });
        if (highest->first < page) {
            return;
        }
        m_entries.erase(highest);
    }
    m_entries.emplace(page, std::move(entry));
}

} // namespace murmelo::servers
