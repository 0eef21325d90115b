// Locale: a language/region identifier as the platform names them ("en_US",
// "de_DE", "zh-Hans"). The current locale comes from the POSIX environment:
// the first set of LC_ALL, LC_MESSAGES and LANG, with the codeset and
// modifier dropped ("de_DE.UTF-8@euro" → "de_DE"); "C", "POSIX" and nothing
// at all mean "en_US". Value type; thread-safe to copy.
#pragma once

#include <string>
#include <string_view>

namespace murmelo {

class Locale {
public:
    explicit Locale(std::string identifier) : m_identifier(std::move(identifier)) {}

    // Read from the environment at each call.
    static Locale currentLocale();
    // The identifier a POSIX locale name stands for (see above).
    static std::string identifierFromPosixName(std::string_view posixName);

    const std::string& localeIdentifier() const { return m_identifier; }
    // The part before the first "_" or "-": "zh-Hans" → "zh", "en_US" → "en".
    std::string languageCode() const;
    // The region after "_" when there is one ("en_US" → "US"), else "".
    std::string countryCode() const;

    bool operator==(const Locale&) const = default;

private:
    std::string m_identifier;
};

} // namespace murmelo
