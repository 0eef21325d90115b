// URLParser: splits the query of a URL into its "name=value" pieces and
// answers the value of one name. The in-page link routing reads the
// variables of the links the pages follow with it.
//
// Pieces are kept character for character as they stand in the URL: no
// percent-decoding, no splitting at "=". A value object; not synchronised
// (one thread at a time per instance).
//
//   URLParser parser("http://h/index.php?r=secret/single&secret_id=42");
//   parser.valueForVariable("secret_id");   // "42"
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace murmelo {

class URLParser {
public:
    URLParser() = default;
    // initWithURLString:
    explicit URLParser(std::string_view urlString);

    // The value of the first piece that starts with `name` followed by "="
    // and has at least one character after it; nothing otherwise. Names
    // compare exactly, letter case included, so "name=" alone reads as
    // nothing, the same as a missing name.
    std::optional<std::string> valueForVariable(std::string_view name) const;

    const std::vector<std::string>& variables() const { return m_variables; }
    void setVariables(std::vector<std::string> variables) { m_variables = std::move(variables); }

    // The pieces of `urlString`: what the constructor keeps.
    static std::vector<std::string> splitQuery(std::string_view urlString);

private:
    std::vector<std::string> m_variables;
};

} // namespace murmelo
