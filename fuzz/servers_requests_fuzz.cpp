// Fuzzes what the servers make of a whole request: the body read as a form
// by content type (url-encoded or multipart parts, terminated or not), the
// session cookie, Basic credentials (base64), the REST signature over the
// fields, the event log's JSON of the request (cut to small limits, its
// credentials masked), an attachment's address, and a configuration file. None may crash; fields must be
// UTF-8, the event log must stay readable JSON.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/foundation/Crypto.h"
#include "servers/Credentials.h"
#include "servers/EventLog.h"
#include "servers/ServerConfig.h"
#include "servers/content/SessionCookie.h"
#include "servers/http/FormFields.h"
#include "servers/http/Json.h"
#include "servers/http/Text.h"
#include "servers/thirdparty/FacebookStandIn.h"

using namespace murmelo;
using namespace murmelo::servers;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

HttpRequest requestFrom(FuzzedDataProvider& in) {
    static const char* const kTypes[] = {"", "application/x-www-form-urlencoded",
                                         "APPLICATION/X-WWW-FORM-URLENCODED; charset=utf-8", "text/plain",
                                         "multipart/form-data; boundary=x"};
    HttpRequest request;
    request.method = "POST";
    request.path = in.ConsumeRandomLengthString(32);
    request.host = in.ConsumeRandomLengthString(32);
    request.query = in.ConsumeRandomLengthString(64);
    std::string type = kTypes[in.ConsumeIntegralInRange<size_t>(0, std::size(kTypes) - 1)];
    if (!type.empty()) {
        request.headers.emplace_back("Content-Type", type);
    }
    request.headers.emplace_back("Cookie", in.ConsumeRandomLengthString(160));
    request.headers.emplace_back(in.ConsumeRandomLengthString(16), in.ConsumeRandomLengthString(32));
    request.multipart = in.ConsumeBool();
    if (request.multipart) {
        request.multipartUnterminated = in.ConsumeBool();
        size_t parts = in.ConsumeIntegralInRange<size_t>(0, 8);
        for (size_t i = 0; i < parts; ++i) {
            FormPart part;
            part.name = in.ConsumeRandomLengthString(32);
            part.filename = in.ConsumeBool() ? in.ConsumeRandomLengthString(16) : "";
            part.data = in.ConsumeRandomLengthString(256);
            request.parts.push_back(std::move(part));
        }
    } else {
        request.body = in.ConsumeRemainingBytesAsString();
    }
    return request;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    HttpRequest request = requestFrom(in);

    for (auto unterminated : {UnterminatedMultipart::Refuse, UnterminatedMultipart::Accept}) {
        if (auto form = parseRequestForm(request, unterminated)) {
            for (const auto& [name, value] : form->all()) {
                check(isValidUtf8(name) && isValidUtf8(value));
            }
            check(FacebookStandIn::signature(*form, "secret").size() == 32);
        }
    }

    SessionCookie cookie("0123456789abcdef0123456789abcdef");
    if (auto session = cookie.sessionOf(request)) {
        check(session->size() == 32);
    }

    // What the Twitter stand-in does with an Authorization header.
    if (auto decoded = base64Decode(request.query)) {
        auto again = base64Decode(base64Encode(*decoded));
        check(again && *again == *decoded);
    }

    EventLog::Limits limits;
    limits.capacity = 4;
    limits.maxHeaderBytes = 64; // small, so that cuts inside values and UTF-8 sequences are reached
    limits.maxBodyBytes = 128;
    limits.maxTextBytes = 16;
    limits.maxParts = 3;
    EventLog log(limits);
    log.record(request, "content", 200);
    std::vector<RecordedEvent> events = log.events();
    check(events.size() == 1 && events[0].body.size() <= limits.maxBodyBytes);
    events[0] = maskCredentials(std::move(events[0]));
    auto parsed = parseJson(jsonReply(EventLog::toValue(events)));
    check(parsed && parsed->asArray() && parsed->asArray()->size() == 1);
    (void)maskJsonCredentials(request.body);
    (void)maskFormCredentials(request.body);
    (void)FacebookStandIn::attachmentAddress(request.query);

    if (auto json = parseJson(request.body)) {
        (void)ServerConfig::fromValue(*json);
    }
    return 0;
}
