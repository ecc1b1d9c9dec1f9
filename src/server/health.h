#pragma once

#include "server/database.h"
#include "server/httpserver.h"

namespace server {

// Whether this thread's database connection answers, holds the schema this server expects and
// takes writes (on PostgreSQL: reaches a primary), for GET /saude. Reads only: a long preparation
// holding the write lock leaves the answer usable.
// The detail of a failure goes to the log under an incident number; the answer names only that.
HealthAnswer checkDatabaseHealth(const DbSettings &settings);

} // namespace server
