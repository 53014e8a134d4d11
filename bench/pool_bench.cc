// Lending and taking back a pooled connection: AcquireConnection + ReleaseConnection per
// iteration, on SQLite and (when ZORAS_TEST_PG is set) PostgreSQL, from one thread and
// from several threads sharing one pool.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "db/database.h"
#include "db/pool.h"

namespace zoras {
namespace {

struct TBenchPool {
  std::filesystem::path folder;
  std::unique_ptr<TPoolManager> pool;
  ~TBenchPool() {
    pool.reset();
    std::error_code ec;
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  }
};

TPoolOptions BenchOptions() {
  TPoolOptions o;
  o.max_connections = 8;
  o.min_connections = 8;  // every thread finds an idle connection
  return o;
}

// One pool per driver for the whole run, so connection opening is not measured.
TPoolManager* SqlitePool() {
  static const std::unique_ptr<TBenchPool> bench = [] {
    auto b = std::make_unique<TBenchPool>();
    b->folder =
        std::filesystem::temp_directory_path() / ("zoras_pool_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(b->folder);
    TDatabaseTarget target;
    target.database = (b->folder / "bench.db").string();
    CreateDatabase(target, {});
    b->pool = std::make_unique<TPoolManager>(BenchOptions(),
                                             [target] { return OpenDatabase(target, {}); });
    b->pool->StartPool();
    return b;
  }();
  return bench->pool.get();
}

TPoolManager* PostgresPool() {
  static const std::unique_ptr<TBenchPool> bench = [] {
    auto b = std::make_unique<TBenchPool>();
    const char* pg = std::getenv("ZORAS_TEST_PG");
    if (pg == nullptr || *pg == '\0') return b;
    TDatabaseTarget target;
    target.driver = TDriverKind::kPostgreSQL;
    target.database = pg;
    TDatabaseLogin login;
    if (const char* user = std::getenv("ZORAS_TEST_PG_USER")) login.user = user;
    b->pool = std::make_unique<TPoolManager>(
        BenchOptions(), [target, login] { return OpenDatabase(target, login); });
    b->pool->StartPool();
    return b;
  }();
  return bench->pool.get();
}

void Run(benchmark::State& state, TPoolManager* pool) {
  if (pool == nullptr) {
    state.SkipWithError("ZORAS_TEST_PG is not set");
    return;
  }
  if (state.thread_index() == 0) {
    // Let the creator threads of the start finish before measuring.
    while (pool->Stats().items < pool->Options().min_connections) usleep(1000);
  }
  for (auto _ : state) {
    TDM& dm = pool->AcquireConnection();
    benchmark::DoNotOptimize(&dm);
    pool->ReleaseConnection(dm);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_AcquireRelease_SQLite(benchmark::State& state) { Run(state, SqlitePool()); }
void BM_AcquireRelease_PostgreSQL(benchmark::State& state) { Run(state, PostgresPool()); }

BENCHMARK(BM_AcquireRelease_SQLite)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();
BENCHMARK(BM_AcquireRelease_PostgreSQL)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();

}  // namespace
}  // namespace zoras

BENCHMARK_MAIN();
