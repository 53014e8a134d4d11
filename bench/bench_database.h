// A database for a benchmark run: a file in a temporary folder, or a private schema of
// the PostgreSQL test database (ZORAS_TEST_PG). Removed when destroyed.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "db/database.h"

namespace zoras {

class TBenchDatabase {
 public:
  // Creates the database with the dialect setup and runs `schema` on it. On PostgreSQL
  // without ZORAS_TEST_PG nothing is made and Connection() is null.
  TBenchDatabase(TDriverKind driver, std::string_view schema) {
    const std::string unique = std::to_string(getpid()) + "_" + std::to_string(counter_++);
    target_.driver = driver;
    if (driver == TDriverKind::kSQLite) {
      folder_ = std::filesystem::temp_directory_path() / ("zoras_bench_" + unique);
      std::filesystem::create_directories(folder_);
      target_.database = (folder_ / "bench.db").string();
      CreateDatabase(target_, login_)->ExecuteScript(DialectSetupScript(driver));
    } else {
      const char* pg = std::getenv("ZORAS_TEST_PG");
      if (pg == nullptr || *pg == '\0') return;
      if (const char* user = std::getenv("ZORAS_TEST_PG_USER")) login_.user = user;
      admin_ = target_;
      admin_.database = pg;
      schema_ = "zb_" + unique;
      OpenDatabase(admin_, login_)->ExecuteScript("CREATE SCHEMA " + schema_);
      target_.database = admin_.database + " options='-csearch_path=" + schema_ + "'";
      OpenDatabase(target_, login_)->ExecuteScript(DialectSetupScript(driver));
    }
    conn_ = OpenDatabase(target_, login_);
    conn_->ExecuteScript(schema);
  }

  ~TBenchDatabase() {
    conn_.reset();
    try {
      if (!schema_.empty())
        OpenDatabase(admin_, login_)->ExecuteScript("DROP SCHEMA " + schema_ + " CASCADE");
    } catch (const EZoras&) {
    }
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }

  // Null on PostgreSQL when the test database is not configured.
  TDbConnection* Connection() const { return conn_.get(); }
  // A new connection to the database.
  std::unique_ptr<TDbConnection> Open() const { return OpenDatabase(target_, login_); }

 private:
  static inline int counter_ = 0;
  TDatabaseTarget target_, admin_;
  TDatabaseLogin login_;
  std::filesystem::path folder_;
  std::string schema_;
  std::unique_ptr<TDbConnection> conn_;
};

}  // namespace zoras
