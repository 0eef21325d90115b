#include "servers/store/SqliteContentStorage.h"

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

Result<std::int64_t> SqliteContentStorage::addSecret(const NewSecret& secret, double now) {
    return m_database.write<std::int64_t>([&](Connection& connection) -> Result<std::int64_t> {
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
    });
}

Result<std::int64_t> SqliteContentStorage::addComment(std::int64_t secretId, const std::string& content,
                                                      const std::string& appName, const std::string& session,
                                                      double now) {
    return m_database.write<std::int64_t>([&](Connection& connection) -> Result<std::int64_t> {
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
    });
}

Result<SecretPage> SqliteContentStorage::newest(int page, int pageSize) {
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

Result<SecretPage> SqliteContentStorage::search(const std::string& text, int page, int pageSize) {
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

Result<std::optional<Secret>> SqliteContentStorage::secret(std::int64_t id) {
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

Result<std::vector<Comment>> SqliteContentStorage::comments(std::int64_t secretId) {
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

Result<std::int64_t> SqliteContentStorage::secretCount() {
    return m_database.readInteger("SELECT COUNT(*) FROM secrets");
}

Result<std::int64_t> SqliteContentStorage::commentCount() {
    return m_database.readInteger("SELECT COUNT(*) FROM comments");
}

Result<int> SqliteContentStorage::seedIfEmpty(const std::vector<SeedSecret>& samples) {
    return m_database.write<int>([&](Connection& connection) -> Result<int> {
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
        for (const SeedSecret& sample : samples) {
            auto insert =
                connection.prepare("INSERT INTO secrets (content, app_name, created) VALUES (?, 'seed', ?)");
            if (!insert) {
                return insert.error();
            }
            insert->bind(1, sample.content).bind(2, sample.created);
            if (auto done = insert->run(); !done) {
                return done.error();
            }
            std::int64_t secretId = connection.lastInsertId();
            for (const auto& [text, created] : sample.comments) {
                auto comment = connection.prepare(
                    "INSERT INTO comments (secret_id, content, app_name, created) VALUES (?, ?, 'seed', ?)");
                if (!comment) {
                    return comment.error();
                }
                comment->bind(1, secretId).bind(2, text).bind(3, created);
                if (auto done = comment->run(); !done) {
                    return done.error();
                }
            }
            ++added;
        }
        return added;
    });
}

Result<std::string> SqliteContentStorage::keepOrLoad(const std::string& key, const std::string& fresh) {
    return m_database.write<std::string>([&](Connection& connection) -> Result<std::string> {
        auto select = connection.prepare("SELECT value FROM meta WHERE key = ?");
        if (!select) {
            return select.error();
        }
        select->bind(1, key);
        auto row = select->step();
        if (!row) {
            return row.error();
        }
        if (*row) {
            return select->text(0);
        }
        auto insert = connection.prepare("INSERT INTO meta (key, value) VALUES (?, ?)");
        if (!insert) {
            return insert.error();
        }
        insert->bind(1, key).bind(2, fresh);
        if (auto done = insert->run(); !done) {
            return done.error();
        }
        return fresh;
    });
}

} // namespace murmelo::servers
