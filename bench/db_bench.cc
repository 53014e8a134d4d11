// The drivers' cost per statement: a prepared point query ("... WHERE ID = :ID" on a table
// of 10,000 rows, read into a TMemTable) and a sequence value (SELECT NEXTVAL FOR ...), on
// SQLite and (when ZORAS_TEST_PG is set) PostgreSQL over its unix socket.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "db/database.h"

namespace zoras {
namespace {

constexpr int kRows = 10'000;

constexpr const char* kSchema = R"sql(
CREATE TABLE BENCH_OSB (
  ID INTEGER NOT NULL PRIMARY KEY,
  SfOsb VARCHAR(20),
  Naziv VARCHAR(60),
  Znesek DECIMAL(18,2),
  Dan DATE
);
CREATE SEQUENCE BENCH_SEQ START WITH 1 INCREMENT BY 1;
)sql";

// One database per driver for the whole run: a file in a temporary folder, or a private
// schema of the PostgreSQL test database. Removed at exit.
class TBenchDatabase {
 public:
  explicit TBenchDatabase(TDriverKind driver) {
    const std::string unique = std::to_string(getpid());
    target_.driver = driver;
    if (driver == TDriverKind::kSQLite) {
      folder_ = std::filesystem::temp_directory_path() / ("zoras_db_bench_" + unique);
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
    conn_->ExecuteScript(kSchema);
    conn_->Begin();
    for (int id = 1; id <= kRows; ++id) {
      conn_->Execute(
          "INSERT INTO BENCH_OSB (ID, SfOsb, Naziv, Znesek, Dan) VALUES (:ID, :S, :N, :Z, :D)",
          {{"ID", TValue::Integer(id)},
           {"S", TValue::Text("S" + std::to_string(id))},
           {"N", TValue::Text("Naziv komitenta " + std::to_string(id))},
           {"Z", TValue::Decimal(std::to_string(id) + ".25")},
           {"D", TValue::Date(TDateTime::Encode(2008, 3, 5).AddDays(id % 365))}});
    }
    conn_->Commit();
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

 private:
  TDatabaseTarget target_, admin_;
  TDatabaseLogin login_;
  std::filesystem::path folder_;
  std::string schema_;
  std::unique_ptr<TDbConnection> conn_;
};

TDbConnection* Connection(TDriverKind driver) {
  static const auto sqlite = std::make_unique<TBenchDatabase>(TDriverKind::kSQLite);
  if (driver == TDriverKind::kSQLite) return sqlite->Connection();
  static const auto postgres = std::make_unique<TBenchDatabase>(TDriverKind::kPostgreSQL);
  return postgres->Connection();
}

void BM_PointQuery(benchmark::State& state, TDriverKind driver) {
  TDbConnection* conn = Connection(driver);
  if (conn == nullptr) {
    state.SkipWithError("ZORAS_TEST_PG is not set");
    return;
  }
  int64_t id = 0;
  for (auto _ : state) {
    id = id % kRows + 1;
    TMemTable t = conn->Query("SELECT ID, SfOsb, Naziv, Znesek, Dan FROM BENCH_OSB WHERE ID = :ID",
                              {{"ID", TValue::Integer(id)}});
    if (t.RecordCount() != 1) {
      state.SkipWithError("the row was not found");
      return;
    }
    benchmark::DoNotOptimize(t);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_NextVal(benchmark::State& state, TDriverKind driver) {
  TDbConnection* conn = Connection(driver);
  if (conn == nullptr) {
    state.SkipWithError("ZORAS_TEST_PG is not set");
    return;
  }
  for (auto _ : state) {
    TMemTable t = conn->Query("SELECT NEXTVAL FOR BENCH_SEQ AS NewId FROM SYSIBM.SYSDUMMY1");
    benchmark::DoNotOptimize(t);
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(BM_PointQuery, SQLite, TDriverKind::kSQLite)->UseRealTime();
BENCHMARK_CAPTURE(BM_PointQuery, PostgreSQL, TDriverKind::kPostgreSQL)->UseRealTime();
BENCHMARK_CAPTURE(BM_NextVal, SQLite, TDriverKind::kSQLite)->UseRealTime();
BENCHMARK_CAPTURE(BM_NextVal, PostgreSQL, TDriverKind::kPostgreSQL)->UseRealTime();

}  // namespace
}  // namespace zoras

BENCHMARK_MAIN();
