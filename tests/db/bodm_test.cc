// The business data-module base: connections from the pool and shared with a request's
// other modules, rebinding of the statement components, events, packets with paging.
#include "db/bodm.h"

#include <gtest/gtest.h>

#include "db/dm_test_util.h"
#include "db/query.h"
#include "db/table.h"
#include "packet/packet_reader.h"
#include "packet/packet_writer.h"

namespace zoras {
namespace {

using std::chrono::milliseconds;

// A small module over table NOTES (ID INTEGER primary key).
class TNOTESBODM : public TBODM {
 public:
  TNOTESBODM() : connection_in_constructor(Connection()) {}

  void AddNote(int id) {
    qNOTES.SQL().Clear();
    qNOTES.SQL().Add("INSERT INTO NOTES (ID) VALUES (:ID)");
    qNOTES.ParamByName("ID").AsInteger(id);
    qNOTES.ExecSQL();
  }
  int64_t CountNotes() {
    qCount.SQL().SetText("SELECT COUNT(*) AS N FROM NOTES");
    qCount.Open();
    return qCount.FieldByName("N").AsInteger();
  }

  TDM* const connection_in_constructor;
  TFQuery qNOTES{this, "qNOTES"};
  TFQuery qCount{this, "qCount"};
  TFilter tblNOTES{this, "tblNOTES", "NOTES", "ID"};
};

class BodmTest : public ::testing::TestWithParam<TDriverKind> {
 protected:
  void SetUp() override {
    std::string skip;
    db_ = MakeTestDatabase(GetParam(), &skip);
    if (db_ == nullptr) GTEST_SKIP() << skip;
    db_->Run("CREATE TABLE NOTES (ID INTEGER NOT NULL PRIMARY KEY)");
    TPoolOptions o;
    o.max_connections = 2;
    o.first_acquire_wait = milliseconds(50);
    o.request_timeout = milliseconds(300);
    o.semaphore_wait = milliseconds(200);
    pool_ = std::make_unique<TPoolManager>(o, ProbedFactory(*db_, probe_));
    pool_->StartPool();
  }

  std::unique_ptr<TTestDatabase> db_;
  std::shared_ptr<TConnectionProbe> probe_ = std::make_shared<TConnectionProbe>();
  std::unique_ptr<TPoolManager> pool_;
};

TEST_P(BodmTest, ModulesOfOneRequestShareOneSession) {
  auto session = TBODM::CreateFromPool<TNOTESBODM>(*pool_);
  EXPECT_EQ(session->connection_in_constructor, nullptr);
  EXPECT_TRUE(session->OwnsConnection());
  TDM& dm = session->RequireConnection();
  dm.dbZor().Begin();
  session->AddNote(1);

  auto helper = TBODM::CreateOnConnection<TNOTESBODM>(dm);
  EXPECT_FALSE(helper->OwnsConnection());
  EXPECT_EQ(helper->CountNotes(), 1) << "the uncommitted insert is visible on the same session";
  helper->AddNote(2);
  EXPECT_EQ(session->CountNotes(), 2);

  auto other_request = TBODM::CreateFromPool<TNOTESBODM>(*pool_);
  EXPECT_NE(other_request->Connection(), &dm);
  EXPECT_EQ(other_request->CountNotes(), 0) << "another connection does not see it";
  dm.dbZor().Rollback();
}

TEST_P(BodmTest, OnlyTheOwningModuleGivesTheConnectionBack) {
  auto session = TBODM::CreateFromPool<TNOTESBODM>(*pool_);
  TDM& dm = *session->Connection();
  dm.CallContext().Usr = "ANA";
  EXPECT_EQ(pool_->Stats().lent, 1);

  auto helper = TBODM::CreateOnConnection<TNOTESBODM>(dm);
  EXPECT_EQ(dm.CallContext().Usr, "ANA") << "creation on a connection keeps its context";
  helper.reset();
  EXPECT_EQ(pool_->Stats().lent, 1);
  EXPECT_EQ(dm.CallContext().Usr, "ANA");
  dm.dbZor().Query("SELECT 1 AS One");

  session.reset();
  const TPoolStats s = pool_->Stats();
  EXPECT_EQ(s.lent, 0);
  EXPECT_EQ(s.available_count, s.items);
  EXPECT_EQ(dm.CallContext().Usr, "");
}

TEST_P(BodmTest, FailedPoolRequestLeavesThePoolUnchanged) {
  auto first = TBODM::CreateFromPool<TNOTESBODM>(*pool_);
  auto second = TBODM::CreateFromPool<TNOTESBODM>(*pool_);
  const TPoolStats before = pool_->Stats();
  ASSERT_EQ(before.lent, 2);

  EXPECT_EQ(ErrorText([&] { TBODM::CreateFromPool<TNOTESBODM>(*pool_); }),
            "Strežnik je preobremenjen. Poskusite znova.");
  ASSERT_TRUE(WaitUntil([&] { return pool_->Stats().creator_threads == 0; }));
  const TPoolStats after = pool_->Stats();
  EXPECT_EQ(after.items, before.items);
  EXPECT_EQ(after.lent, before.lent);
  EXPECT_EQ(after.available_count, before.available_count);
  EXPECT_EQ(after.free_slots, before.free_slots);
  EXPECT_EQ(first->CountNotes(), 0);
}

TEST_P(BodmTest, BindConnectionRebindsEveryComponent) {
  TNOTESBODM plain;  // created without a connection
  ASSERT_EQ(plain.Components().size(), 3u);
  EXPECT_EQ(plain.Components()[0], &plain.qNOTES);
  EXPECT_EQ(plain.Components()[2], &plain.tblNOTES);
  EXPECT_NE(ErrorText([&] { plain.CountNotes(); }).find("no database connection"),
            std::string::npos);

  auto session = TBODM::CreateFromPool<TNOTESBODM>(*pool_);
  TDM& dm = *session->Connection();
  plain.BindConnection(&dm);
  for (const TSqlDataSet* c : plain.Components()) {
    EXPECT_EQ(c->Connection(), &dm);
    EXPECT_EQ(c->SessionName(), dm.SessionName());
    EXPECT_EQ(c->DatabaseName(), dm.DatabaseName());
    EXPECT_EQ(c->DriverName(), DriverLabel(GetParam()));
  }
  EXPECT_EQ(plain.CountNotes(), 0);

  plain.BindConnection(nullptr);
  for (const TSqlDataSet* c : plain.Components()) {
    EXPECT_EQ(c->Connection(), nullptr);
    EXPECT_EQ(c->SessionName(), "");
    EXPECT_EQ(c->DriverName(), "");
  }
  EXPECT_FALSE(plain.OwnsConnection());
}

// A module whose query fills calculated fields, as the modules that look up code-list
// texts do.
class TPOGBODM : public TBODM {
 public:
  TPOGBODM() {
    qPOG.OnCalcFields = [](TSqlDataSet& q) {
      q.FieldByName("IdPogKrtBis").SetInteger(q.FieldByName("IdPog").AsInteger() * 10);
    };
  }
  TQueryDM qPOG{this, "qPOG"};
};

TEST_P(BodmTest, DisabledEventsLeaveCalculatedFieldsEmpty) {
  db_->Run(
      "CREATE TABLE POGX (IdPog INTEGER NOT NULL PRIMARY KEY);\n"
      "INSERT INTO POGX (IdPog) VALUES (1);\n"
      "INSERT INTO POGX (IdPog) VALUES (2)");
  auto session = TBODM::CreateFromPool<TNOTESBODM>(*pool_);
  auto pog = TBODM::CreateOnConnection<TPOGBODM>(*session->Connection());
  pog->qPOG.SQL().SetText("SELECT IdPog FROM POGX ORDER BY IdPog");
  EXPECT_TRUE(pog->EventsEnabled());
  pog->qPOG.Open();
  pog->qPOG.Last();
  EXPECT_EQ(pog->qPOG.FieldByName("IdPogKrtBis").AsInteger(), 20);

  pog->DisableEvents();
  pog->qPOG.Open();
  EXPECT_TRUE(pog->qPOG.FieldByName("IdPogKrtBis").IsNull());
  pog->EnableEvents();
  pog->qPOG.Open();
  EXPECT_EQ(pog->qPOG.FieldByName("IdPogKrtBis").AsInteger(), 10);
}

TEST_P(BodmTest, PacketsArePagedFromTheQuery) {
  std::string script = "CREATE TABLE PAGES (ID INTEGER NOT NULL PRIMARY KEY)";
  for (int i = 1; i <= 25; ++i)
    script += ";\nINSERT INTO PAGES (ID) VALUES (" + std::to_string(i) + ")";
  db_->Run(script);
  auto module = TBODM::CreateFromPool<TNOTESBODM>(*pool_);
  TFQuery& q = module->qNOTES;
  q.SQL().SetText("SELECT ID FROM PAGES ORDER BY ID");

  struct Case {
    int packet_records, page;
    size_t rows;
    int first_id;
  };
  const Case cases[] = {{-1, 1, 25, 1}, {10, 1, 10, 1}, {10, 2, 10, 11},
                        {10, 3, 5, 21}, {10, 4, 0, 0},  {-1, 3, 25, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE("records " + std::to_string(c.packet_records) + " page " + std::to_string(c.page));
    const std::string packet = TBODM::ProvidePacket(q, c.packet_records, c.page);
    TMemTable rows = LoadPacket(packet);
    EXPECT_EQ(rows.RecordCount(), c.rows);
    EXPECT_EQ(rows.FindField("ID"), 0) << "field definitions are always there";
    if (c.rows > 0) {
      EXPECT_EQ(rows.FieldByName("ID").AsInteger(), c.first_id);
    }
  }
  // The same text as the packet writer makes from the positioned query.
  q.Open();
  q.MoveBy(10);
  const std::string expected = DataSetToPacket(q.DataSet(), 10);
  EXPECT_EQ(TBODM::ProvidePacket(q, 10, 2), expected);
}

INSTANTIATE_TEST_SUITE_P(Drivers, BodmTest,
                         ::testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         [](const auto& info) { return DriverLabel(info.param); });

}  // namespace
}  // namespace zoras
