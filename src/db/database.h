// One open database connection behind a driver-neutral interface. Statements are written
// with named parameters (:NAME) in the SQL the business modules use (DB2 forms for
// sequences, DECODE, NVL, TO_DATE, CHAR() of a number, LEFT, LENGTH, LTRIM/RTRIM,
// CURRENT_DATE); each driver translates what its database lacks, in one place.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/errors.h"
#include "packet/mem_table.h"
#include "packet/value.h"

namespace zoras {

// Named parameter values of one statement. A name is matched without regard to letter
// case; one name used several times in a statement takes its one value everywhere.
// The value's kind says how it is bound: text, integer, float, boolean, date (the date
// alone), time, date-time, decimal, or null.
class TSqlParams {
 public:
  TSqlParams() = default;
  TSqlParams(std::initializer_list<std::pair<std::string, TValue>> values);

  // Sets (or replaces) the value of a parameter.
  TSqlParams& Set(std::string_view name, TValue value);
  // The value of a parameter, or nullptr when it has none.
  const TValue* Find(std::string_view name) const;
  const std::vector<std::pair<std::string, TValue>>& Values() const { return values_; }

 private:
  std::vector<std::pair<std::string, TValue>> values_;
};

enum class TDriverKind { kSQLite, kPostgreSQL };

// Where a connection goes: an entry of the alias registry, or the default database.
struct TDatabaseTarget {
  std::string alias;  // the alias name; empty for the default database
  TDriverKind driver = TDriverKind::kSQLite;
  // SQLite: the database file's absolute path. PostgreSQL: a libpq connection string
  // without user and password.
  std::string database;
};

struct TDatabaseLogin {
  std::string user;
  std::string password;
};

// A failure reported by the database (or by the driver about it). what() is the
// database's message.
class EDatabaseError : public EZoras {
 public:
  explicit EDatabaseError(const std::string& message) : EZoras(message) {}
};

class TDbConnection {
 public:
  virtual ~TDbConnection() = default;

  // "SQLite" or "PostgreSQL".
  virtual std::string DriverName() const = 0;
  virtual TDriverKind Driver() const = 0;

  // Runs a statement that returns rows and reads all of them into an open table
  // positioned on its first row. Column names are spelled as the statement (or, for
  // columns it does not name, the schema) spells them, whatever the driver; column types
  // map to packet types (VARCHAR(n)/CHAR(n) string WIDTH n, SMALLINT i2, INTEGER i4,
  // BIGINT i8, DOUBLE PRECISION/FLOAT r8, DECIMAL(p,s) fixed, DATE date, TIMESTAMP
  // dateTime, TIME time, TEXT memo). Throws EDatabaseError.
  virtual TMemTable Query(std::string_view sql, const TSqlParams& params = {}) = 0;

  // Runs a statement without a result set; returns the number of rows it changed.
  // Throws EDatabaseError.
  virtual int64_t Execute(std::string_view sql, const TSqlParams& params = {}) = 0;

  // Runs a script of DDL statements separated by ';' at line ends (schema creation).
  virtual void ExecuteScript(std::string_view script) = 0;

  // Explicit transactions. Outside one, every statement commits on its own. Begin inside
  // a transaction and Commit outside one throw EDatabaseError; Rollback outside one does
  // nothing, for clean-up paths. On PostgreSQL a failed statement spoils the transaction:
  // Commit then rolls back and throws.
  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual bool InTransaction() const = 0;

  // False when the connection no longer works (the server went away, the socket
  // closed). Cheap enough to call each time a connection is lent or given back.
  virtual bool IsAlive() = 0;
};

// Opens a connection. Throws EDatabaseError with the database's message (or, for a
// missing SQLite file, a message naming the file and the command that creates it).
std::unique_ptr<TDbConnection> OpenDatabase(const TDatabaseTarget& target,
                                            const TDatabaseLogin& login);

// For `zorasctl schema` only: as OpenDatabase, but a missing SQLite file is created.
std::unique_ptr<TDbConnection> CreateDatabase(const TDatabaseTarget& target,
                                              const TDatabaseLogin& login);

// The functions and tables a database needs before the schema files run: on PostgreSQL
// DECODE (3 to 21 arguments), NVL and zoras_char (CHAR of a number); on SQLite the
// ZORAS_SEQUENCE table that holds the sequences. Run it with ExecuteScript before the
// schema; running it again does no harm.
std::string DialectSetupScript(TDriverKind driver);

// PostgreSQL reports unquoted names in lower case. A result column that the statement
// does not spell takes the spelling of the column of that name in `ddl` (every CREATE
// TABLE in it), else upper case. Replaces the process-wide spellings; call at start, with
// the schema files' text, before connections run queries. Thread-safe.
void SetSchemaSpellings(std::string_view ddl);

}  // namespace zoras
