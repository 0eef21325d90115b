#include "platform/core/Error.h"

#include <cstring>

namespace murmelo {

Error::Error(std::string domain, long code, std::string description)
    : m_domain(std::move(domain)), m_code(code), m_description(std::move(description)) {}

Error Error::posix(int errnoValue, const std::string& context) {
    std::string text =
        context.empty() ? std::string(std::strerror(errnoValue)) : context + ": " + std::strerror(errnoValue);
    return Error(kPOSIXErrorDomain, errnoValue, std::move(text));
}

Error Error::generic(std::string description) {
    return Error("MurmeloErrorDomain", 1, std::move(description));
}

Error& Error::withFailureReason(std::string reason) {
    m_failureReason = std::move(reason);
    return *this;
}

Error& Error::withUserInfo(Dictionary info) {
    m_userInfo = std::move(info);
    return *this;
}

Error& Error::withUnderlyingError(Error underlying) {
    m_underlying = std::make_shared<const Error>(std::move(underlying));
    return *this;
}

std::string Error::debugDescription() const {
    return "Error Domain=" + m_domain + " Code=" + std::to_string(m_code) + " \"" + m_description + "\"";
}

} // namespace murmelo
