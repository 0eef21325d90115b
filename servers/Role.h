// Role: one of the reference servers' parts (content, maker's servers,
// mediation, a third-party stand-in). ReferenceServers hands it the requests
// whose Host names one of its hosts. handle() runs on HTTP worker threads,
// concurrently: implementations are thread-safe.
#pragma once

#include "servers/http/HttpMessage.h"

namespace murmelo::servers {

class Role {
public:
    virtual ~Role() = default;
    virtual HttpResponse handle(HttpRequest& request) = 0;
};

} // namespace murmelo::servers
