#include "servers/http/Json.h"

#include "app/json/KQJsonParser.h"
#include "app/json/KQJsonWriter.h"
#include "platform/core/Log.h"

namespace murmelo::servers {

Result<std::string> jsonText(const Value& value) {
    KQJsonWriter writer;
    return writer.stringWithObject(value);
}

std::string jsonReply(const Value& value) {
    auto text = jsonText(value);
    if (!text) {
        logLine("servers: cannot write a JSON reply: %s", text.error().localizedDescription().c_str());
        return "{\"code\":500,\"msg\":\"internal error\"}";
    }
    return std::move(*text);
}

Result<Value> parseJson(std::string_view text) {
    KQJsonParser parser;
    return parser.objectWithString(text);
}

} // namespace murmelo::servers
