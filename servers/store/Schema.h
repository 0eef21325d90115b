// The reference servers' database schema, as the list of migrations that
// Database::open applies in order. Append new versions; never edit old ones.
#pragma once

#include "servers/store/Database.h"

namespace murmelo::servers {

const Database::Migrations& serverSchema();

} // namespace murmelo::servers
