// ChunkedDecoder: decodes a chunked request body (RFC 9112 section 7.1) as
// its bytes arrive.
//
//   ChunkedDecoder decoder(limits);
//   auto used = decoder.decode(received, body); // appends to body
//   if (!used) refuse(used.error().code());      // 400 or 413
//   received.erase(0, *used);                   // keep the rest for later
//   if (decoder.done()) ...                     // bytes after `used` belong to the next request
//
// Bounded: the decoded body stops at Limits::maxBodyBytes (413, decided from
// a chunk's size line before its data arrives); a size line or trailer line
// is at most Limits::maxLineBytes and the trailer holds at most
// Limits::maxTrailerFields fields (400). Trailer fields are checked and
// dropped. Chunk extensions are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/Result.h"

namespace murmelo::servers {

class ChunkedDecoder {
public:
    struct Limits {
        size_t maxBodyBytes = 1 << 20;
        size_t maxLineBytes = 8 * 1024;
        size_t maxTrailerFields = 100;
    };

    explicit ChunkedDecoder(Limits limits) : m_limits(limits) {}

    // Decodes what it can of `input`, appending data to `body`. Gives the
    // number of bytes of `input` used; the rest (an incomplete line, or what
    // follows the body) is for the next call or the next request. An error's
    // code is the status to answer.
    Result<size_t> decode(std::string_view input, std::string& body);
    bool done() const { return m_state == State::Done; }

private:
    enum class State { Size, Data, DataEnd, Trailer, Done };
    Limits m_limits;
    State m_state = State::Size;
    std::uint64_t m_remaining = 0; // of the current chunk's data
    size_t m_trailerFields = 0;
};

} // namespace murmelo::servers
