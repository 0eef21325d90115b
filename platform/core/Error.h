// Error: what went wrong, as the platform reports it — a domain, an integer
// code, a human description, an optional failure reason, user info and the
// error that caused it. Immutable once made; cheap to copy (the underlying
// chain is shared).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/core/Value.h"

namespace murmelo {

inline constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";

class Error {
public:
    Error() = default;
    Error(std::string domain, long code, std::string description);

    // Named factories for the platform's own domains.
    static Error posix(int errnoValue, const std::string& context);
    static Error generic(std::string description);

    const std::string& domain() const { return m_domain; }
    long code() const { return m_code; }
    const std::string& localizedDescription() const { return m_description; }
    const std::optional<std::string>& failureReason() const { return m_failureReason; }
    const Dictionary& userInfo() const { return m_userInfo; }
    // The error that caused this one, or null.
    const std::shared_ptr<const Error>& underlyingError() const { return m_underlying; }

    Error& withFailureReason(std::string reason);
    Error& withUserInfo(Dictionary info);
    Error& withUnderlyingError(Error underlying);

    bool is(const std::string& domain, long code) const { return m_domain == domain && m_code == code; }

    // "Error Domain=D Code=N \"description\"" — the platform's log form.
    std::string debugDescription() const;

private:
    std::string m_domain;
    long m_code = 0;
    std::string m_description;
    std::optional<std::string> m_failureReason;
    Dictionary m_userInfo;
    std::shared_ptr<const Error> m_underlying;
};

} // namespace murmelo
