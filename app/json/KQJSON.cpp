#include "app/json/KQJSON.h"

#include "platform/core/Log.h"

namespace murmelo {

KQJSON::KQJSON()
    : m_jsonParser(std::make_unique<KQJsonParser>()), m_jsonWriter(std::make_unique<KQJsonWriter>()) {}

void KQJSON::setMaxDepth(unsigned maxDepth) {
    m_jsonParser->setMaxDepth(maxDepth);
    m_jsonWriter->setMaxDepth(maxDepth);
}

template <class T> Result<T> KQJSON::keepTrace(Result<T> result, const KQJsonBase& part) {
    if (!result) {
        m_errorTrace = part.errorTrace();
    }
    return result;
}

Result<Value> KQJSON::objectWithString(std::optional<std::string_view> text, AllowScalar allowScalar) {
    return keepTrace(allowScalar == AllowScalar::Yes ? m_jsonParser->fragmentWithString(text)
                                                     : m_jsonParser->objectWithString(text),
                     *m_jsonParser);
}

Result<Value> KQJSON::fragmentWithString(std::optional<std::string_view> text) {
    return objectWithString(text, AllowScalar::Yes);
}

Result<std::string> KQJSON::stringWithObject(const Value& value, AllowScalar allowScalar) {
    return keepTrace(allowScalar == AllowScalar::Yes ? m_jsonWriter->stringWithFragment(value)
                                                     : m_jsonWriter->stringWithObject(value),
                     *m_jsonWriter);
}

Result<std::string> KQJSON::stringWithObject(const KQJsonProxy& proxy, AllowScalar allowScalar) {
    return keepTrace(allowScalar == AllowScalar::Yes ? m_jsonWriter->stringWithFragment(proxy)
                                                     : m_jsonWriter->stringWithObject(proxy),
                     *m_jsonWriter);
}

Result<std::string> KQJSON::stringWithFragment(const Value& value) {
    return stringWithObject(value, AllowScalar::Yes);
}

Result<std::string> KQJSON::stringWithFragment(const KQJsonProxy& proxy) {
    return stringWithObject(proxy, AllowScalar::Yes);
}

namespace {

template <class T> std::optional<T> logged(Result<T> result, const KQJsonBase& part, const char* name) {
    if (!result) {
        logLine("-%s failed. Error trace is: %s", name, describeErrorTrace(part.errorTrace()).c_str());
        return std::nullopt;
    }
    return std::move(result).value();
}

} // namespace

std::optional<std::string> JSONRepresentation(const Value& value) {
    KQJsonWriter writer;
    return logged(writer.stringWithObject(value), writer, "JSONRepresentation");
}

std::optional<std::string> JSONRepresentation(const KQJsonProxy& proxy) {
    KQJsonWriter writer;
    return logged(writer.stringWithObject(proxy), writer, "JSONRepresentation");
}

std::optional<std::string> JSONFragment(const Value& value) {
    KQJsonWriter writer;
    return logged(writer.stringWithFragment(value), writer, "JSONFragment");
}

std::optional<std::string> JSONFragment(const KQJsonProxy& proxy) {
    KQJsonWriter writer;
    return logged(writer.stringWithFragment(proxy), writer, "JSONFragment");
}

std::optional<Value> JSONValue(std::string_view text) {
    KQJsonParser parser;
    return logged(parser.objectWithString(text), parser, "JSONValue");
}

std::optional<Value> JSONFragmentValue(std::string_view text) {
    KQJsonParser parser;
    return logged(parser.fragmentWithString(text), parser, "JSONFragmentValue");
}

} // namespace murmelo
