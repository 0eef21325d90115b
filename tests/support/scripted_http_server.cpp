#include "tests/support/scripted_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace murmelo::test {

namespace {

constexpr std::size_t kMaxHeadBytes = 64 * 1024;
constexpr std::size_t kMaxBodyBytes = 64 * 1024 * 1024;

double monotonicNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

} // namespace

// ---- ReceivedRequest and ScriptedReply

std::optional<std::string> ReceivedRequest::header(std::string_view name) const {
    for (const auto& [field, value] : headers) {
        if (equalsIgnoringCase(field, name)) {
            return value;
        }
    }
    return std::nullopt;
}

int ReceivedRequest::headerCount(std::string_view name) const {
    int count = 0;
    for (const auto& [field, value] : headers) {
        count += equalsIgnoringCase(field, name) ? 1 : 0;
    }
    return count;
}

ScriptedReply ScriptedReply::text(int status, std::string body, std::string contentType) {
    ScriptedReply reply;
    reply.status = status;
    reply.reason = status == 200 ? "OK" : "Status";
    reply.body = std::move(body);
    if (!contentType.empty()) {
        reply.headers.emplace_back("Content-Type", std::move(contentType));
    }
    return reply;
}

ScriptedReply ScriptedReply::redirect(int status, std::string location) {
    ScriptedReply reply;
    reply.status = status;
    reply.reason = "Redirect";
    reply.headers.emplace_back("Location", std::move(location));
    return reply;
}

ScriptedReply ScriptedReply::rawBytes(Action action, std::string bytes) {
    ScriptedReply reply;
    reply.action = action;
    reply.raw = std::move(bytes);
    return reply;
}

ScriptedReply& ScriptedReply::header(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
}

// ---- ScriptedConnection

ScriptedConnection::ScriptedConnection(int fd, int index, int stopFd)
    : m_fd(fd), m_index(index), m_stopFd(stopFd) {}

ScriptedConnection::~ScriptedConnection() {
    close();
}

bool ScriptedConnection::fill(double deadline) {
    for (;;) {
        double left = deadline - monotonicNow();
        if (left <= 0 || m_fd < 0) {
            return false;
        }
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        int ready = poll(fds, 2, static_cast<int>(left * 1000.0) + 1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (fds[1].revents & POLLIN)) {
            return false;
        }
        char buffer[65536];
        ssize_t got = recv(m_fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        m_pending.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
}

std::optional<ReceivedRequest> ScriptedConnection::readRequest(double timeoutSeconds) {
    double deadline = monotonicNow() + timeoutSeconds;
    std::size_t headEnd;
    while ((headEnd = m_pending.find("\r\n\r\n")) == std::string::npos) {
        if (m_pending.size() > kMaxHeadBytes || !fill(deadline)) {
            return std::nullopt;
        }
    }
    std::string head = m_pending.substr(0, headEnd);
    m_pending.erase(0, headEnd + 4);

    ReceivedRequest request;
    request.connection = m_index;
    std::size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    std::size_t firstSpace = requestLine.find(' ');
    std::size_t lastSpace = requestLine.rfind(' ');
    if (firstSpace == std::string::npos || lastSpace == firstSpace) {
        return std::nullopt;
    }
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    request.version = requestLine.substr(lastSpace + 1);
    std::size_t position = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (position < head.size()) {
        std::size_t end = head.find("\r\n", position);
        if (end == std::string::npos) {
            end = head.size();
        }
        std::string line = head.substr(position, end - position);
        std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            request.headers.emplace_back(line.substr(0, colon),
                                         trim(std::string_view(line).substr(colon + 1)));
        }
        position = end + 2;
    }

    if (auto length = request.header("Content-Length")) {
        std::size_t wanted = std::stoull(*length);
        if (wanted > kMaxBodyBytes) {
            return std::nullopt;
        }
        while (m_pending.size() < wanted) {
            if (!fill(deadline)) {
                return std::nullopt;
            }
        }
        request.body = m_pending.substr(0, wanted);
        m_pending.erase(0, wanted);
    } else if (auto encoding = request.header("Transfer-Encoding");
               encoding && equalsIgnoringCase(*encoding, "chunked")) {
        for (;;) {
            std::size_t sizeEnd;
            while ((sizeEnd = m_pending.find("\r\n")) == std::string::npos) {
                if (!fill(deadline)) {
                    return std::nullopt;
                }
            }
            std::size_t size = std::stoul(m_pending.substr(0, sizeEnd), nullptr, 16);
            if (request.body.size() + size > kMaxBodyBytes) {
                return std::nullopt;
            }
            while (m_pending.size() < sizeEnd + 2 + size + 2) {
                if (!fill(deadline)) {
                    return std::nullopt;
                }
            }
            request.body += m_pending.substr(sizeEnd + 2, size);
            m_pending.erase(0, sizeEnd + 2 + size + 2);
            if (size == 0) {
                break;
            }
        }
    }
    return request;
}

bool ScriptedConnection::send(std::string_view bytes) {
    while (!bytes.empty() && m_fd >= 0) {
        ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_stopFd, POLLIN, 0}};
            if (poll(fds, 2, 10000) <= 0 || (fds[1].revents & POLLIN)) {
                return false;
            }
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return bytes.empty();
}

bool ScriptedConnection::sendReply(const ScriptedReply& reply) {
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
    bool hasLength = false;
    for (const auto& [name, value] : reply.headers) {
        head += name + ": " + value + "\r\n";
        hasLength = hasLength || equalsIgnoringCase(name, "Content-Length");
    }
    if (reply.chunked) {
        head += "Transfer-Encoding: chunked\r\n\r\n";
        if (!send(head)) {
            return false;
        }
        std::size_t step = reply.chunkSize == 0 ? 4096 : reply.chunkSize;
        for (std::size_t at = 0; at < reply.body.size(); at += step) {
            std::size_t size = std::min(step, reply.body.size() - at);
            char sizeLine[32];
            std::snprintf(sizeLine, sizeof sizeLine, "%zx\r\n", size);
            if (!send(sizeLine) || !send(std::string_view(reply.body).substr(at, size)) || !send("\r\n")) {
                return false;
            }
        }
        return send("0\r\n\r\n");
    }
    if (!hasLength) {
        head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    }
    head += "\r\n";
    if (reply.body.size() < 65536) {
        return send(head + reply.body);
    }
    return send(head) && send(reply.body);
}

bool ScriptedConnection::waitForPeerClose(double timeoutSeconds) {
    double deadline = monotonicNow() + timeoutSeconds;
    while (monotonicNow() < deadline) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        int ready = poll(fds, 2, static_cast<int>((deadline - monotonicNow()) * 1000.0) + 1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (fds[1].revents & POLLIN)) {
            return false;
        }
        char buffer[4096];
        ssize_t got = recv(m_fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return true;
        }
    }
    return false;
}

bool ScriptedConnection::stopping() const {
    pollfd stop = {m_stopFd, POLLIN, 0};
    return poll(&stop, 1, 0) > 0;
}

void ScriptedConnection::reset() {
    if (m_fd < 0) {
        return;
    }
    linger abortive{1, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(m_fd);
    m_fd = -1;
}

void ScriptedConnection::close() {
    if (m_fd >= 0) {
        ::shutdown(m_fd, SHUT_WR);
        ::close(m_fd);
        m_fd = -1;
    }
}

// ---- ScriptedHttpServer

ScriptedHttpServer::ScriptedHttpServer(Script script, Family family)
    : m_script(std::move(script)), m_family(family) {
    if (pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("ScriptedHttpServer: pipe failed");
    }
    m_listener = socket(family == Family::IPv4 ? AF_INET : AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    int rc;
    if (family == Family::IPv4) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        rc = bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    } else {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        rc = bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    if (rc != 0 || listen(m_listener, 64) != 0) {
        throw std::runtime_error(std::string("ScriptedHttpServer: cannot listen: ") + std::strerror(errno));
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&bound), &length);
    m_port = family == Family::IPv4 ? ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port)
                                    : ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    m_stopping = true;
    char byte = 1;
    [[maybe_unused]] ssize_t written = write(m_stopPipe[1], &byte, 1); // never read: stays readable
    m_acceptThread.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        threads.swap(m_connectionThreads);
    }
    for (auto& thread : threads) {
        thread.join();
    }
    ::close(m_listener);
    ::close(m_stopPipe[0]);
    ::close(m_stopPipe[1]);
}

void ScriptedHttpServer::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
        int ready = poll(fds, 2, -1); // the destructor always wakes it through the stop pipe
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || (fds[1].revents & POLLIN)) {
            return;
        }
        int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard lock(m_mutex);
        int index = ++m_connections;
        m_connectionThreads.emplace_back([this, fd, index] {
            ScriptedConnection connection(fd, index, m_stopPipe[0]);
            m_script(connection, *this);
        });
        m_changed.notify_all();
    }
}

ScriptedHttpServer::Script ScriptedHttpServer::replyingWith(Replier replier) {
    return [replier = std::move(replier)](ScriptedConnection& connection, ScriptedHttpServer& server) {
        while (auto request = connection.readRequest(kIdleSeconds)) {
            server.record(*request);
            ScriptedReply reply = replier(*request);
            bool keep = true;
            switch (reply.action) {
            case ScriptedReply::Action::Send:
                keep = connection.sendReply(reply);
                break;
            case ScriptedReply::Action::SendRaw:
                keep = connection.send(reply.raw);
                break;
            case ScriptedReply::Action::SendRawClose:
                connection.send(reply.raw);
                connection.close();
                return;
            case ScriptedReply::Action::ResetAfterRaw:
                connection.send(reply.raw);
                connection.reset();
                return;
            case ScriptedReply::Action::Silent:
                connection.waitForPeerClose(60.0);
                return;
            case ScriptedReply::Action::Close:
                connection.close();
                return;
            }
            auto closing = request->header("Connection");
            if (!keep || (closing && equalsIgnoringCase(*closing, "close"))) {
                return;
            }
        }
    };
}

ScriptedHttpServer::Script ScriptedHttpServer::drippingBody(double interval, double forSeconds) {
    return [interval, forSeconds](ScriptedConnection& connection, ScriptedHttpServer& server) {
        auto request = connection.readRequest(kIdleSeconds);
        if (!request) {
            return;
        }
        server.record(*request);
        const double end = monotonicNow() + forSeconds;
        if (!connection.send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n")) {
            return;
        }
        while (monotonicNow() < end && !connection.stopping()) {
            if (!connection.send("x") || connection.waitForPeerClose(interval)) {
                return;
            }
        }
        connection.close();
    };
}

ScriptedHttpServer::Script
ScriptedHttpServer::streamingBody(std::uint64_t size, Framing framing,
                                  std::shared_ptr<std::atomic<std::uint64_t>> sent) {
    return [size, framing, sent](ScriptedConnection& connection, ScriptedHttpServer& server) {
        auto request = connection.readRequest(kIdleSeconds);
        if (!request) {
            return;
        }
        server.record(*request);
        std::string head =
            "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n";
        if (framing == Framing::ContentLength) {
            head += "Content-Length: " + std::to_string(size) + "\r\n";
        }
        if (!connection.send(head + "\r\n")) {
            return;
        }
        const std::string block(64 * 1024, 'z');
        for (std::uint64_t left = size; left > 0;) {
            std::size_t now = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
            if (!connection.send(std::string_view(block).substr(0, now))) {
                return;
            }
            left -= now;
            if (sent) {
                *sent += now;
            }
        }
        connection.close();
    };
}

std::string ScriptedHttpServer::url(std::string_view path) const {
    std::string host = m_family == Family::IPv4 ? "127.0.0.1" : "[::1]";
    return "http://" + host + ":" + std::to_string(m_port) + std::string(path);
}

void ScriptedHttpServer::record(const ReceivedRequest& request) {
    std::lock_guard lock(m_mutex);
    m_requests.push_back(request);
    m_changed.notify_all();
}

std::vector<ReceivedRequest> ScriptedHttpServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int ScriptedHttpServer::connectionCount() const {
    std::lock_guard lock(m_mutex);
    return m_connections;
}

bool ScriptedHttpServer::waitForRequests(std::size_t count, double timeoutSeconds) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                              [&] { return m_requests.size() >= count; });
}

int ScriptedHttpServer::unusedPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    int port = ntohs(address.sin_port);
    ::close(fd); // bound but never listening: nothing accepts there
    return port;
}

} // namespace murmelo::test
