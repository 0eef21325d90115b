// What a URL connection reads from a server besides the transport's own
// parsing: authenticate fields and compressed bodies. Neither may crash;
// decoded pieces stay within their bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "platform/net/URLConnectionAuthentication.h"
#include "platform/net/internal/URLConnectionDecoder.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& challenge : parseAuthenticateChallenges(text)) {
        if (challenge.scheme.empty() || challenge.scheme.size() > size) {
            std::abort();
        }
    }
    for (const char* coding : {"gzip", "deflate"}) {
        auto decoder = internal::URLConnectionDecoder::forContentEncoding(coding);
        if (!decoder) {
            std::abort();
        }
        std::size_t total = 0;
        (void)decoder->decode(std::span<const std::uint8_t>(data, size), [&](const Data& piece) {
            if (piece.empty() || piece.size() > internal::URLConnectionDecoder::kPieceSize) {
                std::abort();
            }
            total += piece.size();
            return total < 64 * 1024 * 1024; // a bomb is cut off by the sink, not by memory
        });
        (void)decoder->finish();
    }
    return 0;
}
