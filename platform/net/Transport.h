// Transport: one HTTP/1.x exchange over libcurl, driven by the run loop of
// the thread that opens it — the device's stand-in for the platform's HTTP
// read stream. It sends the request message as given and hands the reply
// back as a head and a stream of body bytes.
//
//   auto transport = Transport::create(std::move(message));        // checks the message
//   if (!transport) fail((*transport).error());
//   auto opened = (*transport)->open("MyMode", [&](Transport::Event event) {
//       if (event == Transport::Event::BytesAvailable) (*transport)->readInto(body, 65536);
//   });
//   while (!done) RunLoop::current().runMode("MyMode", RunLoop::dateAfter(0.25));
//
// What goes out: exactly the caller's header lines, plus "Host" and, for a
// body, "Content-Length" when the caller did not set them. libcurl adds no
// Accept, no Expect, no Content-Type, no credentials from the URL. Nothing is
// done to the reply: no redirect is followed, no content decoding (a gzip
// body arrives as gzip; chunked framing is removed), no cookie engine — the
// caller owns cookies (CookieStore) and redirects. Connections are kept
// alive and reused by later transports of the same thread. TLS certificates
// are checked unless the message says CertificateCheck::Skip. IPv4 and IPv6.
//
// Routing: the proxy comes from the message, else from the device's proxy
// settings for the URL (ProxySettings); settings that cannot be used make
// open() fail with TransportErrorCode::ProxyUnusable. The connect-to map
// (ConnectToMap::shared() unless another is given) sends the connection for
// host:port elsewhere while the URL, Host and cookies stay. Host names under
// ".invalid" (RFC 6761) fail as not found without any lookup.
//
// Events, in order: OpenCompleted (connected, request about to go out),
// HeaderReceived (response() is set; at most once), BytesAvailable (as long
// as body bytes are buffered; read them with read()/readInto()), then
// exactly one of Completed (every body byte has been read) or Failed (error()
// is set; bytes received before the failure are offered first). Events never
// run synchronously inside open() or read(): they come from the run loop,
// only while it runs one of the modes given to open(), and are not
// re-entered. The callback may close() or destroy the transport.
//
// Flow control: at most kMaxBufferedBytes are buffered; beyond that the
// transfer pauses until the caller reads. A caller that stops reading stalls
// the transfer; one that does not want the rest closes the transport.
//
// Threading: everything on the thread that calls open(), whose run loop
// drives the transfer. Owned by the caller (unique_ptr); destroying it
// aborts the exchange and unregisters its run-loop sources at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/core/Error.h"
#include "platform/core/Result.h"
#include "platform/net/ConnectToMap.h"
#include "platform/net/ProxySettings.h"
#include "platform/net/TransportError.h"
#include "platform/net/TransportRequest.h"
#include "platform/net/TransportResponse.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/UniqueFunction.h"

namespace murmelo {

namespace internal {
class TransportCore;
}

class Transport {
public:
    static constexpr std::size_t kMaxBufferedBytes = 1024 * 1024;

    enum class Event { OpenCompleted, HeaderReceived, BytesAvailable, Completed, Failed };
    using Callback = UniqueFunction<void(Event)>;

    struct Options {
        // Proxy settings to consult; unset: the process environment, read at open().
        std::optional<ProxySettings> proxySettings;
        // Host redirection; null: ConnectToMap::shared(). Must outlive open().
        const ConnectToMap* connectTo = nullptr;
        // Limit on establishing the connection (seconds); 0 or less: libcurl's
        // default of 300 s. The caller's own inactivity limit usually ends a
        // stalled exchange much earlier.
        double connectTimeout = 0;
    };

    // Checks the message (TransportRequest::validate) and makes the transfer.
    static Result<std::unique_ptr<Transport>> create(TransportRequest request);
    static Result<std::unique_ptr<Transport>> create(TransportRequest request, Options options);

    ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // Routes the request (proxy, connect-to), schedules the transfer on the
    // calling thread's run loop in `modes` and starts it. Fails with
    // ProxyUnusable or SetupFailed; then no event follows. Only once.
    Result<void> open(const RunLoopModes& modes, Callback callback);
    // Aborts the exchange; no event follows. Safe from inside the callback
    // and more than once. The connection is not reused unless it was done.
    void close();

    const TransportRequest& request() const;
    // The reply head, once HeaderReceived was delivered.
    const std::optional<TransportResponse>& response() const;
    // The failure, once Failed was delivered.
    const std::optional<Error>& error() const;

    // Buffered body bytes not read yet.
    std::size_t bytesAvailable() const;
    // Copies up to `maxLength` buffered body bytes; returns how many.
    std::size_t read(std::uint8_t* buffer, std::size_t maxLength);
    // Appends up to `maxLength` buffered body bytes to `out`; returns how many.
    std::size_t readInto(Data& out, std::size_t maxLength);

    // Request body bytes written to the connection so far.
    std::uint64_t bodyBytesSent() const;
    // Reply body bytes received so far (read or still buffered).
    std::uint64_t bodyBytesReceived() const;
    // Whether the connection is established (OpenCompleted was reached).
    bool isConnected() const;
    // Whether this exchange ran on a connection an earlier one left open.
    bool reusedConnection() const;

private:
    explicit Transport(std::unique_ptr<internal::TransportCore> core);
    std::unique_ptr<internal::TransportCore> m_core;
};

const char* toString(Transport::Event event);

} // namespace murmelo
