// Grouping statements of one request: a transaction around a unit of work, and a
// savepoint around a step that may fail without spoiling the caller's transaction.
#pragma once

#include <functional>
#include <string>

#include "db/database.h"

namespace zoras {

// A step inside the caller's transaction. On PostgreSQL a failed statement spoils the
// whole transaction, so a step that may fail (and be retried or ignored) runs under a
// savepoint; outside a transaction every statement commits on its own and nothing is
// needed. Undone when neither kept nor undone before destruction.
class TSavepoint {
 public:
  TSavepoint(TDbConnection& db, std::string name);
  ~TSavepoint() { Undo(); }
  TSavepoint(const TSavepoint&) = delete;
  TSavepoint& operator=(const TSavepoint&) = delete;

  // Keeps what the step changed. Throws the database's error.
  void Keep();
  // Undoes what the step changed; a failure here only makes the next statement fail.
  void Undo() noexcept;

 private:
  TDbConnection& db_;
  const std::string name_;
  bool active_;
};

// What a unit of work keeps when it fails with a refusal (an error that is not the
// database's): kRollBack undoes everything; kKeep commits what it wrote before the
// refusal, as a refused login keeps its count of wrong passwords.
enum class TOnRefusal { kRollBack, kKeep };

// Runs `work` as one transaction of `db`, committed when it ends normally. A database
// error always rolls back; a refusal does as `on_refusal` says. The failure propagates.
// Inside a transaction already open, `work` just runs in it.
void RunInTransaction(TDbConnection& db, const std::function<void()>& work,
                      TOnRefusal on_refusal = TOnRefusal::kRollBack);

}  // namespace zoras
