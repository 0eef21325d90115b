// FBConnectGlobal: the Facebook client's fixed values and the encodings its
// requests and dialogs share — the form boundary, the addresses, the query
// escaping and the multipart body.
//
// The addresses are plain HTTP because the reference stand-in serves them so;
// a real deployment uses the secure ones. Stateless; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo {

inline constexpr std::string_view kAPIVersion = "1.0";
inline constexpr std::string_view kAPIFormat = "XML";
inline constexpr std::string_view kUserAgent = "FacebookConnect";
inline constexpr std::string_view kStringBoundary = "3i2ndDfv2rTHiSisAbouNdArYfORhtTPEefj3q2f";
inline constexpr double kFBRequestTimeout = 180;

std::string kAPIRestURL();       // "restserver.php" on the API host
std::string kAPIRestSecureURL(); // the same over HTTPS
std::string kAPIVideoURL();      // "restserver.php" on the video API host
std::string kLoginURL();         // "login.php" on the web host
std::string kStreamURL();        // "connect/prompt_feed.php" on the web host
std::string facebookWebDomain(); // the test cookie's domain

// Parameters as sent: name and text, in order.
using FBParams = std::vector<std::pair<std::string, std::string>>;

// Percent-escapes (UTF-8, upper-case hex) every byte but the unreserved
// characters of RFC 3986, so a "&", "=", "+" or "#" in a value stays inside it.
std::string fbEscape(std::string_view text);
// name=value pairs joined by "&", both sides escaped.
std::string fbQueryString(const FBParams& params);

// A file part after the fields of a multipart body.
struct FBFilePart {
    std::string fileName;    // "photo" or "data"
    std::string contentType; // "image/png" or "content/unknown"
    Data bytes;
};

// multipart/form-data with kStringBoundary: the fields in order, then the
// file, then the closing "--" boundary.
std::string fbMultipartBody(const FBParams& params, const std::optional<FBFilePart>& file = std::nullopt);
std::string fbMultipartContentType();

// The text a parameter value is sent as: strings as they are, integers in
// decimal, other numbers as the value model writes them, booleans as "1"
// or "0". Other kinds have no text and are refused, so nothing is sent
// unsigned.
Result<FBParams> fbParameterTexts(const Dictionary& params);

} // namespace murmelo
