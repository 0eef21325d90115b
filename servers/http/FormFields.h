// Form and query decoding for the servers: application/x-www-form-urlencoded
// bodies and query strings ("a=1&b=x+y%21"), multipart parts, and the Cookie
// request header. Pure functions over untrusted bytes: malformed input gives
// an error, never a crash. Thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/Result.h"
#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

// Decoded name/value pairs in the order received; names may repeat.
class FormFields {
public:
    FormFields() = default;
    explicit FormFields(std::vector<std::pair<std::string, std::string>> fields)
        : m_fields(std::move(fields)) {}

    // The first value of `name`, or nothing.
    std::optional<std::string> get(std::string_view name) const;
    std::string getOr(std::string_view name, std::string fallback) const;
    bool contains(std::string_view name) const { return get(name).has_value(); }
    const std::vector<std::pair<std::string, std::string>>& all() const { return m_fields; }
    void add(std::string name, std::string value) {
        m_fields.emplace_back(std::move(name), std::move(value));
    }

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

// Strict decoding: "+" is a blank, "%" must be followed by two hex digits, and
// every decoded name and value must be valid UTF-8. Empty items ("a=1&&b=2")
// are skipped; an item without "=" is a name with an empty value.
Result<FormFields> parseUrlEncoded(std::string_view text);

// The fields of a request body: url-encoded or multipart (file parts are
// skipped). Anything else is an error, and so is a multipart body without its
// closing boundary unless the caller accepts those (some clients never send
// one; their requests must then be checked otherwise, e.g. by a signature).
enum class UnterminatedMultipart { Refuse, Accept };
Result<FormFields> parseRequestForm(const HttpRequest& request,
                                    UnterminatedMultipart unterminated = UnterminatedMultipart::Refuse);

// Query fields of a request. Pages are lenient: a malformed query reads as
// the items that did decode.
FormFields parseQueryLeniently(std::string_view query);

// "a=1; b=2" → pairs; values are taken as they stand (quotes removed).
std::vector<std::pair<std::string, std::string>> parseCookieHeader(std::string_view header);

} // namespace murmelo::servers
