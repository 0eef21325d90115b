// The HTTP server's listening socket: a burst of clients connecting at once
// must not overflow the accept queue (a dropped handshake costs the client a
// retransmission time-out of a second or more), and a second server must not
// be able to share the port.
#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <optional>

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
