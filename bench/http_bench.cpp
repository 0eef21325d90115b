// HTTP request costs beside their baselines, in one run:
//  - a small GET on loopback, sequential, kept alive: ASIHTTPRequest (a new
//    request each time, as the app makes them) against one reused libcurl
//    easy handle, with the device's bare Transport between the two (what
//    the request adds on top of the transport, and the transport on top of
//    libcurl). CPU time is the calling thread's: the server's is not in it;
//  - responseData inflating a gzip reply of about 20 MB against a plain zlib
//    inflate loop into a buffer of the right size.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>

#include "app/http/ASIHTTPRequest.h"
#include "platform/net/Transport.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/scripted_http_server.h"

using namespace murmelo;
using murmelo::test::ReceivedRequest;
using murmelo::test::ScriptedHttpServer;
using murmelo::test::ScriptedReply;

namespace {

const std::string kSmallBody = "{\"code\":1,\"msg\":\"ok\"}";

ScriptedHttpServer& smallServer() {
    static auto* server = new ScriptedHttpServer(ScriptedHttpServer::replyingWith(
        [](const ReceivedRequest&) { return ScriptedReply::text(200, kSmallBody, "application/json"); }));
    return *server;
}

// Text-like data: words and numbers, about 3:1 under gzip.
std::string makeText(std::size_t size) {
    static const char* const kWords[] = {"secret", "comment", "murmelo", "anonymous", "story",  "share",
                                         "friend", "night",   "because", "never",     "always", "told"};
    std::mt19937 random(7);
    std::string text;
    text.reserve(size + 64);
    while (text.size() < size) {
        text += kWords[random() % 12];
        text += ' ';
        text += std::to_string(random() % 100000);
        text += (random() % 9 == 0) ? "\n" : " ";
    }
    text.resize(size);
    return text;
}

std::string gzip(const std::string& text) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

struct GzipReply {
    std::string plain;
    std::string compressed;
};

const GzipReply& gzipReply() {
    static const GzipReply reply = [] {
        GzipReply r;
        r.plain = makeText(60u * 1024 * 1024);
        r.compressed = gzip(r.plain);
        return r;
    }();
    return reply;
}

std::size_t discard(char*, std::size_t size, std::size_t count, void* userp) {
    static_cast<std::string*>(userp)->append(size * count, '\0');
    return size * count;
}

} // namespace

static void BM_SmallGet_ASIHTTPRequest(benchmark::State& state) {
    auto address = URL::strictParse(smallServer().url("/status.php?app=murmelo"));
    for (auto _ : state) {
        auto request = ASIHTTPRequest::requestWithURL(address);
        request->addRequestHeader("User-Agent", "Murmelo bench");
        request->start();
        auto body = request->responseData();
        if (request->error() || !body || body->size() != kSmallBody.size()) {
            state.SkipWithError("request failed");
            break;
        }
        benchmark::DoNotOptimize(body->data());
    }
}
BENCHMARK(BM_SmallGet_ASIHTTPRequest)->Unit(benchmark::kMicrosecond);

// The same exchange on the device's transport alone: the header lines the
// request would send, the body read as it arrives, the run loop driven in a
// private mode.
static void BM_SmallGet_Transport(benchmark::State& state) {
    auto address = URL::strictParse(smallServer().url("/status.php?app=murmelo"));
    RunLoop& loop = RunLoop::current();
    for (auto _ : state) {
        TransportRequest message(*address);
        message.headers = {{"User-Agent", "Murmelo bench"}, {"Accept-Encoding", "gzip"}};
        auto transport = std::move(*Transport::create(std::move(message)));
        Data body;
        bool done = false;
        bool failed = false;
        (void)transport->open("Bench", [&](Transport::Event event) {
            if (event == Transport::Event::BytesAvailable) {
                transport->readInto(body, 65536);
            } else if (event == Transport::Event::Completed || event == Transport::Event::Failed) {
                failed = event == Transport::Event::Failed;
                done = true;
            }
        });
        double deadline = RunLoop::dateAfter(5);
        while (!done && loop.runMode("Bench", deadline) != RunStatus::TimedOut) {
        }
        if (!done || failed || body.size() != kSmallBody.size()) {
            state.SkipWithError("transport failed");
            break;
        }
        benchmark::DoNotOptimize(body.data());
    }
}
BENCHMARK(BM_SmallGet_Transport)->Unit(benchmark::kMicrosecond);

static void BM_SmallGet_CurlEasyBaseline(benchmark::State& state) {
    std::string address = smallServer().url("/status.php?app=murmelo");
    CURL* easy = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "User-Agent: Murmelo bench");
    headers = curl_slist_append(headers, "Accept-Encoding: gzip");
    std::string body;
    curl_easy_setopt(easy, CURLOPT_URL, address.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    for (auto _ : state) {
        body.clear();
        if (curl_easy_perform(easy) != CURLE_OK || body.size() != kSmallBody.size()) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(easy);
}
BENCHMARK(BM_SmallGet_CurlEasyBaseline)->Unit(benchmark::kMicrosecond);

static void BM_Inflate_ResponseData(benchmark::State& state) {
    const GzipReply& reply = gzipReply();
    static auto* server = new ScriptedHttpServer(ScriptedHttpServer::replyingWith([](const ReceivedRequest&) {
        return ScriptedReply::text(200, gzipReply().compressed, "text/plain; charset=utf-8")
            .header("Content-Encoding", "gzip");
    }));
    auto request = ASIHTTPRequest::requestWithURL(URL::strictParse(server->url("/big.txt")));
    request->setTimeOutSeconds(30);
    request->start();
    if (request->error() || !request->rawResponseData() ||
        request->rawResponseData()->size() != reply.compressed.size()) {
        state.SkipWithError("could not fetch the reply");
        return;
    }
    for (auto _ : state) {
        auto data = request->responseData();
        if (!data || data->size() != reply.plain.size()) {
            state.SkipWithError("inflate failed");
            break;
        }
        benchmark::DoNotOptimize(data->data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.plain.size()));
    state.counters["gzipMB"] = static_cast<double>(reply.compressed.size()) / 1e6;
}
BENCHMARK(BM_Inflate_ResponseData)->Unit(benchmark::kMillisecond);

// The plain zlib loop, producing the body in a buffer of its own each time
// (the same work responseData must do: the reply is a new buffer per call).
static void BM_Inflate_RawZlibBaseline(benchmark::State& state) {
    const GzipReply& reply = gzipReply();
    for (auto _ : state) {
        std::string out(reply.plain.size(), '\0');
        z_stream stream{};
        inflateInit2(&stream, 47);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(reply.compressed.data()));
        stream.avail_in = static_cast<uInt>(reply.compressed.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        int status = Z_OK;
        while (status == Z_OK) {
            status = inflate(&stream, Z_SYNC_FLUSH);
        }
        inflateEnd(&stream);
        if (status != Z_STREAM_END || stream.total_out != reply.plain.size()) {
            state.SkipWithError("inflate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.plain.size()));
    state.counters["gzipMB"] = static_cast<double>(reply.compressed.size()) / 1e6;
}
BENCHMARK(BM_Inflate_RawZlibBaseline)->Unit(benchmark::kMillisecond);

// zlib alone into one buffer reused across iterations: no allocation and no
// page faults at all, the floor no fresh reply can reach.
static void BM_Inflate_RawZlibReusedBuffer(benchmark::State& state) {
    const GzipReply& reply = gzipReply();
    std::string out(reply.plain.size(), '\0');
    for (auto _ : state) {
        z_stream stream{};
        inflateInit2(&stream, 47);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(reply.compressed.data()));
        stream.avail_in = static_cast<uInt>(reply.compressed.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        int status = Z_OK;
        while (status == Z_OK) {
            status = inflate(&stream, Z_SYNC_FLUSH);
        }
        inflateEnd(&stream);
        if (status != Z_STREAM_END) {
            state.SkipWithError("inflate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.plain.size()));
}
BENCHMARK(BM_Inflate_RawZlibReusedBuffer)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
