// Fuzzes the listener's reading of request bytes: the request head parser
// fed whole and a byte at a time (both must agree), and a connection fed the
// input in pieces, answering every request it hands out. None may crash; a
// request's body stays within the limit, and every byte the connection
// writes is a reply.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "servers/http/HttpConnection.h"
#include "servers/http/RequestHeadParser.h"

using namespace murmelo;
using namespace murmelo::servers;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The status a parser ends with: 0 complete, -1 incomplete, else the refusal.
int outcome(const Result<std::optional<ParsedHead>>& parsed) {
    if (!parsed) {
        return static_cast<int>(parsed.error().code());
    }
    return *parsed ? 0 : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    RequestHeadParser::Limits headLimits{in.ConsumeIntegralInRange<size_t>(1, 256),
                                         in.ConsumeIntegralInRange<size_t>(0, 16),
                                         in.ConsumeIntegralInRange<size_t>(1, 2048)};
    size_t maxBody = in.ConsumeIntegralInRange<size_t>(0, 4096);
    std::string bytes = in.ConsumeRemainingBytesAsString();

    RequestHeadParser whole(headLimits);
    auto all = whole.parse(bytes);
    RequestHeadParser piecewise(headLimits);
    Result<std::optional<ParsedHead>> step = std::optional<ParsedHead>();
    for (size_t i = 1; i <= bytes.size() && outcome(step) == -1; ++i) {
        step = piecewise.parse(std::string_view(bytes).substr(0, i));
    }
    // A head complete early is complete whole; a refusal may come earlier piecewise (a limit crossed).
    if (outcome(step) == 0) {
        check(outcome(all) == 0 && (*all)->bytes == (*step)->bytes);
    }
    if (outcome(all) == 0) {
        check((*all)->bytes <= bytes.size() && (*all)->bytes <= headLimits.maxHeadBytes);
    }

    HttpConnection::Limits limits;
    limits.head = headLimits;
    limits.maxBodyBytes = maxBody;
    limits.maxRequests = 8;
    HttpConnection connection(limits, "127.0.0.1");
    std::string_view rest = bytes;
    size_t piece = 1 + bytes.size() % 7;
    while (!connection.finished()) {
        if (connection.wantsInput() && !rest.empty()) {
            size_t take = std::min(piece, rest.size());
            connection.receive(rest.substr(0, take));
            rest.remove_prefix(take);
        } else if (rest.empty() && !connection.hasOutput()) {
            connection.receiveEnd();
        }
        if (auto request = connection.advance()) {
            check(request->body.size() <= maxBody);
            connection.respond(HttpResponse::text(request->target, request->method == "HEAD" ? 204 : 200));
        }
        (void)connection.takeRefusal();
        std::string out;
        std::string_view pieces[4];
        while (connection.hasOutput()) {
            size_t count = connection.outputPieces(pieces, 4);
            size_t written = 0;
            for (size_t i = 0; i < count; ++i) {
                out += pieces[i];
                written += pieces[i].size();
            }
            connection.consumeOutput(written);
        }
        check(out.empty() || out.rfind("HTTP/1.1 ", 0) == 0);
        if (rest.empty() && connection.phase() == HttpConnection::Phase::Closing && !connection.finished()) {
            connection.timeOut(); // the linger deadline
        }
    }
    return 0;
}
