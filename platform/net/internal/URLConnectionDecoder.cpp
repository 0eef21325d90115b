#include "platform/net/internal/URLConnectionDecoder.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <zlib.h>

namespace murmelo::internal {

struct URLConnectionDecoder::Stream {
    z_stream z{};
    bool live = false;
    ~Stream() {
        if (live) {
            inflateEnd(&z);
        }
    }
};

namespace {
std::string normalized(std::string_view text) {
    std::string value;
    for (char c : text) {
        if (c != ' ' && c != '\t') {
            value += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return value;
}
} // namespace

std::unique_ptr<URLConnectionDecoder>
URLConnectionDecoder::forContentEncoding(std::string_view contentEncoding) {
    std::string coding = normalized(contentEncoding);
    std::unique_ptr<URLConnectionDecoder> decoder;
    if (coding == "gzip" || coding == "x-gzip") {
        decoder.reset(new URLConnectionDecoder(Kind::Gzip));
        if (!decoder->reset(16 + MAX_WBITS)) {
            return nullptr;
        }
    } else if (coding == "deflate") {
        decoder.reset(new URLConnectionDecoder(Kind::Deflate));
        if (!decoder->reset(MAX_WBITS)) {
            return nullptr;
        }
    }
    return decoder;
}

URLConnectionDecoder::URLConnectionDecoder(Kind kind) : m_kind(kind) {}
URLConnectionDecoder::~URLConnectionDecoder() = default;

bool URLConnectionDecoder::reset(int windowBits) {
    m_stream = std::make_unique<Stream>();
    if (inflateInit2(&m_stream->z, windowBits) != Z_OK) {
        return false;
    }
    m_stream->live = true;
    return true;
}

Result<void> URLConnectionDecoder::decode(std::span<const std::uint8_t> input, const Sink& sink) {
    if (m_ended || input.empty()) {
        return Result<void>::success();
    }
    m_sawInput = true;
    if (m_kind == Kind::Deflate && !m_producedOutput && !m_triedRaw) {
        m_consumedPrefix.insert(m_consumedPrefix.end(), input.begin(), input.end());
    }
    Data piece(kPieceSize);
    z_stream& z = m_stream->z;
    z.next_in = const_cast<Bytef*>(input.data());
    z.avail_in = static_cast<uInt>(input.size());
    while (true) {
        z.next_out = piece.data();
        z.avail_out = static_cast<uInt>(piece.size());
        int status = inflate(&z, Z_NO_FLUSH);
        size_t produced = piece.size() - z.avail_out;
        if (status == Z_DATA_ERROR && m_kind == Kind::Deflate && !m_producedOutput && !m_triedRaw) {
            // Not zlib-wrapped: start over on the same bytes as raw deflate.
            m_triedRaw = true;
            Data replay = std::move(m_consumedPrefix);
            if (!reset(-MAX_WBITS)) {
                return Error::generic("cannot start inflating");
            }
            return decode(replay, sink);
        }
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            return Error::generic(std::string("damaged compressed body: ") +
                                  (z.msg ? z.msg : "inflate failed"));
        }
        if (produced > 0) {
            m_producedOutput = true;
            m_consumedPrefix.clear();
            Data out(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(produced));
            if (!sink(out)) {
                return Result<void>::success();
            }
        }
        if (status == Z_STREAM_END) {
            m_ended = true;
            return Result<void>::success();
        }
        if (z.avail_in == 0 && produced < piece.size()) {
            return Result<void>::success(); // needs more input
        }
        if (status == Z_BUF_ERROR && produced == 0) {
            return Result<void>::success();
        }
    }
}

Result<void> URLConnectionDecoder::finish() const {
    if (m_sawInput && !m_ended) {
        return Error::generic("compressed body cut short");
    }
    return Result<void>::success();
}

} // namespace murmelo::internal
