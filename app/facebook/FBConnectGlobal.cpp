#include "app/facebook/FBConnectGlobal.h"

#include "app/product/Constants.h"
#include "platform/core/AsciiText.h"

namespace murmelo {

std::string kAPIRestURL() {
    return "http://" + std::string(kFacebookApiHost) + "/restserver.php";
}

std::string kAPIRestSecureURL() {
    return "https://" + std::string(kFacebookApiHost) + "/restserver.php";
}

std::string kAPIVideoURL() {
    return "http://" + std::string(kFacebookVideoApiHost) + "/restserver.php";
}

std::string kLoginURL() {
    return "http://" + std::string(kFacebookWebHost) + "/login.php";
}

std::string kStreamURL() {
    return "http://" + std::string(kFacebookWebHost) + "/connect/prompt_feed.php";
}

std::string facebookWebDomain() {
    return std::string(kFacebookWebHost);
}

std::string fbEscape(std::string_view text) {
    return text::percentEncodedExceptUnreserved(text);
}

std::string fbQueryString(const FBParams& params) {
    std::string out;
    for (const auto& [name, value] : params) {
        if (!out.empty()) {
            out += '&';
        }
        out += fbEscape(name) + "=" + fbEscape(value);
    }
    return out;
}

std::string fbMultipartContentType() {
    return "multipart/form-data; boundary=" + std::string(kStringBoundary);
}

std::string fbMultipartBody(const FBParams& params, const std::optional<FBFilePart>& file) {
    const std::string boundary(kStringBoundary);
    std::string body = "--" + boundary + "\r\n";
    bool first = true;
    auto separate = [&] {
        if (!first) {
            body += "\r\n--" + boundary + "\r\n";
        }
        first = false;
    };
    for (const auto& [name, value] : params) {
        separate();
        body += "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value;
    }
    if (file) {
        separate();
        body += "Content-Disposition: form-data; filename=\"" + file->fileName +
                "\"\r\nContent-Type: " + file->contentType + "\r\n\r\n";
        body.append(file->bytes.begin(), file->bytes.end());
    }
    if (first) {
        // No part at all: the closing delimiter alone.
        return "--" + boundary + "--\r\n";
    }
    return body + "\r\n--" + boundary + "--\r\n";
}

Result<FBParams> fbParameterTexts(const Dictionary& params) {
    FBParams out;
    for (const auto& [name, value] : params) {
        if (const ValueString* text = value.asString()) {
            out.emplace_back(name, *text);
        } else if (value.isBoolean() || value.isNumber()) {
            out.emplace_back(name, value.stringValue());
        } else {
            return Error("FBRequest", 1,
                         "the parameter \"" + name.str() + "\" has no text form to send and sign");
        }
    }
    return out;
}

} // namespace murmelo
