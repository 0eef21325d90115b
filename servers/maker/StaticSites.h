// StaticSites: the small sites that only need to exist so that every link the
// application shows leads somewhere — the images host (icon and launch
// picture linked from shares, drawn on demand) and the App Store's web and
// link hosts (a product page per application link). Stateless; thread-safe.
#pragma once

#include "servers/Role.h"

namespace murmelo::servers {

class StaticSites : public Role {
public:
    HttpResponse handle(HttpRequest& request) override;
};

} // namespace murmelo::servers
