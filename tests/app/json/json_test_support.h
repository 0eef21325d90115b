// Helpers shared by the JSON tests: an error chain flattened to (code,
// message) pairs, oldest first, for comparison with expected tables.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/json/KQJsonBase.h"

namespace murmelo::test {

using ErrorList = std::vector<std::pair<long, std::string>>;

// Follows the underlying errors of `last` back to the first one.
inline ErrorList chainOf(const Error& last) {
    ErrorList newestFirst;
    for (const Error* e = &last; e; e = e->underlyingError().get()) {
        newestFirst.emplace_back(e->code(), e->localizedDescription());
    }
    return ErrorList(newestFirst.rbegin(), newestFirst.rend());
}

inline ErrorList listOf(const std::vector<Error>& trace) {
    ErrorList out;
    for (const auto& e : trace) {
        out.emplace_back(e.code(), e.localizedDescription());
    }
    return out;
}

} // namespace murmelo::test
