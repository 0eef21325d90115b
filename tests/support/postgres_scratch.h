// A throw-away PostgreSQL for tests (scripts/postgres-scratch does the work).
//
// shared() is the server of the whole test run: the one ctest starts once
// for every program that asks for it (the "postgres" fixture, whose state
// folder MURMELO_TEST_POSTGRES names), or — when a program runs on its own —
// one started on first use and stopped when the program exits. Each
// freshUrl() is a schema of its own, so tests sharing the server never see
// each other's rows. A test that stops the server makes its own instead.
//
// Where PostgreSQL cannot start the tests that need it skip with the reason,
// unless MURMELO_REQUIRE_POSTGRES=1 (CI), which turns the skip into a failure:
//
//   MURMELO_SKIP_WITHOUT_POSTGRES(ScratchPostgres::shared());
#pragma once

#include <string>

namespace murmelo::test {

class ScratchPostgres {
public:
    static ScratchPostgres& shared();
    // Starts a server of the caller's own, stopped when this goes away.
    ScratchPostgres();
    ~ScratchPostgres();
    ScratchPostgres(const ScratchPostgres&) = delete;
    ScratchPostgres& operator=(const ScratchPostgres&) = delete;

    bool available() const { return m_reason.empty(); }
    const std::string& unavailableReason() const { return m_reason; }
    // A URL whose tables live in a new, empty schema; "" on failure.
    std::string freshUrl();
    // Stops the server keeping its data / starts it again on the same port.
    bool pause();
    bool resume();

    static bool required();

private:
    struct UseExisting {};
    ScratchPostgres(UseExisting, std::string state);
    bool script(const std::string& command, const std::string& argument, std::string* output = nullptr) const;

    std::string m_state;
    std::string m_reason;
    bool m_owned = false;
    int m_ownerPid = 0;
};

} // namespace murmelo::test

#define MURMELO_SKIP_WITHOUT_POSTGRES(server)                                                                \
    do {                                                                                                     \
        if (!(server).available()) {                                                                         \
            if (::murmelo::test::ScratchPostgres::required()) {                                              \
                FAIL() << "PostgreSQL is required here but did not start: " << (server).unavailableReason(); \
            }                                                                                                \
            GTEST_SKIP() << "PostgreSQL did not start: " << (server).unavailableReason();                    \
        }                                                                                                    \
    } while (false)
