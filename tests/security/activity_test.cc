// The activity trail: what a recorded row, login and logout leave in ACT, and the
// revision history read back from it.
#include "security/activity.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/machine.h"
#include "base/version.h"
#include "db/table.h"
#include "packet/mem_table.h"
#include "packet/packet_reader.h"
#include "support/schema_db.h"

namespace zoras {
namespace {

// A module with one query and one table component, to record rows of any shape.
class TRowsBODM : public TBODM {
 public:
  TFQuery qRow{this, "qRow"};
  TFilter tblRow{this, "tblRow"};
};

const TDateTime kMonday = TDateTime::Encode(2024, 3, 4, 9, 15, 30);

class ActivityTest : public TSchemaDatabaseTest {
 protected:
  void SetUp() override {
    TSchemaDatabaseTest::SetUp();
    if (IsSkipped()) return;
    SetClockForTesting(kMonday);
    TCallContext& context = dm_->CallContext();
    context.Usr = "JNOVAK";
    context.SfApp = "P";
    context.SfOrg = 12;
    dm_->dbZor().ExecuteScript(
        "CREATE TABLE TSTAB (A INTEGER, B VARCHAR(10));\n"
        "CREATE TABLE TSTROW (Kljuc INTEGER, SfVp SMALLINT, SfDog SMALLINT, IdPog INTEGER, "
        "Dan TIMESTAMP)");
  }
  void TearDown() override { ResetClockForTesting(); }

  void Run(const std::string& sql, const TSqlParams& params = {}) {
    dm_->dbZor().Execute(sql, params);
  }

  // Records the rows of `sql` (each its own trail row) on `connection`.
  void RecordQuery(TDM& connection, const std::string& sql, const std::string& table,
                   const std::string& key, const std::string& kind = "^") {
    auto rows = TBODM::CreateOnConnection<TRowsBODM>(connection);
    auto trail = TBODM::CreateOnConnection<TACTBODM>(connection);
    rows->qRow.SQL().SetText(sql);
    rows->qRow.Open();
    for (rows->qRow.First(); !rows->qRow.Eof(); rows->qRow.Next())
      trail->RecordActivity(rows->qRow, kind, table, key);
  }

  // Every trail row, in key order.
  TMemTable Trail() {
    TMemTable rows = dm_->dbZor().Query("SELECT * FROM ACT ORDER BY IdAct");
    rows.First();
    return rows;
  }
};

INSTANTIATE_TEST_SUITE_P(Drivers, ActivityTest,
                         testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         DriverTestName);

TEST_P(ActivityTest, ContentHoldsValueThenNameOfEveryField) {
  Run("INSERT INTO TSTAB (A, B) VALUES (1, '')");
  Run("INSERT INTO TSTAB (A, B) VALUES (2, NULL)");
  RecordQuery(*dm_, "SELECT A, B FROM TSTAB ORDER BY A", "TSTAB", "A");
  TMemTable act = Trail();
  ASSERT_EQ(act.RecordCount(), 2u);
  for (const char* expected : {"1#|A#|#|B#|", "2#|A#|#|B#|"}) {  // B empty, B null
    EXPECT_EQ(act.FieldByName("Cnt").AsString(), expected);
    EXPECT_EQ(act.FieldByName("Id").AsString(), std::string(1, expected[0]));
    EXPECT_EQ(act.FieldByName("Tbl").AsString(), "TSTAB");
    EXPECT_EQ(act.FieldByName("SfAct").AsString(), "^");
    // The row has none of the copied fields.
    for (const char* copied : {"SfVp", "SfDog", "IdPog", "Dan"})
      EXPECT_TRUE(act.FieldByName(copied).IsNull()) << copied;
    act.Next();
  }
}

TEST_P(ActivityTest, CopiesSfVpSfDogIdPogAndDanWhenNotNull) {
  const TDateTime dan = TDateTime::Encode(2024, 2, 1, 10, 30, 0);
  Run("INSERT INTO TSTROW (Kljuc, SfVp, SfDog, IdPog, Dan) VALUES (1, 3, 4, 500000, :DAN)",
      {{"DAN", TValue::DateTime(dan)}});
  Run("INSERT INTO TSTROW (Kljuc) VALUES (2)");
  RecordQuery(*dm_, "SELECT * FROM TSTROW ORDER BY Kljuc", "TSTROW", "Kljuc", "+");
  TMemTable act = Trail();
  ASSERT_EQ(act.RecordCount(), 2u);
  EXPECT_EQ(act.FieldByName("SfVp").AsInteger(), 3);
  EXPECT_EQ(act.FieldByName("SfDog").AsInteger(), 4);
  EXPECT_EQ(act.FieldByName("IdPog").AsInteger(), 500000);
  EXPECT_EQ(act.FieldByName("Dan").AsDateTime(), dan);
  act.Next();
  EXPECT_EQ(act.FieldByName("Id").AsString(), "2");
  for (const char* copied : {"SfVp", "SfDog", "IdPog", "Dan"})
    EXPECT_TRUE(act.FieldByName(copied).IsNull()) << copied;
}

TEST_P(ActivityTest, WhoWhenAndWhereComeFromTheCallContextAndMachine) {
  const TDateTime at = TDateTime::Encode(2024, 3, 5, 14, 2, 11, 250);
  SetClockForTesting(at);
  // A connection opened under an alias: the trail names that database.
  TDM named(db_->Open(), "ZORDB");
  named.CallContext().Usr = "MKRANJC";
  named.CallContext().SfApp = "C";
  named.CallContext().SfOrg = 3;
  Run("INSERT INTO TSTAB (A, B) VALUES (7, 'x')");
  RecordQuery(named, "SELECT A, B FROM TSTAB", "TSTAB", "A", "-");
  TMemTable act = Trail();
  ASSERT_EQ(act.RecordCount(), 1u);
  EXPECT_EQ(act.FieldByName("SfAct").AsString(), "-");
  EXPECT_EQ(act.FieldByName("Usr").AsString(), "MKRANJC");
  EXPECT_EQ(act.FieldByName("SfApp").AsString(), "C");
  EXPECT_EQ(act.FieldByName("SfOrg").AsInteger(), 3);
  EXPECT_EQ(act.FieldByName("Db").AsString(), "ZORDB");
  EXPECT_EQ(act.FieldByName("Cmp").AsString(), ServerComputerName());
  EXPECT_EQ(act.FieldByName("Cas").AsDateTime(), at);
  EXPECT_EQ(act.FieldByName("Id").AsString(), "7");
  EXPECT_TRUE(act.FieldByName("Prenos").IsNull());
}

TEST_P(ActivityTest, KeysComeFromTheIdActSequence) {
  dm_->dbZor().ExecuteScript(
      "DROP SEQUENCE ACT_IDACT_SEQ;\nCREATE SEQUENCE ACT_IDACT_SEQ START WITH 500 INCREMENT BY 1");
  Run("INSERT INTO TSTAB (A, B) VALUES (1, 'a')");
  Run("INSERT INTO TSTAB (A, B) VALUES (2, 'b')");
  RecordQuery(*dm_, "SELECT A, B FROM TSTAB ORDER BY A", "TSTAB", "A");
  TBODM::CreateOnConnection<TACTBODM>(*dm_)->RecordSessionEvent("ZORAS", "I");
  // Another request's row draws from the same sequence.
  auto other = NewConnection();
  TBODM::CreateOnConnection<TACTBODM>(*other)->RecordSessionEvent("ZORAS", "O");
  TMemTable act = Trail();
  std::vector<int64_t> keys;
  for (act.First(); !act.Eof(); act.Next()) keys.push_back(act.FieldByName("IdAct").AsInteger());
  EXPECT_EQ(keys, (std::vector<int64_t>{500, 501, 502, 503}));
}

TEST_P(ActivityTest, RecordRowUsesTheTablesNameAndFirstColumn) {
  Run("INSERT INTO TSTROW (Kljuc, SfVp) VALUES (41, 2)");
  auto rows = TBODM::CreateOnConnection<TRowsBODM>(*dm_);
  rows->tblRow.SetTableName("TSTROW");
  rows->tblRow.Open();
  TBODM::CreateOnConnection<TACTBODM>(*dm_)->RecordRow(rows->tblRow, "+");
  TMemTable act = Trail();
  ASSERT_EQ(act.RecordCount(), 1u);
  EXPECT_EQ(act.FieldByName("Tbl").AsString(), "TSTROW");
  EXPECT_EQ(act.FieldByName("Id").AsString(), "41");
  EXPECT_EQ(act.FieldByName("SfVp").AsInteger(), 2);
}

TEST_P(ActivityTest, LoginAndLogoutRecordTheProgramVersion) {
  ASSERT_TRUE(std::regex_match(FileVersion(), std::regex(R"(\d+\.\d+\.\d+\.\d+)")))
      << FileVersion();
  TDM named(db_->Open(), "ZORDB");
  named.CallContext() = dm_->CallContext();
  auto trail = TBODM::CreateOnConnection<TACTBODM>(named);
  trail->RecordSessionEvent("ZORAS", "I");
  trail->RecordSessionEvent("ZORAS", "O");
  TMemTable act = Trail();
  ASSERT_EQ(act.RecordCount(), 2u);
  for (const char* kind : {"I", "O"}) {
    EXPECT_EQ(act.FieldByName("SfAct").AsString(), kind);
    EXPECT_EQ(act.FieldByName("Tbl").AsString(), "ZORAS") << kind;
    EXPECT_EQ(act.FieldByName("Id").AsString(), "V=" + FileVersion()) << kind;
    EXPECT_EQ(act.FieldByName("Usr").AsString(), "JNOVAK") << kind;
    EXPECT_EQ(act.FieldByName("SfApp").AsString(), "P") << kind;
    EXPECT_EQ(act.FieldByName("SfOrg").AsInteger(), 12) << kind;
    EXPECT_EQ(act.FieldByName("Db").AsString(), "ZORDB") << kind;
    EXPECT_EQ(act.FieldByName("Cmp").AsString(), ServerComputerName()) << kind;
    EXPECT_EQ(act.FieldByName("Cas").AsDateTime(), kMonday) << kind;
    EXPECT_TRUE(act.FieldByName("Cnt").IsNull()) << kind;
    act.Next();
  }
}

// Three revisions of one row, recorded out of time order by two users.
class HistoryTest : public ActivityTest {
 protected:
  void SetUp() override {
    ActivityTest::SetUp();
    if (IsSkipped()) return;
    Run("CREATE TABLE TSTPOO (IdPoo INTEGER, STATUS VARCHAR(1), IZNOS VARCHAR(10))");
    Run("INSERT INTO OSB (SfOsb, Nzv, Ime) VALUES (1, 'Novak', 'Janez')");
    Run("INSERT INTO OSB (SfOsb, Nzv, Ime) VALUES (2, 'Kranjc', 'Marija')");
    Run("INSERT INTO USR (Usr, Akt, SfOsb) VALUES ('JNOVAK', 'D', 1)");
    Run("INSERT INTO USR (Usr, Akt, SfOsb) VALUES ('MKRANJC', 'D', 2)");
    Run("INSERT INTO TSTPOO (IdPoo, STATUS, IZNOS) VALUES (7, '1', '100,50')");
    Run("INSERT INTO TSTPOO (IdPoo, STATUS, IZNOS) VALUES (8, '1', '1')");
    Revise("MKRANJC", kSecond, "1", "200");
    Revise("JNOVAK", kThird, "0", "300");
    Revise("JNOVAK", kFirst, "2", "100,50");
    // Rows of another row and another table that share the names.
    RecordQuery(*dm_, "SELECT IdPoo, STATUS, IZNOS FROM TSTPOO WHERE IdPoo = 8", "TSTPOO", "IdPoo");
    RecordQuery(*dm_, "SELECT IdPoo, STATUS, IZNOS FROM TSTPOO WHERE IdPoo = 7", "TSTDRUGA",
                "IdPoo");
  }

  // Row 7 with `status` and `amount`, recorded by `user` at `at`.
  void Revise(const std::string& user, TDateTime at, const std::string& status,
              const std::string& amount) {
    SetClockForTesting(at);
    dm_->CallContext().Usr = user;
    Run("UPDATE TSTPOO SET STATUS = :S, IZNOS = :I WHERE IdPoo = 7",
        {{"S", TValue::Text(status)}, {"I", TValue::Text(amount)}});
    RecordQuery(*dm_, "SELECT IdPoo, STATUS, IZNOS FROM TSTPOO WHERE IdPoo = 7", "TSTPOO", "IdPoo");
  }

  std::string History(const std::string& id, const std::string& condition,
                      const std::vector<std::string>& names = kNames) {
    return TBODM::CreateOnConnection<TACTBODM>(*dm_)->History("TSTPOO", id, names, condition);
  }

  static inline const TDateTime kFirst = TDateTime::Encode(2024, 3, 1, 8, 0, 5);
  static inline const TDateTime kSecond = TDateTime::Encode(2024, 3, 2, 13, 45, 0);
  static inline const TDateTime kThird = TDateTime::Encode(2024, 3, 10, 17, 9, 59);
  static inline const std::vector<std::string> kNames = {"ACT.Usr", "ACT.UsrLKP", "ACT.Datum",
                                                         "ACT.Ura", "STATUS",     "IZNOS"};
};

INSTANTIATE_TEST_SUITE_P(Drivers, HistoryTest,
                         testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         DriverTestName);

TEST_P(HistoryTest, RevisionsInTimeOrderWithTrailAndContentFields) {
  const std::string packet = History("7", "");
  TMemTable rows = LoadPacket(packet);
  ASSERT_EQ(rows.FieldCount(), kNames.size()) << packet;
  for (size_t i = 0; i < kNames.size(); ++i) EXPECT_EQ(rows.FieldDef(i).name, kNames[i]);
  const std::vector<std::vector<std::string>> expected = {
      {"JNOVAK", "Novak Janez", "01.03.2024", "08:00:05", "2", "100,50"},
      {"MKRANJC", "Kranjc Marija", "02.03.2024", "13:45:00", "1", "200"},
      {"JNOVAK", "Novak Janez", "10.03.2024", "17:09:59", "0", "300"},
  };
  ASSERT_EQ(rows.RecordCount(), expected.size()) << packet;
  rows.First();
  for (const auto& want : expected) {
    for (size_t i = 0; i < kNames.size(); ++i)
      EXPECT_EQ(rows.Field(i).AsString(), want[i]) << "row " << rows.RecNo() << " " << kNames[i];
    rows.Next();
  }
}

TEST_P(HistoryTest, ConditionSelectsAmongTheRevisions) {
  TMemTable rows = LoadPacket(History("7", "STATUS <> '0'"));
  ASSERT_EQ(rows.RecordCount(), 2u);
  rows.First();
  EXPECT_EQ(rows.FieldByName("STATUS").AsString(), "2");
  rows.Next();
  EXPECT_EQ(rows.FieldByName("STATUS").AsString(), "1");
}

TEST_P(HistoryTest, EmptyWhenNothingWasRecordedOrNothingPasses) {
  EXPECT_EQ(History("99", ""), "") << "never recorded";
  EXPECT_EQ(History("7", "STATUS = '9'"), "") << "every revision fails the condition";
}

TEST_P(HistoryTest, RevisionWithoutAnyRequestedValueIsLeftOut) {
  // A trail row of row 7 whose content lacks STATUS.
  SetClockForTesting(TDateTime::Encode(2024, 3, 20, 12, 0, 0));
  RecordQuery(*dm_, "SELECT IdPoo, IZNOS FROM TSTPOO WHERE IdPoo = 7", "TSTPOO", "IdPoo");
  TMemTable rows = LoadPacket(History("7", "", {"STATUS"}));
  EXPECT_EQ(rows.RecordCount(), 3u);
  // With a trail field requested every revision has a value.
  rows = LoadPacket(History("7", "", {"ACT.Usr", "STATUS"}));
  EXPECT_EQ(rows.RecordCount(), 4u);
}

}  // namespace
}  // namespace zoras
