#include "platform/core/Value.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "platform/core/Clock.h"

namespace murmelo {

double Date::since1970() const {
    return sinceReferenceDate + Clock::kReferenceDateOffset;
}
Date Date::from1970(double seconds) {
    return Date{seconds - Clock::kReferenceDateOffset};
}
Date Date::now() {
    return Date{Clock::sinceReferenceDate()};
}

// ---- Value -----------------------------------------------------------------

// Every array element and dictionary member is one of these: keep it at the
// size of its largest payloads (a string, a dictionary) plus the tag.
static_assert(sizeof(Value) <= 40);
static_assert(sizeof(Decimal) <= sizeof(std::uint64_t[3]) && std::is_trivially_copyable_v<Decimal> &&
              std::is_trivially_copyable_v<Date>);

void Value::copyFrom(const Value& other) {
    m_type = other.m_type;
    m_sealed = false;
    switch (m_type) {
    case ValueType::String:
        new (&m_u.string) ValueString(other.m_u.string);
        break;
    case ValueType::Data:
        new (&m_u.data) Data(other.m_u.data);
        break;
    case ValueType::Array:
        new (&m_u.array) Array(other.m_u.array);
        break;
    case ValueType::Dictionary:
        new (&m_u.dictionary) Dictionary(other.m_u.dictionary);
        break;
    default:
        m_u.scalar = other.m_u.scalar;
    }
}

const void* Value::containerBuffer() const noexcept {
    if (m_type == ValueType::Array) {
        return m_u.array.data();
    }
    if (m_type == ValueType::Dictionary) {
        return m_u.dictionary.entries().data();
    }
    return nullptr;
}

void Value::sealAsDocument() noexcept {
    const void* buffer = containerBuffer();
    m_sealed = buffer && value_memory::isCarved(buffer);
}

void Value::destroyPayload() noexcept {
    if (m_sealed) {
        // The containers' destructors are not run: all they would free is
        // in the blocks given back here.
        value_memory::releaseDocument(containerBuffer());
        m_sealed = false;
        m_type = ValueType::Null;
        return;
    }
    switch (m_type) {
    case ValueType::String:
        std::destroy_at(&m_u.string);
        break;
    case ValueType::Data:
        std::destroy_at(&m_u.data);
        break;
    case ValueType::Array:
        std::destroy_at(&m_u.array);
        break;
    case ValueType::Dictionary:
        std::destroy_at(&m_u.dictionary);
        break;
    default:
        break;
    }
    m_type = ValueType::Null;
}

// The source may live inside the target (`v = (*v.asArray())[0]`), where
// freeing the target first would free it midway; then the source is taken
// out before the target is touched. A target that holds no values (a
// scalar, an empty container, a moved-from value, which is null) cannot contain
// the source and is replaced directly.
bool Value::holdsNoValues() const {
    if (const Array* array = asArray()) {
        return array->empty();
    }
    if (const Dictionary* dictionary = asDictionary()) {
        return dictionary->empty();
    }
    return true;
}

Value& Value::operator=(const Value& other) {
    if (this != &other) {
        Value copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Value& Value::operator=(Value&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    if (holdsNoValues()) {
        destroyPayload();
        moveFrom(other);
    } else {
        Value taken(std::move(other));
        destroyPayload();
        moveFrom(taken);
    }
    return *this;
}

bool Value::isNumber() const {
    auto t = type();
    return t == ValueType::Boolean || t == ValueType::Integer || t == ValueType::Real ||
           t == ValueType::Decimal;
}

long long Value::integerValue() const {
    switch (type()) {
    case ValueType::Boolean:
        return m_u.boolean ? 1 : 0;
    case ValueType::Integer:
        return m_u.integer;
    case ValueType::Real: {
        double d = m_u.real;
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
        return m_u.decimal.longLongValue();
    case ValueType::String:
        return stringIntegerValue(m_u.string);
    default:
        return 0;
    }
}

double Value::doubleValue() const {
    switch (type()) {
    case ValueType::Boolean:
        return m_u.boolean ? 1.0 : 0.0;
    case ValueType::Integer:
        return static_cast<double>(m_u.integer);
    case ValueType::Real:
        return m_u.real;
    case ValueType::Decimal:
        return m_u.decimal.doubleValue();
    case ValueType::String:
        return stringDoubleValue(m_u.string);
    case ValueType::Date:
        return m_u.date.sinceReferenceDate;
    default:
        return 0.0;
    }
}

bool Value::boolValue() const {
    switch (type()) {
    case ValueType::Boolean:
        return m_u.boolean;
    case ValueType::Integer:
        return m_u.integer != 0;
    case ValueType::Real:
        return m_u.real != 0.0;
    case ValueType::Decimal:
        return !m_u.decimal.isZero();
    case ValueType::String:
        return stringBoolValue(m_u.string);
    default:
        return false;
    }
}

std::string Value::stringValue() const {
    switch (type()) {
    case ValueType::Boolean:
        return m_u.boolean ? "1" : "0";
    case ValueType::Integer:
        return std::to_string(m_u.integer);
    case ValueType::Real:
        return formatDouble(m_u.real);
    case ValueType::Decimal:
        return m_u.decimal.stringValue();
    case ValueType::String:
        return m_u.string.str();
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
        if (type() == other.type()) {
            switch (type()) {
            case ValueType::Boolean:
                return m_u.boolean == other.m_u.boolean;
            case ValueType::Integer:
                return m_u.integer == other.m_u.integer;
            case ValueType::Real:
                return m_u.real == other.m_u.real;
            default:
                break;
            }
        }
        if (type() == ValueType::Decimal && other.type() == ValueType::Decimal) {
            return m_u.decimal == other.m_u.decimal;
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
        out += '@';
        out += formatDouble(v.asDate()->sinceReferenceDate);
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
            out += '"';
            out += key;
            out += "\": ";
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

Dictionary::Dictionary(Entries&& entries) : m_entries(std::move(entries)) {
    removeDuplicates();
}

Dictionary::Dictionary(Entries&& entries, KeysAreUnique) : m_entries(std::move(entries)) {
    if (m_entries.size() > kIndexThreshold) {
        rebuildIndex();
    }
}

Dictionary::Dictionary(std::vector<Entry>&& entries)
    : m_entries(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end())) {
    removeDuplicates();
}

Dictionary::Dictionary(const Dictionary& other) : m_entries(other.m_entries) {
    if (other.m_index) {
        size_t slots = slotCount(m_entries.size());
        m_index = newIndex(slots);
        std::copy_n(other.m_index.get(), slots, m_index.get());
    }
}

Dictionary& Dictionary::operator=(const Dictionary& other) {
    if (this != &other) {
        Dictionary copy(other);
        *this = std::move(copy);
    }
    return *this;
}

namespace {
size_t hashKey(std::string_view key) {
    return std::hash<std::string_view>{}(key);
}
} // namespace

// Zeroed: 0 marks a free slot.
std::unique_ptr<std::uint32_t[], ValueMemoryDelete> Dictionary::newIndex(size_t slots) {
    void* memory = value_memory::allocate(slots * sizeof(std::uint32_t));
    std::memset(memory, 0, slots * sizeof(std::uint32_t));
    return std::unique_ptr<std::uint32_t[], ValueMemoryDelete>(static_cast<std::uint32_t*>(memory));
}

// At most half full, so a probe always meets a free slot.
size_t Dictionary::slotCount(size_t entries) {
    return std::bit_ceil(entries * 2);
}

size_t Dictionary::indexOf(std::string_view key) const {
    if (m_index) {
        size_t mask = slotCount(m_entries.size()) - 1;
        for (size_t slot = hashKey(key) & mask;; slot = (slot + 1) & mask) {
            std::uint32_t position = m_index[slot];
            if (position == 0) {
                return npos;
            }
            if (m_entries[position - 1].first == key) {
                return position - 1;
            }
        }
    }
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].first == key) {
            return i;
        }
    }
    return npos;
}

// Positions are 32-bit: four billion entries would take hundreds of gigabytes.
void Dictionary::indexEntry(size_t position) {
    size_t mask = slotCount(m_entries.size()) - 1;
    size_t slot = hashKey(m_entries[position].first) & mask;
    while (m_index[slot] != 0) {
        slot = (slot + 1) & mask;
    }
    m_index[slot] = static_cast<std::uint32_t>(position + 1);
}

void Dictionary::rebuildIndex() {
    if (m_entries.size() <= kIndexThreshold) {
        m_index.reset();
        return;
    }
    m_index = newIndex(slotCount(m_entries.size()));
    for (size_t i = 0; i < m_entries.size(); ++i) {
        indexEntry(i);
    }
}

// Compacts the entries in place: a repeated key's value moves into the
// first entry with that key.
void Dictionary::removeDuplicates() {
    size_t count = m_entries.size();
    size_t kept = 0;
    if (count <= kIndexThreshold) {
        // One bit per key (of its length and end bytes) settles most keys as
        // new without comparing them to the ones kept so far.
        std::uint64_t seen = 0;
        for (size_t i = 0; i < count; ++i) {
            std::string_view key = m_entries[i].first;
            std::uint64_t bit = keyFingerprint(key);
            size_t j = kept;
            if (seen & bit) {
                j = 0;
                while (j < kept && m_entries[j].first != key) {
                    ++j;
                }
            }
            seen |= bit;
            if (j < kept) {
                m_entries[j].second = std::move(m_entries[i].second);
            } else {
                if (kept != i) {
                    m_entries[kept] = std::move(m_entries[i]);
                }
                ++kept;
            }
        }
        m_entries.resize(kept);
        return;
    }
    // The table is sized for all entries; it is rebuilt below if duplicates
    // shrank the dictionary enough to change its size.
    size_t mask = slotCount(count) - 1;
    m_index = newIndex(mask + 1);
    for (size_t i = 0; i < count; ++i) {
        size_t slot = hashKey(m_entries[i].first) & mask;
        std::uint32_t position;
        while ((position = m_index[slot]) != 0 && m_entries[position - 1].first != m_entries[i].first) {
            slot = (slot + 1) & mask;
        }
        if (position != 0) {
            m_entries[position - 1].second = std::move(m_entries[i].second);
            continue;
        }
        if (kept != i) {
            m_entries[kept] = std::move(m_entries[i]);
        }
        m_index[slot] = static_cast<std::uint32_t>(++kept);
    }
    if (kept != count) {
        m_entries.resize(kept);
        if (slotCount(kept) != mask + 1) {
            rebuildIndex();
        }
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
        set(key, Value());
        i = m_entries.size() - 1;
    }
    return m_entries[i].second;
}

void Dictionary::set(std::string_view key, Value value) {
    size_t i = indexOf(key);
    if (i != npos) {
        m_entries[i].second = std::move(value);
        return;
    }
    size_t slotsBefore = slotCount(m_entries.size());
    m_entries.emplace_back(ValueString(key), std::move(value));
    if (m_entries.size() <= kIndexThreshold) {
        return;
    }
    if (m_index && slotCount(m_entries.size()) == slotsBefore) {
        indexEntry(m_entries.size() - 1);
    } else {
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
        out.push_back(e.first.str());
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
        return magnitude == static_cast<unsigned long long>(LLONG_MAX) + 1
                   ? LLONG_MIN
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
