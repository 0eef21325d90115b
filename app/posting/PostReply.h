// PostReply: what the content server's answer to a native post says — the
// JSON object {"code": …, "msg": …} read with type checks.
//
//   PostReply reply = readPostReply(KQJSON().objectWithString(body));
//
// "code" counts as success when it is the number 200 (read by its integer
// value) or a string of ASCII digits whose value is 200; anything else —
// other numbers, other strings, booleans, a missing member, a reply that is
// no object — is failure. "msg" is taken only when it is a string.
// Pure functions; any thread.
#pragma once

#include <optional>
#include <string>

#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo {

struct PostReply {
    static constexpr long long kSuccessCode = 200;

    bool succeeded = false;
    // The server's text, when the reply carries one as a string.
    std::optional<std::string> msg;
};

// `parsed` is the reader's result: a failure (no reply, not JSON) reads as
// a failed post without a message.
PostReply readPostReply(const Result<Value>& parsed);

} // namespace murmelo
