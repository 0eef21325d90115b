// ScriptedHttpServer: a raw-socket HTTP/1.1 server on loopback for tests,
// scripted per connection so it can misbehave on purpose — answer, stay
// silent, reset mid-body, send broken framing — where a well-behaved
// library server would not.
//
//   ScriptedHttpServer server(ScriptedHttpServer::replyingWith([](const ReceivedRequest& r) {
//       return ScriptedReply::text(200, "hello");
//   }));
//   fetch(server.url("/x"));
//   EXPECT_EQ(server.requests().at(0).target, "/x");
//
// Threading: one thread accepts, one thread per connection runs the script.
// Every blocking call waits at most the time-out it is given (and returns at
// once when the server stops). The destructor stops the server: it closes
// the listener and every connection and joins all threads. requests(),
// connectionCount() and the wait helpers are thread-safe.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace murmelo::test {

struct ReceivedRequest {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers; // in order, as written
    std::string body;
    int connection = 0; // which accepted connection (from 1)

    // The first header named `name` (any letter case).
    std::optional<std::string> header(std::string_view name) const;
    // How many headers are named `name` (any letter case).
    int headerCount(std::string_view name) const;
};

// What a replying script answers to one request.
struct ScriptedReply {
    enum class Action {
        Send,          // send `status`, headers and body (Content-Length added unless set or chunked)
        SendRaw,       // send `raw` as it is, then keep the connection
        SendRawClose,  // send `raw`, then close
        ResetAfterRaw, // send `raw`, then reset the connection (RST)
        Silent,        // send nothing; wait until the client goes away
        Close,         // close without a word
    };
    Action action = Action::Send;
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string raw;
    bool chunked = false; // send the body as chunks of `chunkSize`
    std::size_t chunkSize = 4096;

    static ScriptedReply text(int status, std::string body, std::string contentType = "text/plain");
    static ScriptedReply redirect(int status, std::string location);
    static ScriptedReply rawBytes(Action action, std::string bytes);
    ScriptedReply& header(std::string name, std::string value);
};

class ScriptedConnection {
public:
    ScriptedConnection(int fd, int index, int stopFd);
    ~ScriptedConnection();
    ScriptedConnection(const ScriptedConnection&) = delete;
    ScriptedConnection& operator=(const ScriptedConnection&) = delete;

    int index() const { return m_index; }
    // The next request, or nothing on end of stream, error, stop or time-out.
    std::optional<ReceivedRequest> readRequest(double timeoutSeconds);
    bool send(std::string_view bytes);
    // Sends a ScriptedReply of action Send (status, headers, framing, body).
    bool sendReply(const ScriptedReply& reply);
    // Waits for the peer to close (data read meanwhile is dropped).
    bool waitForPeerClose(double timeoutSeconds);
    // Whether the server is being stopped.
    bool stopping() const;
    // An abortive close: the peer sees a reset.
    void reset();
    void close();

private:
    bool fill(double deadline);

    int m_fd;
    int m_index;
    int m_stopFd;
    std::string m_pending; // bytes read but not consumed
};

class ScriptedHttpServer {
public:
    enum class Family { IPv4, IPv6 };
    using Script = std::function<void(ScriptedConnection&, ScriptedHttpServer&)>;
    using Replier = std::function<ScriptedReply(const ReceivedRequest&)>;

    // Requests on one connection are read at most this long apart.
    static constexpr double kIdleSeconds = 10.0;

    explicit ScriptedHttpServer(Script script, Family family = Family::IPv4);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    // A script that answers every request of a kept-alive connection with
    // the replier's reply (closing after a request that says "close").
    static Script replyingWith(Replier replier);

    // Answers the first request of each connection with a 200 head without
    // a length, then its body one byte every `interval` seconds — never
    // silent long enough for an inactivity time-out — until the client goes
    // away or `forSeconds` passed; then closes.
    static Script drippingBody(double interval, double forSeconds);
    enum class Framing { ContentLength, UntilClose };
    // Answers the first request of each connection with `size` body bytes as
    // fast as the client takes them; `sent` (optional) counts the bytes the
    // client accepted before it went away.
    static Script streamingBody(std::uint64_t size, Framing framing,
                                std::shared_ptr<std::atomic<std::uint64_t>> sent = nullptr);

    int port() const { return m_port; }
    // "http://127.0.0.1:PORT" + path (or "[::1]" for IPv6).
    std::string url(std::string_view path) const;
    // Records a request (replyingWith does; custom scripts may call it).
    void record(const ReceivedRequest& request);
    std::vector<ReceivedRequest> requests() const;
    int connectionCount() const;
    // Waits until `count` requests were recorded; false on time-out.
    bool waitForRequests(std::size_t count, double timeoutSeconds) const;

    // A loopback port with nothing listening (connections are refused).
    static int unusedPort();

private:
    void acceptLoop();

    Script m_script;
    Family m_family;
    int m_listener = -1;
    int m_port = 0;
    int m_stopPipe[2] = {-1, -1};
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<ReceivedRequest> m_requests;
    std::vector<std::thread> m_connectionThreads;
    int m_connections = 0;
};

} // namespace murmelo::test
