#include "tests/support/postgres_scratch.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace murmelo::test {

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string value = text.str();
    while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) {
        value.pop_back();
    }
    return value;
}

std::string scratchState() {
    char pattern[] = "/tmp/murmelo-pg-state-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp/murmelo-pg-state";
}

} // namespace

bool ScratchPostgres::required() {
    const char* value = std::getenv("MURMELO_REQUIRE_POSTGRES");
    return value && std::string(value) == "1";
}

ScratchPostgres& ScratchPostgres::shared() {
    static std::unique_ptr<ScratchPostgres> server = [] {
        const char* state = std::getenv("MURMELO_TEST_POSTGRES");
        if (state && *state) {
            return std::unique_ptr<ScratchPostgres>(new ScratchPostgres(UseExisting{}, state));
        }
        return std::make_unique<ScratchPostgres>();
    }();
    return *server;
}

ScratchPostgres::ScratchPostgres() : m_state(scratchState()), m_owned(true), m_ownerPid(getpid()) {
    // The script exits non-zero only when PostgreSQL is required; the state says why either way.
    script("start", "");
    if (readAll(m_state + "/url").empty()) {
        m_reason = readAll(m_state + "/unavailable");
        if (m_reason.empty()) {
            m_reason = "scripts/postgres-scratch start gave no server";
        }
    }
}

ScratchPostgres::ScratchPostgres(UseExisting, std::string state) : m_state(std::move(state)) {
    if (readAll(m_state + "/url").empty()) {
        m_reason = readAll(m_state + "/unavailable");
        if (m_reason.empty()) {
            m_reason = "the test run's server (" + m_state + ") is not running";
        }
    }
}

ScratchPostgres::~ScratchPostgres() {
    // A forked child that exits normally must not stop its parent's server.
    if (m_owned && getpid() == m_ownerPid) {
        script("stop", "");
        std::string remove = "rm -rf '" + m_state + "'";
        (void)!std::system(remove.c_str());
    }
}

bool ScratchPostgres::script(const std::string& command, const std::string& argument,
                             std::string* output) const {
    std::string line =
        "'" MURMELO_SOURCE_DIR "/scripts/postgres-scratch' " + command + " '" + m_state + "' " + argument;
    if (!output) {
        line += " >/dev/null 2>&1";
        return std::system(line.c_str()) == 0;
    }
    FILE* pipe = popen((line + " 2>/dev/null").c_str(), "r");
    if (!pipe) {
        return false;
    }
    char buffer[512];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output->append(buffer, got);
    }
    bool ok = pclose(pipe) == 0;
    while (!output->empty() && output->back() == '\n') {
        output->pop_back();
    }
    return ok;
}

std::string ScratchPostgres::freshUrl() {
    static std::atomic<int> counter{0};
    std::string name = "t_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    std::string url;
    return script("schema", name, &url) ? url : "";
}

bool ScratchPostgres::pause() {
    return script("pause", "");
}

bool ScratchPostgres::resume() {
    return script("resume", "");
}

} // namespace murmelo::test
