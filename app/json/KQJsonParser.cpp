#include "app/json/KQJsonParser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>

#include "app/json/internal/TextScan.h"
#include "platform/core/Text.h"

namespace murmelo {

namespace {

using json_internal::findRunStop;
using json_internal::utf8SequenceLength;

// Keys of one object compared one by one, at most, to find a repeated one.
constexpr size_t kMostKeysCompared = 32;
// Significant digits that fit an unsigned 64-bit accumulator whatever they are.
constexpr int kFastDigits = 19;
// Exponents the fast number path hands straight to Decimal::make; anything
// wider goes through Decimal::fromString, which owns the clamping rules.
constexpr long kFastExponent = 1000;

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// Eight bytes at once, first byte lowest (x86-64 is little-endian).
std::uint64_t loadEight(const char* p) {
    std::uint64_t chunk;
    std::memcpy(&chunk, p, sizeof chunk);
    return chunk;
}

constexpr std::uint64_t kZeros = 0x3030303030303030ULL;
constexpr std::uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ULL;

// How many of the eight bytes, first byte on, are '0'..'9'. Per byte, the
// high nibble is 3 and stays 3 after adding 6 only for a digit; a carry out
// of a byte comes only from a non-digit, so it cannot hide the first one.
int leadingDigits(std::uint64_t chunk) {
    std::uint64_t other =
        ((chunk & kHighNibbles) ^ kZeros) | (((chunk + 0x0606060606060606ULL) & kHighNibbles) ^ kZeros);
    return other == 0 ? 8 : __builtin_ctzll(other) / 8;
}

constexpr std::uint64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The eight decimal digits' value: pairs, then fours, then the eight.
std::uint64_t eightDigitValue(std::uint64_t chunk) {
    std::uint64_t v = chunk - kZeros;
    v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFULL;
    v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFULL;
    return (v * 10000 + (v >> 32)) & 0xFFFFFFFFULL;
}

std::string withByte(const char* format, unsigned byte) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, byte);
    return buffer;
}

} // namespace

Result<Value> KQJsonParser::objectWithString(std::optional<std::string_view> text) {
    Result<Value> result = read(text);
    if (result && !result->isDictionary() && !result->isArray()) {
        addErrorWithCode(KQJsonErrorCode::NotContainer, "Valid fragment, but not JSON");
        return lastError();
    }
    return result;
}

Result<Value> KQJsonParser::fragmentWithString(std::optional<std::string_view> text) {
    return read(text);
}

Result<Value> KQJsonParser::read(std::optional<std::string_view> text) {
    clearErrorTrace();
    resetDepth();
    m_position = 0;
    if (!text) {
        addErrorWithCode(KQJsonErrorCode::NoInput, "Input was 'nil'");
        return failure();
    }
    static const char kEmpty[] = "";
    m_begin = text->empty() ? kEmpty : text->data();
    const void* zero = text->empty() ? nullptr : std::memchr(m_begin, 0, text->size());
    m_end = zero ? static_cast<const char*>(zero) : m_begin + text->size();
    m_p = m_begin;

    Value value;
    {
        // The document's buffers share a few blocks instead of one heap
        // allocation each.
        ValueArena arena(static_cast<size_t>(m_end - m_begin));
        if (!readValue(value)) {
            return failure();
        }
        skipWhitespace();
        if (!atEnd()) {
            addErrorWithCode(KQJsonErrorCode::TrailingGarbage, "Garbage after JSON");
            return failure();
        }
    }
    // Every buffer still alive in the arena's blocks is in the document (the
    // scratch stacks are empty and their buffers are not the arena's), so
    // freeing it can give the blocks back without walking it.
    value.sealAsDocument();
    m_position = static_cast<size_t>(m_p - m_begin);
    return value;
}

Error KQJsonParser::failure() {
    m_position = m_p ? static_cast<size_t>(m_p - m_begin) : 0;
    m_stack.clear();
    m_elements.clear();
    m_members.clear();
    return lastError();
}

Array KQJsonParser::closeArray() {
    size_t base = m_stack.back().base;
    m_stack.pop_back();
    auto first = m_elements.begin() + static_cast<std::ptrdiff_t>(base);
    Array array(std::make_move_iterator(first), std::make_move_iterator(m_elements.end()));
    m_elements.erase(first, m_elements.end());
    return array;
}

// A repeated key keeps its first position and takes the last value: the
// platform dictionary's set does exactly that.
Dictionary KQJsonParser::closeObject() {
    const Frame frame = m_stack.back();
    m_stack.pop_back();
    auto first = m_members.begin() + static_cast<std::ptrdiff_t>(frame.base);
    Dictionary::Entries entries(std::make_move_iterator(first), std::make_move_iterator(m_members.end()));
    m_members.erase(first, m_members.end());
    if (!frame.keyRepeated) {
        return Dictionary(std::move(entries), Dictionary::KeysAreUnique{});
    }
    return Dictionary(std::move(entries));
}

void KQJsonParser::skipWhitespace() {
    while (m_p < m_end) {
        switch (*m_p) {
        case ' ':
        case '\t':
        case '\n':
        case '\v':
        case '\f':
        case '\r':
            ++m_p;
            break;
        default:
            return;
        }
    }
}

// One value, containers included, without recursion: open containers live on
// m_stack. The steps mirror a recursive reader exactly, including the error
// each enclosing level adds when something inside it fails. Each value is
// built once, in its container's scratch stack (or the result), not moved
// through a temporary.
bool KQJsonParser::readValue(Value& result) {
    m_stack.clear();
    m_result = &result;
    Step step = Step::Value;
    for (;;) {
        switch (step) {
        case Step::Value:
            step = beginValue();
            break;
        case Step::ArrayNext:
            step = continueArray();
            break;
        case Step::ObjectNext:
            step = continueObject();
            break;
        case Step::Stored:
            if (m_stack.empty()) {
                return true;
            }
            step = afterItem(m_stack.back().isObject ? '}' : ']');
            break;
        case Step::ContainerFailed:
            m_stack.pop_back();
            [[fallthrough]];
        case Step::ValueFailed:
            addEnclosingErrors();
            return false;
        }
    }
}

template <typename T> inline void KQJsonParser::store(T&& value) {
    if (m_stack.empty()) {
        *m_result = Value(std::forward<T>(value));
    } else if (const Frame& top = m_stack.back(); top.isObject) {
        // The member's value is still the null it was made with.
        Value& slot = m_members[top.member].second;
        std::destroy_at(&slot);
        std::construct_at(&slot, std::forward<T>(value));
    } else {
        m_elements.emplace_back(std::forward<T>(value));
    }
}

inline ValueString& KQJsonParser::storeString() {
    store(ValueString());
    if (m_stack.empty()) {
        return *m_result->asString();
    }
    const Frame& top = m_stack.back();
    return *(top.isObject ? m_members[top.member].second : m_elements.back()).asString();
}

inline KQJsonParser::Step KQJsonParser::beginValue() {
    skipWhitespace();
    if (atEnd()) {
        addErrorWithCode(KQJsonErrorCode::EndOfInput, "Unexpected end of string");
        return Step::ValueFailed;
    }
    char lead = *m_p++;
    switch (lead) {
    case '"':
        return readString(storeString()) ? Step::Stored : Step::ValueFailed;
    case '[':
    case '{':
        return openContainer(lead);
    case 'n':
        return readKeyword("ull", Value(), "Expected 'null'");
    case 't':
        return readKeyword("rue", Value(true), "Expected 'true'");
    case 'f':
        return readKeyword("alse", Value(false), "Expected 'false'");
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9': {
        --m_p;
        return readNumber() ? Step::Stored : Step::ValueFailed;
    }
    case '+':
        addErrorWithCode(KQJsonErrorCode::BadNumber, "Leading + disallowed in number");
        return Step::ValueFailed;
    default:
        addErrorWithCode(KQJsonErrorCode::BadSyntax, "Unrecognised leading character");
        return Step::ValueFailed;
    }
}

// The "[" or "{" is consumed.
inline KQJsonParser::Step KQJsonParser::openContainer(char bracket) {
    bool isObject = bracket == '{';
    if (!enterContainer()) {
        return Step::ValueFailed;
    }
    size_t base = isObject ? m_members.size() : m_elements.size();
    m_stack.push_back(Frame{base, base, isObject, false, 0});
    return isObject ? Step::ObjectNext : Step::ArrayNext;
}

// null, true or false, whose first letter is consumed.
inline KQJsonParser::Step KQJsonParser::readKeyword(std::string_view rest, Value value,
                                                    const char* expected) {
    if (!readLiteral(rest)) {
        addErrorWithCode(KQJsonErrorCode::BadSyntax, expected);
        return Step::ValueFailed;
    }
    store(std::move(value));
    return Step::Stored;
}

inline KQJsonParser::Step KQJsonParser::continueArray() {
    if (atEnd()) {
        addErrorWithCode(KQJsonErrorCode::EndOfInput, "End of input while parsing array");
        return Step::ContainerFailed;
    }
    skipWhitespace();
    if (peek() != ']') {
        return Step::Value;
    }
    ++m_p;
    leaveContainer();
    // Built straight into its place: closeArray has left the array's level.
    store(closeArray());
    return Step::Stored;
}

inline KQJsonParser::Step KQJsonParser::continueObject() {
    if (atEnd()) {
        addErrorWithCode(KQJsonErrorCode::EndOfInput, "End of input while parsing object");
        return Step::ContainerFailed;
    }
    skipWhitespace();
    unsigned char next = peek();
    if (next == '}') {
        ++m_p;
        leaveContainer();
        store(closeObject());
        return Step::Stored;
    }
    if (next != '"') {
        addErrorWithCode(KQJsonErrorCode::BadSyntax, "Object key string expected");
        return Step::ContainerFailed;
    }
    ++m_p;
    Frame& frame = m_stack.back();
    frame.member = m_members.size();
    ValueString& key = m_members.emplace_back().first;
    if (!readString(key)) {
        addErrorWithCode(KQJsonErrorCode::BadSyntax, "Object key string expected");
        return Step::ContainerFailed;
    }
    std::uint64_t fingerprint = Dictionary::keyFingerprint(key);
    if ((frame.keyFingerprints & fingerprint) != 0 && !frame.keyRepeated) {
        // Past a few dozen keys every fingerprint is taken: leave a large
        // object to the dictionary's own hashed check.
        frame.keyRepeated = frame.member - frame.base >= kMostKeysCompared || keyReadBefore(frame);
    }
    frame.keyFingerprints |= fingerprint;
    skipWhitespace();
    if (peek() != ':') {
        addErrorWithCode(KQJsonErrorCode::BadSyntax, "Expected ':' separating key and value");
        return Step::ContainerFailed;
    }
    ++m_p;
    return Step::Value;
}

// Whether the key just read (the frame's last member) is one of the frame's
// earlier keys. Asked only when fingerprints say it may be.
bool KQJsonParser::keyReadBefore(const Frame& frame) const {
    const ValueString& key = m_members[frame.member].first;
    for (size_t i = frame.base; i < frame.member; ++i) {
        if (m_members[i].first == key) {
            return true;
        }
    }
    return false;
}

// After an element or member: a "," (not just before `close`) or `close`
// itself, which the container's next step consumes.
inline KQJsonParser::Step KQJsonParser::afterItem(char close) {
    const bool inObject = close == '}';
    skipWhitespace();
    unsigned char next = peek();
    if (next == ',') {
        ++m_p;
        skipWhitespace();
        if (peek() == close) {
            addErrorWithCode(KQJsonErrorCode::TrailingComma, inObject ? "Trailing comma disallowed in object"
                                                                      : "Trailing comma disallowed in array");
            return Step::ContainerFailed;
        }
    } else if (next != close && next != 0) {
        addErrorWithCode(KQJsonErrorCode::BadSyntax, inObject ? "Expected ',' or '}' after object member"
                                                              : "Expected ',' or ']' after array element");
        return Step::ContainerFailed;
    }
    return inObject ? Step::ObjectNext : Step::ArrayNext;
}

// Innermost first, as a recursive reader's levels would return.
void KQJsonParser::addEnclosingErrors() {
    for (size_t i = m_stack.size(); i-- > 0;) {
        if (m_stack[i].isObject) {
            addErrorWithCode(KQJsonErrorCode::BadSyntax,
                             "Object value expected for key: " + m_members[m_stack[i].member].first.str());
        } else {
            addErrorWithCode(KQJsonErrorCode::BadSyntax, "Expected value while parsing array");
        }
    }
}

bool KQJsonParser::readLiteral(std::string_view rest) {
    if (static_cast<size_t>(m_end - m_p) < rest.size() || std::memcmp(m_p, rest.data(), rest.size()) != 0) {
        return false;
    }
    m_p += rest.size();
    return true;
}

// The opening quote is consumed. Plain bytes are appended a whole run at a
// time; a run ends only at a quote, a backslash, a control byte or the end.
template <typename Text> bool KQJsonParser::readString(Text& out) {
    out.clear();
    for (;;) {
        const char* run = m_p;
        for (;;) {
            m_p = findRunStop(m_p, m_end);
            if (m_p == m_end || static_cast<unsigned char>(*m_p) < 0x80) {
                break;
            }
            size_t length = utf8SequenceLength(m_p, m_end);
            if (length == 0) {
                addErrorWithCode(KQJsonErrorCode::InvalidUtf8, withByte("Invalid UTF-8 byte '0x%x' in string",
                                                                        static_cast<unsigned char>(*m_p)));
                return false;
            }
            m_p += length;
        }
        out.append(run, static_cast<size_t>(m_p - run));
        unsigned char stop = peek();
        if (stop == '"') {
            ++m_p;
            return true;
        }
        if (stop != '\\') {
            addErrorWithCode(KQJsonErrorCode::ControlCharacter,
                             withByte("Unescaped control character '0x%x'", stop));
            return false;
        }
        ++m_p;
        if (!readEscape(out)) {
            return false;
        }
        if (atEnd()) {
            addErrorWithCode(KQJsonErrorCode::EndOfInput, "Unexpected EOF while parsing string");
            return false;
        }
    }
}

// The backslash is consumed; on success the read position is past the escape.
template <typename Text> bool KQJsonParser::readEscape(Text& out) {
    unsigned char escape = peek();
    char plain;
    switch (escape) {
    case '"':
    case '/':
    case '\\':
        plain = static_cast<char>(escape);
        break;
    case 'b':
        plain = '\b';
        break;
    case 'f':
        plain = '\f';
        break;
    case 'n':
        plain = '\n';
        break;
    case 'r':
        plain = '\r';
        break;
    case 't':
        plain = '\t';
        break;
    case 'u':
        ++m_p;
        if (!readUnicodeEscape(out)) {
            addErrorWithCode(KQJsonErrorCode::BadUnicodeEscape, "Broken unicode character");
            return false;
        }
        return true;
    default:
        addErrorWithCode(KQJsonErrorCode::BadEscape, withByte("Illegal escape sequence '0x%x'", escape));
        return false;
    }
    out.push_back(plain);
    ++m_p;
    return true;
}

bool KQJsonParser::readHexQuad(std::uint32_t& out) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        int digit = text::hexDigitValue(static_cast<char>(peek()));
        if (digit < 0) {
            addErrorWithCode(KQJsonErrorCode::BadUnicodeEscape, "Missing hex digit in quad");
            return false;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
        ++m_p;
    }
    out = value;
    return true;
}

// The "\u" is consumed.
template <typename Text> bool KQJsonParser::readUnicodeEscape(Text& out) {
    std::uint32_t high;
    if (!readHexQuad(high)) {
        addErrorWithCode(KQJsonErrorCode::BadUnicodeEscape, "Missing hex quad");
        return false;
    }
    std::uint32_t codePoint = high;
    if (high >= 0xDC00 && high <= 0xDFFF) {
        addErrorWithCode(KQJsonErrorCode::BadUnicodeEscape, "Invalid high character in surrogate pair");
        return false;
    }
    if (high >= 0xD800 && high <= 0xDBFF) {
        std::uint32_t low;
        bool escaped = m_end - m_p >= 2 && m_p[0] == '\\' && m_p[1] == 'u';
        if (escaped) {
            m_p += 2;
        }
        if (!escaped || !readHexQuad(low)) {
            addErrorWithCode(KQJsonErrorCode::BadUnicodeEscape, "Missing low character in surrogate pair");
            return false;
        }
        if (low < 0xDC00 || low > 0xDFFF) {
            addErrorWithCode(KQJsonErrorCode::BadUnicodeEscape, "Invalid low surrogate char");
            return false;
        }
        codePoint = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    }
    text::appendUtf8(out, codePoint);
    return true;
}

// The read position is on the number's first byte ("-" or a digit); the
// number is stored where it belongs, built in place. One pass
// checks the syntax and gathers the significant digits; when they fit 19
// (and so 64 bits) the value comes from Decimal::make with the same mantissa
// and exponent that Decimal::fromString would build, otherwise from
// Decimal::fromString itself.
bool KQJsonParser::readNumber() {
    const char* const start = m_p;
    const char* p = m_p;
    const char* const end = m_end;
    auto digitAt = [&](const char* at) { return at < end && isDigit(static_cast<unsigned char>(*at)); };
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    std::uint64_t mantissa = 0;
    int significant = 0; // digits from the first non-zero one on
    long exponent = 0;
    // A run of digits (at least one at p) into the mantissa, up to eight at a
    // time while they surely fit.
    auto gatherRun = [&] {
        while (end - p >= 8 && significant <= kFastDigits - 8) {
            std::uint64_t chunk = loadEight(p);
            int digits = leadingDigits(chunk);
            if (digits == 0) {
                return;
            }
            // The digits moved to the top, '0's below them: the same value.
            int shift = 8 * (8 - digits);
            std::uint64_t aligned = digits == 8 ? chunk : (chunk << shift) | (kZeros >> (64 - shift));
            std::uint64_t value = eightDigitValue(aligned);
            if (mantissa != 0) {
                significant += digits;
            } else if (value != 0) {
                // Leading '0' bytes are zero after the XOR.
                significant = digits - __builtin_ctzll(chunk ^ kZeros) / 8;
            }
            mantissa = mantissa * kPowersOfTen[digits] + value;
            p += digits;
            if (digits < 8) {
                return;
            }
        }
        while (digitAt(p)) {
            unsigned digit = static_cast<unsigned>(*p - '0');
            if (significant < kFastDigits) {
                mantissa = mantissa * 10 + digit;
                significant += mantissa != 0;
            } else {
                ++significant; // past the fast path; only the count matters now
            }
            ++p;
        }
    };
    if (p < end && *p == '0') {
        ++p;
        if (digitAt(p)) {
            m_p = p;
            addErrorWithCode(KQJsonErrorCode::BadNumber, "Leading 0 disallowed in number");
            return false;
        }
    } else {
        if (!digitAt(p)) {
            m_p = p;
            addErrorWithCode(KQJsonErrorCode::BadNumber, "No digits after initial minus");
            return false;
        }
        gatherRun();
    }
    if (p < end && *p == '.') {
        ++p;
        if (!digitAt(p)) {
            m_p = p;
            addErrorWithCode(KQJsonErrorCode::BadNumber, "No digits after decimal point");
            return false;
        }
        const char* fraction = p;
        gatherRun();
        exponent = -(p - fraction);
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool exponentNegative = false;
        if (p < end && (*p == '+' || *p == '-')) {
            exponentNegative = *p == '-';
            ++p;
        }
        if (!digitAt(p)) {
            m_p = p;
            addErrorWithCode(KQJsonErrorCode::BadNumber, "No digits after exponent");
            return false;
        }
        long written = 0;
        do {
            if (written <= kFastExponent) {
                written = written * 10 + (*p - '0');
            }
            ++p;
        } while (digitAt(p));
        exponent += exponentNegative ? -written : written;
    }
    m_p = p;

    const bool gathered =
        significant <= kFastDigits && exponent >= -kFastExponent && exponent <= kFastExponent;
    if (gathered && Decimal::isSmall(mantissa, static_cast<int>(exponent))) {
        store(Decimal::makeSmall(mantissa, static_cast<int>(exponent), negative));
        return true;
    }
    std::optional<Decimal> decimal;
    if (gathered) {
        decimal = Decimal::make(mantissa, static_cast<int>(exponent), negative);
    } else {
        decimal = Decimal::fromString(std::string_view(start, static_cast<size_t>(p - start)));
    }
    if (!decimal) {
        addErrorWithCode(KQJsonErrorCode::BadNumber, "Failed creating decimal instance");
        return false;
    }
    store(*decimal);
    return true;
}

} // namespace murmelo
