#include "app/ads/AdWhirlError.h"

namespace murmelo {

Error AdWhirlError::errorWithCode(AdWhirlErrorCode code, std::string description) {
    return Error(kAdWhirlErrorDomain, static_cast<long>(code), std::move(description));
}

Error AdWhirlError::errorWithCode(AdWhirlErrorCode code, std::string description, Error underlyingError) {
    Error error = errorWithCode(code, std::move(description));
    error.withUnderlyingError(std::move(underlyingError));
    return error;
}

bool AdWhirlError::is(const Error& error, AdWhirlErrorCode code) {
    return error.is(kAdWhirlErrorDomain, static_cast<long>(code));
}

} // namespace murmelo
