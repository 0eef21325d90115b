// HttpServer: one listening HTTP/1.1 server on a loopback or any address,
// handing every complete request to one handler. Our own listener, so that
// every request has deadlines and strict framing (docs/servers.md).
//
//   HttpServer server([](HttpRequest& request) { return HttpResponse::text("hi\n"); }, {});
//   Result<int> port = server.start("127.0.0.1", 0);
//
// Threads: Options::eventLoops event-loop threads (by default half the cores)
// accept, read and parse
// requests and write replies without blocking, each for the connections it
// accepted; a pool of Options::workerThreads runs the
// handler for complete requests only, so the handler must be thread-safe and
// may block (a SQLite commit), while a slow client holds no thread at all.
// An optional quick handler runs on the loop itself before a request goes to
// the pool: it answers what it can without blocking (a kept page) and gives
// nothing for the rest, saving those requests the two thread hand-offs.
// stop() (or the destructor) wakes the loops, closes every connection at once
// and joins the threads; it waits only for handlers already running.
//
// Bounds: a request line or header line of at most maxHeaderLineBytes (414 /
// 431), at most maxHeaderCount fields and maxHeadBytes of head (431); a body of
// at most maxBodyBytes (413, decided from Content-Length before the body is
// read, without "100 Continue"). The head must arrive within headTimeout of its
// first byte (of the connection, for a new one) and the body within
// bodyTimeout of the head (408 otherwise); a reply must be taken within
// writeTimeout; an idle connection closes after keepAliveTimeout. At most
// maxConnections are open, shared out evenly among the loops: past a loop's
// share, its connection idle the longest (or waiting longest for the rest of
// a head) is closed for the new one, and when every one of them is busy the
// new one is refused.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Result.h"
#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

class HttpServer {
public:
    struct Options {
        size_t maxBodyBytes = 1 << 20;
        size_t maxHeaderLineBytes = 8 * 1024;
        size_t maxHeaderCount = 100;
        size_t maxHeadBytes = 64 * 1024;
        // Handlers running at once. Kept pages are answered on the loop, so the
        // workers mostly wait for commits: more of them let more posts share one.
        size_t workerThreads = 16;
        // Event loops, each with its own connections; the connection cap is
        // shared out among them. 0: half the machine's cores, at least one —
        // a loop that loses its core to the workers or to clients on the same
        // machine stalls all its connections, so loops get no more than half.
        size_t eventLoops = 0;
        size_t maxConnections = 1000;
        std::chrono::milliseconds headTimeout{10'000};
        std::chrono::milliseconds bodyTimeout{30'000};
        std::chrono::milliseconds writeTimeout{30'000};
        std::chrono::milliseconds keepAliveTimeout{2'000};
        // After the last reply of a connection, how long its client may take
        // to close (unread request bytes are dropped meanwhile, so the reply
        // is not lost to a reset).
        std::chrono::milliseconds lingerTimeout{2'000};
        size_t keepAliveMaxRequests = 100000;
    };
    using Handler = std::function<HttpResponse(HttpRequest&)>;
    // Must not block: it holds up every connection while it runs.
    using QuickHandler = std::function<std::optional<HttpResponse>(HttpRequest&)>;
    // Called once per answered request, including those the server refuses
    // itself (malformed, too large, timed out). Fields the server could not
    // read are empty.
    using AccessLog = std::function<void(const std::string& host, const std::string& method,
                                         const std::string& target, int status, size_t bytes)>;

    HttpServer(Handler handler, Options options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Before start().
    void setAccessLog(AccessLog log);
    void setQuickHandler(QuickHandler handler);

    // Binds `address` (e.g. "127.0.0.1", "::1") on `port` (0: any free port)
    // and starts serving. Gives the bound port. Once per server.
    Result<int> start(const std::string& address, int port);
    void stop();
    int port() const { return m_port; }
    bool running() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    int m_port = 0;
};

} // namespace murmelo::servers
