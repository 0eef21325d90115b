// The HTTP server over real sockets. Its listening socket: a burst of
// clients connecting at once must not overflow the accept queue (a dropped
// handshake costs the client a retransmission time-out of a second or more),
// and a second server must not be able to share the port. Its clients:
// hostile ones (endless heads, slow heads and bodies, ambiguous framing,
// bodies too large) are refused or cut off at their deadline while others
// are served, and well-behaved ones get HTTP/1.1 as they expect it. Deadlines
// are a few hundred milliseconds here; the clients are raw sockets, so every
// byte sent is the test's own.
#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "servers/http/HttpServer.h"

using namespace murmelo;
using namespace murmelo::servers;

namespace {

constexpr int kListenState = 10; // TCP_LISTEN in the kernel's state numbering

// The accept-queue limit the kernel holds for the IPv4 listener on `port`,
// asked through sock_diag (for a listener it reports the limit as wqueue).
std::optional<unsigned> listenBacklog(int port) {
    int sock = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (sock < 0) {
        return std::nullopt;
    }
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } query{};
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    query.request.sdiag_family = AF_INET;
    query.request.sdiag_protocol = IPPROTO_TCP;
    query.request.idiag_states = 1u << kListenState;
    std::optional<unsigned> found;
    if (::send(sock, &query, sizeof query, 0) == static_cast<ssize_t>(sizeof query)) {
        alignas(nlmsghdr) char buffer[16384];
        bool done = false;
        while (!done) {
            pollfd ready{sock, POLLIN, 0};
            if (::poll(&ready, 1, 5000) != 1) {
                break;
            }
            ssize_t length = ::recv(sock, buffer, sizeof buffer, 0);
            if (length <= 0) {
                break;
            }
            for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, length);
                 message = NLMSG_NEXT(message, length)) {
                if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR) {
                    done = true;
                    break;
                }
                auto* entry = static_cast<inet_diag_msg*>(NLMSG_DATA(message));
                if (ntohs(entry->id.idiag_sport) == port) {
                    found = entry->idiag_wqueue;
                }
            }
        }
    }
    ::close(sock);
    return found;
}

} // namespace

TEST(HttpServerSocket, ListensWithTheSystemBacklogNotTheLibrarys) {
    HttpServer server([](HttpRequest&) { return HttpResponse::text("ok\n", 200); }, HttpServer::Options{});
    auto port = server.start("127.0.0.1", 0);
    ASSERT_TRUE(port.ok()) << port.error().localizedDescription();
    std::optional<unsigned> backlog = listenBacklog(*port);
    if (!backlog) {
        GTEST_SKIP() << "this kernel does not answer sock_diag queries";
    }
    // 64 connections at once is what a load test or a busy client opens;
    // the library alone listens with 5.
    EXPECT_GE(*backlog, 128u);
}

TEST(HttpServerSocket, ASecondServerCannotTakeABoundPort) {
    HttpServer first([](HttpRequest&) { return HttpResponse::text("first\n", 200); }, HttpServer::Options{});
    auto port = first.start("127.0.0.1", 0);
    ASSERT_TRUE(port.ok()) << port.error().localizedDescription();
    HttpServer second([](HttpRequest&) { return HttpResponse::text("second\n", 200); },
                      HttpServer::Options{});
    EXPECT_FALSE(second.start("127.0.0.1", *port).ok());
}

namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

double secondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// A client that sends exactly the bytes it is given.
class RawClient {
public:
    explicit RawClient(int port, int family = AF_INET) {
        m_fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int connected = -1;
        if (family == AF_INET) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        } else {
            sockaddr_in6 address{};
            address.sin6_family = AF_INET6;
            address.sin6_port = htons(static_cast<uint16_t>(port));
            address.sin6_addr = in6addr_loopback;
            connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        if (connected != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~RawClient() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return m_fd >= 0; }
    // False once the server has closed (or reset) the connection.
    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) {
                return false;
            }
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }
    // Reads until `enough(received)`, the server closes, or `bound` passes.
    std::string receive(const std::function<bool(const std::string&)>& enough,
                        milliseconds bound = milliseconds(3000)) {
        auto deadline = SteadyClock::now() + bound;
        while (!enough(m_received) && !m_closed) {
            auto left = std::chrono::duration_cast<milliseconds>(deadline - SteadyClock::now()).count();
            pollfd ready{m_fd, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(std::max<long long>(left, 0))) != 1) {
                break;
            }
            char buffer[16384];
            ssize_t count = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (count <= 0) {
                m_closed = true;
                break;
            }
            m_received.append(buffer, static_cast<size_t>(count));
        }
        return m_received;
    }
    // Everything until the server closes.
    std::string receiveAll(milliseconds bound = milliseconds(3000)) {
        return receive([](const std::string&) { return false; }, bound);
    }
    // One complete reply with a Content-Length (or none, for 1xx/204/304).
    std::string receiveReply(milliseconds bound = milliseconds(3000)) {
        receive([](const std::string& in) { return replyLength(in) != std::string::npos; }, bound);
        size_t length = replyLength(m_received);
        std::string reply = m_received.substr(0, length);
        m_received.erase(0, length == std::string::npos ? m_received.size() : length);
        return reply;
    }
    bool closed() const { return m_closed; }

private:
    static size_t replyLength(const std::string& in) {
        size_t end = in.find("\r\n\r\n");
        if (end == std::string::npos) {
            return std::string::npos;
        }
        size_t length = 0;
        if (size_t field = in.find("Content-Length: "); field != std::string::npos && field < end) {
            length = std::stoul(in.substr(field + 16));
        }
        return in.size() >= end + 4 + length ? end + 4 + length : std::string::npos;
    }

    int m_fd = -1;
    std::string m_received;
    bool m_closed = false;
};

std::string statusLine(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n"));
}

// Answers with what it was asked, so the tests can see what the server made of a request.
HttpResponse echo(HttpRequest& request) {
    if (request.path == "/nothing") {
        return HttpResponse::text("", 204);
    }
    std::string text = request.method + " " + request.path + " host=" + request.host +
                       " from=" + request.remoteAddress + " body=" + request.body;
    for (const FormPart& part : request.parts) {
        text += " part:" + part.name + "=" + part.data;
    }
    if (request.multipartUnterminated) {
        text += " unterminated";
    }
    return HttpResponse::text(text).withHeader("Set-Cookie", "a=1").withHeader("Set-Cookie", "b=2");
}

HttpServer::Options shortDeadlines() {
    HttpServer::Options options;
    options.maxBodyBytes = 1024;
    options.workerThreads = 2;
    options.headTimeout = milliseconds(300);
    options.bodyTimeout = milliseconds(300);
    options.writeTimeout = milliseconds(300);
    options.keepAliveTimeout = milliseconds(300);
    options.lingerTimeout = milliseconds(300);
    return options;
}

struct LoggedRequest {
    std::string host, method, target;
    int status;
};

class ListenerTest : public ::testing::Test {
protected:
    void start(HttpServer::Options options = shortDeadlines()) {
        server = std::make_unique<HttpServer>(echo, options);
        server->setAccessLog([this](const std::string& host, const std::string& method,
                                    const std::string& target, int status, size_t) {
            std::lock_guard lock(logMutex);
            logged.push_back({host, method, target, status});
        });
        auto bound = server->start("127.0.0.1", 0);
        ASSERT_TRUE(bound) << bound.error().localizedDescription();
        port = *bound;
    }
    void SetUp() override { start(); }

    // One request on a new connection; the whole exchange until the server closes.
    std::string exchange(const std::string& request) {
        RawClient client(port);
        EXPECT_TRUE(client.connected());
        client.send(request);
        return client.receiveAll();
    }

    std::unique_ptr<HttpServer> server;
    int port = 0;
    std::mutex logMutex;
    std::vector<LoggedRequest> logged;
};

const std::string kGet = "GET /x HTTP/1.1\r\nHost: a.example\r\n\r\n";

} // namespace

TEST_F(ListenerTest, HeadsOverTheirLimitsAreRefusedAndTheConnectionClosed) {
    std::string manyFields;
    for (int i = 0; i < 101; ++i) {
        manyFields += "X-" + std::to_string(i) + ": v\r\n";
    }
    std::string bigFields;
    for (int i = 0; i < 70; ++i) {
        bigFields += "X-" + std::to_string(i) + ": " + std::string(1000, 'v') + "\r\n";
    }
    struct Row {
        const char* name;
        std::string request;
        std::string status;
    };
    const Row rows[] = {
        {"101 fields", "GET / HTTP/1.1\r\nHost: a\r\n" + manyFields + "\r\n", "HTTP/1.1 431 "},
        {"70 KB of fields", "GET / HTTP/1.1\r\nHost: a\r\n" + bigFields + "\r\n", "HTTP/1.1 431 "},
        {"a 9000-byte field", "GET / HTTP/1.1\r\nHost: a\r\nX: " + std::string(9000, 'v') + "\r\n\r\n",
         "HTTP/1.1 431 "},
        {"a 9000-byte target", "GET /" + std::string(9000, 'p') + " HTTP/1.1\r\nHost: a\r\n\r\n",
         "HTTP/1.1 414 "},
        {"100 fields are fine",
         "GET / HTTP/1.1\r\nHost: a\r\n" + manyFields.substr(manyFields.find("X-2:")) + "\r\n",
         "HTTP/1.1 200 "},
    };
    for (const Row& row : rows) {
        std::string reply = exchange(row.request);
        EXPECT_EQ(reply.rfind(row.status, 0), 0u) << row.name << ": " << statusLine(reply);
    }
    // An endless head is answered as soon as it crosses the limit, not when it ends.
    RawClient endless(port);
    endless.send("GET / HTTP/1.1\r\nHost: a\r\n");
    std::string reply;
    for (int i = 0; i < 10'000 && !endless.closed() && reply.empty(); ++i) {
        if (!endless.send("X-" + std::to_string(i) + ": v\r\n")) {
            break;
        }
        if (i % 50 == 0) {
            reply = endless.receive([](const std::string& in) { return !in.empty(); }, milliseconds(1));
        }
    }
    reply = endless.receiveAll();
    EXPECT_EQ(reply.rfind("HTTP/1.1 431 ", 0), 0u) << statusLine(reply);
    std::lock_guard lock(logMutex);
    EXPECT_TRUE(std::any_of(logged.begin(), logged.end(), [](const LoggedRequest& entry) {
        return entry.status == 431;
    })) << "refusals are in the access log";
}

TEST_F(ListenerTest, SlowClientsNeitherHoldOthersNorStayPastTheirDeadline) {
    // More slow clients than workers, each sending a head line every 100 ms.
    constexpr int kSlow = 6;
    std::vector<std::unique_ptr<RawClient>> slow;
    auto started = SteadyClock::now();
    for (int i = 0; i < kSlow; ++i) {
        slow.push_back(std::make_unique<RawClient>(port));
        ASSERT_TRUE(slow.back()->send("GET /slow HTTP/1.1\r\nHost: a\r\n"));
    }
    auto trickleBody = std::make_unique<RawClient>(port);
    ASSERT_TRUE(trickleBody->send("POST /slow HTTP/1.1\r\nHost: a\r\nContent-Length: 100\r\n\r\n"));
    for (int i = 0; i < 4; ++i) {
        auto asked = SteadyClock::now();
        RawClient normal(port);
        normal.send(kGet);
        std::string reply = normal.receiveReply();
        EXPECT_EQ(statusLine(reply), "HTTP/1.1 200 OK") << i;
        EXPECT_LT(secondsSince(asked), 1.0) << "request " << i << " waited for the slow clients";
    }
    std::vector<std::string> ends(kSlow);
    int line = 0;
    while (secondsSince(started) < 3.0) {
        bool open = false;
        for (auto& client : slow) {
            if (!client->closed()) {
                client->send("X-" + std::to_string(line) + ": v\r\n");
                client->receive([](const std::string&) { return false; }, milliseconds(0));
                open = open || !client->closed();
            }
        }
        trickleBody->send("b");
        trickleBody->receive([](const std::string&) { return false; }, milliseconds(0));
        if (!open && trickleBody->closed()) {
            break;
        }
        ++line;
        std::this_thread::sleep_for(milliseconds(100)); // the slow client's pace
    }
    // 300 ms deadlines: all gone well before the three seconds are up.
    EXPECT_LT(secondsSince(started), 2.0);
    for (auto& client : slow) {
        EXPECT_TRUE(client->closed());
        std::string reply = client->receiveAll(milliseconds(0));
        EXPECT_EQ(reply.rfind("HTTP/1.1 408 ", 0), 0u) << statusLine(reply);
    }
    EXPECT_TRUE(trickleBody->closed());
    std::string reply = trickleBody->receiveAll(milliseconds(0));
    EXPECT_EQ(reply.rfind("HTTP/1.1 408 ", 0), 0u) << statusLine(reply);
}

TEST_F(ListenerTest, StopIsImmediateWhateverClientsHoldOpen) {
    HttpServer::Options options = shortDeadlines();
    options.keepAliveTimeout = milliseconds(10'000);
    options.headTimeout = milliseconds(10'000);
    options.bodyTimeout = milliseconds(10'000);
    start(options);
    RawClient idle(port);
    idle.send(kGet);
    EXPECT_EQ(statusLine(idle.receiveReply()), "HTTP/1.1 200 OK");
    RawClient halfHead(port);
    halfHead.send("GET / HTTP/1.1\r\nHo");
    RawClient halfBody(port);
    halfBody.send("POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 10\r\n\r\nabc");
    RawClient silent(port);
    // Let the server see all of them before it is stopped.
    RawClient last(port);
    last.send(kGet);
    EXPECT_EQ(statusLine(last.receiveReply()), "HTTP/1.1 200 OK");
    auto stopping = SteadyClock::now();
    server->stop();
    EXPECT_LT(secondsSince(stopping), 0.5);
    EXPECT_FALSE(server->running());
    for (RawClient* client : {&idle, &halfHead, &halfBody, &silent}) {
        client->receiveAll(milliseconds(1000));
        EXPECT_TRUE(client->closed());
    }
}

TEST_F(ListenerTest, RefusesAmbiguousOrOversizedFramingAndCloses) {
    // Long deadlines: a refusal that waited for one would show.
    HttpServer::Options options = shortDeadlines();
    options.headTimeout = milliseconds(10'000);
    options.bodyTimeout = milliseconds(10'000);
    start(options);
    const std::string post = "POST /p HTTP/1.1\r\nHost: a\r\n";
    struct Row {
        const char* name;
        std::string request;
        std::string status;
    };
    const Row rows[] = {
        {"declared body too large", post + "Content-Length: 1000000000\r\n\r\n", "HTTP/1.1 413 "},
        {"body over the limit", post + "Content-Length: 1025\r\n\r\n" + std::string(1025, 'b'),
         "HTTP/1.1 413 "},
        {"chunked over the limit",
         post + "Transfer-Encoding: chunked\r\n\r\n400\r\n" + std::string(1024, 'b') +
             "\r\n1\r\nb\r\n0\r\n\r\n",
         "HTTP/1.1 413 "},
        {"two Content-Lengths", post + "Content-Length: 1\r\nContent-Length: 2\r\n\r\nab", "HTTP/1.1 400 "},
        {"non-numeric Content-Length", post + "Content-Length: 1x\r\n\r\nab", "HTTP/1.1 400 "},
        {"signed Content-Length", post + "Content-Length: +2\r\n\r\nab", "HTTP/1.1 400 "},
        {"overflowing Content-Length", post + "Content-Length: 99999999999999999999999\r\n\r\n",
         "HTTP/1.1 400 "},
        {"Content-Length and chunked",
         post +
             "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\nGET /smuggled HTTP/1.1\r\n\r\n",
         "HTTP/1.1 400 "},
        {"other coding", post + "Transfer-Encoding: gzip\r\n\r\n", "HTTP/1.1 400 "},
        {"NUL in Host", std::string("GET / HTTP/1.1\r\nHost: a\0.example\r\n\r\n", 36), "HTTP/1.1 400 "},
        {"no Host", "GET / HTTP/1.1\r\nAccept: */*\r\n\r\n", "HTTP/1.1 400 "},
        {"folded field", "GET / HTTP/1.1\r\nHost: a\r\nX: 1\r\n 2\r\n\r\n", "HTTP/1.1 400 "},
        {"bare CR", "GET / HTTP/1.1\r\nHost: a\rX: 1\r\n\r\n", "HTTP/1.1 400 "},
    };
    for (const Row& row : rows) {
        auto asked = SteadyClock::now();
        std::string reply = exchange(row.request);
        EXPECT_EQ(reply.rfind(row.status, 0), 0u) << row.name << ": " << statusLine(reply);
        EXPECT_NE(reply.find("Connection: close\r\n"), std::string::npos) << row.name;
        EXPECT_EQ(reply.find("smuggled"), std::string::npos) << row.name;
        EXPECT_LT(secondsSince(asked), 1.0) << row.name << " waited for a deadline";
    }
}

TEST_F(ListenerTest, ContinuesOnlyForBodiesItWillTake) {
    RawClient refused(port);
    refused.send("POST /p HTTP/1.1\r\nHost: a\r\nContent-Length: 1000000000\r\nExpect: 100-continue\r\n\r\n");
    std::string reply = refused.receiveAll();
    EXPECT_EQ(reply.rfind("HTTP/1.1 413 ", 0), 0u) << statusLine(reply);
    EXPECT_EQ(reply.find("100 Continue"), std::string::npos);

    RawClient accepted(port);
    accepted.send("POST /p HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\nExpect: 100-continue\r\n\r\n");
    EXPECT_EQ(accepted.receiveReply(), "HTTP/1.1 100 Continue\r\n\r\n");
    accepted.send("hello");
    reply = accepted.receiveReply();
    EXPECT_EQ(statusLine(reply), "HTTP/1.1 200 OK");
    EXPECT_NE(reply.find("body=hello"), std::string::npos) << reply;
}

TEST_F(ListenerTest, ServesHttp11AsClientsExpectIt) {
    RawClient client(port);
    // Pipelined: a GET, a chunked POST, a HEAD, a 204, in one write.
    client.send(
        "GET /one HTTP/1.1\r\nHost: Secrets.Example:8080\r\n\r\n"
        "POST /two HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n"
        "HEAD /three HTTP/1.1\r\nHost: a\r\n\r\n"
        "GET /nothing HTTP/1.1\r\nHost: a\r\n\r\n");
    std::string one = client.receiveReply();
    EXPECT_EQ(statusLine(one), "HTTP/1.1 200 OK");
    EXPECT_NE(one.find("GET /one host=secrets.example from=127.0.0.1 "), std::string::npos) << one;
    EXPECT_NE(one.find("\r\nDate: "), std::string::npos) << one;
    EXPECT_NE(one.find("Set-Cookie: a=1\r\nSet-Cookie: b=2\r\n"), std::string::npos) << one;
    EXPECT_NE(one.find("Content-Type: text/plain; charset=utf-8\r\n"), std::string::npos) << one;
    std::string two = client.receiveReply();
    EXPECT_NE(two.find("POST /two host=a from=127.0.0.1 body=abcde"), std::string::npos) << two;
    // HEAD: the length of what GET would give, and no body; then the 204 follows right after.
    std::string rest = client.receive([](const std::string& in) {
        return in.find("204 No Content") != std::string::npos && in.size() > 4 && in.ends_with("\r\n\r\n");
    });
    std::string three = rest.substr(0, rest.find("HTTP/1.1 204"));
    EXPECT_EQ(statusLine(three), "HTTP/1.1 200 OK");
    EXPECT_NE(three.find("Content-Length: 39\r\n"), std::string::npos) << three;
    EXPECT_TRUE(three.ends_with("\r\n\r\n")) << three;
    std::string four = rest.substr(three.size());
    EXPECT_EQ(statusLine(four), "HTTP/1.1 204 No Content");
    EXPECT_EQ(four.find("Content-Length"), std::string::npos) << four;

    // HTTP/1.0 closes after its reply; so does "Connection: close".
    for (const std::string& request :
         {std::string("GET / HTTP/1.0\r\n\r\n"),
          std::string("GET / HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n")}) {
        std::string reply = exchange(request);
        EXPECT_EQ(statusLine(reply), "HTTP/1.1 200 OK") << request;
        EXPECT_NE(reply.find("Connection: close\r\n"), std::string::npos) << request;
    }
}

TEST_F(ListenerTest, ReadsMultipartForms) {
    const std::string body = "--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n"
                             "--XyZ\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n2\r\n--XyZ\r\n";
    RawClient client(port);
    client.send("POST /form HTTP/1.1\r\nHost: a\r\nContent-Type: multipart/form-data; boundary=XyZ\r\n"
                "Content-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body);
    std::string reply = client.receiveReply();
    EXPECT_NE(reply.find("body= part:a=1 part:b=2 unterminated"), std::string::npos) << reply;
}

TEST_F(ListenerTest, IdleConnectionsCloseAndTheOldestMakesRoomPastTheCap) {
    HttpServer::Options options = shortDeadlines();
    options.maxConnections = 3;
    options.eventLoops = 1; // the cap is shared out among loops; one holds all three
    options.keepAliveTimeout = milliseconds(10'000);
    options.headTimeout = milliseconds(10'000);
    start(options);
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(std::make_unique<RawClient>(port));
        idle.back()->send(kGet);
        EXPECT_EQ(statusLine(idle.back()->receiveReply()), "HTTP/1.1 200 OK");
    }
    RawClient newcomer(port);
    newcomer.send(kGet);
    EXPECT_EQ(statusLine(newcomer.receiveReply()), "HTTP/1.1 200 OK");
    idle[0]->receiveAll(milliseconds(1000));
    EXPECT_TRUE(idle[0]->closed()) << "the connection idle the longest made room";
    idle[2]->receiveAll(milliseconds(50));
    EXPECT_FALSE(idle[2]->closed());

    start(shortDeadlines()); // keep-alive 300 ms
    RawClient client(port);
    client.send(kGet);
    EXPECT_EQ(statusLine(client.receiveReply()), "HTTP/1.1 200 OK");
    auto answered = SteadyClock::now();
    client.receiveAll(milliseconds(2000));
    EXPECT_TRUE(client.closed());
    EXPECT_LT(secondsSince(answered), 1.0);
}

TEST(HttpServerAddress, ServesAnIPv6Literal) {
    HttpServer server(echo, shortDeadlines());
    auto port = server.start("::1", 0);
    if (!port) {
        GTEST_SKIP() << "no IPv6 loopback here: " << port.error().localizedDescription();
    }
    RawClient client(*port, AF_INET6);
    ASSERT_TRUE(client.connected());
    client.send("GET / HTTP/1.1\r\nHost: [::1]:80\r\n\r\n");
    std::string reply = client.receiveReply();
    EXPECT_NE(reply.find("host=[::1] from=::1 "), std::string::npos) << reply;
}

TEST(HttpServerQuickHandler, AnswersInOrderWithTheWorkersAndIsLoggedOnce) {
    HttpServer server(echo, shortDeadlines());
    std::mutex logMutex;
    std::vector<std::string> logged;
    server.setAccessLog(
        [&](const std::string&, const std::string&, const std::string& target, int status, size_t) {
            std::lock_guard lock(logMutex);
            logged.push_back(target + " " + std::to_string(status));
        });
    server.setQuickHandler([](HttpRequest& request) -> std::optional<HttpResponse> {
        if (request.path == "/throws") {
            throw std::runtime_error("quick handler fault");
        }
        if (request.path.starts_with("/kept")) {
            return HttpResponse::text("kept " + request.path);
        }
        return std::nullopt;
    });
    auto port = server.start("127.0.0.1", 0);
    ASSERT_TRUE(port) << port.error().localizedDescription();

    RawClient client(*port);
    // Pipelined, so an inline answer could overtake a worker's if the order were not kept.
    client.send("GET /slow1 HTTP/1.1\r\nHost: a\r\n\r\n"
                "GET /kept1 HTTP/1.1\r\nHost: a\r\n\r\n"
                "HEAD /kept2 HTTP/1.1\r\nHost: a\r\n\r\n"
                "GET /throws HTTP/1.1\r\nHost: a\r\n\r\n"
                "GET /slow2 HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n");
    std::string all = client.receiveAll();
    const char* const expected[] = {"GET /slow1 host=a", "\r\n\r\nkept /kept1", "Content-Length: 11\r\n",
                                    "500 Internal Server Error", "GET /slow2 host=a"};
    size_t at = 0;
    for (const char* piece : expected) {
        size_t found = all.find(piece, at);
        ASSERT_NE(found, std::string::npos) << piece << " in order in:\n" << all;
        at = found + 1;
    }
    EXPECT_EQ(all.find("kept /kept2"), std::string::npos) << "a HEAD reply has no body";
    server.stop();
    std::lock_guard lock(logMutex);
    EXPECT_EQ(logged, (std::vector<std::string>{"/slow1 200", "/kept1 200", "/kept2 200", "/throws 500",
                                                "/slow2 200"}));
}
