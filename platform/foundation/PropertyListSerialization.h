// PropertyListSerialization: reads XML and binary property lists into Values
// and writes Values back, over libplist. Stateless; thread-safe.
//
// Reading never trusts its input: a binary list is checked in full (trailer,
// offset table, object bounds, references, cycles, nesting, and how far
// shared references would expand) and an XML list's nesting is measured
// before libplist sees either, so malformed bytes give an error, not a crash.
//
// Type mapping: dictionary, array, string, integer (64-bit signed), real,
// boolean, date, data; a keyed-archive uid reads as an integer. Writing takes
// the same types; a Decimal is written as a real (a decimal number is a
// number to the platform, and property lists have no exact-decimal type);
// null, strings that are not UTF-8 or hold a NUL byte, and dates outside
// 1933..2069 (libplist keeps 32-bit seconds) cannot be written and give an
// error. XML keeps whole seconds of a date; binary keeps microseconds.
//
//   auto value = PropertyListSerialization::propertyListWithData(bytes);
//   if (!value) logLine("Error: %s", value.error().localizedDescription().c_str());
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo {

enum class PropertyListFormat { Xml, Binary };

// The platform's "mutable containers (and leaves)" read options. Accepted for
// fidelity and otherwise without effect: a Value is mutable whenever it is
// not const, whatever was asked for.
enum class PropertyListMutability { Immutable, MutableContainers, MutableContainersAndLeaves };

class PropertyListSerialization {
public:
    // Containers nested deeper than this are refused on reading and writing.
    static constexpr int kMaxDepth = 512;
    // A binary list may share one object from many places; reading copies it
    // each time, so the expanded object count is bounded too.
    static constexpr size_t kMaxExpandedObjects = 1'000'000;

    // Detects the format from the bytes ("bplist00" is binary, anything else
    // is read as XML). `format`, when given, receives the detected one.
    static Result<Value>
    propertyListWithData(std::string_view bytes,
                         PropertyListMutability options = PropertyListMutability::Immutable,
                         PropertyListFormat* format = nullptr);
    static Result<Value>
    propertyListWithData(const Data& bytes,
                         PropertyListMutability options = PropertyListMutability::Immutable,
                         PropertyListFormat* format = nullptr);

    static Result<std::string> dataWithPropertyList(const Value& value, PropertyListFormat format);

    static Result<Value> propertyListWithContentsOfFile(const std::string& path);
    // Atomic replacement (see fs::writeFileAtomically).
    static Result<void> writePropertyListToFile(const Value& value, const std::string& path,
                                                PropertyListFormat format = PropertyListFormat::Xml,
                                                unsigned mode = 0644);
};

// The platform's collection file helpers: nothing on any error (missing,
// unreadable, malformed, or of another top-level type).
std::optional<Dictionary> dictionaryWithContentsOfFile(const std::string& path);
std::optional<Array> arrayWithContentsOfFile(const std::string& path);

} // namespace murmelo
