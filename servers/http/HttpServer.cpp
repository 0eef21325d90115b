#include "servers/http/HttpServer.h"

#include <httplib.h>

#include <sys/socket.h>

#include <cctype>
#include <thread>

#include "platform/core/Clock.h"

namespace murmelo::servers {

namespace {

std::string lowerHostWithoutPort(std::string host) {
    if (!host.empty() && host.front() == '[') {
        auto close = host.find(']');
        host = close == std::string::npos ? host : host.substr(0, close + 1);
    } else if (auto colon = host.rfind(':'); colon != std::string::npos) {
        host.resize(colon);
    }
    for (char& c : host) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return host;
}

HttpRequest convert(const httplib::Request& in) {
    HttpRequest out;
    out.method = in.method;
    out.target = in.target;
    auto question = in.target.find('?');
    out.path = in.target.substr(0, question);
    out.query = question == std::string::npos ? "" : in.target.substr(question + 1);
    out.host = lowerHostWithoutPort(in.get_header_value("Host"));
    for (const auto& [name, value] : in.headers) {
        // The library adds these two for its own bookkeeping; they were not sent.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT") {
            continue;
        }
        out.headers.emplace_back(name, value);
    }
    out.remoteAddress = in.remote_addr;
    out.receivedAt = Clock::now();
    return out;
}

void fill(httplib::Response& out, const HttpResponse& in) {
    out.status = in.status;
    for (const auto& [name, value] : in.headers) {
        out.headers.emplace(name, value);
    }
    if (!in.body.empty() || in.status != 204) {
        out.set_content(in.body, in.contentType.c_str());
    }
}

} // namespace

struct HttpServer::Impl {
    httplib::Server server;
    std::thread listener;
    Handler handler;
    Options options;
    AccessLog accessLog;
    int listenSocket = -1;
};

HttpServer::HttpServer(Handler handler, Options options) : m_impl(std::make_unique<Impl>()) {
    m_impl->handler = std::move(handler);
    m_impl->options = options;
    httplib::Server& server = m_impl->server;
    size_t threads = options.workerThreads;
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_payload_max_length(options.maxBodyBytes);
    server.set_read_timeout(options.readTimeout);
    server.set_write_timeout(options.readTimeout);
    server.set_keep_alive_timeout(static_cast<time_t>(options.keepAliveTimeout.count()));
    server.set_keep_alive_max_count(options.keepAliveMaxRequests);
    server.set_tcp_nodelay(true);
    // The library listens with a backlog of 5: a burst of clients connecting
    // at once (a browser, a load test) overflows the accept queue, and the
    // dropped handshakes come back only after TCP's retransmission time-outs
    // of 0.2 s to several seconds. Keep the socket to listen on it again with
    // the system's limit once bound. Only SO_REUSEADDR, not the library's
    // SO_REUSEPORT, so that a second server cannot share our port unnoticed.
    server.set_socket_options([impl = m_impl.get()](socket_t socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        impl->listenSocket = socket;
    });

    Impl* impl = m_impl.get();
    auto withoutBody = [impl](const httplib::Request& req, httplib::Response& res) {
        HttpRequest request = convert(req);
        fill(res, impl->handler(request));
    };
    auto withBody = [impl](const httplib::Request& req, httplib::Response& res,
                           const httplib::ContentReader& reader) {
        HttpRequest request = convert(req);
        size_t limit = impl->options.maxBodyBytes;
        bool tooLarge = false;
        auto append = [&](std::string& target, const char* data, size_t length) {
            if (target.size() + length > limit) {
                tooLarge = true;
                return false;
            }
            target.append(data, length);
            return true;
        };
        bool complete = true;
        if (req.is_multipart_form_data()) {
            request.multipart = true;
            size_t total = 0;
            complete = reader(
                [&](const httplib::MultipartFormData& header) {
                    request.parts.push_back({header.name, header.filename, header.content_type, {}});
                    return true;
                },
                [&](const char* data, size_t length) {
                    total += length;
                    if (request.parts.empty() || total > limit) {
                        tooLarge = total > limit;
                        return false;
                    }
                    request.parts.back().data.append(data, length);
                    return true;
                });
            // The library insists on a closing boundary; a body that simply
            // stops after a complete part is still a readable form.
            if (!complete && !tooLarge && !request.parts.empty()) {
                request.multipartUnterminated = true;
                complete = true;
            }
        } else {
            complete =
                reader([&](const char* data, size_t length) { return append(request.body, data, length); });
        }
        if (tooLarge) {
            fill(res, HttpResponse::text("request body too large\n", 413));
            return;
        }
        if (!complete) {
            fill(res, HttpResponse::text("unreadable request body\n", 400));
            return;
        }
        fill(res, impl->handler(request));
    };
    server.Get(".*", withoutBody);
    server.Delete(".*", withoutBody);
    server.Options(".*", withoutBody);
    server.Post(".*", withBody);
    server.Put(".*", withBody);
    server.Patch(".*", withBody);
    server.set_logger([impl](const httplib::Request& req, const httplib::Response& res) {
        if (impl->accessLog) {
            impl->accessLog(lowerHostWithoutPort(req.get_header_value("Host")), req.method, req.target,
                            res.status, res.body.size());
        }
    });
}

HttpServer::~HttpServer() {
    stop();
}

void HttpServer::setAccessLog(AccessLog log) {
    m_impl->accessLog = std::move(log);
}

Result<int> HttpServer::start(const std::string& address, int port) {
    if (m_impl->listener.joinable()) {
        return Error::generic("server already started");
    }
    httplib::Server& server = m_impl->server;
    int bound = port;
    if (port == 0) {
        bound = server.bind_to_any_port(address);
        if (bound < 0) {
            return Error::generic("cannot bind " + address + " on any port");
        }
    } else if (!server.bind_to_port(address, port)) {
        return Error::generic("cannot bind " + address + ":" + std::to_string(port));
    }
    m_port = bound;
    // Linux takes a second listen() on a listening socket as a new backlog.
    if (m_impl->listenSocket >= 0) {
        ::listen(m_impl->listenSocket, SOMAXCONN);
    }
    m_impl->listener = std::thread([&server] { server.listen_after_bind(); });
    // The socket already listens, but the library ignores stop() until its
    // accept loop runs; wait for that (it takes microseconds) so that a
    // stop right after start cannot be lost.
    double deadline = Clock::monotonic() + 5;
    while (!server.is_running() && Clock::monotonic() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!server.is_running()) {
        server.stop();
        m_impl->listener.detach();
        return Error::generic("server did not start serving within 5 s");
    }
    return bound;
}

void HttpServer::stop() {
    if (m_impl->listener.joinable()) {
        m_impl->server.stop();
        m_impl->listener.join();
    }
}

bool HttpServer::running() const {
    return m_impl->listener.joinable() && m_impl->server.is_running();
}

} // namespace murmelo::servers
