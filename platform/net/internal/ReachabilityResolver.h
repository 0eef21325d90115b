// Name resolution for reachability, bounded in time.
//
// Names that need no lookup are answered at once: a numeric address is
// itself; "localhost" and names under ".localhost" are the loopback
// addresses, names under ".invalid" (and "invalid") do not exist (RFC 6761:
// both never reach a name server). A name the connect-to map sends elsewhere
// (a rule for its http or https port) is judged by where its connections go.
// Everything else goes to the system resolver on a helper thread; when it
// has not answered within the time-out the caller gets an error and the
// helper finishes on its own, owning everything it touches.
//
// Thread-safe; blocks the caller at most `timeoutSeconds`.
#pragma once

#include <string>
#include <vector>

#include "platform/core/Result.h"
#include "platform/net/ReachabilitySource.h"

namespace murmelo::internal {

// The addresses of `name` (numeric targets only); empty when the name does
// not exist; an error on time-out.
Result<std::vector<ReachabilityTarget>> resolveForReachability(const std::string& name,
                                                               double timeoutSeconds);

// Whether a name lies under the reserved ".invalid" domain.
bool isReservedInvalidName(const std::string& name);
// Whether a name is "localhost" or lies under ".localhost".
bool isLocalhostName(const std::string& name);

} // namespace murmelo::internal
