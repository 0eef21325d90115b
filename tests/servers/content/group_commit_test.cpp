// The store's group commit: writes queued behind a commit run together in one
// transaction, and each caller learns the fate of its own write.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "servers/store/Database.h"
#include "tests/support/temporary_directory.h"

using namespace murmelo;
using namespace murmelo::servers;

namespace {

enum class Act { Insert, InsertThenFail, InsertThenRollBackAll };

Result<std::int64_t> insert(Connection& connection, const std::string& value) {
    auto query = connection.prepare("INSERT INTO t (v) VALUES (?)");
    if (!query) {
        return query.error();
    }
    query->bind(1, value);
    if (auto done = query->run(); !done) {
        return done.error();
    }
    return connection.lastInsertId();
}

Result<std::int64_t> act(Connection& connection, const std::string& value, Act what) {
    auto id = insert(connection, value);
    if (!id || what == Act::Insert) {
        return id;
    }
    if (what == Act::InsertThenRollBackAll) {
        // As SQLite does itself after an I/O error or a full disk.
        (void)connection.execute("ROLLBACK");
    }
    return Error::generic("refused " + value);
}

std::vector<std::string> storedValues(Database& database) {
    auto values = database.read<std::vector<std::string>>(
        [](Connection& connection) -> Result<std::vector<std::string>> {
            auto query = connection.prepare("SELECT v FROM t ORDER BY rowid");
            if (!query) {
                return query.error();
            }
            std::vector<std::string> out;
            for (;;) {
                auto row = query->step();
                if (!row) {
                    return row.error();
                }
                if (!*row) {
                    return out;
                }
                out.push_back(query->text(0));
            }
        });
    return values ? *values : std::vector<std::string>{"<unreadable>"};
}

bool waitFor(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

TEST(DatabaseGroupCommit, EachWriteOfAGroupGetsItsOwnOutcome) {
    struct Row {
        const char* what;
        Act second;
        std::vector<bool> succeeded; // of "b", "c", "d"
        std::vector<std::string> stored;
    };
    const Row rows[] = {
        {"a failing write keeps its neighbours", Act::InsertThenFail, {true, false, true}, {"a", "b", "d"}},
        {"a write that loses the whole transaction fails the writes before it",
         Act::InsertThenRollBackAll,
         {false, false, true},
         {"a", "d"}},
        {"all succeed", Act::Insert, {true, true, true}, {"a", "b", "c", "d"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        test::TemporaryDirectory directory;
        auto opened = Database::open(directory.path() + "/store.db", {"CREATE TABLE t (v TEXT)"});
        ASSERT_TRUE(opened) << opened.error().localizedDescription();
        Database& database = **opened;

        // "a" holds the commit in progress until "b", "c" and "d" queued behind it.
        std::atomic<bool> committing{false};
        std::thread leader([&] {
            (void)database.write<std::int64_t>([&](Connection& connection) {
                committing = true;
                waitFor([&] { return database.queuedWrites() == 3; });
                return insert(connection, "a");
            });
        });
        EXPECT_TRUE(waitFor([&] { return committing.load(); }));
        const std::pair<std::string, Act> writes[] = {
            {"b", Act::Insert}, {"c", row.second}, {"d", Act::Insert}};
        Result<std::int64_t> results[3] = {Error::generic("not run"), Error::generic("not run"),
                                           Error::generic("not run")};
        std::vector<std::thread> followers;
        for (size_t i = 0; i < 3; ++i) {
            followers.emplace_back([&, i] {
                results[i] = database.write<std::int64_t>([&](Connection& connection) {
                    return act(connection, writes[i].first, writes[i].second);
                });
            });
            // In this order; the third one is awaited by "a", which then lets the group go.
            if (i < 2) {
                EXPECT_TRUE(waitFor([&] { return database.queuedWrites() == i + 1; }));
            }
        }
        leader.join();
        for (std::thread& follower : followers) {
            follower.join();
        }
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(static_cast<bool>(results[i]), row.succeeded[i]) << writes[i].first;
        }
        EXPECT_EQ(storedValues(database), row.stored);
        // An id handed out is the row of that caller's value.
        for (size_t i = 0; i < 3; ++i) {
            if (results[i]) {
                auto value = database.read<std::string>([&](Connection& connection) -> Result<std::string> {
                    auto query = connection.prepare("SELECT v FROM t WHERE rowid = ?");
                    if (!query) {
                        return query.error();
                    }
                    query->bind(1, *results[i]);
                    auto found = query->step();
                    if (!found || !*found) {
                        return Error::generic("no row");
                    }
                    return query->text(0);
                });
                EXPECT_EQ(value ? *value : "", writes[i].first);
            }
        }
    }
}
