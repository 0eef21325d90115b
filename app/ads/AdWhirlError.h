// AdWhirlError: the mediation's numbered errors, in AdWhirl's own error
// domain. Codes 10 to 30 belong to the configuration, 40 to 70 to the
// house-ad adapter, 80 to 120 to the banner.
//
//   Error e = AdWhirlError::errorWithCode(AdWhirlErrorCode::ConfigStatusError,
//                                         "Config server did not return status 200");
//
// Values only; any thread.
#pragma once

#include <string>

#include "platform/core/Error.h"

namespace murmelo {

inline constexpr const char* kAdWhirlErrorDomain = "com.adwhirl.sdk.ErrorDomain";

enum class AdWhirlErrorCode : long {
    ConfigConnectionError = 10,
    ConfigStatusError = 11,
    ConfigDataError = 20,
    ConfigFormatError = 30,
    CustomAdConnectionError = 40,
    CustomAdDataError = 50,
    CustomAdFormatError = 60,
    CustomAdImageError = 70,
    AdRequestIgnoredError = 80,
    AdRequestInProgressError = 90,
    AdRequestNoConfigError = 100,
    AdRequestTooSoonError = 110,
    AdRequestNoMoreAdNetworks = 120,
};

class AdWhirlError {
public:
    static Error errorWithCode(AdWhirlErrorCode code, std::string description);
    static Error errorWithCode(AdWhirlErrorCode code, std::string description, Error underlyingError);
    // Whether `error` is the AdWhirl error `code`.
    static bool is(const Error& error, AdWhirlErrorCode code);
};

} // namespace murmelo
