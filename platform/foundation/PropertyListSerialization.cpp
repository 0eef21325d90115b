#include "platform/foundation/PropertyListSerialization.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <plist/plist.h>
#include <vector>

#include "platform/foundation/FileSystem.h"
#include "platform/foundation/Unicode.h"

namespace murmelo {

namespace {

constexpr long kErrorRead = 3840;  // the platform's "property list is corrupt" code
constexpr long kErrorWrite = 3851; // the platform's "cannot be written" code

Error readError(std::string description) {
    return Error("NSCocoaErrorDomain", kErrorRead, "The data couldn't be read: " + std::move(description));
}
Error writeError(std::string description) {
    return Error("NSCocoaErrorDomain", kErrorWrite,
                 "The property list couldn't be written: " + std::move(description));
}

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// ---- Binary lists: full structural check before libplist parses them ----

class BinaryChecker {
public:
    explicit BinaryChecker(std::string_view bytes) : m_bytes(bytes) {}

    Result<void> check() {
        const size_t n = m_bytes.size();
        if (n < 8 + 32 || m_bytes.substr(0, 8) != "bplist00") {
            return readError("binary property list too short or of an unknown version");
        }
        const size_t trailer = n - 32;
        m_offsetSize = byteAt(trailer + 6);
        m_refSize = byteAt(trailer + 7);
        uint64_t objects = readUnsigned(trailer + 8, 8);
        uint64_t top = readUnsigned(trailer + 16, 8);
        uint64_t table = readUnsigned(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8) {
            return readError("binary property list has bad integer sizes");
        }
        if (objects == 0 || top >= objects || table < 8 || table > trailer) {
            return readError("binary property list trailer is inconsistent");
        }
        if (objects > (trailer - table) / m_offsetSize) {
            return readError("binary property list offset table is truncated");
        }
        m_objectCount = static_cast<size_t>(objects);
        m_tableOffset = static_cast<size_t>(table);
        m_offsets.resize(m_objectCount);
        for (size_t i = 0; i < m_objectCount; ++i) {
            uint64_t offset = readUnsigned(m_tableOffset + i * m_offsetSize, m_offsetSize);
            if (offset < 8 || offset >= m_tableOffset) {
                return readError("binary property list object offset out of range");
            }
            m_offsets[i] = static_cast<size_t>(offset);
        }
        return walk(static_cast<size_t>(top));
    }

private:
    struct Object {
        unsigned char kind = 0; // marker's high nibble
        size_t refsStart = 0;   // containers: first reference
        size_t childCount = 0;  // containers: references to follow
        bool isString = false;
        size_t payload = 0; // first byte after the marker and length
        uint64_t size = 0;  // payload bytes
    };
    struct Frame {
        size_t index;
        Object object;
        size_t cursor = 0;
        uint64_t expanded = 1;
    };

    unsigned byteAt(size_t at) const { return static_cast<unsigned char>(m_bytes[at]); }
    uint64_t readUnsigned(size_t at, size_t width) const {
        uint64_t value = 0;
        for (size_t k = 0; k < width; ++k) {
            value = value << 8 | byteAt(at + k);
        }
        return value;
    }

    // Checks that [start, start+length) lies inside the object area.
    bool fits(size_t start, uint64_t length) const {
        return start <= m_tableOffset && length <= m_tableOffset - start;
    }

    Result<Object> inspect(size_t index) const {
        size_t at = m_offsets[index];
        unsigned marker = byteAt(at);
        Object object;
        object.kind = static_cast<unsigned char>(marker >> 4);
        unsigned low = marker & 0xF;
        size_t payload = at + 1;
        auto lengthField = [&]() -> Result<uint64_t> {
            if (low != 0xF) {
                return uint64_t{low};
            }
            if (!fits(payload, 1)) {
                return readError("binary property list length marker out of range");
            }
            unsigned intMarker = byteAt(payload);
            if ((intMarker >> 4) != 0x1 || (intMarker & 0xF) > 3) {
                return readError("binary property list has a bad length marker");
            }
            size_t width = size_t{1} << (intMarker & 0xF);
            if (!fits(payload + 1, width)) {
                return readError("binary property list length out of range");
            }
            uint64_t length = readUnsigned(payload + 1, width);
            payload += 1 + width;
            return length;
        };
        uint64_t size = 0;
        switch (object.kind) {
        case 0x0:
            if (marker != 0x08 && marker != 0x09) {
                return readError("binary property list holds an unsupported simple value");
            }
            return object;
        case 0x1:
            if (low > 4) {
                return readError("binary property list integer too wide");
            }
            size = uint64_t{1} << low;
            break;
        case 0x2:
            if (low != 2 && low != 3) {
                return readError("binary property list real of bad width");
            }
            size = uint64_t{1} << low;
            break;
        case 0x3:
            if (marker != 0x33) {
                return readError("binary property list date of bad width");
            }
            size = 8;
            break;
        case 0x4:
        case 0x5:
        case 0x6: {
            MURMELO_TRY_VALUE(auto length, lengthField());
            size = length;
            if (object.kind == 0x6) {
                if (size > std::numeric_limits<uint64_t>::max() / 2) {
                    return readError("binary property list string length overflows");
                }
                size *= 2;
            }
            object.isString = object.kind != 0x4;
            break;
        }
        case 0x8:
            size = low + 1;
            if (size > 8) {
                return readError("binary property list uid too wide");
            }
            break;
        case 0xA:
        case 0xD: {
            MURMELO_TRY_VALUE(auto length, lengthField());
            uint64_t refs = length;
            if (object.kind == 0xD) {
                if (refs > std::numeric_limits<uint64_t>::max() / 2) {
                    return readError("binary property list dictionary too large");
                }
                refs *= 2;
            }
            if (refs > (m_tableOffset - std::min(payload, m_tableOffset)) / m_refSize) {
                return readError("binary property list container runs past its data");
            }
            object.refsStart = payload;
            object.childCount = static_cast<size_t>(refs);
            size = refs * m_refSize;
            break;
        }
        default:
            return readError("binary property list holds an unknown object type");
        }
        if (!fits(payload, size)) {
            return readError("binary property list object runs past its data");
        }
        object.payload = payload;
        object.size = size;
        return object;
    }

    // A key must be a string without NUL characters (libplist asserts on one).
    Result<void> checkKey(size_t index) const {
        MURMELO_TRY_VALUE(auto key, inspect(index));
        if (!key.isString) {
            return readError("binary property list dictionary key is not a string");
        }
        const size_t unit = key.kind == 0x6 ? 2 : 1;
        for (size_t at = key.payload; at + unit <= key.payload + key.size; at += unit) {
            if (byteAt(at) == 0 && (unit == 1 || byteAt(at + 1) == 0)) {
                return readError("binary property list dictionary key holds a NUL character");
            }
        }
        return Result<void>::success();
    }

    Result<size_t> childAt(const Frame& frame, size_t k) const {
        uint64_t ref = readUnsigned(frame.object.refsStart + k * m_refSize, m_refSize);
        if (ref >= m_objectCount) {
            return readError("binary property list reference out of range");
        }
        return static_cast<size_t>(ref);
    }

    // Depth-first walk without recursion: detects cycles, bounds the nesting,
    // checks dictionary keys are strings and sums how many objects a full
    // expansion of shared references would create.
    Result<void> walk(size_t top) {
        enum : unsigned char { kUnseen, kOnPath, kDone };
        std::vector<unsigned char> state(m_objectCount, kUnseen);
        std::vector<uint64_t> expanded(m_objectCount, 0);
        std::vector<Frame> stack;
        auto enter = [&](size_t index) -> Result<void> {
            MURMELO_TRY_VALUE(auto object, inspect(index));
            if (object.kind != 0xA && object.kind != 0xD) {
                state[index] = kDone;
                expanded[index] = 1;
                return Result<void>::success();
            }
            if (static_cast<int>(stack.size()) >= PropertyListSerialization::kMaxDepth) {
                return readError("property list nested too deeply");
            }
            state[index] = kOnPath;
            stack.push_back(Frame{index, object});
            return Result<void>::success();
        };
        MURMELO_TRY_VOID(enter(top));
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.cursor == frame.object.childCount) {
                state[frame.index] = kDone;
                expanded[frame.index] = frame.expanded;
                uint64_t done = frame.expanded;
                stack.pop_back();
                if (!stack.empty()) {
                    stack.back().expanded += done;
                    if (stack.back().expanded > PropertyListSerialization::kMaxExpandedObjects) {
                        return readError("property list expands to too many objects");
                    }
                }
                continue;
            }
            size_t k = frame.cursor++;
            MURMELO_TRY_VALUE(auto child, childAt(frame, k));
            bool isKey = frame.object.kind == 0xD && k < frame.object.childCount / 2;
            if (state[child] == kOnPath) {
                return readError("binary property list contains a cycle");
            }
            if (isKey) {
                MURMELO_TRY_VOID(checkKey(child));
            }
            if (state[child] == kUnseen) {
                // `frame` may dangle after enter() grows the stack.
                MURMELO_TRY_VOID(enter(child));
                if (state[child] == kOnPath) {
                    continue;
                }
            }
            stack.back().expanded += expanded[child];
            if (stack.back().expanded > PropertyListSerialization::kMaxExpandedObjects) {
                return readError("property list expands to too many objects");
            }
        }
        return Result<void>::success();
    }

    std::string_view m_bytes;
    size_t m_offsetSize = 0;
    size_t m_refSize = 0;
    size_t m_objectCount = 0;
    size_t m_tableOffset = 0;
    std::vector<size_t> m_offsets;
};

// ---- XML lists: measure the container nesting before parsing ----

bool startsWith(std::string_view text, size_t at, std::string_view prefix) {
    return text.size() - at >= prefix.size() && text.compare(at, prefix.size(), prefix) == 0;
}

Result<void> checkXmlNesting(std::string_view xml) {
    int depth = 0;
    size_t i = 0;
    while ((i = xml.find('<', i)) != std::string_view::npos) {
        if (startsWith(xml, i, "<!--")) {
            size_t end = xml.find("-->", i + 4);
            i = end == std::string_view::npos ? xml.size() : end + 3;
            continue;
        }
        if (startsWith(xml, i, "<![CDATA[")) {
            size_t end = xml.find("]]>", i + 9);
            i = end == std::string_view::npos ? xml.size() : end + 3;
            continue;
        }
        bool closing = startsWith(xml, i, "</");
        size_t nameStart = i + (closing ? 2 : 1);
        size_t nameLength = 0;
        if (startsWith(xml, nameStart, "dict")) {
            nameLength = 4;
        } else if (startsWith(xml, nameStart, "array")) {
            nameLength = 5;
        }
        size_t after = nameStart + nameLength;
        bool isContainer =
            nameLength > 0 && after < xml.size() && std::strchr(" \t\r\n/>", xml[after]) != nullptr;
        size_t tagEnd = xml.find('>', i);
        if (isContainer) {
            if (closing) {
                depth = std::max(0, depth - 1);
            } else if (tagEnd == std::string_view::npos || xml[tagEnd - 1] != '/') {
                if (++depth > PropertyListSerialization::kMaxDepth) {
                    return readError("property list nested too deeply");
                }
            }
        }
        i = tagEnd == std::string_view::npos ? xml.size() : tagEnd + 1;
    }
    return Result<void>::success();
}

// ---- libplist nodes ↔ Values ----

Result<Value> toValue(plist_t node, int depth) {
    if (depth > PropertyListSerialization::kMaxDepth) {
        return readError("property list nested too deeply");
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return Value(b != 0);
    }
    case PLIST_UINT: {
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        return Value(static_cast<long long>(u));
    }
    case PLIST_UID: {
        uint64_t u = 0;
        plist_get_uid_val(node, &u);
        return Value(static_cast<long long>(u));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return Value(d);
    }
    case PLIST_DATE: {
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return Value(Date{static_cast<double>(sec) + static_cast<double>(usec) / 1e6});
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return Value(std::string(text ? text : "", text ? static_cast<size_t>(length) : 0));
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes);
        return Value(bytes ? Data(begin, begin + length) : Data{});
    }
    case PLIST_ARRAY: {
        Array array;
        uint32_t count = plist_array_get_size(node);
        array.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            auto item = toValue(plist_array_get_item(node, i), depth + 1);
            if (!item) {
                return item;
            }
            array.push_back(std::move(*item));
        }
        return Value(std::move(array));
    }
    case PLIST_DICT: {
        Dictionary dictionary;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (!item) {
                std::free(key);
                break;
            }
            std::string name = key ? key : "";
            std::free(key);
            auto converted = toValue(item, depth + 1);
            if (!converted) {
                std::free(it);
                return converted;
            }
            dictionary.set(std::move(name), std::move(*converted));
        }
        std::free(it);
        return Value(std::move(dictionary));
    }
    default:
        return readError("property list holds an object of unknown type");
    }
}

Result<void> checkWritableString(const std::string& text, const char* what) {
    if (text.find('\0') != std::string::npos) {
        return writeError(std::string(what) + " holds a NUL character");
    }
    if (!unicode::isValidUtf8(text)) {
        return writeError(std::string(what) + " is not valid UTF-8");
    }
    return Result<void>::success();
}

Result<PlistPtr> toNode(const Value& value, int depth) {
    if (depth > PropertyListSerialization::kMaxDepth) {
        return writeError("nested too deeply");
    }
    switch (value.type()) {
    case ValueType::Null:
        return writeError("null has no property list form");
    case ValueType::Boolean:
        return PlistPtr(plist_new_bool(value.boolValue() ? 1 : 0));
    case ValueType::Integer:
        return PlistPtr(plist_new_uint(static_cast<uint64_t>(value.integerValue())));
    case ValueType::Real:
    case ValueType::Decimal:
        return PlistPtr(plist_new_real(value.doubleValue()));
    case ValueType::String: {
        MURMELO_TRY_VOID(checkWritableString(value.asString()->str(), "a string"));
        return PlistPtr(plist_new_string(value.asString()->c_str()));
    }
    case ValueType::Data: {
        const Data& data = *value.asData();
        return PlistPtr(plist_new_data(reinterpret_cast<const char*>(data.data()), data.size()));
    }
    case ValueType::Date: {
        double t = value.asDate()->sinceReferenceDate;
        double whole = std::floor(t);
        if (!std::isfinite(t) || whole < INT32_MIN || whole > INT32_MAX) {
            return writeError("date outside the representable years 1933 to 2069");
        }
        auto usec = static_cast<int32_t>(std::lround((t - whole) * 1e6));
        auto sec = static_cast<int32_t>(whole);
        if (usec >= 1000000) {
            if (sec == INT32_MAX) {
                return writeError("date outside the representable years 1933 to 2069");
            }
            ++sec;
            usec -= 1000000;
        }
        return PlistPtr(plist_new_date(sec, usec));
    }
    case ValueType::Array: {
        PlistPtr array(plist_new_array());
        for (const Value& item : *value.asArray()) {
            auto node = toNode(item, depth + 1);
            if (!node) {
                return node;
            }
            plist_array_append_item(array.get(), node->release());
        }
        return array;
    }
    case ValueType::Dictionary: {
        PlistPtr dict(plist_new_dict());
        for (const auto& [key, item] : *value.asDictionary()) {
            MURMELO_TRY_VOID(checkWritableString(key.str(), "a dictionary key"));
            auto node = toNode(item, depth + 1);
            if (!node) {
                return node;
            }
            plist_dict_set_item(dict.get(), key.c_str(), node->release());
        }
        return dict;
    }
    }
    return writeError("unknown value type");
}

} // namespace

Result<Value> PropertyListSerialization::propertyListWithData(std::string_view bytes, PropertyListMutability,
                                                              PropertyListFormat* format) {
    if (bytes.empty()) {
        return readError("no property list (empty data)");
    }
    if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
        return readError("property list too large");
    }
    const bool binary = bytes.size() >= 8 && bytes.substr(0, 6) == "bplist";
    plist_t root = nullptr;
    if (binary) {
        MURMELO_TRY_VOID(BinaryChecker(bytes).check());
        plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    } else {
        if (bytes.find('\0') != std::string_view::npos) {
            return readError("XML property list holds a NUL byte");
        }
        MURMELO_TRY_VOID(checkXmlNesting(bytes));
        plist_from_xml(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    }
    if (!root) {
        return readError(binary ? "malformed binary property list" : "malformed XML property list");
    }
    PlistPtr owner(root);
    if (format) {
        *format = binary ? PropertyListFormat::Binary : PropertyListFormat::Xml;
    }
    return toValue(root, 0);
}

Result<Value> PropertyListSerialization::propertyListWithData(const Data& bytes,
                                                              PropertyListMutability options,
                                                              PropertyListFormat* format) {
    return propertyListWithData(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                options, format);
}

Result<std::string> PropertyListSerialization::dataWithPropertyList(const Value& value,
                                                                    PropertyListFormat format) {
    MURMELO_TRY_VALUE(auto node, toNode(value, 0));
    char* out = nullptr;
    uint32_t length = 0;
    if (format == PropertyListFormat::Xml) {
        plist_to_xml(node.get(), &out, &length);
    } else {
        plist_to_bin(node.get(), &out, &length);
    }
    if (!out) {
        return writeError("libplist produced nothing");
    }
    std::string bytes(out, length);
    std::free(out);
    return bytes;
}

Result<Value> PropertyListSerialization::propertyListWithContentsOfFile(const std::string& path) {
    MURMELO_TRY_VALUE(auto bytes, fs::readFile(path));
    return propertyListWithData(bytes);
}

Result<void> PropertyListSerialization::writePropertyListToFile(const Value& value, const std::string& path,
                                                                PropertyListFormat format, unsigned mode) {
    MURMELO_TRY_VALUE(auto bytes, dataWithPropertyList(value, format));
    return fs::writeFileAtomically(path, bytes, mode);
}

std::optional<Dictionary> dictionaryWithContentsOfFile(const std::string& path) {
    auto value = PropertyListSerialization::propertyListWithContentsOfFile(path);
    if (!value || !value->isDictionary()) {
        return std::nullopt;
    }
    return std::move(*value->asDictionary());
}

std::optional<Array> arrayWithContentsOfFile(const std::string& path) {
    auto value = PropertyListSerialization::propertyListWithContentsOfFile(path);
    if (!value || !value->isArray()) {
        return std::nullopt;
    }
    return std::move(*value->asArray());
}

} // namespace murmelo
