// The query components TFQuery and TQueryDM on both drivers.
#include "db/query.h"

#include <gtest/gtest.h>

#include "db/dm_test_util.h"

namespace zoras {
namespace {

class QueryTest : public ::testing::TestWithParam<TDriverKind> {
 protected:
  void SetUp() override {
    std::string skip;
    db_ = MakeTestDatabase(GetParam(), &skip);
    if (db_ == nullptr) GTEST_SKIP() << skip;
    db_->Run(
        "CREATE TABLE VALS (ID INTEGER NOT NULL PRIMARY KEY, S VARCHAR(20), I INTEGER, "
        "F DOUBLE PRECISION, D DATE, DT TIMESTAMP, N VARCHAR(5));\n"
        "CREATE TABLE POG (IdPog INTEGER NOT NULL PRIMARY KEY, KrtKDD VARCHAR(10), "
        "KrtBIS VARCHAR(10), SfOsb INTEGER, Lot DOUBLE PRECISION);\n"
        "INSERT INTO POG (IdPog, KrtKDD, KrtBIS, SfOsb, Lot) VALUES (1, 'K1', 'B1', 10, 1.5);\n"
        "INSERT INTO POG (IdPog, KrtKDD, KrtBIS, SfOsb, Lot) VALUES (2, 'K2', 'B2', 20, 2.5);\n"
        "INSERT INTO POG (IdPog, KrtKDD, KrtBIS, SfOsb, Lot) VALUES (3, 'K3', 'B3', 30, 3.5)");
    dm_ = std::make_unique<TDM>(db_->Open(), "");
  }

  std::unique_ptr<TTestDatabase> db_;
  std::unique_ptr<TDM> dm_;
};

TEST_P(QueryTest, ParametersOfEveryKindReachTheDatabase) {
  const TDateTime day = TDateTime::Encode(2008, 3, 5);
  const TDateTime moment = TDateTime::Encode(2008, 3, 5, 14, 2, 11);
  TFQuery q(nullptr, "qVALS");
  q.Bind(dm_.get());
  q.SQL().Add("INSERT INTO VALS (ID, S, I, F, D, DT, N)");
  q.SQL().Add("VALUES (:ID, :S, :I, :F, :D, :DT, :N)");
  q.ParamByName("id").AsInteger(1);
  q.ParamByName("S").AsString("O'Brien; DROP");
  q.ParamByName("I").AsInteger(42);
  q.ParamByName("F").AsFloat(12.5);
  q.ParamByName("D").AsDate(moment);  // the date part only
  q.ParamByName("DT").AsDateTime(moment);
  q.ParamByName("N").Clear();
  EXPECT_EQ(q.ExecSQL(), 1);

  q.SQL().SetText("SELECT * FROM VALS WHERE ID = :ID");
  EXPECT_EQ(ErrorText([&] { q.Open(); }), "Parameter 'ID' has no value")
      << "new SQL text starts without the old values";
  q.ParamByName("ID").AsInteger(1);
  q.Open();
  ASSERT_EQ(q.RecordCount(), 1u);
  EXPECT_EQ(q.FieldByName("S").AsString(), "O'Brien; DROP");
  EXPECT_EQ(q.FieldByName("I").AsInteger(), 42);
  EXPECT_EQ(q.FieldByName("F").AsFloat(), 12.5);
  EXPECT_EQ(q.FieldByName("D").AsDateTime(), day);
  EXPECT_EQ(q.FieldByName("DT").AsDateTime(), moment);
  EXPECT_TRUE(q.FieldByName("N").IsNull());
}

TEST_P(QueryTest, TextLinesParametersAndFailures) {
  TFQuery q(nullptr, "qPOG");
  EXPECT_EQ(ErrorText([&] { q.Open(); }), "qPOG: no database connection");
  q.Bind(dm_.get());
  EXPECT_EQ(q.DriverName(), DriverLabel(GetParam()));

  q.SQL().Add("SELECT IdPog FROM POG");
  q.SQL().Add("WHERE KrtKDD <> ':NOPARAM' AND IdPog >= :FROMID");
  EXPECT_EQ(q.SQL().Count(), 2u);
  EXPECT_EQ(q.SQL().Text(),
            "SELECT IdPog FROM POG\nWHERE KrtKDD <> ':NOPARAM' AND IdPog >= :FROMID\n");
  EXPECT_EQ(ErrorText([&] { q.ParamByName("NOPARAM"); }), "Parameter 'NOPARAM' not found");
  EXPECT_EQ(ErrorText([&] { q.ParamByName("IDPOG"); }), "Parameter 'IDPOG' not found");
  q.ParamByName("fromid").AsInteger(2);
  q.Open();
  EXPECT_EQ(q.RecordCount(), 2u);
  EXPECT_EQ(ErrorText([&] { q.FieldByName("Nope"); }), "Field 'Nope' not found");

  q.SQL().Clear();
  q.SQL().Add("UPDATE POG SET SfOsb = 0 WHERE IdPog < 3");
  EXPECT_EQ(q.ExecSQL(), 2);
  q.SQL().SetText("SELECT * FROM NOSUCHTABLE");
  EXPECT_THROW(q.Open(), EDatabaseError);
  EXPECT_FALSE(q.Active());
}

TEST_P(QueryTest, MovesBothWaysThroughTheResult) {
  TFQuery q(nullptr, "qPOG");
  q.Bind(dm_.get());
  q.SQL().SetText("SELECT IdPog FROM POG ORDER BY IdPog");
  q.Open();
  ASSERT_TRUE(q.Active());
  auto id = [&] { return q.FieldByName("IdPog").AsInteger(); };
  EXPECT_EQ(q.RecordCount(), 3u);
  EXPECT_TRUE(q.Bof());
  EXPECT_EQ(id(), 1);
  q.Next();
  q.Next();
  EXPECT_EQ(q.RecNo(), 3u);
  EXPECT_FALSE(q.Eof());
  q.Next();
  EXPECT_TRUE(q.Eof());
  EXPECT_EQ(id(), 3);
  q.Prior();
  EXPECT_EQ(id(), 2);
  q.First();
  q.MoveBy(2);
  EXPECT_EQ(id(), 3);
  q.Last();
  q.Prior();
  q.Prior();
  q.Prior();
  EXPECT_TRUE(q.Bof());
  EXPECT_EQ(id(), 1);
  q.Close();
  EXPECT_FALSE(q.Active());
  EXPECT_EQ(ErrorText([&] { id(); }), "Field 'IdPog' not found");
}

// Lot is declared as an integer, as a module written for a database with a numeric
// column might; the database here reports a floating-point column.
TEST_P(QueryTest, DeclaredFieldTakesTheTypeTheDatabaseReports) {
  TFQuery q(nullptr, "qPOG");
  q.Bind(dm_.get());
  TFieldDecl lot;
  lot.name = "Lot";
  lot.type = TFieldType::kI4;
  lot.display_label = "Količina";
  lot.display_width = 12;
  lot.display_format = "#,##0.00";
  lot.read_only = true;
  q.DeclareField(lot);
  q.SQL().SetText("SELECT IdPog, Lot FROM POG ORDER BY IdPog");
  q.Open();

  const TFieldDecl* f = q.FindFieldDecl("LOT");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->type, TFieldType::kR8);
  EXPECT_EQ(f->name, "Lot");
  EXPECT_EQ(f->display_label, "Količina");
  EXPECT_EQ(f->display_width, 12);
  EXPECT_EQ(f->display_format, "#,##0.00");
  EXPECT_TRUE(f->read_only);
  EXPECT_TRUE(f->visible);
  EXPECT_EQ(q.FieldByName("Lot").AsFloat(), 1.5);

  const TFieldDecl* undeclared = q.FindFieldDecl("IdPog");
  ASSERT_NE(undeclared, nullptr);
  EXPECT_FALSE(undeclared->visible);
  EXPECT_EQ(undeclared->component_name, "qPOG_IdPog");

  q.SQL().SetText("SELECT IdPog FROM POG");
  EXPECT_EQ(ErrorText([&] { q.Open(); }), "Field 'Lot' not found");
}

TEST_P(QueryTest, QueryDMAddsTheContractCodeFieldsOnlyWhenTheyAreMissing) {
  struct Case {
    const char* sql;
    bool added;
  };
  const Case cases[] = {
      {"SELECT IdPog, SfOsb FROM POG", true},
      {"SELECT IdPog, KrtKDD FROM POG", false},
      {"SELECT IdPog, KrtBIS FROM POG", false},
      {"SELECT SfOsb FROM POG", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    TQueryDM q(nullptr, "qPOG");
    q.Bind(dm_.get());
    int calls = 0;
    q.OnCalcFields = [&](TSqlDataSet& ds) {
      ++calls;
      ds.FieldByName("IdPogKrtKdd").SetInteger(ds.FieldByName("IdPog").AsInteger() + 100);
    };
    q.SQL().SetText(c.sql);
    q.Open();
    for (const char* name : {"IdPogKrtBis", "IdPogKrtKdd"}) {
      const TFieldDecl* f = q.FindFieldDecl(name);
      EXPECT_EQ(f != nullptr, c.added) << name;
      if (f == nullptr) continue;
      EXPECT_EQ(f->type, TFieldType::kI4);
      EXPECT_TRUE(f->calculated);
      EXPECT_FALSE(f->visible);
    }
    EXPECT_EQ(calls, c.added ? 3 : 0) << "the handler runs once per row";
    if (c.added) {
      EXPECT_EQ(q.FieldByName("IdPogKrtKdd").AsInteger(), 101);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, QueryTest,
                         ::testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         [](const auto& info) { return DriverLabel(info.param); });

}  // namespace
}  // namespace zoras
