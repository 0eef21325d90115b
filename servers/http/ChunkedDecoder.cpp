#include "servers/http/ChunkedDecoder.h"

#include <algorithm>

#include "platform/core/Text.h"
#include "servers/http/HeaderSyntax.h"
#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

namespace {

// A complete line of `input` from `start` without its line break, or nothing
// while its line break has not arrived; `next` is where the following line
// begins.
Result<std::optional<std::string_view>> nextLine(std::string_view input, size_t start, size_t maxBytes,
                                                 size_t& next) {
    size_t newline = input.find('\n', start);
    size_t end = newline == std::string_view::npos ? input.size() : newline;
    std::string_view line = input.substr(start, end - start);
    if (newline != std::string_view::npos && !line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.size() > maxBytes) {
        return httpRefusal(400, "chunk line too long");
    }
    if (newline == std::string_view::npos) {
        return std::optional<std::string_view>();
    }
    if (line.find('\r') != std::string_view::npos) {
        return httpRefusal(400, "bare CR in chunked body");
    }
    next = newline + 1;
    return std::optional<std::string_view>(line);
}

} // namespace

Result<size_t> ChunkedDecoder::decode(std::string_view input, std::string& body) {
    size_t used = 0;
    while (used < input.size() && m_state != State::Done) {
        if (m_state == State::Data) {
            size_t take = static_cast<size_t>(std::min<std::uint64_t>(m_remaining, input.size() - used));
            body.append(input.data() + used, take);
            used += take;
            m_remaining -= take;
            if (m_remaining == 0) {
                m_state = State::DataEnd;
            }
            continue;
        }
        size_t next = 0;
        MURMELO_TRY_VALUE(std::optional<std::string_view> line,
                          nextLine(input, used, m_limits.maxLineBytes, next));
        if (!line) {
            break;
        }
        used = next;
        switch (m_state) {
        case State::Size: {
            std::string_view size = *line;
            size_t digits = 0;
            std::uint64_t value = 0;
            while (digits < size.size() && text::isHexDigit(size[digits])) {
                value = value * 16 + static_cast<std::uint64_t>(text::hexDigitValue(size[digits]));
                if (value > m_limits.maxBodyBytes) {
                    return httpRefusal(413, "request body too large");
                }
                ++digits;
            }
            std::string_view rest = trimBlanks(size.substr(digits));
            if (digits == 0 || (!rest.empty() && rest.front() != ';')) {
                return httpRefusal(400, "malformed chunk size");
            }
            for (char c : rest) {
                auto byte = static_cast<unsigned char>(c);
                if ((byte < 0x20 && byte != '\t') || byte == 0x7f) {
                    return httpRefusal(400, "control character in chunk extension");
                }
            }
            if (body.size() + value > m_limits.maxBodyBytes) {
                return httpRefusal(413, "request body too large");
            }
            m_remaining = value;
            m_state = value == 0 ? State::Trailer : State::Data;
            break;
        }
        case State::DataEnd:
            if (!line->empty()) {
                return httpRefusal(400, "chunk data longer than its size");
            }
            m_state = State::Size;
            break;
        case State::Trailer:
            if (line->empty()) {
                m_state = State::Done;
                break;
            }
            if (++m_trailerFields > m_limits.maxTrailerFields) {
                return httpRefusal(400, "too many trailer fields");
            }
            MURMELO_TRY_VOID(splitHeaderLine(*line));
            break;
        case State::Data:
        case State::Done:
            break;
        }
    }
    return used;
}

} // namespace murmelo::servers
