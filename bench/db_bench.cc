// The drivers' cost per statement: a prepared point query ("... WHERE ID = :ID" on a table
// of 10,000 rows, read into a TMemTable) and a sequence value (SELECT NEXTVAL FOR ...), on
// SQLite and (when ZORAS_TEST_PG is set) PostgreSQL over its unix socket.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_database.h"
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

// The benchmark table, filled with kRows rows; null on PostgreSQL when not configured.
std::unique_ptr<TBenchDatabase> MakeDatabase(TDriverKind driver) {
  auto db = std::make_unique<TBenchDatabase>(driver, kSchema);
  TDbConnection* conn = db->Connection();
  if (conn == nullptr) return db;
  conn->Begin();
  for (int id = 1; id <= kRows; ++id) {
    conn->Execute(
        "INSERT INTO BENCH_OSB (ID, SfOsb, Naziv, Znesek, Dan) VALUES (:ID, :S, :N, :Z, :D)",
        {{"ID", TValue::Integer(id)},
         {"S", TValue::Text("S" + std::to_string(id))},
         {"N", TValue::Text("Naziv komitenta " + std::to_string(id))},
         {"Z", TValue::Decimal(std::to_string(id) + ".25")},
         {"D", TValue::Date(TDateTime::Encode(2008, 3, 5).AddDays(id % 365))}});
  }
  conn->Commit();
  return db;
}

TDbConnection* Connection(TDriverKind driver) {
  static const auto sqlite = MakeDatabase(TDriverKind::kSQLite);
  if (driver == TDriverKind::kSQLite) return sqlite->Connection();
  static const auto postgres = MakeDatabase(TDriverKind::kPostgreSQL);
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
