#include "app/json/KQJsonWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/json/internal/DigitsOut.h"
#include "app/json/internal/TextOut.h"
#include "app/json/internal/TextScan.h"

namespace murmelo {

namespace {

using json_internal::findRunStop;
using json_internal::TextOut;
using json_internal::utf8SequenceLength;

constexpr size_t kOutputCapacity = 128;

// The same text as Decimal::stringValue() (plain notation, no exponent), with
// the common case of a mantissa that fits 64 bits done without 128-bit
// division and written in place.
void appendDecimal(const Decimal& decimal, TextOut& out) {
    Decimal::Mantissa mantissa = decimal.mantissa();
    if (mantissa > static_cast<Decimal::Mantissa>(UINT64_MAX)) {
        out.append(decimal.stringValue());
        return;
    }
    if (mantissa == 0) {
        out.put('0');
        return;
    }
    int exponent = decimal.exponent();
    if (exponent == 0) {
        out.reserve(1 + json_internal::kUnsignedRoom);
        out.advance(json_internal::writeSigned(out.cursor(), decimal.isNegative(),
                                               static_cast<std::uint64_t>(mantissa)));
        return;
    }
    char digits[json_internal::kUnsignedRoom];
    auto count = static_cast<size_t>(
        json_internal::writeUnsigned(digits, static_cast<std::uint64_t>(mantissa)) - digits);
    if (decimal.isNegative()) {
        out.put('-');
    }
    if (exponent > 0) {
        out.append({digits, count});
        out.append(static_cast<size_t>(exponent), '0');
        return;
    }
    auto fraction = static_cast<size_t>(-exponent);
    if (count > fraction) {
        out.append({digits, count - fraction});
        out.put('.');
        out.append({digits + (count - fraction), fraction});
    } else {
        out.append("0.");
        out.append(fraction - count, '0');
        out.append({digits, count});
    }
}

// The first few cache lines of a container's buffer: a small object's members
// span several, and the walk reaches them before the hardware would.
void prefetchLines(const void* data, size_t bytes) {
    const char* p = static_cast<const char*>(data);
    const char* end = p + std::min<size_t>(bytes, 4 * 64);
    for (; p < end; p += 64) {
        __builtin_prefetch(p);
    }
}

// How many members ahead the walk asks for a container's member record:
// enough to cover a memory access while members are written, measured best
// among 2 to 8 on the benchmark documents.
constexpr size_t kMemberPrefetchDistance = 4;

const char* typeName(ValueType type) {
    switch (type) {
    case ValueType::Data:
        return "Data";
    case ValueType::Date:
        return "Date";
    default:
        return "Value";
    }
}

} // namespace

Result<std::string> KQJsonWriter::stringWithObject(const Value& value) {
    if (!value.isDictionary() && !value.isArray()) {
        clearErrorTrace();
        addErrorWithCode(KQJsonErrorCode::NotContainer, "Not valid type for JSON");
        return lastError();
    }
    return begin(&value, nullptr);
}

Result<std::string> KQJsonWriter::stringWithObject(const KQJsonProxy&) {
    clearErrorTrace();
    addErrorWithCode(KQJsonErrorCode::NotContainer, "Not valid type for JSON");
    return lastError();
}

Result<std::string> KQJsonWriter::stringWithFragment(const Value& value) {
    return begin(&value, nullptr);
}

Result<std::string> KQJsonWriter::stringWithFragment(const KQJsonProxy& proxy) {
    return begin(nullptr, &proxy);
}

Result<std::string> KQJsonWriter::begin(const Value* value, const KQJsonProxy* proxy) {
    clearErrorTrace();
    resetDepth();
    // Sized from the previous call, so writing documents of a similar size
    // neither regrows the text nor copies it at the end.
    std::string text;
    text.reserve(std::max(kOutputCapacity, m_lastSize + m_lastSize / 16));
    TextOut out(text);
    std::optional<Value> substitute;
    if (proxy) {
        substitute = proxy->proxyForJson();
        if (!substitute) {
            addErrorWithCode(KQJsonErrorCode::Unsupported,
                             "JSON serialisation not supported for " + proxy->className());
            return failure();
        }
        value = &*substitute;
    }
    if (!writeValue(*value, out)) {
        return failure();
    }
    out.finish();
    m_lastSize = text.size();
    // A much smaller text than the last one gives back what it does not use.
    if (text.capacity() - text.size() > text.size() / 8 + kOutputCapacity) {
        text.shrink_to_fit();
    }
    return text;
}

Error KQJsonWriter::failure() {
    m_stack.clear();
    return lastError();
}

void KQJsonWriter::appendIndent(TextOut& out) const {
    out.put('\n');
    out.append(2 * static_cast<size_t>(depth()), ' ');
}

// Walks the value without recursion: open containers live on m_stack. When a
// value fails, each enclosing object adds the key it was writing.
bool KQJsonWriter::writeValue(const Value& root, TextOut& out) {
    m_stack.clear();
    const Value* value = &root;
    for (;;) {
        ValueType type = value->type();
        if (type == ValueType::Dictionary) {
            const Dictionary* dictionary = value->asDictionary();
            if (!enterContainer()) {
                addEnclosingErrors();
                return false;
            }
            out.put('{');
            const auto& entries = dictionary->entries();
            Frame frame{entries.data(), nullptr, entries.size(), 0, {}, nullptr, true};
            if (m_sortKeys) {
                frame.sorted.reserve(entries.size());
                for (const auto& entry : entries) {
                    frame.sorted.push_back(&entry);
                }
                std::sort(frame.sorted.begin(), frame.sorted.end(),
                          [](const Dictionary::Entry* a, const Dictionary::Entry* b) {
                              return a->first < b->first;
                          });
            }
            m_stack.push_back(std::move(frame));
        } else if (type == ValueType::Array) {
            const Array* array = value->asArray();
            if (!enterContainer()) {
                addEnclosingErrors();
                return false;
            }
            out.put('[');
            m_stack.push_back(Frame{nullptr, array->data(), array->size(), 0, {}, nullptr, false});
        } else if (!writeScalar(*value, out)) {
            addEnclosingErrors();
            return false;
        }

        // Find the next value to write, closing every container that is done.
        value = nullptr;
        while (!value) {
            if (m_stack.empty()) {
                return true;
            }
            Frame& top = m_stack.back();
            bool isObject = top.isObject;
            if (top.next == top.size) {
                leaveContainer();
                if (m_humanReadable && top.size > 0) {
                    appendIndent(out);
                }
                out.put(isObject ? '}' : ']');
                m_stack.pop_back();
                continue;
            }
            if (top.next > 0) {
                out.put(',');
            }
            if (m_humanReadable) {
                appendIndent(out);
            }
            if (!m_sortKeys) {
                // Start the load of the next member's buffer (and key) early:
                // it is a pointer hop away from the entries being walked.
                auto member = [&](size_t i) -> const Value& {
                    return isObject ? top.entries[i].second : top.elements[i];
                };
                // A long container's later members: the walk leaves the
                // buffer for each member's own children, so the hardware
                // does not see a stream and each member was a miss.
                if (top.next + kMemberPrefetchDistance < top.size) {
                    size_t at = top.next + kMemberPrefetchDistance;
                    __builtin_prefetch(isObject ? static_cast<const void*>(&top.entries[at])
                                                : static_cast<const void*>(&top.elements[at]));
                }
                if (top.next + 1 < top.size) {
                    const Value& ahead = member(top.next + 1);
                    if (ahead.type() == ValueType::Dictionary) {
                        const auto& entries = ahead.asDictionary()->entries();
                        prefetchLines(entries.data(), entries.size() * sizeof(Dictionary::Entry));
                    } else if (ahead.type() == ValueType::Array) {
                        const Array& elements = *ahead.asArray();
                        prefetchLines(elements.data(), elements.size() * sizeof(Value));
                    } else if (ahead.type() == ValueType::String) {
                        __builtin_prefetch(ahead.asString()->data());
                    }
                    if (isObject) {
                        __builtin_prefetch(top.entries[top.next + 1].first.data());
                    }
                }
            }
            if (isObject) {
                const Dictionary::Entry& entry = m_sortKeys ? *top.sorted[top.next] : top.entries[top.next];
                top.key = &entry.first;
                if (!writeString(entry.first, out)) {
                    m_stack.pop_back(); // the object fails at its own level
                    addEnclosingErrors();
                    return false;
                }
                out.append(m_humanReadable ? " : " : ":");
                value = &entry.second;
            } else {
                value = &top.elements[top.next];
            }
            ++top.next;
        }
    }
}

void KQJsonWriter::addEnclosingErrors() {
    for (size_t i = m_stack.size(); i-- > 0;) {
        if (m_stack[i].isObject) {
            addErrorWithCode(KQJsonErrorCode::Unsupported,
                             "Unsupported value for key " + m_stack[i].key->str() + " in object");
        }
    }
}

bool KQJsonWriter::writeScalar(const Value& value, TextOut& out) {
    switch (value.type()) {
    case ValueType::Null:
        out.append("null");
        return true;
    case ValueType::Boolean:
        out.append(value.boolValue() ? "true" : "false");
        return true;
    case ValueType::Integer: {
        std::int64_t integer = value.integerValue();
        // The magnitude in unsigned arithmetic, so the lowest value has one too.
        auto magnitude = static_cast<std::uint64_t>(integer);
        out.reserve(1 + json_internal::kUnsignedRoom);
        out.advance(
            json_internal::writeSigned(out.cursor(), integer < 0, integer < 0 ? 0 - magnitude : magnitude));
        return true;
    }
    case ValueType::Real: {
        double real = value.doubleValue();
        if (!std::isfinite(real)) {
            addErrorWithCode(KQJsonErrorCode::Unsupported,
                             "JSON serialisation not supported for " + formatDouble(real));
            return false;
        }
        out.append(formatDouble(real));
        return true;
    }
    case ValueType::Decimal: {
        const Decimal& decimal = *value.asDecimal();
        if (decimal.isNaN()) {
            addErrorWithCode(KQJsonErrorCode::Unsupported, "JSON serialisation not supported for NaN");
            return false;
        }
        appendDecimal(decimal, out);
        return true;
    }
    case ValueType::String:
        return writeString(*value.asString(), out);
    default:
        addErrorWithCode(KQJsonErrorCode::Unsupported,
                         std::string("JSON serialisation not supported for ") + typeName(value.type()));
        return false;
    }
}

// One scan finds what needs escaping; text without any is appended whole.
template <typename Text> bool KQJsonWriter::writeString(const Text& text, TextOut& out) {
#if defined(__SSE2__)
    // Most keys and many values are short. A string always has room for
    // capacity() + 1 bytes at data(), at least 16 (libstdc++'s inline buffer
    // holds 15 and the terminator): judge and copy such a string in one step.
    // Strings of 16 to 32 bytes take two overlapping blocks.
    size_t size = text.size();
    bool oneBlock = size < 16 && text.capacity() >= 15;
    if (oneBlock || (size >= 16 && size <= 32)) {
        out.reserve(34);
        char* to = out.cursor();
        if (oneBlock ? json_internal::copySixteenIfPlain(text.data(), size, to + 1)
                     : json_internal::copyUpToThirtyTwoIfPlain(text.data(), size, to + 1)) {
            to[0] = '"';
            to[size + 1] = '"';
            out.advance(to + size + 2);
            return true;
        }
    }
#endif
    out.put('"');
    const char* p = text.data();
    const char* end = p + text.size();
    const char* run = p;
    for (;;) {
        p = findRunStop(p, end);
        if (p == end) {
            break;
        }
        auto byte = static_cast<unsigned char>(*p);
        if (byte >= 0x80) {
            size_t length = utf8SequenceLength(p, end);
            if (length == 0) {
                char message[64];
                std::snprintf(message, sizeof message, "Invalid UTF-8 byte '0x%x' in string", byte);
                addErrorWithCode(KQJsonErrorCode::InvalidUtf8, message);
                return false;
            }
            p += length;
            continue;
        }
        out.append({run, static_cast<size_t>(p - run)});
        switch (byte) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\b':
            out.append("\\b");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\f':
            out.append("\\f");
            break;
        case '\r':
            out.append("\\r");
            break;
        default: {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out.append(escape);
        }
        }
        run = ++p;
    }
    out.append({run, static_cast<size_t>(end - run)});
    out.put('"');
    return true;
}

} // namespace murmelo
