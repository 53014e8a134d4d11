// The PostgreSQL driver: one libpq session per connection. The DB2 forms of the statements
// are rewritten (dialect.h), and the functions PostgreSQL lacks come from
// PostgresSetupScript(), run with the schema.
#pragma once

#include <memory>
#include <string>

#include "db/database.h"

namespace zoras {

// Connects to target.database (a libpq connection string) as `login`. Throws
// EDatabaseError with libpq's message.
std::unique_ptr<TDbConnection> OpenPostgresDatabase(const TDatabaseTarget& target,
                                                    const TDatabaseLogin& login);

// CREATE OR REPLACE of DECODE (3 to 21 arguments), NVL and zoras_char, in the schema first
// on the search path.
std::string PostgresSetupScript();

}  // namespace zoras
