#include "db/transaction.h"

namespace zoras {

TSavepoint::TSavepoint(TDbConnection& db, std::string name)
    : db_(db), name_(std::move(name)), active_(db.InTransaction()) {
  if (active_) db_.Execute("SAVEPOINT " + name_);
}

void TSavepoint::Keep() {
  if (!active_) return;
  active_ = false;
  db_.Execute("RELEASE SAVEPOINT " + name_);
}

void TSavepoint::Undo() noexcept {
  if (!active_) return;
  active_ = false;
  try {
    db_.Execute("ROLLBACK TO SAVEPOINT " + name_);
    db_.Execute("RELEASE SAVEPOINT " + name_);
  } catch (const std::exception&) {
  }
}

namespace {

void RollBackQuietly(TDbConnection& db) noexcept {
  try {
    if (db.InTransaction()) db.Rollback();
  } catch (const std::exception&) {
    // The work's failure is the one to report.
  }
}

}  // namespace

void RunInTransaction(TDbConnection& db, const std::function<void()>& work, TOnRefusal on_refusal) {
  if (db.InTransaction()) {
    work();
    return;
  }
  db.Begin();
  try {
    work();
  } catch (const EDatabaseError&) {
    RollBackQuietly(db);
    throw;
  } catch (...) {
    if (on_refusal == TOnRefusal::kRollBack) {
      RollBackQuietly(db);
      throw;
    }
    try {
      db.Commit();
    } catch (const std::exception&) {
      RollBackQuietly(db);
    }
    throw;
  }
  db.Commit();
}

}  // namespace zoras
