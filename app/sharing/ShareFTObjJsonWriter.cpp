#include "app/sharing/ShareFTObjJsonWriter.h"

#include <cmath>

#include "platform/core/Text.h"
#include "platform/foundation/Unicode.h"

namespace murmelo {

namespace {

constexpr int kMaxDepth = 64; // the attachment is three levels deep

const char* typeName(ValueType type) {
    switch (type) {
    case ValueType::Data:
        return "NSData";
    case ValueType::Date:
        return "NSDate";
    default:
        return "NSObject";
    }
}

Error serializeError(const std::string& description) {
    return Error("ShareFTObj", 1, description);
}

Result<void> writeValue(std::string& out, const Value& value, int depth) {
    if (depth > kMaxDepth) {
        return serializeError("Could not serialize object '" + value.debugDescription() + "'");
    }
    switch (value.type()) {
    case ValueType::Null:
        out += "null";
        return {};
    case ValueType::Boolean:
        out += value.boolValue() ? "true" : "false";
        return {};
    case ValueType::Integer:
    case ValueType::Decimal:
        out += value.stringValue();
        return {};
    case ValueType::Real:
        if (!std::isfinite(value.doubleValue())) {
            return serializeError("Could not serialize object '" + value.debugDescription() + "'");
        }
        out += value.stringValue();
        return {};
    case ValueType::String:
        if (!unicode::isValidUtf8(*value.asString())) {
            return serializeError("Could not serialize object '" + value.debugDescription() + "'");
        }
        appendShareJsonString(out, *value.asString());
        return {};
    case ValueType::Array: {
        out += '[';
        bool first = true;
        for (const Value& element : *value.asArray()) {
            if (!first) {
                out += ',';
            }
            first = false;
            if (Result<void> written = writeValue(out, element, depth + 1); !written) {
                return written;
            }
        }
        out += ']';
        return {};
    }
    case ValueType::Dictionary: {
        out += '{';
        bool first = true;
        for (const auto& [key, member] : *value.asDictionary()) {
            if (!unicode::isValidUtf8(key)) {
                return serializeError("Could not serialize object '" + key.str() + "'");
            }
            if (!first) {
                out += ',';
            }
            first = false;
            appendShareJsonString(out, key);
            out += ':';
            if (Result<void> written = writeValue(out, member, depth + 1); !written) {
                return written;
            }
        }
        out += '}';
        return {};
    }
    case ValueType::Data:
    case ValueType::Date:
        break;
    }
    return serializeError(std::string("Cannot serialize data of type '") + typeName(value.type()) + "'");
}

} // namespace

void appendShareJsonString(std::string& out, std::string_view text) {
    text::appendScriptString(out, text, text::QuoteMark::Double);
}

Result<std::string> writeShareJson(const Value& value) {
    std::string out;
    if (Result<void> written = writeValue(out, value, 0); !written) {
        return written.error();
    }
    return out;
}

} // namespace murmelo
