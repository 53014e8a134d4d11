// The SQLite driver: one connection to a database file in WAL mode, with the DB2 forms of
// the statements (sequences, DECODE, NVL, TO_DATE, CHAR, LEFT) provided on the connection.
#pragma once

#include <memory>

#include "db/database.h"

namespace zoras {

// Opens the file target.database. Without `create` a missing file fails with "Database
// file <path> does not exist; create it with: zorasctl schema"; with it the file is
// created. Throws EDatabaseError.
std::unique_ptr<TDbConnection> OpenSqliteDatabase(const TDatabaseTarget& target, bool create);

// The DDL of the table that holds the sequences on SQLite.
extern const char kSqliteSequenceTableDdl[];

}  // namespace zoras
