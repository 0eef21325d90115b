#include "app/posting/PostReply.h"

#include <algorithm>
#include <charconv>

namespace murmelo {

namespace {

bool isSuccessCode(const Value& code) {
    if (code.isNumber() && !code.isBoolean()) {
        return code.integerValue() == PostReply::kSuccessCode;
    }
    if (code.isString()) {
        const std::string digits = code.asString()->str();
        if (digits.empty() ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        long long value = 0;
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return error == std::errc() && end == digits.data() + digits.size() &&
               value == PostReply::kSuccessCode;
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
