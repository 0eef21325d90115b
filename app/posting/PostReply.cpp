#include "app/posting/PostReply.h"

#include <algorithm>

namespace murmelo {

namespace {

bool isSuccessCode(const Value& code) {
    if (code.isNumber() && !code.isBoolean()) {
        return code.integerValue() == PostReply::kSuccessCode;
    }
    if (code.isString()) {
        const std::string& digits = *code.asString();
        // Digits only; 19 keeps the value within a long long.
        if (digits.empty() || digits.size() > 19 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        return std::stoll(digits) == PostReply::kSuccessCode;
    }
    return false;
}

} // namespace

PostReply readPostReply(const Result<Value>& parsed) {
    PostReply reply;
    if (!parsed || !parsed->isDictionary()) {
        return reply;
    }
    const Dictionary& object = *parsed->asDictionary();
    if (const Value* code = object.find("code")) {
        reply.succeeded = isSuccessCode(*code);
    }
    if (const Value* msg = object.find("msg"); msg && msg->isString()) {
        reply.msg = *msg->asString();
    }
    return reply;
}

} // namespace murmelo
