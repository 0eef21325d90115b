#include "platform/core/Value.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/core/Clock.h"

namespace murmelo {

double Date::since1970() const { return sinceReferenceDate + Clock::kReferenceDateOffset; }
Date Date::from1970(double seconds) { return Date{seconds - Clock::kReferenceDateOffset}; }
Date Date::now() { return Date{Clock::sinceReferenceDate()}; }

// ---- Value -----------------------------------------------------------------

Value::Value(Array a) : m_v(internal::Box<Array>(std::move(a))) {}
Value::Value(Dictionary d) : m_v(internal::Box<Dictionary>(std::move(d))) {}
Value::Value(const Value&) = default;
Value::Value(Value&&) noexcept = default;
Value& Value::operator=(const Value&) = default;
Value& Value::operator=(Value&&) noexcept = default;
Value::~Value() = default;

bool Value::isNumber() const {
    auto t = type();
    return t == ValueType::Boolean || t == ValueType::Integer || t == ValueType::Real || t == ValueType::Decimal;
}

const std::string* Value::asString() const { return std::get_if<std::string>(&m_v); }
std::string* Value::asString() { return std::get_if<std::string>(&m_v); }
const Array* Value::asArray() const {
    auto* box = std::get_if<internal::Box<Array>>(&m_v);
    return box ? &**box : nullptr;
}
Array* Value::asArray() {
    auto* box = std::get_if<internal::Box<Array>>(&m_v);
    return box ? &**box : nullptr;
}
const Dictionary* Value::asDictionary() const {
    auto* box = std::get_if<internal::Box<Dictionary>>(&m_v);
    return box ? &**box : nullptr;
}
Dictionary* Value::asDictionary() {
    auto* box = std::get_if<internal::Box<Dictionary>>(&m_v);
    return box ? &**box : nullptr;
}
const Data* Value::asData() const { return std::get_if<Data>(&m_v); }
const Date* Value::asDate() const { return std::get_if<Date>(&m_v); }
const Decimal* Value::asDecimal() const { return std::get_if<Decimal>(&m_v); }

long long Value::integerValue() const {
    switch (type()) {
    case ValueType::Boolean:
        return std::get<bool>(m_v) ? 1 : 0;
    case ValueType::Integer:
        return std::get<std::int64_t>(m_v);
    case ValueType::Real: {
        double d = std::get<double>(m_v);
        if (std::isnan(d)) {
            return 0;
        }
        if (d >= 9.2233720368547758e18) {
            return LLONG_MAX;
        }
        if (d <= -9.2233720368547758e18) {
            return LLONG_MIN;
        }
        return static_cast<long long>(d);
    }
    case ValueType::Decimal:
        return std::get<Decimal>(m_v).longLongValue();
    case ValueType::String:
        return stringIntegerValue(std::get<std::string>(m_v));
    default:
        return 0;
    }
}

double Value::doubleValue() const {
    switch (type()) {
    case ValueType::Boolean:
        return std::get<bool>(m_v) ? 1.0 : 0.0;
    case ValueType::Integer:
        return static_cast<double>(std::get<std::int64_t>(m_v));
    case ValueType::Real:
        return std::get<double>(m_v);
    case ValueType::Decimal:
        return std::get<Decimal>(m_v).doubleValue();
    case ValueType::String:
        return stringDoubleValue(std::get<std::string>(m_v));
    case ValueType::Date:
        return std::get<Date>(m_v).sinceReferenceDate;
    default:
        return 0.0;
    }
}

bool Value::boolValue() const {
    switch (type()) {
    case ValueType::Boolean:
        return std::get<bool>(m_v);
    case ValueType::Integer:
        return std::get<std::int64_t>(m_v) != 0;
    case ValueType::Real:
        return std::get<double>(m_v) != 0.0;
    case ValueType::Decimal:
        return !std::get<Decimal>(m_v).isZero();
    case ValueType::String:
        return stringBoolValue(std::get<std::string>(m_v));
    default:
        return false;
    }
}

std::string Value::stringValue() const {
    switch (type()) {
    case ValueType::Boolean:
        return std::get<bool>(m_v) ? "1" : "0";
    case ValueType::Integer:
        return std::to_string(std::get<std::int64_t>(m_v));
    case ValueType::Real:
        return formatDouble(std::get<double>(m_v));
    case ValueType::Decimal:
        return std::get<Decimal>(m_v).stringValue();
    case ValueType::String:
        return std::get<std::string>(m_v);
    default:
        return "";
    }
}

const Value* Value::find(std::string_view key) const {
    const Dictionary* d = asDictionary();
    return d ? d->find(key) : nullptr;
}

bool Value::operator==(const Value& other) const {
    if (isNumber() && other.isNumber()) {
        if (type() == other.type() && type() != ValueType::Decimal) {
            return m_v == other.m_v;
        }
        if (type() == ValueType::Decimal && other.type() == ValueType::Decimal) {
            return std::get<Decimal>(m_v) == std::get<Decimal>(other.m_v);
        }
        return doubleValue() == other.doubleValue();
    }
    if (type() != other.type()) {
        return false;
    }
    switch (type()) {
    case ValueType::Null:
        return true;
    case ValueType::String:
        return *asString() == *other.asString();
    case ValueType::Data:
        return *asData() == *other.asData();
    case ValueType::Date:
        return *asDate() == *other.asDate();
    case ValueType::Array:
        return *asArray() == *other.asArray();
    case ValueType::Dictionary:
        return *asDictionary() == *other.asDictionary();
    default:
        return false;
    }
}

namespace {
void describe(const Value& v, std::string& out) {
    switch (v.type()) {
    case ValueType::Null:
        out += "null";
        break;
    case ValueType::Boolean:
        out += v.boolValue() ? "true" : "false";
        break;
    case ValueType::String:
        out += '"';
        out += *v.asString();
        out += '"';
        break;
    case ValueType::Data: {
        out += "<";
        static const char* hex = "0123456789abcdef";
        for (auto b : *v.asData()) {
            out += hex[b >> 4];
            out += hex[b & 15];
        }
        out += ">";
        break;
    }
    case ValueType::Date:
        out += "@" + formatDouble(v.asDate()->sinceReferenceDate);
        break;
    case ValueType::Array: {
        out += "[";
        bool first = true;
        for (const auto& item : *v.asArray()) {
            if (!first) {
                out += ", ";
            }
            first = false;
            describe(item, out);
        }
        out += "]";
        break;
    }
    case ValueType::Dictionary: {
        out += "{";
        bool first = true;
        for (const auto& [key, item] : *v.asDictionary()) {
            if (!first) {
                out += ", ";
            }
            first = false;
            out += '"' + key + "\": ";
            describe(item, out);
        }
        out += "}";
        break;
    }
    default:
        out += v.stringValue();
    }
}
} // namespace

std::string Value::debugDescription() const {
    std::string out;
    describe(*this, out);
    return out;
}

// ---- Dictionary --------------------------------------------------------------

Dictionary::Dictionary(std::initializer_list<Entry> entries) {
    for (const auto& [key, value] : entries) {
        set(key, value);
    }
}

Dictionary::Dictionary(const Dictionary& other) : m_entries(other.m_entries) {
    if (other.m_index) {
        m_index = std::make_unique<std::unordered_map<std::string, size_t>>(*other.m_index);
    }
}

Dictionary& Dictionary::operator=(const Dictionary& other) {
    if (this != &other) {
        Dictionary copy(other);
        *this = std::move(copy);
    }
    return *this;
}

size_t Dictionary::indexOf(std::string_view key) const {
    if (m_index) {
        auto it = m_index->find(std::string(key));
        return it == m_index->end() ? npos : it->second;
    }
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].first == key) {
            return i;
        }
    }
    return npos;
}

void Dictionary::rebuildIndex() {
    if (m_entries.size() <= kIndexThreshold) {
        m_index.reset();
        return;
    }
    m_index = std::make_unique<std::unordered_map<std::string, size_t>>();
    m_index->reserve(m_entries.size() * 2);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        m_index->emplace(m_entries[i].first, i);
    }
}

const Value* Dictionary::find(std::string_view key) const {
    size_t i = indexOf(key);
    return i == npos ? nullptr : &m_entries[i].second;
}

Value* Dictionary::find(std::string_view key) {
    size_t i = indexOf(key);
    return i == npos ? nullptr : &m_entries[i].second;
}

Value& Dictionary::operator[](std::string_view key) {
    size_t i = indexOf(key);
    if (i == npos) {
        set(std::string(key), Value());
        i = m_entries.size() - 1;
    }
    return m_entries[i].second;
}

void Dictionary::set(std::string key, Value value) {
    size_t i = indexOf(key);
    if (i != npos) {
        m_entries[i].second = std::move(value);
        return;
    }
    m_entries.emplace_back(std::move(key), std::move(value));
    if (m_index) {
        m_index->emplace(m_entries.back().first, m_entries.size() - 1);
    } else if (m_entries.size() > kIndexThreshold) {
        rebuildIndex();
    }
}

bool Dictionary::erase(std::string_view key) {
    size_t i = indexOf(key);
    if (i == npos) {
        return false;
    }
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
    if (m_index) {
        rebuildIndex();
    }
    return true;
}

void Dictionary::clear() {
    m_entries.clear();
    m_index.reset();
}

std::vector<std::string> Dictionary::keys() const {
    std::vector<std::string> out;
    out.reserve(m_entries.size());
    for (const auto& e : m_entries) {
        out.push_back(e.first);
    }
    return out;
}

bool Dictionary::operator==(const Dictionary& other) const {
    if (size() != other.size()) {
        return false;
    }
    for (const auto& [key, value] : m_entries) {
        const Value* theirs = other.find(key);
        if (!theirs || !(*theirs == value)) {
            return false;
        }
    }
    return true;
}

// ---- String conversions ------------------------------------------------------

namespace {
size_t skipBlanks(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    return i;
}
} // namespace

long long stringIntegerValue(std::string_view text) {
    size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned long long magnitude = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (magnitude > (ULLONG_MAX - digit) / 10) {
            overflow = true;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (negative) {
        if (overflow || magnitude > static_cast<unsigned long long>(LLONG_MAX) + 1) {
            return LLONG_MIN;
        }
        return magnitude == static_cast<unsigned long long>(LLONG_MAX) + 1 ? LLONG_MIN
                                                                            : -static_cast<long long>(magnitude);
    }
    if (overflow || magnitude > static_cast<unsigned long long>(LLONG_MAX)) {
        return LLONG_MAX;
    }
    return static_cast<long long>(magnitude);
}

double stringDoubleValue(std::string_view text) {
    size_t i = skipBlanks(text);
    // Take only the characters of a decimal number; strtod alone would also
    // read hex and "inf"/"nan", which the platform does not.
    size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t mark = i;
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        if (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                ++i;
            }
        } else {
            i = mark;
        }
    }
    std::string number(text.substr(start, i - start));
    return std::strtod(number.c_str(), nullptr);
}

bool stringBoolValue(std::string_view text) {
    size_t i = skipBlanks(text);
    if (i < text.size() && (text[i] == 'Y' || text[i] == 'y' || text[i] == 'T' || text[i] == 't')) {
        return true;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    while (i < text.size() && text[i] == '0') {
        ++i;
    }
    return i < text.size() && text[i] >= '1' && text[i] <= '9';
}

std::string formatDouble(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    char buffer[40];
    for (int precision = 1; precision <= 17; ++precision) {
        snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value) {
            break;
        }
    }
    return buffer;
}

} // namespace murmelo
