// The connection module and the pool on real threads and real databases.
#include "db/pool.h"

#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "db/aliases.h"
#include "db/connection_settings.h"
#include "db/dm_test_util.h"

namespace zoras {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr const char* kOverloaded = "Strežnik je preobremenjen. Poskusite znova.";

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The two resting invariants of the pool.
void ExpectBalanced(const TPoolStats& s, int max_connections) {
  EXPECT_EQ(s.available_count + s.lent, s.items) << "AvailableCount + lent = items";
  EXPECT_EQ(s.free_slots + s.items, max_connections) << "FreeSlots + items = MAXCON";
}

class PoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string skip;
    db_ = MakeTestDatabase(TDriverKind::kSQLite, &skip);
    ASSERT_NE(db_, nullptr) << skip;
  }

  // Short waits, so only the tests about the waits pay for them.
  static TPoolOptions Fast() {
    TPoolOptions o;
    o.first_acquire_wait = milliseconds(50);
    o.semaphore_wait = milliseconds(200);
    o.request_timeout = milliseconds(500);
    return o;
  }

  std::unique_ptr<TPoolManager> MakePool(const TPoolOptions& options) {
    return std::make_unique<TPoolManager>(options, ProbedFactory(*db_, probe_));
  }

  // Waits until no creator thread is running, then returns the counts.
  static TPoolStats Settled(const TPoolManager& pool) {
    EXPECT_TRUE(WaitUntil([&] { return pool.Stats().creator_threads == 0; }));
    return pool.Stats();
  }

  std::unique_ptr<TTestDatabase> db_;
  std::shared_ptr<TConnectionProbe> probe_ = std::make_shared<TConnectionProbe>();
};

TEST_F(PoolTest, FullPoolFailsAfterFirstWaitPlusRequestTimeout) {
  TPoolOptions o;  // the real 1000 ms first wait
  o.max_connections = 1;
  o.request_timeout = std::chrono::seconds(1);
  auto pool = MakePool(o);
  pool->StartPool();
  TDM& held = pool->AcquireConnection();

  const auto start = Clock::now();
  EXPECT_EQ(ErrorText([&] { pool->AcquireConnection(); }), kOverloaded);
  const double waited = SecondsSince(start);
  EXPECT_GE(waited, 1.9);
  EXPECT_LT(waited, 3.0);

  const TPoolStats s = Settled(*pool);
  EXPECT_EQ(s.items, 1);
  EXPECT_EQ(s.lent, 1);
  ExpectBalanced(s, 1);
  EXPECT_EQ(probe_->opened, 1);

  pool->ReleaseConnection(held);
  EXPECT_EQ(&pool->AcquireConnection(), &held);
}

TEST_F(PoolTest, MinConOpensThatManySoonAfterStart) {
  TPoolOptions o = Fast();
  o.min_connections = 3;
  auto pool = MakePool(o);
  const auto start = Clock::now();
  pool->StartPool();
  ASSERT_TRUE(WaitUntil([&] { return pool->Stats().items == 3; }, milliseconds(2000)));
  EXPECT_LT(SecondsSince(start), 1.0);
  const TPoolStats s = Settled(*pool);
  EXPECT_EQ(s.items, 3);
  EXPECT_EQ(s.available_count, 3);
  ExpectBalanced(s, 5);
  EXPECT_EQ(probe_->opened, 3);
}

TEST_F(PoolTest, MinConZeroStartsEmptyAndFirstAcquireWaitsAboutOneSecond) {
  TPoolOptions o;  // the real 1000 ms first wait
  o.min_connections = 0;
  auto pool = MakePool(o);
  int hook_runs = 0;
  pool->StartPool([&](TDM& first) {
    ++hook_runs;
    first.dbZor().Query("SELECT 1 AS One");
  });
  EXPECT_EQ(hook_runs, 1);
  EXPECT_EQ(probe_->opened, 1);
  EXPECT_EQ(probe_->open_now, 0) << "the first connection is closed again";
  ExpectBalanced(pool->Stats(), 5);

  const auto start = Clock::now();
  TDM& dm = pool->AcquireConnection();
  const double waited = SecondsSince(start);
  EXPECT_GE(waited, 0.95);
  EXPECT_LT(waited, 2.0);
  EXPECT_EQ(Probe(dm).Id(), 2);
  const TPoolStats s = Settled(*pool);
  EXPECT_EQ(s.items, 1);
  EXPECT_EQ(s.lent, 1);
  ExpectBalanced(s, 5);
  pool->ReleaseConnection(dm);
}

TEST_F(PoolTest, StartFailuresLeaveThePoolEmpty) {
  struct Case {
    const char* name;
    int max_connections;
    bool factory_fails;
    bool hook_fails;
    std::string message;
  };
  const Case cases[] = {
      {"no free slot", 0, false, false, "Internal Error on PoolManager Init !"},
      {"opener fails", 5, true, false, "connection refused"},
      {"start hook fails", 5, false, true, "no INISET"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    probe_->fail = c.factory_fails;
    TPoolOptions o = Fast();
    o.max_connections = c.max_connections;
    auto pool = MakePool(o);
    EXPECT_EQ(ErrorText([&] {
                pool->StartPool([&](TDM&) {
                  if (c.hook_fails) throw EZoras("no INISET");
                });
              }),
              c.message);
    const TPoolStats s = Settled(*pool);
    EXPECT_EQ(s.items, 0);
    ExpectBalanced(s, c.max_connections);
    EXPECT_EQ(probe_->open_now, 0);
  }
}

TEST_F(PoolTest, CleanUpRetiresIdleConnectionsButNotLentOnes) {
  TPoolOptions o = Fast();
  o.min_connections = 0;
  o.max_connections = 3;
  o.idle_timeout = milliseconds(100);
  o.cleanup_interval = milliseconds(150);
  auto pool = MakePool(o);
  pool->StartPool();
  TDM& kept = pool->AcquireConnection();
  TDM& idle = pool->AcquireConnection();
  const int kept_id = Probe(kept).Id();
  pool->ReleaseConnection(idle);

  ASSERT_TRUE(WaitUntil([&] { return pool->Stats().items == 1; }));
  // Several passes go by while the other stays lent.
  std::this_thread::sleep_for(milliseconds(500));
  TPoolStats s = Settled(*pool);
  EXPECT_EQ(s.items, 1);
  EXPECT_EQ(s.lent, 1);
  ExpectBalanced(s, 3);
  EXPECT_EQ(probe_->open_now, 1);
  EXPECT_EQ(Probe(kept).Id(), kept_id);
  kept.dbZor().Query("SELECT 1 AS One");

  pool->ReleaseConnection(kept);
  ASSERT_TRUE(WaitUntil([&] { return pool->Stats().items == 0; }));
  ExpectBalanced(Settled(*pool), 3);
  EXPECT_EQ(probe_->open_now, 0);
}

TEST_F(PoolTest, CleanUpBringsThePoolBackToMinCon) {
  TPoolOptions o = Fast();
  o.min_connections = 2;
  o.idle_timeout = milliseconds(100);
  o.cleanup_interval = milliseconds(600);
  auto pool = MakePool(o);
  pool->StartPool();
  ASSERT_TRUE(WaitUntil([&] { return probe_->opened == 2; }));
  // The first pass closes both idle connections and asks for two new ones; the second
  // pass would make it six.
  ASSERT_TRUE(WaitUntil([&] {
    const TPoolStats s = pool->Stats();
    return probe_->opened == 4 && s.items == 2 && s.creator_threads == 0;
  }));
  const TPoolStats s = pool->Stats();
  ExpectBalanced(s, 5);
  EXPECT_EQ(s.available_count, 2);
  EXPECT_EQ(probe_->open_now, 2);
}

TEST_F(PoolTest, GivingBackWhatThePoolDoesNotLendChangesNothing) {
  auto pool = MakePool(Fast());
  pool->StartPool();
  TDM& lent = pool->AcquireConnection();
  TDM foreign(ProbedFactory(*db_, probe_)(), "");
  const TPoolStats before = pool->Stats();

  pool->ReleaseConnection(foreign);
  TPoolStats s = pool->Stats();
  EXPECT_EQ(s.items, before.items);
  EXPECT_EQ(s.lent, before.lent);
  EXPECT_EQ(s.available_count, before.available_count);

  pool->ReleaseConnection(lent);
  pool->ReleaseConnection(lent);  // a second give-back must not count twice
  s = pool->Stats();
  EXPECT_EQ(s.lent, 0);
  EXPECT_EQ(s.available_count, 1);
  ExpectBalanced(s, 5);
}

TEST_F(PoolTest, CallContextIsClearedOnTakeAndOnGiveBack) {
  TPoolOptions o = Fast();
  o.max_connections = 1;
  auto pool = MakePool(o);
  pool->StartPool();
  auto fill = [](TDM& dm) { dm.CallContext() = {"P", "ANA", "S123", 7, "'B','U'"}; };
  TDM& dm = pool->AcquireConnection();
  fill(dm);
  pool->ReleaseConnection(dm);
  EXPECT_EQ(dm.CallContext().Usr, "") << "cleared on give-back";
  EXPECT_EQ(dm.CallContext().SfOrg, 0);

  fill(dm);  // as if something wrote to it while it was idle
  TDM& again = pool->AcquireConnection();
  ASSERT_EQ(&again, &dm);
  const TCallContext& c = again.CallContext();
  EXPECT_EQ(c.SfApp + c.Usr + c.SID + c.SfDjvList, "") << "cleared on take";
  EXPECT_EQ(c.SfOrg, 0);
  pool->ReleaseConnection(again);
}

TEST_F(PoolTest, GiveBackRollsBackWhatTheRequestDidNotCommit) {
  db_->Run("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)");
  TPoolOptions o = Fast();
  o.max_connections = 1;
  auto pool = MakePool(o);
  pool->StartPool();
  TDM& dm = pool->AcquireConnection();
  dm.dbZor().Begin();
  dm.dbZor().Execute("INSERT INTO T (ID) VALUES (1)");
  pool->ReleaseConnection(dm);

  TDM& next = pool->AcquireConnection();
  EXPECT_FALSE(next.dbZor().InTransaction());
  EXPECT_EQ(next.dbZor().Query("SELECT COUNT(*) AS N FROM T").Field(0).AsInteger(), 0);
  pool->ReleaseConnection(next);
}

TEST_F(PoolTest, ConcurrentBurstKeepsTheCountsAndLendsEachConnectionOnce) {
  TPoolOptions o = Fast();
  o.max_connections = 4;
  o.first_acquire_wait = milliseconds(10);
  o.request_timeout = std::chrono::seconds(10);
  auto pool = MakePool(o);
  pool->StartPool();

  std::mutex mutex;
  std::set<TDM*> held;
  std::atomic<int> failures{0}, doubles{0}, dirty{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 16; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        try {
          TDM& dm = pool->AcquireConnection();
          {
            std::lock_guard<std::mutex> lock(mutex);
            if (!held.insert(&dm).second) ++doubles;
          }
          if (!dm.CallContext().Usr.empty()) ++dirty;
          dm.CallContext().Usr = "T" + std::to_string(t);
          dm.dbZor().Query("SELECT 1 AS One");
          {
            std::lock_guard<std::mutex> lock(mutex);
            held.erase(&dm);
          }
          pool->ReleaseConnection(dm);
        } catch (const EZoras&) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(failures, 0);
  EXPECT_EQ(doubles, 0) << "a connection was lent to two threads at once";
  EXPECT_EQ(dirty, 0) << "a call context leaked into the next request";
  const TPoolStats s = Settled(*pool);
  EXPECT_EQ(s.lent, 0);
  EXPECT_GE(s.items, 1);
  EXPECT_LE(s.items, 4);
  ExpectBalanced(s, 4);
  EXPECT_EQ(probe_->open_now, s.items);
}

TEST_F(PoolTest, BrokenConnectionIsClosedAndNeverLentAgain) {
  TPoolOptions o = Fast();
  o.max_connections = 2;
  auto pool = MakePool(o);
  pool->StartPool();

  // Broken while lent: found on give-back, and the pool grows back to MINCON.
  TDM& first = pool->AcquireConnection();
  Probe(first).Break();
  pool->ReleaseConnection(first);
  ASSERT_TRUE(WaitUntil([&] { return probe_->opened == 2 && pool->Stats().items == 1; }));
  TPoolStats s = Settled(*pool);
  EXPECT_EQ(s.lent, 0);
  ExpectBalanced(s, 2);
  EXPECT_EQ(probe_->open_now, 1);

  // Broken while idle: found on take, and the request gets a new one within its time-out.
  TDM& second = pool->AcquireConnection();
  EXPECT_EQ(Probe(second).Id(), 2);
  pool->ReleaseConnection(second);
  Probe(second).Break();  // idle in the list, and broken
  const auto start = Clock::now();
  TDM& third = pool->AcquireConnection();
  EXPECT_LT(SecondsSince(start), 1.0);
  EXPECT_EQ(Probe(third).Id(), 3);
  third.dbZor().Query("SELECT 1 AS One");
  s = Settled(*pool);
  EXPECT_EQ(s.items, 1);
  EXPECT_EQ(s.lent, 1);
  ExpectBalanced(s, 2);
  EXPECT_EQ(probe_->open_now, 1);
  pool->ReleaseConnection(third);
}

TEST(PoolPostgresTest, ConnectionKilledByTheServerIsReplaced) {
  std::string skip;
  auto db = MakeTestDatabase(TDriverKind::kPostgreSQL, &skip);
  if (db == nullptr) GTEST_SKIP() << skip;
  TPoolOptions o;
  o.first_acquire_wait = milliseconds(50);
  o.request_timeout = std::chrono::seconds(2);
  o.max_connections = 2;
  TPoolManager pool(o, [&] { return db->Open(); });
  pool.StartPool();

  TDM& dm = pool.AcquireConnection();
  const int64_t pid = dm.dbZor().Query("SELECT pg_backend_pid() AS Pid").Field(0).AsInteger();
  pool.ReleaseConnection(dm);
  db->Open()->Query("SELECT pg_terminate_backend(:PID) AS Done", {{"PID", TValue::Integer(pid)}});
  std::this_thread::sleep_for(milliseconds(100));

  TDM& next = pool.AcquireConnection();
  const int64_t next_pid =
      next.dbZor().Query("SELECT pg_backend_pid() AS Pid").Field(0).AsInteger();
  EXPECT_NE(next_pid, pid);
  pool.ReleaseConnection(next);
  ASSERT_TRUE(WaitUntil([&] { return pool.Stats().creator_threads == 0; }));
  const TPoolStats s = pool.Stats();
  EXPECT_EQ(s.items, 1);
  ExpectBalanced(s, 2);
}

// ---- Opening a connection the server's way: alias registry and ZOR.INI.

class ZorConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::temp_directory_path() /
            ("zoras_zorini_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(home_ / "data");
    const char* old = getenv("ZORAS_HOME");
    if (old != nullptr) old_home_ = old;
    had_home_ = old != nullptr;
    setenv("ZORAS_HOME", home_.c_str(), 1);
    CreateDatabase(DefaultDatabaseTarget(home_), {});
    CreateDatabase({"", TDriverKind::kSQLite, (home_ / "data" / "local.db").string()}, {});
    std::ofstream(home_ / "aliases.ini") << "[LOCAL]\nDriver=SQLite\nDatabase=data/local.db\n";
  }
  void TearDown() override {
    if (had_home_) {
      setenv("ZORAS_HOME", old_home_.c_str(), 1);
    } else {
      unsetenv("ZORAS_HOME");
    }
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
  }

  void WriteZorIni(const std::string& user, const std::string& password) {
    const std::string filler = "ABCDEFGHIJKLMNOPQRST";
    std::ofstream(home_ / "ZOR.INI") << "USERNAME=" << Scramble(user, filler) << "\n"
                                     << "PASSWORD=" << Scramble(password, filler) << "\n";
  }

  std::filesystem::path home_;
  std::string old_home_;
  bool had_home_ = false;
};

TEST_F(ZorConnectionTest, CredentialsAreRequiredEvenForSQLite) {
  struct Case {
    std::string user, password, message;
  };
  const Case cases[] = {
      {"", "geslo", "Manjka Database username."},   {"   ", "geslo", "Manjka Database username."},
      {"", "", "Manjka Database username."},        {"zoras", "", "Manjka Database Password."},
      {"zoras", "  ", "Manjka Database Password."}, {"zoras", "geslo ", "(no error)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("user '" + c.user + "' password '" + c.password + "'");
    WriteZorIni(c.user, c.password);
    EXPECT_EQ(ErrorText([] { OpenZorConnection(""); }), c.message);
  }
  std::filesystem::remove(home_ / "ZOR.INI");
  EXPECT_EQ(ErrorText([] { OpenZorConnection(""); }), "Manjka Database username.");
}

TEST_F(ZorConnectionTest, ModuleIsNamedAfterAKnownAliasOnly) {
  WriteZorIni("zoras", "geslo");
  auto known = TDM::Open("local");
  EXPECT_EQ(known->DatabaseName(), "LOCAL");
  known->dbZor().Execute("CREATE TABLE ONLY_LOCAL (ID INTEGER)");

  auto unknown = TDM::Open("NOSUCH");
  EXPECT_EQ(unknown->DatabaseName(), "");
  EXPECT_NE(ErrorText([&] { unknown->dbZor().Query("SELECT * FROM ONLY_LOCAL"); }), "(no error)")
      << "an unknown alias opens the default database";
  EXPECT_NE(known->SessionName(), unknown->SessionName());

  TPoolOptions o;
  o.alias = "LOCAL";
  TPoolManager pool(o);
  pool.StartPool();
  TDM& dm = pool.AcquireConnection();
  EXPECT_EQ(dm.DatabaseName(), "LOCAL");
  dm.dbZor().Query("SELECT * FROM ONLY_LOCAL");
  pool.ReleaseConnection(dm);
}

}  // namespace
}  // namespace zoras
