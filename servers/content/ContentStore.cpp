#include "servers/content/ContentStore.h"

#include <algorithm>

namespace murmelo::servers {

template <class T> Result<T> ContentStore::changed(Result<T> written) {
    // A failed write may still have committed (an error after COMMIT is
    // unlikely but possible); a needless bump only costs a re-read.
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    return written;
}

Result<std::int64_t> ContentStore::addSecret(const NewSecret& secret, double now) {
    return changed(m_storage.addSecret(secret, now));
}

Result<std::int64_t> ContentStore::addComment(std::int64_t secretId, const std::string& content,
                                              const std::string& appName, const std::string& session,
                                              double now) {
    return changed(m_storage.addComment(secretId, content, appName, session, now));
}

std::uint64_t ContentStore::generation() {
    std::uint64_t local = m_generation.load(std::memory_order_acquire);
    if (!m_storage.hasOtherWriters()) {
        return local;
    }
    refreshSharedGeneration();
    // Both parts only grow, so their sum changes whenever either does.
    return local + m_sharedGeneration.load(std::memory_order_acquire);
}

void ContentStore::refreshSharedGeneration() {
    std::unique_lock lock(m_readMutex);
    // A read in flight may have begun before a commit this caller must see;
    // the next one to begin cannot have.
    const std::uint64_t usable = m_readsStarted + 1;
    // Each wait ends when the read in flight does, which the storage's
    // statement time-out bounds.
    while (m_readsFinished < usable) {
        if (m_reading) {
            m_readDone.wait(lock);
            continue;
        }
        m_reading = true;
        std::uint64_t mine = ++m_readsStarted;
        lock.unlock();
        // A failed read leaves the highest value seen standing.
        if (auto read = m_storage.sharedGeneration()) {
            std::uint64_t seen = m_sharedGeneration.load(std::memory_order_acquire);
            while (*read > seen &&
                   !m_sharedGeneration.compare_exchange_weak(seen, *read, std::memory_order_acq_rel)) {
            }
        }
        lock.lock();
        m_readsFinished = mine;
        m_reading = false;
        m_readDone.notify_all();
    }
}

std::optional<std::uint64_t> ContentStore::generationAtOnce() const {
    if (m_storage.hasOtherWriters()) {
        return std::nullopt;
    }
    return m_generation.load(std::memory_order_acquire);
}

Result<int> ContentStore::seedIfEmpty(double now) {
    struct Sample {
        const char* text;
        double hoursAgo;
        std::vector<const char*> comments;
    };
    static const std::vector<Sample> samples = {
        {"I still sleep with the teddy bear my grandmother gave me. I am 34.",
         240,
         {"Nothing wrong with that.", "Same, mine is called Mr. Buttons."}},
        {"I pretend to be on the phone so I don't have to talk to my neighbour.", 200, {"Guilty as well."}},
        {"I have read the last page of every novel first since I was twelve.", 170, {}},
        {"My \"homemade\" lasagna at the office party came from the shop around the corner.",
         150,
         {"Your secret is safe with us.", "Which shop? Asking for a friend."}},
        {"I learned to swim at 29 and never told anyone I couldn't before.", 130, {"That takes courage!"}},
        {"Sometimes I take the long way home just to finish a song.",
         110,
         {"Everyone does this.", "The best part of the day.", "Only if it's a good song."}},
        {"I quit my job today & nobody at home knows yet.", 96, {"Good luck with whatever comes next."}},
        {"I water my neighbour's plants while they are away and talk to them. The plants, not the "
         "neighbours.",
         80,
         {}},
        {"Je parle à mon chat en trois langues. Il ne répond dans aucune.", 70, {"Le mien non plus."}},
        {"I have a folder of screenshots of kind messages people sent me. I read it on bad days.",
         60,
         {"What a lovely idea.", "Starting one today."}},
        {"I was the one who ate the last slice of cake in 2009. Sorry, Mum.", 50, {"The truth comes out!"}},
        {"我每天都假装喜欢咖啡，其实我只喝茶。", 40, {}},
        {"I secretly practise speeches in the shower for arguments that will never happen.",
         30,
         {"And you win every one of them."}},
        {"100% of my houseplants are plastic and my guests compliment them.", 24, {}},
        {"I taught myself the piano from videos at night so my family would not hear me fail.",
         18,
         {"Play for them one day!"}},
        {"I cried at a commercial for insurance. Twice.", 12, {}},
        {"I keep a list of every dog I have petted. 312 so far.", 8, {"Goals.", "Do you have a favourite?"}},
        {"I never finished university but everyone thinks I did.", 5, {"A degree doesn't define you."}},
        {"I still use the password I made up when I was 10. For everything.", 3, {"Please change it."}},
        {"Today I told my best friend the secret I wrote here last year. She hugged me.",
         1,
         {"This made my day."}},
    };
    std::vector<SeedSecret> seeds;
    for (const Sample& sample : samples) {
        SeedSecret seed{sample.text, now - sample.hoursAgo * 3600, {}};
        double commentTime = seed.created;
        for (const char* text : sample.comments) {
            commentTime += std::min(sample.hoursAgo * 3600 / 4, 3600.0);
            seed.comments.emplace_back(text, commentTime);
        }
        seeds.push_back(std::move(seed));
    }
    return changed(m_storage.seedIfEmpty(seeds));
}

} // namespace murmelo::servers
