#include "servers/http/Json.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/core/Log.h"
#include "servers/http/Text.h"

namespace murmelo::servers {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kJsonErrorDomain = "MurmeloServerJson";

Error jsonError(std::string description) {
    return Error(kJsonErrorDomain, 1, std::move(description));
}

// Builds a Value straight from nlohmann's parser events: no intermediate
// document, and a failure is reported here instead of thrown.
class ValueBuilder : public nlohmann::json_sax<Json> {
public:
    bool null() override { return add(Value()); }
    bool boolean(bool value) override { return add(Value(value)); }
    bool number_integer(number_integer_t value) override { return add(Value(static_cast<long long>(value))); }
    bool number_unsigned(number_unsigned_t value) override {
        if (value <= static_cast<number_unsigned_t>(std::numeric_limits<long long>::max())) {
            return add(Value(static_cast<long long>(value)));
        }
        return add(Value(*Decimal::fromString(std::to_string(value))));
    }
    bool number_float(number_float_t value, const string_t& text) override {
        // Exact, as written; a magnitude the decimal type cannot hold stays a double.
        if (auto decimal = Decimal::fromString(text)) {
            return add(Value(*decimal));
        }
        return add(Value(value));
    }
    bool string(string_t& value) override { return add(Value(std::move(value))); }
    bool binary(binary_t&) override { return fail("binary values are not JSON"); }

    bool start_object(std::size_t) override { return open(Value(Dictionary())); }
    bool key(string_t& value) override {
        m_keys.back() = std::move(value);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(Value(Array())); }
    bool end_array() override { return close(); }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override {
        return fail(error.what());
    }

    Result<Value> result() {
        if (!m_error.empty()) {
            return jsonError(std::move(m_error));
        }
        if (!m_root.isArray() && !m_root.isDictionary()) {
            return jsonError("the top level must be an object or an array");
        }
        return std::move(m_root);
    }

private:
    bool fail(std::string message) {
        m_error = std::move(message);
        return false;
    }

    bool open(Value container) {
        if (m_open.size() >= static_cast<size_t>(kMaxJsonDepth)) {
            return fail("nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
        }
        m_open.push_back(std::move(container));
        m_keys.emplace_back();
        return true;
    }

    bool close() {
        Value finished = std::move(m_open.back());
        m_open.pop_back();
        m_keys.pop_back();
        return add(std::move(finished));
    }

    bool add(Value value) {
        if (m_open.empty()) {
            m_root = std::move(value);
        } else if (Array* array = m_open.back().asArray()) {
            array->push_back(std::move(value));
        } else {
            // Dictionary::set keeps a repeated key where it first stood.
            m_open.back().asDictionary()->set(std::move(m_keys.back()), std::move(value));
        }
        return true;
    }

    std::vector<Value> m_open;       // the containers being filled, innermost last
    std::vector<std::string> m_keys; // the pending key of each open object
    Value m_root;
    std::string m_error;
};

Result<Json> toJson(const Value& value) {
    switch (value.type()) {
    case ValueType::Null:
        return Json(nullptr);
    case ValueType::Boolean:
        return Json(value.boolValue());
    case ValueType::Integer:
        return Json(static_cast<std::int64_t>(value.integerValue()));
    case ValueType::Real: {
        double real = value.doubleValue();
        if (!std::isfinite(real)) {
            return jsonError("a number that is not finite has no JSON form");
        }
        return Json(real);
    }
    case ValueType::Decimal: {
        const Decimal& decimal = *value.asDecimal();
        if (decimal.isNaN()) {
            return jsonError("a number that is not finite has no JSON form");
        }
        // Whole numbers keep their digits; anything else goes out as the nearest double.
        if (long long whole = decimal.longLongValue(); Decimal::fromInteger(whole) == decimal) {
            return Json(static_cast<std::int64_t>(whole));
        }
        return Json(decimal.doubleValue());
    }
    case ValueType::String:
        if (!isValidUtf8(*value.asString())) {
            return jsonError("a string that is not UTF-8 has no JSON form");
        }
        return Json(*value.asString());
    case ValueType::Array: {
        Json out = Json::array();
        for (const Value& element : *value.asArray()) {
            auto converted = toJson(element);
            if (!converted) {
                return converted.error();
            }
            out.push_back(std::move(*converted));
        }
        return out;
    }
    case ValueType::Dictionary: {
        Json out = Json::object();
        for (const auto& [key, member] : *value.asDictionary()) {
            if (!isValidUtf8(key)) {
                return jsonError("a key that is not UTF-8 has no JSON form");
            }
            auto converted = toJson(member);
            if (!converted) {
                return jsonError("the value for key \"" + key.str() +
                                 "\": " + converted.error().localizedDescription());
            }
            out.emplace(key.str(), std::move(*converted));
        }
        return out;
    }
    case ValueType::Data:
        return jsonError("data has no JSON form");
    case ValueType::Date:
        return jsonError("a date has no JSON form");
    }
    return jsonError("unknown value type");
}

} // namespace

Result<std::string> jsonText(const Value& value) {
    if (!value.isArray() && !value.isDictionary()) {
        return jsonError("the top level must be an object or an array");
    }
    auto json = toJson(value);
    if (!json) {
        return json.error();
    }
    // Every string was checked above, so the strict dump cannot throw.
    return json->dump();
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
    ValueBuilder builder;
    Json::sax_parse(text, &builder);
    return builder.result();
}

} // namespace murmelo::servers
