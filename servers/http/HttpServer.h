// HttpServer: one listening HTTP/1.1 server on a loopback or any address,
// handing every request to one handler. The only user of the HTTP library.
//
// Threads: start() returns once the socket listens; requests are handled on
// a pool of worker threads, so the handler must be thread-safe. stop() (or the
// destructor) closes the socket and joins the workers; it returns within the
// keep-alive time-out even when clients hold idle connections.
//
// Bounds: request headers are limited by the library (8 KiB); bodies larger
// than Options::maxBodyBytes are refused with 413 before the handler runs;
// slow clients are cut off after the read time-out.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/Result.h"
#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

class HttpServer {
public:
    struct Options {
        size_t maxBodyBytes = 1 << 20;
        size_t workerThreads = 96; // one per concurrent keep-alive connection
        std::chrono::seconds readTimeout{5};
        std::chrono::seconds keepAliveTimeout{2};
        size_t keepAliveMaxRequests = 100000;
    };
    using Handler = std::function<HttpResponse(HttpRequest&)>;
    // Called once per answered request, including those the library refuses
    // itself (malformed request line, body too large).
    using AccessLog = std::function<void(const std::string& host, const std::string& method,
                                         const std::string& target, int status, size_t bytes)>;

    HttpServer(Handler handler, Options options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    void setAccessLog(AccessLog log);

    // Binds `address` (e.g. "127.0.0.1") on `port` (0: any free port) and
    // starts serving. Gives the bound port.
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
