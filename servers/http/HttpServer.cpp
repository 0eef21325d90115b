#include "servers/http/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

#include "servers/http/HttpConnection.h"

namespace murmelo::servers {

namespace {

using SteadyClock = std::chrono::steady_clock;
using Wait = HttpConnection::Wait;

constexpr std::uint64_t kListenKey = 0;
constexpr std::uint64_t kWakeKey = 1;
constexpr size_t kReadChunk = 64 * 1024;
// Bytes one connection may read in one turn of the loop before the others get theirs.
constexpr size_t kReadBudget = 256 * 1024;
constexpr size_t kMaxPiecesPerWrite = 16;

std::string addressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof text);
    }
    return text;
}

} // namespace

struct HttpServer::Impl {
    struct Connection {
        Connection(std::uint64_t id, int fd, HttpConnection::Limits limits, std::string remote)
            : id(id), fd(fd), http(limits, std::move(remote)) {}
        std::uint64_t id;
        int fd;
        HttpConnection http;
        Wait wait = Wait::Nothing;
        SteadyClock::time_point since{};    // when `wait` began
        SteadyClock::time_point deadline{}; // of `wait`
        bool readable = true;
        bool writable = true;
        bool lingering = false; // our side is shut down
        bool failed = false;    // the socket is gone
    };
    struct Done {
        std::uint64_t connection;
        HttpResponse response;
    };
    // One event loop: its own epoll set, connections and deadlines. Every
    // loop waits on the listening socket (EPOLLEXCLUSIVE: one is woken per
    // burst of connections) and keeps the connections it accepts.
    struct Loop {
        explicit Loop(Impl& server) : server(server) {}
        Impl& server;
        int epollFd = -1;
        int wakeFd = -1;
        int spareFd = -1; // given up when accept() runs out of descriptors
        std::thread thread;
        std::mutex doneMutex;
        std::vector<Done> done;
        // The loop thread's own.
        std::unordered_map<std::uint64_t, std::unique_ptr<Connection>> connections;
        std::set<std::pair<SteadyClock::time_point, std::uint64_t>> deadlines;
        std::vector<std::uint64_t> again; // still readable after their read budget
        std::uint64_t nextId = 2;

        void wake() {
            std::uint64_t one = 1;
            (void)!::write(wakeFd, &one, sizeof one);
        }
        void run();
        void acceptAll();
        void service(Connection& connection);
        void readSome(Connection& connection, size_t& budget);
        void writeSome(Connection& connection);
        void logRefusal(Connection& connection);
        void updateDeadline(Connection& connection, SteadyClock::time_point now);
        void close(Connection& connection);
        bool evictOneWaiting();
        void expireDeadlines();
        void takeDone();
    };
    struct Job {
        Loop* loop;
        std::uint64_t connection;
        HttpRequest request;
    };

    Handler handler;
    QuickHandler quickHandler;
    Options options;
    AccessLog accessLog;
    int listenFd = -1;
    std::vector<std::unique_ptr<Loop>> loops;
    std::vector<std::thread> workers;
    std::atomic<bool> stopping{false};
    bool started = false;

    std::mutex jobsMutex;
    std::condition_variable jobsReady;
    std::deque<Job> jobs;
    bool workersStop = false;

    HttpConnection::Limits limits() const {
        HttpConnection::Limits limits;
        limits.head.maxLineBytes = options.maxHeaderLineBytes;
        limits.head.maxHeaderCount = options.maxHeaderCount;
        limits.head.maxHeadBytes = options.maxHeadBytes;
        limits.maxBodyBytes = options.maxBodyBytes;
        limits.maxRequests = options.keepAliveMaxRequests;
        return limits;
    }
    // Each loop keeps its share of the connection cap.
    size_t connectionsPerLoop() const { return std::max<size_t>(1, options.maxConnections / loops.size()); }

    std::chrono::milliseconds timeoutFor(Wait wait) const {
        switch (wait) {
        case Wait::Request:
        case Wait::Head:
            return options.headTimeout;
        case Wait::KeepAlive:
            return options.keepAliveTimeout;
        case Wait::Body:
            return options.bodyTimeout;
        case Wait::Write:
            return options.writeTimeout;
        case Wait::Linger:
            return options.lingerTimeout;
        case Wait::Nothing:
            break;
        }
        return std::chrono::milliseconds(0);
    }

    void runWorker();
    HttpResponse answer(const Handler& run, HttpRequest& request);
    std::optional<HttpResponse> answerAtOnce(HttpRequest& request);
};

void HttpServer::Impl::Loop::run() {
    std::vector<epoll_event> events(256);
    while (!server.stopping.load(std::memory_order_acquire)) {
        int timeout = -1;
        if (!again.empty()) {
            timeout = 0;
        } else if (!deadlines.empty()) {
            auto wait = deadlines.begin()->first - SteadyClock::now();
            auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
            timeout = static_cast<int>(std::clamp<long long>(ms, 0, 60'000));
        }
        int count = ::epoll_wait(epollFd, events.data(), static_cast<int>(events.size()), timeout);
        if (count < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < count; ++i) {
            std::uint64_t key = events[i].data.u64;
            if (key == kListenKey) {
                acceptAll();
                continue;
            }
            if (key == kWakeKey) {
                std::uint64_t value;
                (void)!::read(wakeFd, &value, sizeof value);
                takeDone();
                continue;
            }
            auto found = connections.find(key);
            if (found == connections.end()) {
                continue;
            }
            Connection& connection = *found->second;
            if (events[i].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
                connection.readable = true;
            }
            if (events[i].events & (EPOLLOUT | EPOLLHUP | EPOLLERR)) {
                connection.writable = true;
            }
            service(connection);
        }
        std::vector<std::uint64_t> retry;
        retry.swap(again);
        for (std::uint64_t id : retry) {
            if (auto found = connections.find(id); found != connections.end()) {
                service(*found->second);
            }
        }
        expireDeadlines();
    }
    for (auto& [id, connection] : connections) {
        ::close(connection->fd);
    }
    connections.clear();
    deadlines.clear();
}

void HttpServer::Impl::Loop::acceptAll() {
    for (;;) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        int fd = ::accept4(server.listenFd, reinterpret_cast<sockaddr*>(&peer), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if ((errno == EMFILE || errno == ENFILE) && spareFd >= 0) {
                // Out of descriptors: take the connection with the spare one and
                // close it at once, or it would wake the loop forever.
                ::close(spareFd);
                int refused = ::accept(server.listenFd, nullptr, nullptr);
                if (refused >= 0) {
                    ::close(refused);
                }
                spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                continue;
            }
            return; // EAGAIN, or nothing we can do now
        }
        if (connections.size() >= server.connectionsPerLoop() && !evictOneWaiting()) {
            static const char kBusy[] = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n"
                                        "Connection: close\r\n\r\n";
            (void)!::send(fd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
            continue;
        }
        int yes = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        std::uint64_t id = nextId++;
        auto connection = std::make_unique<Connection>(id, fd, server.limits(), addressText(peer));
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
        event.data.u64 = id;
        if (::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &event) != 0) {
            ::close(fd);
            continue;
        }
        Connection& added = *connection;
        connections.emplace(id, std::move(connection));
        service(added);
    }
}

bool HttpServer::Impl::Loop::evictOneWaiting() {
    Connection* oldest = nullptr;
    for (auto& [id, connection] : connections) {
        Wait wait = connection->wait;
        if ((wait == Wait::Request || wait == Wait::KeepAlive || wait == Wait::Head) &&
            (!oldest || connection->since < oldest->since)) {
            oldest = connection.get();
        }
    }
    if (!oldest) {
        return false;
    }
    close(*oldest);
    return true;
}

void HttpServer::Impl::Loop::service(Connection& connection) {
    size_t budget = kReadBudget;
    for (;;) {
        bool acted = false;
        if (connection.readable && connection.http.wantsInput() && budget > 0) {
            readSome(connection, budget);
            acted = true;
        }
        if (std::optional<HttpRequest> request = connection.http.advance()) {
            if (std::optional<HttpResponse> response = server.answerAtOnce(*request)) {
                connection.http.respond(std::move(*response));
                acted = true;
            } else {
                {
                    std::lock_guard lock(server.jobsMutex);
                    server.jobs.push_back(Job{this, connection.id, std::move(*request)});
                }
                server.jobsReady.notify_one();
            }
        }
        logRefusal(connection);
        if (connection.http.hasOutput() && connection.writable) {
            writeSome(connection);
            acted = true;
        }
        if (connection.failed || connection.http.finished()) {
            break;
        }
        if (connection.http.phase() == HttpConnection::Phase::Closing && !connection.http.hasOutput() &&
            !connection.lingering) {
            ::shutdown(connection.fd, SHUT_WR);
            connection.lingering = true;
        }
        // Parsing may have made room for more input.
        if (!acted && !(connection.readable && connection.http.wantsInput() && budget > 0)) {
            break;
        }
    }
    if (connection.failed || connection.http.finished()) {
        close(connection);
        return;
    }
    if (budget == 0 && connection.readable) {
        again.push_back(connection.id);
    }
    updateDeadline(connection, SteadyClock::now());
}

void HttpServer::Impl::Loop::readSome(Connection& connection, size_t& budget) {
    char buffer[kReadChunk];
    while (connection.http.wantsInput() && budget > 0) {
        ssize_t count = ::read(connection.fd, buffer, std::min(sizeof buffer, budget));
        if (count > 0) {
            connection.http.receive(std::string_view(buffer, static_cast<size_t>(count)));
            budget -= static_cast<size_t>(count);
            if (static_cast<size_t>(count) < sizeof buffer && budget > 0) {
                // A short read emptied the socket's queue; the next edge says when more comes.
                connection.readable = false;
                return;
            }
            continue;
        }
        if (count == 0) {
            connection.readable = false;
            connection.http.receiveEnd();
            return;
        }
        if (errno == EINTR) {
            continue;
        }
        connection.readable = false;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            connection.failed = true;
        }
        return;
    }
}

void HttpServer::Impl::Loop::writeSome(Connection& connection) {
    while (connection.http.hasOutput()) {
        std::string_view pieces[kMaxPiecesPerWrite];
        size_t count = connection.http.outputPieces(pieces, kMaxPiecesPerWrite);
        iovec vectors[kMaxPiecesPerWrite];
        size_t total = 0;
        for (size_t i = 0; i < count; ++i) {
            vectors[i].iov_base = const_cast<char*>(pieces[i].data());
            vectors[i].iov_len = pieces[i].size();
            total += pieces[i].size();
        }
        msghdr message{};
        message.msg_iov = vectors;
        message.msg_iovlen = count;
        ssize_t sent = ::sendmsg(connection.fd, &message, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                connection.writable = false;
            } else {
                connection.failed = true;
            }
            return;
        }
        connection.http.consumeOutput(static_cast<size_t>(sent));
        if (static_cast<size_t>(sent) < total) {
            connection.writable = false;
            return;
        }
    }
}

void HttpServer::Impl::Loop::logRefusal(Connection& connection) {
    if (std::optional<HttpConnection::LogEntry> entry = connection.http.takeRefusal();
        entry && server.accessLog) {
        server.accessLog(entry->host, entry->method, entry->target, entry->status, entry->bytes);
    }
}

void HttpServer::Impl::Loop::updateDeadline(Connection& connection, SteadyClock::time_point now) {
    Wait wait = connection.http.waitingFor();
    if (wait == connection.wait) {
        return;
    }
    if (connection.wait != Wait::Nothing) {
        deadlines.erase({connection.deadline, connection.id});
    }
    connection.wait = wait;
    connection.since = now;
    if (wait != Wait::Nothing) {
        connection.deadline = now + server.timeoutFor(wait);
        deadlines.emplace(connection.deadline, connection.id);
    }
}

void HttpServer::Impl::Loop::close(Connection& connection) {
    if (connection.wait != Wait::Nothing) {
        deadlines.erase({connection.deadline, connection.id});
    }
    ::close(connection.fd);
    connections.erase(connection.id); // destroys `connection`
}

void HttpServer::Impl::Loop::expireDeadlines() {
    auto now = SteadyClock::now();
    while (!deadlines.empty() && deadlines.begin()->first <= now) {
        std::uint64_t id = deadlines.begin()->second;
        deadlines.erase(deadlines.begin());
        auto found = connections.find(id);
        if (found == connections.end()) {
            continue;
        }
        Connection& connection = *found->second;
        connection.wait = Wait::Nothing;
        connection.http.timeOut();
        logRefusal(connection);
        service(connection);
    }
}

void HttpServer::Impl::Loop::takeDone() {
    std::vector<Done> finished;
    {
        std::lock_guard lock(doneMutex);
        finished.swap(done);
    }
    for (Done& item : finished) {
        auto found = connections.find(item.connection);
        if (found == connections.end()) {
            continue; // closed meanwhile (a deadline, or the client went away)
        }
        found->second->http.respond(std::move(item.response));
        service(*found->second);
    }
}

void HttpServer::Impl::runWorker() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(jobsMutex);
            jobsReady.wait(lock, [this] { return workersStop || !jobs.empty(); });
            if (workersStop) {
                return;
            }
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        HttpResponse response = answer(handler, job.request);
        bool first;
        {
            std::lock_guard lock(job.loop->doneMutex);
            first = job.loop->done.empty();
            job.loop->done.push_back(Done{job.connection, std::move(response)});
        }
        if (first) {
            job.loop->wake();
        }
    }
}

HttpResponse HttpServer::Impl::answer(const Handler& run, HttpRequest& request) {
    HttpResponse response;
    try {
        response = run(request);
    } catch (...) {
        // A handler's fault answers one request; the server goes on.
        response = HttpResponse::text("internal server error\n", 500);
    }
    if (accessLog) {
        accessLog(request.host, request.method, request.target, response.status, response.body.size());
    }
    return response;
}

std::optional<HttpResponse> HttpServer::Impl::answerAtOnce(HttpRequest& request) {
    if (!quickHandler) {
        return std::nullopt;
    }
    std::optional<HttpResponse> response;
    try {
        response = quickHandler(request);
    } catch (...) {
        response = HttpResponse::text("internal server error\n", 500);
    }
    if (response && accessLog) {
        accessLog(request.host, request.method, request.target, response->status, response->body.size());
    }
    return response;
}

HttpServer::HttpServer(Handler handler, Options options) : m_impl(std::make_unique<Impl>()) {
    m_impl->handler = std::move(handler);
    m_impl->options = options;
}

HttpServer::~HttpServer() {
    stop();
}

void HttpServer::setAccessLog(AccessLog log) {
    m_impl->accessLog = std::move(log);
}

void HttpServer::setQuickHandler(QuickHandler handler) {
    m_impl->quickHandler = std::move(handler);
}

Result<int> HttpServer::start(const std::string& address, int port) {
    Impl& impl = *m_impl;
    if (impl.started) {
        return Error::generic("server already started");
    }
    impl.started = true;
    std::string host = address;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        return Error::generic("cannot resolve " + address + ": " + gai_strerror(rc));
    }
    int fd = -1;
    int lastError = 0;
    for (addrinfo* candidate = found; candidate && fd < 0; candidate = candidate->ai_next) {
        fd = ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                      candidate->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        // SO_REUSEADDR only: a restart may bind over old TIME_WAIT connections,
        // but a second server cannot share the port unnoticed (SO_REUSEPORT).
        int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
            lastError = errno;
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        return Error::posix(lastError, "cannot listen on " + address + ":" + std::to_string(port));
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    m_port = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port
                                               : reinterpret_cast<sockaddr_in&>(bound).sin_port);

    impl.listenFd = fd;
    const size_t loopCount = impl.options.eventLoops > 0
                                 ? impl.options.eventLoops
                                 : std::max<size_t>(1, std::thread::hardware_concurrency() / 2);
    for (size_t i = 0; i < loopCount; ++i) {
        auto loop = std::make_unique<Impl::Loop>(impl);
        loop->epollFd = ::epoll_create1(EPOLL_CLOEXEC);
        loop->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        loop->spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        bool made = loop->epollFd >= 0 && loop->wakeFd >= 0;
        impl.loops.push_back(std::move(loop));
        if (!made) {
            int error = errno;
            stop();
            return Error::posix(error, "cannot create the server's event loop");
        }
        Impl::Loop& added = *impl.loops.back();
        epoll_event listenEvent{};
        listenEvent.events = EPOLLIN | EPOLLEXCLUSIVE;
        listenEvent.data.u64 = kListenKey;
        epoll_event wakeEvent{};
        wakeEvent.events = EPOLLIN;
        wakeEvent.data.u64 = kWakeKey;
        ::epoll_ctl(added.epollFd, EPOLL_CTL_ADD, impl.listenFd, &listenEvent);
        ::epoll_ctl(added.epollFd, EPOLL_CTL_ADD, added.wakeFd, &wakeEvent);
    }
    for (size_t i = 0; i < std::max<size_t>(1, impl.options.workerThreads); ++i) {
        impl.workers.emplace_back([&impl] { impl.runWorker(); });
    }
    for (auto& loop : impl.loops) {
        loop->thread = std::thread([&loop = *loop] { loop.run(); });
    }
    return m_port;
}

void HttpServer::stop() {
    Impl& impl = *m_impl;
    impl.stopping.store(true, std::memory_order_release);
    for (auto& loop : impl.loops) {
        if (loop->thread.joinable()) {
            loop->wake();
            loop->thread.join();
        }
    }
    {
        std::lock_guard lock(impl.jobsMutex);
        impl.workersStop = true;
        impl.jobs.clear();
    }
    impl.jobsReady.notify_all();
    for (std::thread& worker : impl.workers) {
        worker.join();
    }
    impl.workers.clear();
    for (auto& loop : impl.loops) {
        for (int* fd : {&loop->epollFd, &loop->wakeFd, &loop->spareFd}) {
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        }
    }
    if (impl.listenFd >= 0) {
        ::close(impl.listenFd);
        impl.listenFd = -1;
    }
}

bool HttpServer::running() const {
    return !m_impl->loops.empty() && m_impl->loops.front()->thread.joinable() &&
           !m_impl->stopping.load(std::memory_order_acquire);
}

} // namespace murmelo::servers
