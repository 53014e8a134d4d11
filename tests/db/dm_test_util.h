// Helpers of the connection module, pool, data-module and component tests: a throwaway
// database per test on either driver, and a connection wrapper that counts connections
// and can be switched to report itself broken.
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/errors.h"
#include "db/database.h"
#include "db/db_test_util.h"
#include "db/dm.h"

namespace zoras {

// The message of the EZoras that `f` throws, or "(no error)".
inline std::string ErrorText(const std::function<void()>& f) {
  try {
    f();
  } catch (const EZoras& e) {
    return e.what();
  }
  return "(no error)";
}

// Polls `done` until it holds or `timeout` passes; returns its last value.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

inline std::string DriverLabel(TDriverKind kind) {
  return kind == TDriverKind::kSQLite ? "SQLite" : "PostgreSQL";
}

using TTestDatabase = TScratchDatabase;

// A database for one test on `kind`; empty (and `skip` set) when the driver's database is
// not configured.
inline std::unique_ptr<TTestDatabase> MakeTestDatabase(TDriverKind kind, std::string* skip) {
  if (kind == TDriverKind::kPostgreSQL && !PostgresTestConfigured()) {
    *skip = kNoPostgresMessage;
    return nullptr;
  }
  return std::make_unique<TTestDatabase>(kind);
}

// Counts of the connections a TProbeConnection factory made.
struct TConnectionProbe {
  std::atomic<int> opened{0};     // ever opened
  std::atomic<int> open_now{0};   // not yet closed
  std::atomic<bool> fail{false};  // the factory throws while set
};

// The real connection behind a switch: Break() makes IsAlive() false, as a connection
// whose server went away reports. Everything else goes to the real connection.
class TProbeConnection : public TDbConnection {
 public:
  TProbeConnection(std::unique_ptr<TDbConnection> inner, std::shared_ptr<TConnectionProbe> probe)
      : inner_(std::move(inner)), probe_(std::move(probe)), id_(++probe_->opened) {
    ++probe_->open_now;
  }
  ~TProbeConnection() override { --probe_->open_now; }

  int Id() const { return id_; }
  void Break() { alive_.store(false); }

  std::string DriverName() const override { return inner_->DriverName(); }
  TDriverKind Driver() const override { return inner_->Driver(); }
  TMemTable Query(std::string_view sql, const TSqlParams& params) override {
    return inner_->Query(sql, params);
  }
  int64_t Execute(std::string_view sql, const TSqlParams& params) override {
    return inner_->Execute(sql, params);
  }
  void ExecuteScript(std::string_view script) override { inner_->ExecuteScript(script); }
  void Begin() override { inner_->Begin(); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }
  bool InTransaction() const override { return inner_->InTransaction(); }
  bool IsAlive() override { return alive_.load() && inner_->IsAlive(); }

 private:
  std::unique_ptr<TDbConnection> inner_;
  std::shared_ptr<TConnectionProbe> probe_;
  const int id_;
  std::atomic<bool> alive_{true};
};

// A factory of probed connections to `db`.
inline TConnectionFactory ProbedFactory(const TTestDatabase& db,
                                        std::shared_ptr<TConnectionProbe> probe) {
  return [&db, probe]() -> std::unique_ptr<TDbConnection> {
    if (probe->fail.load()) throw EDatabaseError("connection refused");
    return std::make_unique<TProbeConnection>(db.Open(), probe);
  };
}

inline TProbeConnection& Probe(TDM& dm) { return dynamic_cast<TProbeConnection&>(dm.dbZor()); }

}  // namespace zoras
