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

// A database that lives for one test: a fresh SQLite file in a temporary folder, or a
// fresh schema in the PostgreSQL test database (ZORAS_TEST_PG, user ZORAS_TEST_PG_USER)
// that every connection opened here works in. Removed again by the destructor.
class TTestDatabase {
 public:
  // Empty (and `skip` set) when the driver's database is not configured.
  static std::unique_ptr<TTestDatabase> Make(TDriverKind kind, std::string* skip) {
    auto db = std::unique_ptr<TTestDatabase>(new TTestDatabase());
    db->target_.driver = kind;
    const std::string unique = std::to_string(getpid()) + "_" + std::to_string(Counter()++) + "_" +
                               std::to_string(std::random_device()() % 100000);
    if (kind == TDriverKind::kSQLite) {
      db->folder_ = std::filesystem::temp_directory_path() / ("zoras_dmtest_" + unique);
      std::filesystem::create_directories(db->folder_);
      db->target_.database = (db->folder_ / "test.db").string();
      CreateDatabase(db->target_, db->login_);
      return db;
    }
    const char* pg = std::getenv("ZORAS_TEST_PG");
    if (pg == nullptr || *pg == '\0') {
      *skip = "ZORAS_TEST_PG is not set";
      return nullptr;
    }
    db->target_.database = pg;
    const char* user = std::getenv("ZORAS_TEST_PG_USER");
    db->login_.user = user != nullptr ? user : "";
    db->schema_ = "zt_" + unique;
    OpenDatabase(db->target_, db->login_)->Execute("CREATE SCHEMA " + db->schema_);
    return db;
  }

  ~TTestDatabase() {
    try {
      if (!schema_.empty())
        OpenDatabase(target_, login_)->Execute("DROP SCHEMA " + schema_ + " CASCADE");
    } catch (const std::exception&) {
    }
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }

  TDriverKind Driver() const { return target_.driver; }
  const TDatabaseTarget& Target() const { return target_; }
  const std::filesystem::path& Folder() const { return folder_; }

  // A new connection to the test database.
  std::unique_ptr<TDbConnection> Open() const {
    std::unique_ptr<TDbConnection> c = OpenDatabase(target_, login_);
    if (!schema_.empty()) c->Execute("SET search_path TO " + schema_);
    return c;
  }

  // Runs a script of statements separated by ';' at line ends.
  void Run(std::string_view script) const { Open()->ExecuteScript(script); }

 private:
  TTestDatabase() = default;
  static std::atomic<int>& Counter() {
    static std::atomic<int> n{0};
    return n;
  }

  TDatabaseTarget target_;
  TDatabaseLogin login_;
  std::filesystem::path folder_;
  std::string schema_;
};

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
