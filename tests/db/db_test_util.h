// Test databases for the database layer's tests, on either driver.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "db/database.h"

namespace zoras {

// The PostgreSQL test database that scripts/test starts (ZORAS_TEST_PG, a libpq connection
// string; ZORAS_TEST_PG_USER), or nothing when the variable is not set.
inline bool PostgresTestConfigured() {
  const char* pg = std::getenv("ZORAS_TEST_PG");
  return pg != nullptr && *pg != '\0';
}

inline constexpr const char* kNoPostgresMessage =
    "ZORAS_TEST_PG is not set (scripts/test sets it); PostgreSQL tests skipped";

// A fresh, empty database for one test, with DialectSetupScript() already run. SQLite: a
// new file in a temporary folder. PostgreSQL: a private schema in the test database, on
// the search path of every connection opened with Target(), so tests running at the same
// time do not meet. Removed (file and folder, or schema) on destruction.
class TScratchDatabase {
 public:
  explicit TScratchDatabase(TDriverKind driver) {
    target_.driver = driver;
    static std::atomic<int> counter{0};
    const std::string unique = std::to_string(getpid()) + "_" + std::to_string(++counter) + "_" +
                               std::to_string(std::random_device{}() % 100000);
    if (driver == TDriverKind::kSQLite) {
      folder_ = std::filesystem::temp_directory_path() / ("zoras_db_test_" + unique);
      std::filesystem::create_directories(folder_);
      target_.database = (folder_ / "zoras.db").string();
      CreateDatabase(target_, login_)->ExecuteScript(DialectSetupScript(driver));
      return;
    }
    if (!PostgresTestConfigured()) throw EDatabaseError(kNoPostgresMessage);
    if (const char* user = std::getenv("ZORAS_TEST_PG_USER")) login_.user = user;
    admin_.driver = driver;
    admin_.database = std::getenv("ZORAS_TEST_PG");
    schema_ = "zt_" + unique;
    OpenDatabase(admin_, login_)->ExecuteScript("CREATE SCHEMA " + schema_);
    target_.database = admin_.database + " options='-csearch_path=" + schema_ + "'";
    Open()->ExecuteScript(DialectSetupScript(driver));
  }

  ~TScratchDatabase() {
    try {
      if (!schema_.empty())
        OpenDatabase(admin_, login_)->ExecuteScript("DROP SCHEMA " + schema_ + " CASCADE");
    } catch (const EZoras&) {
      // A test that broke the server leaves the schema to the throwaway cluster.
    }
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }
  TScratchDatabase(const TScratchDatabase&) = delete;
  TScratchDatabase& operator=(const TScratchDatabase&) = delete;

  TDriverKind Driver() const { return target_.driver; }
  const TDatabaseTarget& Target() const { return target_; }
  const TDatabaseLogin& Login() const { return login_; }
  // A new connection to the database.
  std::unique_ptr<TDbConnection> Open() const { return OpenDatabase(target_, login_); }
  // Runs a script of statements separated by ';' at line ends.
  void Run(std::string_view script) const { Open()->ExecuteScript(script); }
  // The folder of the SQLite file; empty on PostgreSQL.
  const std::filesystem::path& Folder() const { return folder_; }

 private:
  TDatabaseTarget target_;
  TDatabaseTarget admin_;
  TDatabaseLogin login_;
  std::filesystem::path folder_;
  std::string schema_;
};

// Base of tests that run once per driver: INSTANTIATE_TEST_SUITE_P(Drivers, X,
// testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL), DriverTestName).
// PostgreSQL cases skip when the test database is not configured.
class TDriverTest : public testing::TestWithParam<TDriverKind> {
 protected:
  void SetUp() override {
    if (GetParam() == TDriverKind::kPostgreSQL && !PostgresTestConfigured())
      GTEST_SKIP() << kNoPostgresMessage;
    db_ = std::make_unique<TScratchDatabase>(GetParam());
  }
  std::unique_ptr<TDbConnection> Open() const { return db_->Open(); }

  std::unique_ptr<TScratchDatabase> db_;
};

inline std::string DriverTestName(const testing::TestParamInfo<TDriverKind>& info) {
  return info.param == TDriverKind::kSQLite ? "SQLite" : "PostgreSQL";
}

}  // namespace zoras
