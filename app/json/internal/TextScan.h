// Byte scanning shared by the JSON reader and writer: finding the end of a run
// of plain string bytes and checking UTF-8 sequences. Pure functions on
// caller-owned memory; never read at or past `end`.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace murmelo::json_internal {

#if defined(__SSE2__)
// One bit for each of the 16 bytes of `v` that is not plain: a quote,
// backslash, control byte or byte of 0x80 and above.
inline unsigned notPlainMask(__m128i v) {
    __m128i hits = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))),
        // Signed: below 0x20 are the control bytes and, as negative
        // numbers, every byte from 0x80 up.
        _mm_cmplt_epi8(v, _mm_set1_epi8(0x20)));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

// The first byte in [p, end) that ends a plain run: the quote, the backslash,
// a byte below 0x20 or a byte of 0x80 and above (the caller checks those as
// UTF-8 and carries on). `end` when there is none.
inline const char* findRunStop(const char* p, const char* end) {
#if defined(__SSE2__)
    while (end - p >= 16) {
        unsigned mask = notPlainMask(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        if (mask != 0) {
            return p + __builtin_ctz(mask);
        }
        p += 16;
    }
#endif
    while (p < end) {
        auto byte = static_cast<unsigned char>(*p);
        if (byte == '"' || byte == '\\' || byte < 0x20 || byte >= 0x80) {
            return p;
        }
        ++p;
    }
    return end;
}

#if defined(__SSE2__)
// Copies the 16 bytes at `from` to `to` and tells whether the first `length`
// of them (at most 16) are all plain. Both must have 16 bytes to read or
// write; the bytes past `length` are copied but not judged.
inline bool copySixteenIfPlain(const char* from, size_t length, char* to) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), v);
    return (notPlainMask(v) & ((1u << length) - 1)) == 0;
}

// The same for 16 to 32 bytes, as two loads that overlap in the middle, so
// nothing past `from + length` is read. `to` must have 32 bytes to write.
inline bool copyUpToThirtyTwoIfPlain(const char* from, size_t length, char* to) {
    __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + length - 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), head);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + length - 16), tail);
    return (notPlainMask(head) | notPlainMask(tail)) == 0;
}
#endif

// Length of the well-formed UTF-8 sequence (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF) that starts at p with a byte of 0x80 or
// above; 0 when the bytes there are not one.
inline size_t utf8SequenceLength(const char* p, const char* end) {
    auto at = [&](size_t i) -> unsigned { return static_cast<unsigned char>(p[i]); };
    auto available = static_cast<size_t>(end - p);
    unsigned lead = at(0);
    size_t length;
    unsigned low = 0x80;
    unsigned high = 0xBF; // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0; // shorter forms are overlong
        } else if (lead == 0xED) {
            high = 0x9F; // D800..DFFF are surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F; // nothing above U+10FFFF
        }
    } else {
        return 0;
    }
    if (available < length) {
        return 0;
    }
    if (at(1) < low || at(1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if ((at(i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

} // namespace murmelo::json_internal
