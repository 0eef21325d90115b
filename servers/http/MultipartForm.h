// MultipartForm: the parts of a multipart/form-data body (RFC 7578), read
// from the complete body.
//
//   auto form = MultipartForm::parse(contentType, body);
//   if (form) for (const FormPart& part : form->parts) ...
//
// A body that ends right after a part's delimiter line, without the closing
// "--boundary--" (some clients never send one), still gives its parts and
// sets `unterminated`; one that is only a delimiter line is refused, as is one
// that ends inside a part's headers or data, or that has no boundary (400).
// A closed body without parts is an empty form. Part headers are
// checked like request headers and limited to kMaxPartHeaders per part.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Result.h"
#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

struct MultipartForm {
    static constexpr size_t kMaxPartHeaders = 16;

    std::vector<FormPart> parts;
    bool unterminated = false;

    // The boundary parameter of a multipart/form-data content type; nothing
    // for any other type.
    static std::optional<std::string> boundaryOf(std::string_view contentType);
    static Result<MultipartForm> parse(std::string_view boundary, std::string_view body);
};

} // namespace murmelo::servers
