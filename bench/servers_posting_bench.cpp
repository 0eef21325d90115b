// Sustained posting: 1 000 secrets posted to the content server by 8
// concurrent clients over loopback HTTP. Reports the rate and checks that
// every acknowledged post is stored exactly once. Baseline in the same run:
// the same number of requests for the pool page, which writes nothing.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "servers/ReferenceServers.h"
#include "servers/content/ContentStore.h"
#include "servers/store/Database.h"

using namespace murmelo;
using namespace murmelo::servers;

namespace {

constexpr int kClients = 8;
constexpr int kPostsPerClient = 125;

size_t discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

size_t keep(char* data, size_t size, size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

struct Run {
    std::unique_ptr<ReferenceServers> servers;
    std::string directory;
};

Run startServers() {
    char pattern[] = "/tmp/murmelo-bench-XXXXXX";
    Run run;
    run.directory = mkdtemp(pattern);
    ReferenceServers::Options options;
    options.dataDirectory = run.directory;
    options.logRequests = false;
    auto started = ReferenceServers::start(options);
    if (!started) {
        std::abort();
    }
    run.servers = std::move(*started);
    return run;
}

// Each client sends its requests on one kept-alive connection; gives the
// number of replies that acknowledged success.
int client(int port, int index, bool post) {
    CURL* curl = curl_easy_init();
    std::string connectTo = "::127.0.0.1:" + std::to_string(port);
    curl_slist* map = curl_slist_append(nullptr, connectTo.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECT_TO, map);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    int acknowledged = 0;
    for (int i = 0; i < kPostsPerClient; ++i) {
        std::string reply;
        std::string body;
        if (post) {
            body = "Secret%5Bcontent%5D=client+" + std::to_string(index) + "+post+" + std::to_string(i) +
                   "&Secret%5BappName%5D=MurmeloIP";
            curl_easy_setopt(curl, CURLOPT_URL, "http://secrets.murmelo.example/index.php?r=secret/create");
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keep);
        } else {
            curl_easy_setopt(curl, CURLOPT_URL, "http://secrets.murmelo.example/index.php");
            curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
        }
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
        long status = 0;
        if (curl_easy_perform(curl) == CURLE_OK) {
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        }
        if (status == 200 && (!post || reply.find("\"code\":200") != std::string::npos)) {
            ++acknowledged;
        }
    }
    curl_slist_free_all(map);
    curl_easy_cleanup(curl);
    return acknowledged;
}

void runClients(benchmark::State& state, bool post) {
    for (auto _ : state) {
        state.PauseTiming();
        Run run = startServers();
        state.ResumeTiming();
        std::atomic<int> acknowledged{0};
        std::vector<std::thread> threads;
        for (int c = 0; c < kClients; ++c) {
            threads.emplace_back([&, c] { acknowledged += client(run.servers->port(), c, post); });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        state.PauseTiming();
        int expected = kClients * kPostsPerClient;
        if (post) {
            // All stored, none twice.
            auto contents = run.servers->database().read<std::set<std::string>>(
                [](Connection& connection) -> Result<std::set<std::string>> {
                    auto query = connection.prepare("SELECT content FROM secrets");
                    if (!query) {
                        return query.error();
                    }
                    std::set<std::string> seen;
                    for (;;) {
                        auto row = query->step();
                        if (!row) {
                            return row.error();
                        }
                        if (!*row) {
                            return seen;
                        }
                        seen.insert(query->text(0));
                    }
                });
            auto stored = run.servers->contentStore().secretCount();
            state.counters["stored"] = stored ? static_cast<double>(*stored) : -1;
            state.counters["distinct"] = contents ? static_cast<double>(contents->size()) : -1;
            if (!stored || *stored != expected || !contents ||
                static_cast<int>(contents->size()) != expected) {
                state.SkipWithError("posts lost or duplicated");
            }
        }
        state.counters["acknowledged"] = acknowledged.load();
        if (acknowledged.load() != expected) {
            state.SkipWithError("not every request was acknowledged");
        }
        run.servers.reset();
        std::string command = "rm -rf '" + run.directory + "'";
        (void)!std::system(command.c_str());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kClients * kPostsPerClient);
}

void BM_Post1000Secrets8Clients(benchmark::State& state) {
    runClients(state, true);
}
void BM_Baseline_Get1000PoolPages8Clients(benchmark::State& state) {
    runClients(state, false);
}

} // namespace

BENCHMARK(BM_Post1000Secrets8Clients)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Baseline_Get1000PoolPages8Clients)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
