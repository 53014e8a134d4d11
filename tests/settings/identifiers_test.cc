// Keys of new rows: the ID counters, the GENID generators and the sequences, alone, inside
// a caller's transaction and drawn by many connections at once.
#include "settings/identifiers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "db/dm_test_util.h"
#include "support/schema_db.h"

namespace zoras {
namespace {

class IdentifiersTest : public TSchemaDatabaseTest {
 protected:
  void SetUp() override {
    TSchemaDatabaseTest::SetUp();
    if (IsSkipped()) return;
    ids_ = TBODM::CreateOnConnection<TIDBODM>(*dm_);
    gen_ = TBODM::CreateOnConnection<TGENIDBODM>(*dm_);
  }
  void TearDown() override {
    gen_.reset();
    ids_.reset();
  }

  TValue StoredId(const std::string& column) {
    return dm_->dbZor().Query("SELECT " + column + " FROM ID WHERE Id = 1").Field(0).Value();
  }

  // `threads` connections draw `draws` values each through `draw` (on a module of their
  // own), each draw in its own transaction when `in_transactions`; all values, sorted.
  std::vector<int64_t> DrawConcurrently(int threads, int draws, bool in_transactions,
                                        const std::function<int64_t(TIDBODM&, TGENIDBODM&)>& draw) {
    std::vector<std::vector<int64_t>> got(threads);
    std::vector<std::string> errors(threads);
    std::vector<std::unique_ptr<TDM>> connections;
    for (int t = 0; t < threads; ++t) connections.push_back(NewConnection());
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&, t] {
        try {
          TDM& dm = *connections[t];
          auto ids = TBODM::CreateOnConnection<TIDBODM>(dm);
          auto gen = TBODM::CreateOnConnection<TGENIDBODM>(dm);
          for (int i = 0; i < draws; ++i) {
            if (in_transactions) dm.dbZor().Begin();
            got[t].push_back(draw(*ids, *gen));
            if (in_transactions) dm.dbZor().Commit();
          }
        } catch (const EZoras& e) {
          errors[t] = e.what();
        }
      });
    }
    for (auto& w : workers) w.join();
    std::vector<int64_t> all;
    for (int t = 0; t < threads; ++t) {
      EXPECT_EQ(errors[t], "") << "thread " << t;
      all.insert(all.end(), got[t].begin(), got[t].end());
    }
    std::sort(all.begin(), all.end());
    return all;
  }

  static std::vector<int64_t> OneTo(int n) {
    std::vector<int64_t> v(n);
    for (int i = 0; i < n; ++i) v[i] = i + 1;
    return v;
  }

  std::unique_ptr<TIDBODM> ids_;
  std::unique_ptr<TGENIDBODM> gen_;
};

INSTANTIATE_TEST_SUITE_P(Drivers, IdentifiersTest,
                         testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         DriverTestName);

TEST_P(IdentifiersTest, EmptyCounterStartsAtOne) {
  ASSERT_TRUE(StoredId("IDPOO").IsNull());
  EXPECT_EQ(ids_->NextId("IDPOO"), 1);
  EXPECT_EQ(ids_->NextId("IdPoo"), 2) << "a column name in any letter case";
  EXPECT_EQ(StoredId("IDPOO").AsInteger(), 2);
  dm_->dbZor().Execute("UPDATE ID SET SfOsb = 41 WHERE Id = 1");
  EXPECT_EQ(ids_->NextId("SfOsb"), 42);
}

TEST_P(IdentifiersTest, IdActAndKatOsbIdComeFromTheirSequences) {
  const struct {
    const char* key;
    const char* sequence;
  } cases[] = {{"IdAct", "ACT_IDACT_SEQ"}, {"KATOSBID", "KATOSB_KATOSBID_SEQ"}};
  for (const auto& c : cases) {
    dm_->dbZor().ExecuteScript(std::string("DROP SEQUENCE ") + c.sequence + ";\nCREATE SEQUENCE " +
                               c.sequence + " START WITH 500 INCREMENT BY 1");
    EXPECT_EQ(ids_->NextId(c.key), 500) << c.key;
    std::string lower = c.key;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    EXPECT_EQ(ids_->NextId(lower), 501) << lower;
  }
}

TEST_P(IdentifiersTest, KeyThatIsNoPlainNameIsRefused) {
  for (const char* key : {"", "IDPOO = IDPOO; --", "IDPOO,SfOsb", "ID POO", "IDPOO'", "1ID",
                          "ID.IDPOO", "Id\xC4\x8D"}) {
    EXPECT_EQ(ErrorText([&] { ids_->NextId(key); }),
              "TIDBODM: invalid SQL name '" + std::string(key) + "'");
  }
  for (const auto& [table, column] : std::vector<std::pair<std::string, std::string>>{
           {"ACT", "IDACT_SEQ; DROP TABLE ID"}, {"", ""}, {"A CT", "IDACT"}}) {
    EXPECT_NE(ErrorText([&] { ids_->NextSequenceValue(table, column); }).find("invalid SQL name"),
              std::string::npos)
        << table << "/" << column;
  }
  EXPECT_TRUE(StoredId("IDPOO").IsNull());
}

TEST_P(IdentifiersTest, CounterThatNeverUpdatesFailsAfterEveryAttempt) {
  // Every attempt fails: no such column, and no counter row.
  EXPECT_EQ(ErrorText([&] { ids_->NextId("NOSUCHKEY"); }),
            "Posodabljanje zapisa v tabeli ID - stolpec NOSUCHKEY ni uspelo !");
  dm_->dbZor().Execute("DELETE FROM ID");
  EXPECT_EQ(ErrorText([&] { ids_->NextId("IDPOO"); }),
            "Posodabljanje zapisa v tabeli ID - stolpec IDPOO ni uspelo !");
}

TEST_P(IdentifiersTest, FailedAttemptsLeaveTheCallersTransactionUsable) {
  // On PostgreSQL a failed statement would otherwise abort the whole transaction.
  TDbConnection& db = dm_->dbZor();
  db.Begin();
  EXPECT_EQ(ids_->NextId("IDPOO"), 1);
  EXPECT_NE(ErrorText([&] { ids_->NextId("NOSUCHKEY"); }), "(no error)");
  EXPECT_EQ(ids_->NextId("IDPOO"), 2);
  EXPECT_EQ(gen_->NextGenId("NETPOO.IDNETPOO"), 1);
  db.Commit();
  EXPECT_EQ(StoredId("IDPOO").AsInteger(), 2);
  EXPECT_EQ(gen_->NextGenId("NETPOO.IDNETPOO"), 2);
}

TEST_P(IdentifiersTest, LostFirstInsertInsideATransactionIsRetried) {
  // Another request makes the generator's row and commits while this one, inside its
  // own transaction, is about to insert it: the insert fails on the primary key (on
  // PostgreSQL it waits for the other transaction first), and the retry updates the row.
  auto other = NewConnection();
  other->dbZor().Begin();
  other->dbZor().Execute("INSERT INTO GENID (GENNAME, ID) VALUES ('NETPOO.IDNETPOO', 5)");
  int64_t drawn = 0;
  std::string error;
  std::thread request([&] {
    try {
      dm_->dbZor().Begin();
      drawn = gen_->NextGenId("NETPOO.IDNETPOO");
      ids_->NextId("IDPOO");
      dm_->dbZor().Commit();
    } catch (const EZoras& e) {
      error = e.what();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  other->dbZor().Commit();
  request.join();
  EXPECT_EQ(error, "");
  EXPECT_EQ(drawn, 6);
  EXPECT_EQ(StoredId("IDPOO").AsInteger(), 1);
}

TEST_P(IdentifiersTest, DrawInARolledBackTransactionIsGivenAgain) {
  dm_->dbZor().Begin();
  EXPECT_EQ(ids_->NextId("IdPog"), 1);
  EXPECT_EQ(gen_->NextGenId("POG.IDPOG"), 1);
  dm_->dbZor().Rollback();
  EXPECT_EQ(ids_->NextId("IdPog"), 1);
  EXPECT_EQ(gen_->NextGenId("POG.IDPOG"), 1);
}

TEST_P(IdentifiersTest, GeneratorIsCreatedOnFirstUse) {
  EXPECT_EQ(gen_->NextGenId("NETPOO.IDNETPOO"), 1);
  EXPECT_EQ(gen_->NextGenId("NETPOO.IDNETPOO"), 2);
  EXPECT_EQ(gen_->NextGenId("NETRCN.IDNETRCN"), 1) << "each name counts alone";
  // The name is bound, so any text is a name.
  EXPECT_EQ(gen_->NextGenId("O'X.ID"), 1);
  EXPECT_EQ(gen_->NextGenId("O'X.ID"), 2);
  TMemTable rows = dm_->dbZor().Query("SELECT GENNAME, ID FROM GENID ORDER BY GENNAME");
  ASSERT_EQ(rows.RecordCount(), 3u);
  rows.Last();
  EXPECT_EQ(rows.FieldByName("GENNAME").AsString(), "O'X.ID");
  EXPECT_EQ(rows.FieldByName("ID").AsInteger(), 2);
}

TEST_P(IdentifiersTest, GeneratorContinuesFromItsStoredValue) {
  dm_->dbZor().Execute("INSERT INTO GENID (GENNAME, ID) VALUES ('NETNRC.IDNETNRC', 999)");
  EXPECT_EQ(gen_->NextGenId("NETNRC.IDNETNRC"), 1000);
}

TEST_P(IdentifiersTest, MissingSequenceNamesTheErrorClassAndTheSequence) {
  const struct {
    const char* table;
    const char* column;
    const char* base;
  } cases[] = {{"NOSUCH", "COL", "NOSUCH_COL"}, {"NOSUCH", "", "NOSUCH"}, {"", "NOSUCH", "NOSUCH"}};
  for (const auto& c : cases) {
    const std::string error = ErrorText([&] { ids_->NextSequenceValue(c.table, c.column); });
    const std::string prefix =
        std::string("EDatabaseError: napaka pri sekvenci ") + c.base + "_SEQ. Sporočilo: ";
    ASSERT_EQ(error.substr(0, prefix.size()), prefix) << error;
    EXPECT_GT(error.size(), prefix.size()) << "the database's message follows";
  }
}

TEST_P(IdentifiersTest, ConcurrentDrawsOfOneKeyAreDistinctAndConsecutive) {
  for (bool in_transactions : {false, true}) {
    dm_->dbZor().Execute("UPDATE ID SET IDPOO = NULL WHERE Id = 1");
    const auto all = DrawConcurrently(
        8, 50, in_transactions, [](TIDBODM& ids, TGENIDBODM&) { return ids.NextId("IDPOO"); });
    EXPECT_EQ(all, OneTo(400)) << (in_transactions ? "in transactions" : "autocommit");
  }
}

TEST_P(IdentifiersTest, ConcurrentDrawsOfANewGeneratorAreDistinctAndConsecutive) {
  // Every thread starts on the name at once: all but one first insert lose the race.
  for (bool in_transactions : {false, true}) {
    const std::string name = in_transactions ? "NEW.IN_TRANSACTIONS" : "NEW.AUTOCOMMIT";
    const auto all = DrawConcurrently(
        8, 50, in_transactions, [&](TIDBODM&, TGENIDBODM& gen) { return gen.NextGenId(name); });
    EXPECT_EQ(all, OneTo(400)) << name;
  }
}

}  // namespace
}  // namespace zoras
