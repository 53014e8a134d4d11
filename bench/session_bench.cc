// The whole server under callers: Login + Logout pairs, and calls that pass the session
// check and are then refused (ChangePassword with a confirmation that differs), by 1 and
// by 16 concurrent clients, each on its own keep-alive connection. The server runs in
// this process over loopback HTTP with a pool of MAXCON = 20, on SQLite and (when
// ZORAS_TEST_PG is set) PostgreSQL.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "bench_database.h"
#include "db/schema_files.h"
#include "packet/base64.h"
#include "services/server.h"
#include "support/soap_client.h"

namespace zoras {
namespace {

constexpr int kMaxConnections = 20;

std::string SchemaScript() {
  std::string ddl;
  for (const auto& [name, text] : SchemaFiles()) ddl += text + "\n";
  return ddl;
}

// A server over a database holding the benchmark's user.
struct TBenchServer {
  explicit TBenchServer(TDriverKind driver) : db(driver, SchemaScript()) {
    if (db.Connection() == nullptr) return;
    std::string password;
    AppendBase64(password, "Klop2026!");
    db.Connection()->ExecuteScript(
        "INSERT INTO SFRGT (SFRGT, NZV) VALUES ('063', 'Prijava v poslovalnico');\n"
        "INSERT INTO INI (IDINI, MinGsl, SprGslDni) VALUES (1, 6, 90);\n"
        "INSERT INTO ORG (SfOrg, Krt, Nzv) VALUES (1, 'LJ', 'Poslovalnica Ljubljana');\n"
        "INSERT INTO USR (Usr, Gsl, Akt, GslNap, DanSprGsl, SfOrg, LimSfDjv) VALUES "
        "('bench', '" +
        password +
        "', 'D', 0, CURRENT_DATE, 1, 'BU');\n"
        "INSERT INTO RGT (IdRgt, Usr, SfRgt) VALUES (1, 'bench', '063');\n");
    TPoolOptions pool;
    pool.max_connections = kMaxConnections;
    pool.min_connections = 1;
    THttpServerOptions http;
    http.address = "127.0.0.1";
    const TBenchDatabase* source = &db;
    server = std::make_unique<TZorasServer>(pool, http, 10, [source] { return source->Open(); });
    server->Start();
  }
  TBenchDatabase db;
  std::unique_ptr<TZorasServer> server;
};

TBenchServer* Server(TDriverKind driver) {
  static std::map<TDriverKind, std::unique_ptr<TBenchServer>> servers;
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  auto& s = servers[driver];
  if (!s) s = std::make_unique<TBenchServer>(driver);
  return s->server ? s.get() : nullptr;
}

// One call on the client's connection; false (and the benchmark stopped) on a failure
// other than `expected_fault`.
bool Call(benchmark::State& state, testing::RawConnection& c, const std::string& request,
          testing::TSoapReply* reply, std::string_view expected_fault = {}) {
  if (!c.Send(request)) {
    state.SkipWithError("the request could not be sent");
    return false;
  }
  *reply = testing::ParseSoapReply(c.ReadResponse());
  if (reply->fault_string != expected_fault) {
    state.SkipWithError(("unexpected answer: " + reply->fault_string).c_str());
    return false;
  }
  return true;
}

// How many connections the pool opened: fewer than MAXCON means no client waited for one.
void ReportPool(benchmark::State& state, TBenchServer& s) {
  if (state.thread_index() == 0) state.counters["connections"] = s.server->Pool().Stats().items;
}

void BM_LoginLogout(benchmark::State& state, TDriverKind driver) {
  TBenchServer* s = Server(driver);
  if (s == nullptr) {
    state.SkipWithError("ZORAS_TEST_PG is not set");
    return;
  }
  testing::RawConnection c(s->server->Port());
  const std::string login = testing::SoapRequest(
      "IZORPoslovalnica", "Login", {{"AUsername", "bench"}, {"APassword", "Klop2026!"}});
  testing::TSoapReply reply;
  for (auto _ : state) {
    if (!Call(state, c, login, &reply)) return;
    const std::string cookie = testing::Cookie(testing::SidOf(reply.Result()), "bench");
    if (!Call(state, c, testing::SoapRequest("IZORPoslovalnica", "Logout", {}, cookie), &reply))
      return;
  }
  state.SetItemsProcessed(state.iterations());
  ReportPool(state, *s);
}

void BM_SessionCheckedCall(benchmark::State& state, TDriverKind driver) {
  TBenchServer* s = Server(driver);
  if (s == nullptr) {
    state.SkipWithError("ZORAS_TEST_PG is not set");
    return;
  }
  testing::RawConnection c(s->server->Port());
  testing::TSoapReply reply;
  if (!Call(state, c,
            testing::SoapRequest("IZORPoslovalnica", "Login",
                                 {{"AUsername", "bench"}, {"APassword", "Klop2026!"}}),
            &reply))
    return;
  const std::string cookie = testing::Cookie(testing::SidOf(reply.Result()), "bench");
  const std::string refused = testing::SoapRequest(
      "IZORPoslovalnica", "ChangePassword",
      {{"ANewPassword", "Novo2026!"}, {"AConfirmPassword", "Novo2026?"}}, cookie);
  for (auto _ : state) {
    if (!Call(state, c, refused, &reply, "Novo geslo in potrditev gesla sta različni !")) return;
  }
  state.SetItemsProcessed(state.iterations());
  ReportPool(state, *s);
}

BENCHMARK_CAPTURE(BM_LoginLogout, SQLite, TDriverKind::kSQLite)
    ->Threads(1)
    ->Threads(16)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_LoginLogout, PostgreSQL, TDriverKind::kPostgreSQL)
    ->Threads(1)
    ->Threads(16)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_SessionCheckedCall, SQLite, TDriverKind::kSQLite)
    ->Threads(1)
    ->Threads(16)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_SessionCheckedCall, PostgreSQL, TDriverKind::kPostgreSQL)
    ->Threads(1)
    ->Threads(16)
    ->UseRealTime();

}  // namespace
}  // namespace zoras

BENCHMARK_MAIN();
