// KQJsonWriter: writes the device's Value model as JSON text.
//
//   KQJsonWriter writer;
//   writer.setSortKeys(true);
//   Result<std::string> text = writer.stringWithObject(Value(Dictionary{{"b", 1}, {"a", 2}}));
//   // *text == R"({"a":2,"b":1})"
//
// Dictionaries become objects (keys in insertion order, or sorted bytewise
// with sortKeys), arrays arrays, strings strings (only the quote, the
// backslash and control characters escaped), booleans true/false, other
// numbers their decimal text, null null. Data, dates, non-finite numbers and
// strings that are not UTF-8 cannot be written (errors 1 and 13).
//
// Threading: one call at a time per instance; separate instances may run on
// separate threads. The writer borrows the value for the call and owns its
// trace and a scratch stack it reuses. Containers are walked without
// recursion; depth beyond maxDepth (or kHardDepthLimit) is error 7.
#pragma once

#include <string>
#include <vector>

#include "app/json/KQJsonBase.h"
#include "app/json/KQJsonProxy.h"
#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo {

namespace json_internal {
class TextOut;
}

class KQJsonWriter : public KQJsonBase {
public:
    KQJsonWriter() = default;
    KQJsonWriter(const KQJsonWriter&) = delete;
    KQJsonWriter& operator=(const KQJsonWriter&) = delete;

    bool sortKeys() const { return m_sortKeys; }
    void setSortKeys(bool sortKeys) { m_sortKeys = sortKeys; }
    // Members and elements on lines of their own, indented two blanks per level.
    bool humanReadable() const { return m_humanReadable; }
    void setHumanReadable(bool humanReadable) { m_humanReadable = humanReadable; }

    // The text of a dictionary or array; anything else is error 4.
    [[nodiscard]] Result<std::string> stringWithObject(const Value& value);
    // A proxy is not a dictionary or array itself, so this is always error 4.
    [[nodiscard]] Result<std::string> stringWithObject(const KQJsonProxy& proxy);
    // The text of any writable value.
    [[nodiscard]] Result<std::string> stringWithFragment(const Value& value);
    // The text of the proxy's substitute.
    [[nodiscard]] Result<std::string> stringWithFragment(const KQJsonProxy& proxy);

private:
    // An open container: an object (entries) or an array (elements).
    struct Frame {
        const Dictionary::Entry* entries;
        const Value* elements;
        size_t size;
        size_t next;                                  // index of the next member or element
        std::vector<const Dictionary::Entry*> sorted; // object members in writing order with sortKeys
        const ValueString* key;                       // key of the member being written
        bool isObject;
    };

    Result<std::string> begin(const Value* value, const KQJsonProxy* proxy);
    bool writeValue(const Value& root, json_internal::TextOut& out);
    bool writeScalar(const Value& value, json_internal::TextOut& out);
    // A key or a string value.
    template <typename Text> bool writeString(const Text& text, json_internal::TextOut& out);
    void appendIndent(json_internal::TextOut& out) const;
    // Each open object adds "Unsupported value for key %@ in object".
    void addEnclosingErrors();
    Error failure();

    bool m_sortKeys = false;
    bool m_humanReadable = false;
    std::vector<Frame> m_stack;
    size_t m_lastSize = 0; // length of the last text written, to size the next
};

} // namespace murmelo
