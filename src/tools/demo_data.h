// The small data set `zorasctl demo` puts into a new database, so that a freshly built
// server can be logged in to at once: the installation settings, the euro changeover,
// two branches with their persons, the login rights of both services and three users
// (a branch clerk, a headquarters user who holds his right through a group, and a clerk
// who still has to choose his first password).
#pragma once

#include <span>
#include <string_view>

#include "base/datetime.h"
#include "db/database.h"

namespace zoras {

struct TDemoUser {
  std::string_view name;
  std::string_view password;
  std::string_view who;  // one line for the operator: unit, service, what to expect
};

// The demo users in the order they are printed.
std::span<const TDemoUser> DemoUsers();

// Inserts the demo rows into a database that has just been given the schema (the ID row
// included), on the caller's connection and transaction. `today` is the users' day of the
// last password change. Throws EDatabaseError when a row does not go in, for instance
// because the database holds data already.
void InsertDemoData(TDbConnection& db, TDateTime today);

}  // namespace zoras
