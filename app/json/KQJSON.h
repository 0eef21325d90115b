// KQJSON: one JSON reader and one JSON writer behind a single object, plus the
// four one-call shorthands.
//
//   KQJSON json;
//   Result<Value> reply = json.objectWithString(body);   // error: the trace's last
//
// The facade forwards to the reader and writer it owns. On failure it replaces
// its own trace with a copy of theirs; on success its trace stays as it was.
// The Result's error is the trace's last error, whose underlying errors lead
// back through the whole chain.
//
// Threading: one call at a time per instance (the parts keep per-call state);
// the shorthands make a fresh reader or writer per call and may be used from
// any thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/json/KQJsonParser.h"
#include "app/json/KQJsonProxy.h"
#include "app/json/KQJsonWriter.h"

namespace murmelo {

// Whether the top level may be any value rather than an object or array.
enum class AllowScalar { No, Yes };

class KQJSON {
public:
    KQJSON();
    KQJSON(const KQJSON&) = delete;
    KQJSON& operator=(const KQJSON&) = delete;

    // Reading. objectWithString with AllowScalar::Yes is fragmentWithString.
    [[nodiscard]] Result<Value> objectWithString(std::optional<std::string_view> text,
                                                 AllowScalar allowScalar = AllowScalar::No);
    [[nodiscard]] Result<Value> fragmentWithString(std::optional<std::string_view> text);

    // Writing. stringWithObject with AllowScalar::Yes is stringWithFragment.
    [[nodiscard]] Result<std::string> stringWithObject(const Value& value,
                                                       AllowScalar allowScalar = AllowScalar::No);
    [[nodiscard]] Result<std::string> stringWithObject(const KQJsonProxy& proxy,
                                                       AllowScalar allowScalar = AllowScalar::No);
    [[nodiscard]] Result<std::string> stringWithFragment(const Value& value);
    [[nodiscard]] Result<std::string> stringWithFragment(const KQJsonProxy& proxy);

    // The trace of the last failed operation (a copy).
    std::vector<Error> errorTrace() const { return m_errorTrace; }

    bool sortKeys() const { return m_jsonWriter->sortKeys(); }
    void setSortKeys(bool sortKeys) { m_jsonWriter->setSortKeys(sortKeys); }
    bool humanReadable() const { return m_jsonWriter->humanReadable(); }
    void setHumanReadable(bool humanReadable) { m_jsonWriter->setHumanReadable(humanReadable); }
    // Read from the reader; setting sets both.
    unsigned maxDepth() const { return m_jsonParser->maxDepth(); }
    void setMaxDepth(unsigned maxDepth);

    KQJsonParser& jsonParser() { return *m_jsonParser; }
    KQJsonWriter& jsonWriter() { return *m_jsonWriter; }

private:
    template <class T> Result<T> keepTrace(Result<T> result, const KQJsonBase& part);

    std::unique_ptr<KQJsonParser> m_jsonParser;
    std::unique_ptr<KQJsonWriter> m_jsonWriter;
    std::vector<Error> m_errorTrace;
};

// The shorthands: each makes a fresh reader or writer for the one call and, on
// failure only, logs "-<name> failed. Error trace is: (…)" and gives nothing.
[[nodiscard]] std::optional<std::string> JSONRepresentation(const Value& value);
[[nodiscard]] std::optional<std::string> JSONRepresentation(const KQJsonProxy& proxy);
[[nodiscard]] std::optional<std::string> JSONFragment(const Value& value);
[[nodiscard]] std::optional<std::string> JSONFragment(const KQJsonProxy& proxy);
[[nodiscard]] std::optional<Value> JSONValue(std::string_view text);
[[nodiscard]] std::optional<Value> JSONFragmentValue(std::string_view text);

} // namespace murmelo
