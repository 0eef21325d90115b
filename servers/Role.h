// Role: one of the reference servers' parts (content, maker's servers,
// mediation, a third-party stand-in). ReferenceServers hands it the requests
// whose Host names one of its hosts. handle() runs on HTTP worker threads,
// concurrently: implementations are thread-safe. answerAtOnce() runs on the
// listener's event loop first and answers only what needs no disk and no
// wait (a kept page); everything else goes on to handle().
#pragma once

#include <optional>

#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

class Role {
public:
    virtual ~Role() = default;
    virtual HttpResponse handle(HttpRequest& request) = 0;
    virtual std::optional<HttpResponse> answerAtOnce(HttpRequest&) { return std::nullopt; }
};

} // namespace murmelo::servers
