#include "servers/content/ContentStore.h"

#include <algorithm>

namespace murmelo::servers {

namespace {

constexpr const char* kSecretColumns = "s.id, s.content, s.app_name, COALESCE(s.session, ''), s.created, "
                                       "(SELECT COUNT(*) FROM comments c WHERE c.secret_id = s.id)";

Secret readSecret(const Query& query) {
    Secret secret;
    secret.id = query.integer(0);
    secret.content = query.text(1);
    secret.appName = query.text(2);
    secret.session = query.text(3);
    secret.created = query.real(4);
    secret.commentCount = query.integer(5);
    return secret;
}

// Reads up to pageSize rows of a query that was asked for pageSize + 1.
Result<SecretPage> readPage(Query& query, int pageSize) {
    SecretPage page;
    for (;;) {
        auto row = query.step();
        if (!row) {
            return row.error();
        }
        if (!*row) {
            break;
        }
        if (static_cast<int>(page.secrets.size()) == pageSize) {
            page.hasMore = true;
            break;
        }
        page.secrets.push_back(readSecret(query));
    }
    return page;
}

std::int64_t offsetOf(int page, int pageSize) {
    return static_cast<std::int64_t>(std::max(page, 1) - 1) * pageSize;
}

} // namespace

template <class T> Result<T> ContentStore::changed(Result<T> written) {
    // A failed write may still have committed (an error after COMMIT is
    // unlikely but possible); a needless bump only costs a re-read.
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    return written;
}

Result<std::int64_t> ContentStore::addSecret(const NewSecret& secret, double now) {
    return changed(m_database.write<std::int64_t>([&](Connection& connection) -> Result<std::int64_t> {
        auto insert = connection.prepare(
            "INSERT INTO secrets (content, app_name, device_id, session, created) VALUES (?, ?, ?, ?, ?)");
        if (!insert) {
            return insert.error();
        }
        insert->bind(1, secret.content).bind(2, secret.appName).bind(5, now);
        if (secret.deviceId) {
            insert->bind(3, *secret.deviceId);
        } else {
            insert->bindNull(3);
        }
        if (secret.session.empty()) {
            insert->bindNull(4);
        } else {
            insert->bind(4, secret.session);
        }
        if (auto done = insert->run(); !done) {
            return done.error();
        }
        return connection.lastInsertId();
    }));
}

Result<std::int64_t> ContentStore::addComment(std::int64_t secretId, const std::string& content,
                                              const std::string& appName, const std::string& session,
                                              double now) {
    return changed(m_database.write<std::int64_t>([&](Connection& connection) -> Result<std::int64_t> {
        auto exists = connection.prepare("SELECT 1 FROM secrets WHERE id = ?");
        if (!exists) {
            return exists.error();
        }
        exists->bind(1, secretId);
        auto found = exists->step();
        if (!found) {
            return found.error();
        }
        if (!*found) {
            return Error(kErrorDomain, kUnknownSecret, "no secret " + std::to_string(secretId));
        }
        auto insert = connection.prepare(
            "INSERT INTO comments (secret_id, content, app_name, session, created) VALUES (?, ?, ?, ?, ?)");
        if (!insert) {
            return insert.error();
        }
        insert->bind(1, secretId).bind(2, content).bind(3, appName).bind(5, now);
        if (session.empty()) {
            insert->bindNull(4);
        } else {
            insert->bind(4, session);
        }
        if (auto done = insert->run(); !done) {
            return done.error();
        }
        return connection.lastInsertId();
    }));
}

Result<SecretPage> ContentStore::newest(int page, int pageSize) {
    return m_database.read<SecretPage>([&](Connection& connection) -> Result<SecretPage> {
        auto query = connection.prepare(std::string("SELECT ") + kSecretColumns +
                                        " FROM secrets s ORDER BY s.id DESC LIMIT ? OFFSET ?");
        if (!query) {
            return query.error();
        }
        query->bind(1, static_cast<std::int64_t>(pageSize + 1)).bind(2, offsetOf(page, pageSize));
        return readPage(*query, pageSize);
    });
}

Result<SecretPage> ContentStore::search(const std::string& text, int page, int pageSize) {
    return m_database.read<SecretPage>([&](Connection& connection) -> Result<SecretPage> {
        auto query = connection.prepare(std::string("SELECT ") + kSecretColumns +
                                        " FROM secrets s WHERE instr(lower(s.content), lower(?)) > 0 "
                                        "ORDER BY s.id DESC LIMIT ? OFFSET ?");
        if (!query) {
            return query.error();
        }
        query->bind(1, text)
            .bind(2, static_cast<std::int64_t>(pageSize + 1))
            .bind(3, offsetOf(page, pageSize));
        return readPage(*query, pageSize);
    });
}

Result<std::optional<Secret>> ContentStore::secret(std::int64_t id) {
    return m_database.read<std::optional<Secret>>(
        [&](Connection& connection) -> Result<std::optional<Secret>> {
            auto query = connection.prepare(std::string("SELECT ") + kSecretColumns +
                                            " FROM secrets s WHERE s.id = ?");
            if (!query) {
                return query.error();
            }
            query->bind(1, id);
            auto row = query->step();
            if (!row) {
                return row.error();
            }
            if (!*row) {
                return std::optional<Secret>();
            }
            return std::optional<Secret>(readSecret(*query));
        });
}

Result<std::vector<Comment>> ContentStore::comments(std::int64_t secretId) {
    return m_database.read<std::vector<Comment>>([&](Connection& connection) -> Result<std::vector<Comment>> {
        auto query =
            connection.prepare("SELECT id, secret_id, content, app_name, COALESCE(session, ''), created "
                               "FROM comments WHERE secret_id = ? ORDER BY id");
        if (!query) {
            return query.error();
        }
        query->bind(1, secretId);
        std::vector<Comment> comments;
        for (;;) {
            auto row = query->step();
            if (!row) {
                return row.error();
            }
            if (!*row) {
                return comments;
            }
            comments.push_back({query->integer(0), query->integer(1), query->text(2), query->text(3),
                                query->text(4), query->real(5)});
        }
    });
}

namespace {
Result<std::int64_t> countRows(Database& database, const char* sql) {
    return database.read<std::int64_t>([&](Connection& connection) -> Result<std::int64_t> {
        auto query = connection.prepare(sql);
        if (!query) {
            return query.error();
        }
        auto row = query->step();
        if (!row) {
            return row.error();
        }
        return query->integer(0);
    });
}
} // namespace

Result<std::int64_t> ContentStore::secretCount() {
    return countRows(m_database, "SELECT COUNT(*) FROM secrets");
}

Result<std::int64_t> ContentStore::commentCount() {
    return countRows(m_database, "SELECT COUNT(*) FROM comments");
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
    return changed(m_database.write<int>([&](Connection& connection) -> Result<int> {
        auto count = connection.prepare("SELECT COUNT(*) FROM secrets");
        if (!count) {
            return count.error();
        }
        auto row = count->step();
        if (!row) {
            return row.error();
        }
        if (count->integer(0) > 0) {
            return 0;
        }
        int added = 0;
        for (const Sample& sample : samples) {
            auto insert =
                connection.prepare("INSERT INTO secrets (content, app_name, created) VALUES (?, 'seed', ?)");
            if (!insert) {
                return insert.error();
            }
            double created = now - sample.hoursAgo * 3600;
            insert->bind(1, std::string_view(sample.text)).bind(2, created);
            if (auto done = insert->run(); !done) {
                return done.error();
            }
            std::int64_t secretId = connection.lastInsertId();
            double commentTime = created;
            for (const char* text : sample.comments) {
                commentTime += std::min(sample.hoursAgo * 3600 / 4, 3600.0);
                auto comment = connection.prepare(
                    "INSERT INTO comments (secret_id, content, app_name, created) VALUES (?, ?, 'seed', ?)");
                if (!comment) {
                    return comment.error();
                }
                comment->bind(1, secretId).bind(2, std::string_view(text)).bind(3, commentTime);
                if (auto done = comment->run(); !done) {
                    return done.error();
                }
            }
            ++added;
        }
        return added;
    }));
}

} // namespace murmelo::servers
