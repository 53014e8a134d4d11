#include "db/database.h"

#include "db/postgres_driver.h"
#include "db/sqlite_driver.h"

namespace zoras {

std::unique_ptr<TDbConnection> OpenDatabase(const TDatabaseTarget& target,
                                            const TDatabaseLogin& login) {
  switch (target.driver) {
    case TDriverKind::kSQLite:
      return OpenSqliteDatabase(target, /*create=*/false);
    case TDriverKind::kPostgreSQL:
      return OpenPostgresDatabase(target, login);
  }
  throw EDatabaseError("Unknown database driver");
}

std::unique_ptr<TDbConnection> CreateDatabase(const TDatabaseTarget& target,
                                              const TDatabaseLogin& login) {
  if (target.driver == TDriverKind::kSQLite) return OpenSqliteDatabase(target, /*create=*/true);
  return OpenDatabase(target, login);
}

std::string DialectSetupScript(TDriverKind driver) {
  if (driver == TDriverKind::kSQLite) return kSqliteSequenceTableDdl;
  return PostgresSetupScript();
}

}  // namespace zoras
