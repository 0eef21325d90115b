// Value: the device's object model for property lists, user defaults, JSON
// and user info — null, boolean, integer, real, exact decimal, string (UTF-8),
// data, date, array and dictionary.
//
// Values have value semantics: a copy is a deep copy, so "mutable" and
// "immutable" are simply non-const and const. Dictionaries keep their keys in
// insertion order so that anything written from them is deterministic.
// Not thread-safe for concurrent mutation; share const values freely.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "platform/core/Decimal.h"

namespace murmelo {

class Value;
class Dictionary;
using Array = std::vector<Value>;
using Data = std::vector<std::uint8_t>;

// A point in time: seconds since 2001-01-01 00:00:00 UTC.
struct Date {
    double sinceReferenceDate = 0;
    bool operator==(const Date&) const = default;
    double since1970() const;
    static Date from1970(double seconds);
    static Date now();
};

enum class ValueType { Null, Boolean, Integer, Real, Decimal, String, Data, Date, Array, Dictionary };

namespace internal {
// Heap box with deep-copy semantics; lets Value hold the recursive containers.
template <class T> class Box {
public:
    Box() : m_ptr(std::make_unique<T>()) {}
    Box(T value) : m_ptr(std::make_unique<T>(std::move(value))) {}
    Box(const Box& other) : m_ptr(std::make_unique<T>(*other.m_ptr)) {}
    Box(Box&&) noexcept = default;
    Box& operator=(const Box& other) {
        if (this != &other) {
            m_ptr = std::make_unique<T>(*other.m_ptr);
        }
        return *this;
    }
    Box& operator=(Box&&) noexcept = default;
    bool operator==(const Box& other) const { return *m_ptr == *other.m_ptr; }
    T& operator*() { return *m_ptr; }
    const T& operator*() const { return *m_ptr; }

private:
    std::unique_ptr<T> m_ptr;
};
} // namespace internal

class Value {
public:
    Value() = default; // null
    Value(std::nullptr_t) {}
    Value(bool b) : m_v(b) {}
    Value(int i) : m_v(static_cast<std::int64_t>(i)) {}
    Value(long i) : m_v(static_cast<std::int64_t>(i)) {}
    Value(long long i) : m_v(static_cast<std::int64_t>(i)) {}
    Value(unsigned u) : m_v(static_cast<std::int64_t>(u)) {}
    Value(double d) : m_v(d) {}
    Value(Decimal d) : m_v(d) {}
    Value(const char* s) : m_v(std::string(s)) {}
    Value(std::string s) : m_v(std::move(s)) {}
    Value(std::string_view s) : m_v(std::string(s)) {}
    Value(Data d) : m_v(std::move(d)) {}
    Value(Date d) : m_v(d) {}
    Value(Array a);
    Value(Dictionary d);

    Value(const Value&);
    Value(Value&&) noexcept;
    Value& operator=(const Value&);
    Value& operator=(Value&&) noexcept;
    ~Value();

    ValueType type() const { return static_cast<ValueType>(m_v.index()); }
    bool isNull() const { return type() == ValueType::Null; }
    bool isBoolean() const { return type() == ValueType::Boolean; }
    bool isNumber() const;
    bool isString() const { return type() == ValueType::String; }
    bool isData() const { return type() == ValueType::Data; }
    bool isDate() const { return type() == ValueType::Date; }
    bool isArray() const { return type() == ValueType::Array; }
    bool isDictionary() const { return type() == ValueType::Dictionary; }

    // Typed access: a pointer to the payload, or null when of another type.
    const std::string* asString() const;
    std::string* asString();
    const Array* asArray() const;
    Array* asArray();
    const Dictionary* asDictionary() const;
    Dictionary* asDictionary();
    const Data* asData() const;
    const Date* asDate() const;
    const Decimal* asDecimal() const;

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

    // Deep equality. Numbers of different kinds compare by numeric value
    // (true == 1), as the platform's number comparison does.
    bool operator==(const Value& other) const;

    // A readable, deterministic rendering for logs and test failures.
    std::string debugDescription() const;

private:
    std::variant<std::monostate, bool, std::int64_t, double, Decimal, std::string, Data, Date,
                 internal::Box<Array>, internal::Box<Dictionary>>
        m_v;
};

// Insertion-ordered string-keyed map. Setting an existing key replaces its
// value in place (order unchanged). Lookups are linear for small maps and
// hashed once a map grows past a few entries.
class Dictionary {
public:
    using Entry = std::pair<std::string, Value>;

    Dictionary() = default;
    Dictionary(std::initializer_list<Entry> entries);
    Dictionary(const Dictionary& other);
    Dictionary(Dictionary&&) noexcept = default;
    Dictionary& operator=(const Dictionary& other);
    Dictionary& operator=(Dictionary&&) noexcept = default;

    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    bool contains(std::string_view key) const { return indexOf(key) != npos; }

    const Value* find(std::string_view key) const;
    Value* find(std::string_view key);
    // Inserts null for a missing key.
    Value& operator[](std::string_view key);

    void set(std::string key, Value value);
    bool erase(std::string_view key);
    void clear();
    void reserve(size_t n) { m_entries.reserve(n); }

    std::vector<std::string> keys() const;

    auto begin() const { return m_entries.begin(); }
    auto end() const { return m_entries.end(); }
    auto begin() { return m_entries.begin(); }
    auto end() { return m_entries.end(); }
    const std::vector<Entry>& entries() const { return m_entries; }

    // Same keys with equal values, in any order.
    bool operator==(const Dictionary& other) const;

private:
    static constexpr size_t npos = static_cast<size_t>(-1);
    // A hashed lookup builds a std::string key and each indexed entry costs a
    // node allocation, so scanning (size check, then memcmp) stays cheaper up
    // to a few dozen keys — the size of most objects read from the network.
    static constexpr size_t kIndexThreshold = 32;
    size_t indexOf(std::string_view key) const;
    void rebuildIndex();

    std::vector<Entry> m_entries;
    std::unique_ptr<std::unordered_map<std::string, size_t>> m_index;
};

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
