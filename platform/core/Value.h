// Value: the device's object model for property lists, user defaults, JSON
// and user info — null, boolean, integer, real, exact decimal, string (UTF-8),
// data, date, array and dictionary.
//
// Values have value semantics: a copy is a deep copy, so "mutable" and
// "immutable" are simply non-const and const. A moved-from value is null. Dictionaries keep their keys in
// insertion order so that anything written from them is deterministic.
// Not thread-safe for concurrent mutation; share const values freely.
//
// Arrays and dictionaries live inside the Value itself, not in a separate
// heap box: reading a document allocates only container buffers and long
// strings, and nothing else needs freeing one by one. A consequence: a
// pointer from asArray()/asDictionary() follows the Value, so it is not valid
// after the Value moves (as for asString()).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/Decimal.h"
#include "platform/core/ValueMemory.h"

namespace murmelo {

class Value;
class Dictionary;
// Container buffers come from ValueAllocator, so a reader can build a whole
// document in a ValueArena (ValueMemory.h).
using Array = std::vector<Value, ValueAllocator<Value>>;
using Data = std::vector<std::uint8_t>;

// A string value's text (UTF-8). Long texts come from ValueAllocator like
// container buffers, so a reader's arena carves them with the document's
// containers instead of one heap allocation each. It reads as a
// std::string_view wherever one is wanted; a std::string is a copy, so it is
// asked for (str() or an explicit conversion), never made silently.
class ValueString : public std::basic_string<char, std::char_traits<char>, ValueAllocator<char>> {
public:
    using Base = std::basic_string<char, std::char_traits<char>, ValueAllocator<char>>;
    using Base::Base;
    ValueString(const Base& text) : Base(text) {}
    ValueString(Base&& text) noexcept : Base(std::move(text)) {}
    ValueString(const std::string& text) : Base(text.data(), text.size()) {}
    ValueString(std::string_view text) : Base(text.data(), text.size()) {}
    ValueString(const char* text) : Base(text) {}

    explicit operator std::string() const { return std::string(data(), size()); }
    std::string str() const { return std::string(data(), size()); }

    friend bool operator==(const ValueString& a, const ValueString& b) { return a.view() == b.view(); }
    friend bool operator==(const ValueString& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const ValueString& a, const std::string& b) {
        return a.view() == std::string_view(b);
    }
    friend bool operator==(const ValueString& a, const char* b) { return a.view() == std::string_view(b); }

private:
    std::string_view view() const { return std::string_view(data(), size()); }
};

// A point in time: seconds since 2001-01-01 00:00:00 UTC.
struct Date {
    double sinceReferenceDate = 0;
    bool operator==(const Date&) const = default;
    double since1970() const;
    static Date from1970(double seconds);
    static Date now();
};

enum class ValueType { Null, Boolean, Integer, Real, Decimal, String, Data, Date, Array, Dictionary };

// Insertion-ordered string-keyed map. Setting an existing key replaces its
// value in place (order unchanged). Lookups are linear for small maps and
// hashed once a map grows past a few entries.
class Dictionary {
public:
    // The key is a ValueString so that a reader's arena carves long keys too.
    using Entry = std::pair<ValueString, Value>;
    using Entries = std::vector<Entry, ValueAllocator<Entry>>;

    Dictionary() = default;
    Dictionary(std::initializer_list<Entry> entries);
    // Takes the entries as they are, in their order; a repeated key keeps its
    // first position and its last value, as a sequence of set() calls would.
    explicit Dictionary(Entries&& entries);
    explicit Dictionary(std::vector<Entry>&& entries);
    // For a reader that saw every key once already: takes the entries as
    // they are, without looking for repeated keys among them. The caller
    // guarantees there are none.
    struct KeysAreUnique {};
    Dictionary(Entries&& entries, KeysAreUnique);
    // A bit that is the same for equal keys (of 64): two keys with different
    // bits are different. Lets a reader know cheaply that no key repeated.
    static std::uint64_t keyFingerprint(std::string_view key) {
        unsigned fingerprint = static_cast<unsigned>(key.size());
        if (!key.empty()) {
            fingerprint +=
                static_cast<unsigned char>(key.front()) * 7u + static_cast<unsigned char>(key.back());
        }
        return std::uint64_t{1} << (fingerprint & 63);
    }
    Dictionary(const Dictionary& other);
    Dictionary(Dictionary&&) noexcept;
    Dictionary& operator=(const Dictionary& other);
    Dictionary& operator=(Dictionary&&) noexcept;
    ~Dictionary();

    size_t size() const;
    bool empty() const;
    bool contains(std::string_view key) const { return indexOf(key) != npos; }

    const Value* find(std::string_view key) const;
    Value* find(std::string_view key);
    // Inserts null for a missing key.
    Value& operator[](std::string_view key);

    void set(std::string_view key, Value value);
    bool erase(std::string_view key);
    void clear();
    void reserve(size_t n);

    std::vector<std::string> keys() const;

    Entries::const_iterator begin() const;
    Entries::const_iterator end() const;
    Entries::iterator begin();
    Entries::iterator end();
    const Entries& entries() const { return m_entries; }

    // Same keys with equal values, in any order.
    bool operator==(const Dictionary& other) const;

private:
    static constexpr size_t npos = static_cast<size_t>(-1);
    // Scanning (size check, then memcmp) beats hashing up to a few dozen
    // keys — the size of most objects read from the network.
    static constexpr size_t kIndexThreshold = 32;
    size_t indexOf(std::string_view key) const;
    // The index is an open-addressed table of entry positions + 1 (0 = free),
    // its size a function of the entry count alone, so it needs no field.
    static size_t slotCount(size_t entries);
    void rebuildIndex();
    void indexEntry(size_t position);
    void removeDuplicates();

    static std::unique_ptr<std::uint32_t[], ValueMemoryDelete> newIndex(size_t slots);

    Entries m_entries;
    std::unique_ptr<std::uint32_t[], ValueMemoryDelete> m_index;
};

class Value {
public:
    Value() = default; // null
    Value(std::nullptr_t) {}
    Value(bool b) : m_type(ValueType::Boolean) { m_u.boolean = b; }
    Value(int i) : Value(static_cast<long long>(i)) {}
    Value(long i) : Value(static_cast<long long>(i)) {}
    Value(long long i) : m_type(ValueType::Integer) { m_u.integer = static_cast<std::int64_t>(i); }
    Value(unsigned u) : Value(static_cast<long long>(u)) {}
    Value(double d) : m_type(ValueType::Real) { m_u.real = d; }
    Value(Decimal d) : m_type(ValueType::Decimal) { new (&m_u.decimal) Decimal(d); }
    Value(const char* s) : Value(ValueString(s)) {}
    Value(const std::string& s) : Value(ValueString(s)) {}
    Value(std::string_view s) : Value(ValueString(s)) {}
    Value(ValueString s) : m_type(ValueType::String) { new (&m_u.string) ValueString(std::move(s)); }
    Value(Data d) : m_type(ValueType::Data) { new (&m_u.data) Data(std::move(d)); }
    Value(Date d) : m_type(ValueType::Date) { m_u.date = d; }
    Value(Array a) : m_type(ValueType::Array) { new (&m_u.array) Array(std::move(a)); }
    Value(Dictionary d);

    Value(const Value& other) { copyFrom(other); }
    Value(Value&& other) noexcept { moveFrom(other); }
    Value& operator=(const Value&);
    Value& operator=(Value&&) noexcept;
    ~Value() {
        if (holdsResources()) {
            destroyPayload();
        }
    }

    ValueType type() const { return m_type; }
    bool isNull() const { return type() == ValueType::Null; }
    bool isBoolean() const { return type() == ValueType::Boolean; }
    bool isNumber() const;
    bool isString() const { return type() == ValueType::String; }
    bool isData() const { return type() == ValueType::Data; }
    bool isDate() const { return type() == ValueType::Date; }
    bool isArray() const { return type() == ValueType::Array; }
    bool isDictionary() const { return type() == ValueType::Dictionary; }

    // Typed access: a pointer to the payload, or null when of another type.
    // Any change below a value passes through a non-const accessor of it,
    // which ends a sealed document's seal (sealAsDocument).
    const ValueString* asString() const { return is(ValueType::String) ? &m_u.string : nullptr; }
    ValueString* asString() {
        m_sealed = false;
        return is(ValueType::String) ? &m_u.string : nullptr;
    }
    const Array* asArray() const { return is(ValueType::Array) ? &m_u.array : nullptr; }
    Array* asArray() {
        m_sealed = false;
        return is(ValueType::Array) ? &m_u.array : nullptr;
    }
    const Dictionary* asDictionary() const { return is(ValueType::Dictionary) ? &m_u.dictionary : nullptr; }
    Dictionary* asDictionary() {
        m_sealed = false;
        return is(ValueType::Dictionary) ? &m_u.dictionary : nullptr;
    }

    // For a reader that built this whole container inside one ValueArena,
    // now closed, and kept nothing else from it: every buffer alive in the
    // arena's blocks belongs to this value. Destroying the value then gives
    // the blocks back without visiting its values, until a non-const
    // accessor is called on it. Does nothing for other values.
    void sealAsDocument() noexcept;
    bool isSealedDocument() const { return m_sealed; }
    const Data* asData() const { return is(ValueType::Data) ? &m_u.data : nullptr; }
    const Date* asDate() const { return is(ValueType::Date) ? &m_u.date : nullptr; }
    const Decimal* asDecimal() const { return is(ValueType::Decimal) ? &m_u.decimal : nullptr; }

    // The platform's conversions. For numbers: the numeric value; for
    // strings: the leading number after blanks (0 when there is none);
    // anything else gives 0 / false.
    long long integerValue() const;
    int intValue() const { return static_cast<int>(integerValue()); }
    double doubleValue() const;
    float floatValue() const { return static_cast<float>(doubleValue()); }
    bool boolValue() const;
    // Strings as they are; numbers in their description ("1", "2.5",
    // booleans "1"/"0", decimals in plain notation); anything else "".
    std::string stringValue() const;

    // Dictionary convenience: the value for a key, or null when this is not a
    // dictionary or has no such key.
    const Value* find(std::string_view key) const;

    // Whether destroying this value frees anything: false for null, booleans,
    // numbers and dates, whose destruction can be skipped.
    bool holdsResources() const {
        switch (type()) {
        case ValueType::String:
        case ValueType::Data:
        case ValueType::Array:
        case ValueType::Dictionary:
            return true;
        default:
            return false;
        }
    }

    // Deep equality. Numbers of different kinds compare by numeric value
    // (true == 1), as the platform's number comparison does.
    bool operator==(const Value& other) const;

    // A readable, deterministic rendering for logs and test failures.
    std::string debugDescription() const;

private:
    bool is(ValueType type) const { return m_type == type; }
    bool holdsNoValues() const;
    // Both expect this value to hold nothing (freshly made or destroyed).
    // Scalars are copied as they are, with no dispatch through a destructor.
    void copyFrom(const Value& other);
    // Leaves `other` null, so that destroying it (a reader's scratch values,
    // a container's old buffer) costs nothing.
    void moveFrom(Value& other) noexcept {
        m_type = other.m_type;
        m_sealed = other.m_sealed;
        other.m_sealed = false;
        switch (m_type) {
        case ValueType::String:
            new (&m_u.string) ValueString(std::move(other.m_u.string));
            std::destroy_at(&other.m_u.string);
            break;
        case ValueType::Data:
            new (&m_u.data) Data(std::move(other.m_u.data));
            std::destroy_at(&other.m_u.data);
            break;
        case ValueType::Array:
            new (&m_u.array) Array(std::move(other.m_u.array));
            std::destroy_at(&other.m_u.array);
            break;
        case ValueType::Dictionary:
            moveDictionary(other);
            break;
        default:
            m_u.scalar = other.m_u.scalar;
        }
        other.m_type = ValueType::Null;
    }
    void moveDictionary(Value& other) noexcept;
    void destroyPayload() noexcept;
    // An array's or dictionary's element buffer (null when it has none or
    // this is not a container).
    const void* containerBuffer() const noexcept;

    // The scalars (boolean, integer, real, decimal, date) all fit `scalar`,
    // which copies them as plain bytes.
    struct Scalar {
        std::uint64_t word[3];
    };
    union Payload {
        Payload() : scalar{} {}
        ~Payload() {}
        Scalar scalar;
        bool boolean;
        std::int64_t integer;
        double real;
        Decimal decimal;
        Date date;
        ValueString string;
        Data data;
        Array array;
        Dictionary dictionary;
    };
    Payload m_u;
    ValueType m_type = ValueType::Null;
    bool m_sealed = false;
};

// Defined here, where Value is complete: the entries' type needs it.
inline Dictionary::Dictionary(Dictionary&&) noexcept = default;
inline Dictionary& Dictionary::operator=(Dictionary&&) noexcept = default;
inline Dictionary::~Dictionary() = default;
inline Value::Value(Dictionary d) : m_type(ValueType::Dictionary) {
    new (&m_u.dictionary) Dictionary(std::move(d));
}
inline void Value::moveDictionary(Value& other) noexcept {
    new (&m_u.dictionary) Dictionary(std::move(other.m_u.dictionary));
    std::destroy_at(&other.m_u.dictionary);
}
inline size_t Dictionary::size() const {
    return m_entries.size();
}
inline bool Dictionary::empty() const {
    return m_entries.empty();
}
inline void Dictionary::reserve(size_t n) {
    m_entries.reserve(n);
}
inline Dictionary::Entries::const_iterator Dictionary::begin() const {
    return m_entries.begin();
}
inline Dictionary::Entries::const_iterator Dictionary::end() const {
    return m_entries.end();
}
inline Dictionary::Entries::iterator Dictionary::begin() {
    return m_entries.begin();
}
inline Dictionary::Entries::iterator Dictionary::end() {
    return m_entries.end();
}

// The platform's reading of a string's leading number: blanks skipped, an
// optional sign, then digits ("12abc" → 12, "abc" → 0). Saturates.
long long stringIntegerValue(std::string_view text);
// Leading floating number, with fraction and exponent ("2.5e3x" → 2500).
double stringDoubleValue(std::string_view text);
// "Y", "y", "T", "t" or a non-zero digit (after blanks, sign and zeros).
bool stringBoolValue(std::string_view text);
// Shortest text that reads back as the same double ("0.1", "3", "1e+100").
std::string formatDouble(double value);

} // namespace murmelo
