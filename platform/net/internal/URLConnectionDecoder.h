// The content decoder of URL connections: gzip (also "x-gzip") and deflate
// (zlib-wrapped, or raw as some servers send it) as a stream, handing the
// decoded bytes out in pieces of at most kPieceSize so a small body that
// inflates hugely never sits in memory whole.
//
// Threading: one decoder per load, used by one thread. Input is untrusted:
// damage gives an error, never a crash.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo::internal {

class URLConnectionDecoder {
public:
    static constexpr size_t kPieceSize = 64 * 1024;
    using Sink = std::function<bool(const Data& piece)>; // false: stop decoding

    // A decoder for a Content-Encoding value; nothing for identity, an empty
    // value or a coding it does not know (the body is then passed on as is).
    static std::unique_ptr<URLConnectionDecoder> forContentEncoding(std::string_view contentEncoding);
    ~URLConnectionDecoder();
    URLConnectionDecoder(const URLConnectionDecoder&) = delete;
    URLConnectionDecoder& operator=(const URLConnectionDecoder&) = delete;

    // Decodes `input`, calling `sink` for each piece. An error for damaged
    // data. Bytes after the end of the compressed stream are ignored.
    Result<void> decode(std::span<const std::uint8_t> input, const Sink& sink);
    // At the end of the body: an error when the compressed stream was cut short.
    Result<void> finish() const;

private:
    enum class Kind { Gzip, Deflate };
    explicit URLConnectionDecoder(Kind kind);
    bool reset(int windowBits);

    struct Stream;
    Kind m_kind;
    std::unique_ptr<Stream> m_stream;
    bool m_ended = false;
    bool m_sawInput = false;
    bool m_producedOutput = false;
    bool m_triedRaw = false;
    Data m_consumedPrefix; // deflate input kept until the wrapper is known
};

} // namespace murmelo::internal
