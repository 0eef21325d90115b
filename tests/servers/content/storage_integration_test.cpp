// The content storages side by side: the same calls give the same ids,
// timestamps, counts, search results and pages on SQLite and PostgreSQL;
// and the PostgreSQL session's bounds on every wait.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "servers/store/Database.h"
#include "servers/store/PostgresContentStorage.h"
#include "servers/store/Schema.h"
#include "servers/store/SqliteContentStorage.h"
#include "tests/servers/server_test_support.h"

using namespace murmelo;
using namespace murmelo::servers;
using namespace murmelo::servers::test;

namespace {

class StorageTest : public ::testing::TestWithParam<Store> {
protected:
    void SetUp() override {
        std::string url;
        MURMELO_FRESH_STORE(GetParam(), url);
        if (GetParam() == Store::Sqlite) {
            auto opened = Database::open(directory.file("store.sqlite3"), serverSchema());
            ASSERT_TRUE(opened) << opened.error().localizedDescription();
            database = std::move(*opened);
            storage = std::make_unique<SqliteContentStorage>(*database);
        } else {
            PgPool::Options options;
            options.conninfo = url;
            auto opened = PostgresContentStorage::open(options);
            ASSERT_TRUE(opened) << opened.error().localizedDescription();
            storage = std::move(*opened);
        }
    }

    std::int64_t add(const std::string& text, double created = 1'700'000'000.25) {
        auto id = storage->addSecret({text, "app", std::nullopt, ""}, created);
        EXPECT_TRUE(id) << id.error().localizedDescription();
        return id ? *id : 0;
    }

    std::vector<std::string> found(const std::string& text) {
        auto page = storage->search(text, 1, 50);
        EXPECT_TRUE(page) << page.error().localizedDescription();
        std::vector<std::string> texts;
        for (const Secret& secret : page ? page->secrets : std::vector<Secret>{}) {
            texts.push_back(secret.content);
        }
        return texts;
    }

    murmelo::test::TemporaryDirectory directory;
    std::unique_ptr<Database> database;
    std::unique_ptr<ContentStorage> storage;
};

INSTANTIATE_TEST_SUITE_P(Stores, StorageTest, ::testing::ValuesIn(kStores), storeName);

} // namespace

TEST_P(StorageTest, IdsTimestampsAndCountsAreKeptExactly) {
    const double times[] = {1'700'000'000.123456789, 0.1, 1e-300, 4102444800.5};
    std::vector<std::int64_t> ids;
    for (double time : times) {
        ids.push_back(add("at " + std::to_string(time), time));
    }
    EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 2, 3, 4}));
    for (size_t i = 0; i < ids.size(); ++i) {
        auto secret = storage->secret(ids[i]);
        ASSERT_TRUE(secret && *secret);
        EXPECT_EQ((*secret)->created, times[i]) << i; // bit for bit, not approximately
        EXPECT_EQ((*secret)->appName, "app");
        EXPECT_EQ((*secret)->session, "");
    }
    auto first = storage->addComment(ids[0], "one", "app", "sess", 5.5);
    auto second = storage->addComment(ids[0], "two", "", "", 6.5);
    ASSERT_TRUE(first && second);
    EXPECT_LT(*first, *second);
    auto missing = storage->addComment(999, "lost", "", "", 1);
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().is(ContentStorage::kErrorDomain, ContentStorage::kUnknownSecret));

    auto comments = storage->comments(ids[0]);
    ASSERT_TRUE(comments);
    ASSERT_EQ(comments->size(), 2u);
    EXPECT_EQ((*comments)[0].content, "one");
    EXPECT_EQ((*comments)[0].session, "sess");
    EXPECT_EQ((*comments)[1].created, 6.5);
    EXPECT_EQ((*storage->secret(ids[0]))->commentCount, 2);
    EXPECT_EQ(*storage->secretCount(), 4);
    EXPECT_EQ(*storage->commentCount(), 2);
    EXPECT_FALSE(*storage->secret(999));
}

TEST_P(StorageTest, SearchIsLiteralAndChangesTheCaseOfAsciiLettersOnly) {
    for (const char* text : {"50% off", "snake_case", "back\\slash", "ÉCOLE Étoile", "plain WORDS"}) {
        add(text);
    }
    struct Row {
        std::string search;
        std::vector<std::string> found; // newest first
    };
    const Row rows[] = {
        {"%", {"50% off"}},
        {"_", {"snake_case"}},
        {"\\", {"back\\slash"}},
        {"words", {"plain WORDS"}},
        {"Étoile", {"ÉCOLE Étoile"}},
        {"étoile", {}}, // É is no ASCII letter
        {"cole", {"ÉCOLE Étoile"}},
        {"o", {"plain WORDS", "ÉCOLE Étoile", "50% off"}},
        {std::string("a\0b", 3), {}},
        {"\xff", {}},
        {"%_", {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(found(row.search), row.found) << row.search;
    }
}

TEST_P(StorageTest, PagesAreNewestFirstWithHasMore) {
    for (int i = 1; i <= 5; ++i) {
        add("secret " + std::to_string(i));
    }
    struct Row {
        int page;
        std::vector<std::int64_t> ids;
        bool hasMore;
    };
    const Row rows[] = {
        {1, {5, 4}, true}, {2, {3, 2}, true}, {3, {1}, false}, {4, {}, false}, {0, {5, 4}, true}};
    for (const Row& row : rows) {
        auto page = storage->newest(row.page, 2);
        ASSERT_TRUE(page);
        std::vector<std::int64_t> ids;
        for (const Secret& secret : page->secrets) {
            ids.push_back(secret.id);
        }
        EXPECT_EQ(ids, row.ids) << row.page;
        EXPECT_EQ(page->hasMore, row.hasMore) << row.page;
    }
    auto searched = storage->search("secret", 2, 2);
    ASSERT_TRUE(searched);
    ASSERT_EQ(searched->secrets.size(), 2u);
    EXPECT_EQ(searched->secrets[0].id, 3);
    EXPECT_TRUE(searched->hasMore);
}

TEST_P(StorageTest, TheFirstKeptValueAndTheFirstSeedWin) {
    EXPECT_EQ(*storage->keepOrLoad("session_key", "first"), "first");
    EXPECT_EQ(*storage->keepOrLoad("session_key", "second"), "first");
    std::vector<SeedSecret> samples = {{"seeded", 10, {{"a comment", 11}}}, {"another", 12, {}}};
    EXPECT_EQ(*storage->seedIfEmpty(samples), 2);
    EXPECT_EQ(*storage->seedIfEmpty(samples), 0);
    EXPECT_EQ(*storage->secretCount(), 2);
    EXPECT_EQ(*storage->commentCount(), 1);
}

TEST_P(StorageTest, OtherWritersAreSeenThroughTheSharedGeneration) {
    if (!storage->hasOtherWriters()) {
        EXPECT_EQ(*storage->sharedGeneration(), 0u);
        return;
    }
    auto before = storage->sharedGeneration();
    ASSERT_TRUE(before);
    add("moves it on");
    auto after = storage->sharedGeneration();
    ASSERT_TRUE(after);
    EXPECT_GT(*after, *before);
}

// ---- the PostgreSQL session's bounds ----

namespace {

// A socket that listens but never accepts: the kernel completes the
// handshake, and no server ever answers.
class SilentListener {
public:
    SilentListener() {
        m_socket = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_socket, 8);
        socklen_t length = sizeof address;
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~SilentListener() { close(m_socket); }
    int port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(PostgresSession, EveryWaitEndsAtItsDeadline) {
    PgTimeouts timeouts;
    timeouts.connect = std::chrono::milliseconds(300);
    timeouts.statement = std::chrono::milliseconds(300);

    SilentListener silent;
    auto start = std::chrono::steady_clock::now();
    auto connected = PgConnection::open(
        "postgresql://murmelo@127.0.0.1:" + std::to_string(silent.port()) + "/postgres", timeouts);
    ASSERT_FALSE(connected);
    EXPECT_TRUE(connected.error().is(ContentStorage::kErrorDomain, ContentStorage::kUnavailable))
        << connected.error().localizedDescription();
    EXPECT_LT(secondsSince(start), 1.9); // libpq's own bound alone would be 2 s

    murmelo::test::ScratchPostgres& server = murmelo::test::ScratchPostgres::shared();
    MURMELO_SKIP_WITHOUT_POSTGRES(server);
    auto session = PgConnection::open(server.freshUrl(), timeouts);
    ASSERT_TRUE(session) << session.error().localizedDescription();
    start = std::chrono::steady_clock::now();
    auto slow = (*session)->query("SELECT pg_sleep(20)");
    ASSERT_FALSE(slow);
    EXPECT_LT(secondsSince(start), 5.0);
    // The server gave up on the statement; the session stays usable.
    auto next = (*session)->query("SELECT $1::int + 1", {std::string("41")});
    ASSERT_TRUE(next) << next.error().localizedDescription();
    EXPECT_EQ(next->integer(0, 0), 42);
    // A zero byte cannot travel in text: refused, not cut short.
    EXPECT_FALSE((*session)->query("SELECT $1::text", {std::string("a\0b", 3)}));
}
