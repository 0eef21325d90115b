// libFuzzer target: reply bodies — inflating (gzip or zlib, with the size
// bound) and decoding in every supported text encoding.
#include <cstdint>
#include <cstdlib>

#include "app/http/ASIHTTPRequest.h"
#include "app/http/StringEncoding.h"
#include "platform/foundation/Unicode.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Data body(data, data + size);
    auto inflated = ASIHTTPRequest::uncompressZippedData(body);
    if (inflated && inflated->size() > ASIHTTPRequest::kMaxInflatedBytes) {
        std::abort();
    }
    for (StringEncoding encoding : {StringEncoding::UTF8, StringEncoding::ASCII, StringEncoding::ISOLatin1,
                                    StringEncoding::WindowsCP1252, StringEncoding::UTF16,
                                    StringEncoding::UTF16BigEndian, StringEncoding::UTF16LittleEndian}) {
        auto text = decodeString(body, encoding);
        if (text && !unicode::isValidUtf8(*text)) {
            std::abort(); // decoded text is always valid UTF-8
        }
        if (text && (encoding == StringEncoding::ISOLatin1 || encoding == StringEncoding::UTF8)) {
            auto back = encodeString(*text, encoding);
            std::string original(body.begin(), body.end());
            if (encoding == StringEncoding::UTF8 && original.starts_with("\xEF\xBB\xBF")) {
                original.erase(0, 3);
            }
            if (!back || *back != original) {
                std::abort(); // both round-trip exactly
            }
        }
    }
    return 0;
}
