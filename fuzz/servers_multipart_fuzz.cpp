// Fuzzes the multipart/form-data reader: the boundary from a content type,
// then the body. None may crash; parts hold no more bytes than the body, and
// a body read without its closing delimiter has at least one part.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "servers/http/MultipartForm.h"

using namespace murmelo::servers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string contentType = in.ConsumeRandomLengthString(128);
    std::string body = in.ConsumeRemainingBytesAsString();
    std::string boundary = MultipartForm::boundaryOf(contentType).value_or("b");
    auto form = MultipartForm::parse(boundary, body);
    if (form) {
        if (form->unterminated && form->parts.empty()) {
            std::abort();
        }
        size_t total = 0;
        for (const FormPart& part : form->parts) {
            total += part.name.size() + part.filename.size() + part.contentType.size() + part.data.size();
        }
        if (total > body.size()) {
            std::abort();
        }
    }
    return 0;
}
