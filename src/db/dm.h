// The connection module: one open database connection and the call context of the request
// that currently holds it. The pool lends connection modules to requests; the business
// data modules run their statements on them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "db/database.h"

namespace zoras {

// Who is calling on a connection. Written by the session layer once the call's session is
// validated, read by the business data modules; cleared whenever the connection is taken
// from the pool or given back so nothing leaks from one request into the next.
struct TCallContext {
  std::string SfApp;      // "P" branch, "C" headquarters, "X" portal
  std::string Usr;        // the session's user name
  std::string SID;        // the session identifier ("-1" for portal calls)
  int SfOrg = 0;          // the user's organisational unit (branch)
  std::string SfDjvList;  // the activities the user may see: 'B','U'; empty = all

  void Clear() { *this = TCallContext(); }
};

// Opens one database connection. The pool and the tests pass their own; the server's is
// OpenZorConnection.
using TConnectionFactory = std::function<std::unique_ptr<TDbConnection>()>;

// Opens a connection the way every connection module does: the target is
// ResolveDatabaseTarget(alias), the login is read afresh from ZOR.INI. Throws EZoras
// "Manjka Database username." or "Manjka Database Password." when the trimmed value is
// empty (also for SQLite, which ignores them), and the driver's EDatabaseError unchanged.
std::unique_ptr<TDbConnection> OpenZorConnection(std::string_view alias);

class TDM {
 public:
  // Takes ownership of an open connection. `database_name` is the alias the connection
  // was opened under, empty for the default database.
  TDM(std::unique_ptr<TDbConnection> connection, std::string database_name);
  // Opens a connection with OpenZorConnection(alias) and names it after the alias when
  // the alias registry knows it. Throws as OpenZorConnection.
  static std::unique_ptr<TDM> Open(std::string_view alias);

  // Closes the connection.
  ~TDM();

  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

  // The database connection (dbZor). Used by one thread at a time.
  TDbConnection& dbZor() { return *db_; }
  // The name statements bind to: the alias, or empty for the default database.
  const std::string& DatabaseName() const { return database_name_; }
  // The unique, generated name of this connection's own session (sZor).
  const std::string& SessionName() const { return session_name_; }
  // "SQLite" or "PostgreSQL".
  std::string DriverName() const { return db_->DriverName(); }

  TCallContext& CallContext() { return context_; }
  const TCallContext& CallContext() const { return context_; }
  void ClearCallContext() { context_.Clear(); }

 private:
  std::unique_ptr<TDbConnection> db_;
  std::string database_name_;
  std::string session_name_;
  TCallContext context_;
};

}  // namespace zoras
