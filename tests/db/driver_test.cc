#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "base/clock.h"
#include "db/database.h"
#include "db/db_test_util.h"
#include "db/dialect.h"
#include "db/sql_params.h"

namespace zoras {
namespace {

TDateTime Dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return TDateTime::Encode(y, mo, d, h, mi, s, ms);
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EZoras& e) {
    return e.what();
  }
  return "(no error)";
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The tables of the tests, in the forms the schema files use.
constexpr const char* kSchema = R"sql(
CREATE TABLE ALLTYPES (
  ID INTEGER NOT NULL PRIMARY KEY,
  S VARCHAR(10),
  C CHAR(5),
  I2 SMALLINT,
  I4 INTEGER,
  I8 BIGINT,
  R8 DOUBLE PRECISION,
  Amount DECIMAL(18,4),
  Dan DATE,
  Cas TIMESTAMP,
  Ura TIME,
  Opis TEXT
);
CREATE TABLE OSB (
  IdOsb INTEGER NOT NULL PRIMARY KEY,
  SfOsb VARCHAR(20),
  KrtBnk VARCHAR(20),
  SfSgs CHAR(1),
  SfCfi VARCHAR(6),
  Limit DECIMAL(18,2),
  DATUM_VELJAVE DATE
);
CREATE TABLE KOMITENT (
  KOMITENT_ID INTEGER NOT NULL PRIMARY KEY,
  NAZIV VARCHAR(40)
);
CREATE TABLE KUPON (
  IdKupon INTEGER NOT NULL PRIMARY KEY,
  ZdnDanTrg DATE,
  PrvDan DATE,
  PrvDanTrg DATE
);
CREATE SEQUENCE SEQ_TEST START WITH 100 INCREMENT BY 1;
)sql";

class DriverTest : public TDriverTest {
 protected:
  void SetUp() override {
    TDriverTest::SetUp();
    if (IsSkipped()) return;
    SetSchemaSpellings(kSchema);
    conn_ = Open();
    conn_->ExecuteScript(kSchema);
  }

  int64_t Count(std::string_view table) {
    return conn_->Query("SELECT COUNT(*) AS N FROM " + std::string(table))
        .FieldByName("N")
        .AsInteger();
  }

  std::unique_ptr<TDbConnection> conn_;
};

INSTANTIATE_TEST_SUITE_P(Drivers, DriverTest,
                         testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         DriverTestName);

TEST_P(DriverTest, EveryTypeRoundTrips) {
  const struct {
    const char* column;
    TValue value;
    TFieldType type;
    int width;
    int decimals;
  } cases[] = {
      {"S", TValue::Text("O'Brien \xC4\x8D"), TFieldType::kString, 10, 0},
      {"C", TValue::Text("AB"), TFieldType::kString, 5, 0},
      {"I2", TValue::Integer(-32768), TFieldType::kI2, 0, 0},
      {"I4", TValue::Integer(2147483647), TFieldType::kI4, 0, 0},
      {"I8", TValue::Integer(9007199254740993), TFieldType::kI8, 0, 0},
      {"R8", TValue::Float(0.1), TFieldType::kR8, 0, 0},
      {"Amount", TValue::Decimal("-1234.5678"), TFieldType::kFixed, 18, 4},
      {"Dan", TValue::Date(Dt(2008, 3, 5)), TFieldType::kDate, 0, 0},
      {"Cas", TValue::DateTime(Dt(2008, 3, 5, 14, 2, 11, 250)), TFieldType::kDateTime, 0, 0},
      {"Ura", TValue::Time(Dt(1899, 12, 30, 23, 59, 58, 7)), TFieldType::kTime, 0, 0},
      {"Opis", TValue::Text(std::string(5000, 'x') + "'\"--/*"), TFieldType::kMemo, 0, 0},
  };
  TSqlParams params{{"ID", TValue::Integer(1)}};
  std::string columns = "ID", values = ":ID";
  for (const auto& c : cases) {
    params.Set(c.column, c.value);
    columns += std::string(", ") + c.column;
    values += std::string(", :") + c.column;
  }
  EXPECT_EQ(
      conn_->Execute("INSERT INTO ALLTYPES (" + columns + ") VALUES (" + values + ")", params), 1);

  TMemTable t = conn_->Query("SELECT * FROM ALLTYPES");
  ASSERT_EQ(t.RecordCount(), 1u);
  ASSERT_EQ(t.FieldCount(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.column);
    const TFieldDef& f = t.FieldDef(i + 1);
    EXPECT_EQ(f.name, c.column);
    EXPECT_EQ(f.type, c.type);
    if (c.width != 0) EXPECT_EQ(f.width, c.width);
    EXPECT_EQ(f.decimals, c.decimals);
    EXPECT_EQ(t.Value(i + 1), c.value) << t.Value(i + 1).AsString();
  }

  // The same values find the row again when bound as parameters of a WHERE.
  for (const auto& c : cases) {
    if (c.type == TFieldType::kMemo || c.type == TFieldType::kR8) continue;
    SCOPED_TRACE(c.column);
    EXPECT_EQ(conn_
                  ->Query(std::string("SELECT ID FROM ALLTYPES WHERE ") + c.column + " = :V",
                          {{"V", c.value}})
                  .RecordCount(),
              1u);
  }
}

TEST_P(DriverTest, NullsAndOneNameUsedTwice) {
  conn_->Execute("INSERT INTO OSB (IdOsb, SfOsb, KrtBnk) VALUES (:ID, :S, :K)",
                 {{"ID", TValue::Integer(1)}, {"S", TValue()}, {"K", TValue::Text("A1")}});
  conn_->Execute("INSERT INTO OSB (IdOsb, SfOsb, KrtBnk) VALUES (:ID, :S, :S)",
                 {{"id", TValue::Integer(2)}, {"s", TValue::Text("B2")}});
  TMemTable t = conn_->Query("SELECT IdOsb, SfOsb FROM OSB WHERE SfOsb IS NULL");
  ASSERT_EQ(t.RecordCount(), 1u);
  EXPECT_EQ(t.FieldByName("IdOsb").AsInteger(), 1);
  EXPECT_TRUE(t.FieldByName("SfOsb").IsNull());

  t = conn_->Query("SELECT IdOsb FROM OSB WHERE SfOsb = :X OR KrtBnk = :x ORDER BY IdOsb",
                   {{"X", TValue::Text("B2")}});
  EXPECT_EQ(t.RecordCount(), 1u);
  EXPECT_EQ(t.FieldByName("IdOsb").AsInteger(), 2);

  // A null parameter the database has to type from nothing but IS NULL.
  EXPECT_EQ(conn_->Query("SELECT IdOsb FROM OSB WHERE :N IS NULL", {{"N", TValue()}}).RecordCount(),
            2u);
}

TEST_P(DriverTest, ParameterWithoutValueIsNamed) {
  EXPECT_EQ(ErrorOf([&] {
              conn_->Query("SELECT IdOsb FROM OSB WHERE SfOsb = :SfOsb AND KrtBnk = :KrtBnk",
                           {{"SFOSB", TValue::Text("x")}});
            }),
            "Parameter 'KrtBnk' has no value");
}

TEST_P(DriverTest, ParametersAreNeverPartOfTheStatement) {
  const std::string hostile = "x' OR '1'='1";
  conn_->Execute("INSERT INTO OSB (IdOsb, SfOsb) VALUES (1, :S)", {{"S", TValue::Text(hostile)}});
  conn_->Execute("INSERT INTO OSB (IdOsb, SfOsb) VALUES (2, 'other')");
  TMemTable t =
      conn_->Query("SELECT SfOsb FROM OSB WHERE SfOsb = :S", {{"S", TValue::Text(hostile)}});
  ASSERT_EQ(t.RecordCount(), 1u);
  EXPECT_EQ(t.FieldByName("SfOsb").AsString(), hostile);
  // ':S' inside a literal and a comment is text, not a parameter.
  t = conn_->Query("SELECT ':S' AS T /* :S */ FROM OSB -- :Missing\nWHERE IdOsb = :I",
                   {{"I", TValue::Integer(2)}});
  EXPECT_EQ(t.FieldByName("T").AsString(), ":S");
}

TEST_P(DriverTest, ParametersMeetColumnsOfOtherTypes) {
  conn_->Execute("INSERT INTO OSB (IdOsb, KrtBnk) VALUES (7, '1001')");
  // Bound as text and compared with an integer column.
  EXPECT_EQ(conn_->Query("SELECT IdOsb FROM OSB WHERE IdOsb = :ID", {{"ID", TValue::Text("7")}})
                .RecordCount(),
            1u);
  // Bound as an integer and compared with a text column.
  EXPECT_EQ(conn_->Query("SELECT IdOsb FROM OSB WHERE KrtBnk = :K", {{"K", TValue::Integer(1001)}})
                .RecordCount(),
            1u);
  // A boolean, a float and a decimal in expressions.
  TMemTable t = conn_->Query(
      "SELECT CASE WHEN :B THEN 1 ELSE 0 END AS YES, IdOsb * :F AS HALF, IdOsb + :D AS DEC1 "
      "FROM OSB",
      {{"B", TValue::Boolean(true)}, {"F", TValue::Float(0.5)}, {"D", TValue::Decimal("0.25")}});
  EXPECT_EQ(t.FieldByName("YES").AsInteger(), 1);
  EXPECT_DOUBLE_EQ(t.FieldByName("HALF").AsFloat(), 3.5);
  EXPECT_DOUBLE_EQ(t.FieldByName("DEC1").AsFloat(), 7.25);
}

TEST_P(DriverTest, NextValIsDistinctAcrossConnections) {
  constexpr int kPerThread = 40;
  std::vector<int64_t> got[2];
  std::vector<std::thread> threads;
  for (auto& out : got) {
    threads.emplace_back([&, out = &out] {
      auto conn = Open();
      for (int i = 0; i < kPerThread; ++i) {
        TMemTable t = conn->Query("SELECT NEXTVAL FOR SEQ_TEST AS NewId FROM SYSIBM.SYSDUMMY1");
        out->push_back(t.FieldByName("NewId").AsInteger());
      }
    });
  }
  for (auto& t : threads) t.join();
  std::set<int64_t> all(got[0].begin(), got[0].end());
  all.insert(got[1].begin(), got[1].end());
  EXPECT_EQ(all.size(), 2u * kPerThread);
  EXPECT_EQ(*all.begin(), 100);
  EXPECT_EQ(*all.rbegin(), 100 + 2 * kPerThread - 1);

  TMemTable t = conn_->Query("select  nextval  for seq_test as id\n  from sysibm.SYSDUMMY1");
  EXPECT_EQ(t.FieldDef(0).name, "id");
  EXPECT_EQ(t.FieldDef(0).type, TFieldType::kI8);
  EXPECT_EQ(t.FieldByName("id").AsInteger(), 100 + 2 * kPerThread);

  EXPECT_NE(
      ErrorOf([&] { conn_->Query("SELECT NEXTVAL FOR NO_SUCH_SEQ AS X FROM SYSIBM.SYSDUMMY1"); }),
      "(no error)");
}

TEST_P(DriverTest, DummyTableInOtherStatements) {
  TMemTable t = conn_->Query("SELECT 1 AS ONE FROM SYSIBM.SYSDUMMY1");
  EXPECT_EQ(t.FieldByName("ONE").AsInteger(), 1);
  t = conn_->Query("SELECT COUNT(*) AS N FROM SYSIBM.SYSDUMMY1 D WHERE D.IBMREQD = 'Y'");
  EXPECT_EQ(t.FieldByName("N").AsInteger(), 1);
}

TEST_P(DriverTest, DecodeNvlToDate) {
  const char* insert =
      "INSERT INTO KUPON (IdKupon, ZdnDanTrg, PrvDan, PrvDanTrg) VALUES (:I, :Z, :P, :T)";
  const TValue prv = TValue::Date(Dt(2010, 1, 1)), trg = TValue::Date(Dt(2011, 1, 1));
  conn_->Execute(insert, {{"I", TValue::Integer(1)}, {"Z", TValue()}, {"P", prv}, {"T", trg}});
  conn_->Execute(insert, {{"I", TValue::Integer(2)},
                          {"Z", TValue::Date(Dt(1900, 1, 1))},
                          {"P", TValue::Date(Dt(2009, 1, 1))},
                          {"T", trg}});
  conn_->Execute(insert, {{"I", TValue::Integer(3)},
                          {"Z", TValue::Date(Dt(2005, 5, 5))},
                          {"P", prv},
                          {"T", TValue::Date(Dt(2008, 1, 1))}});
  const std::string expr =
      "DECODE( NVL(ZdnDanTrg, TO_DATE('01/01/1900','mm/dd/yyyy')) , "
      "TO_DATE('01/01/1900','mm/dd/yyyy') , PrvDan , PrvDanTrg )";
  TMemTable t = conn_->Query("SELECT IdKupon, " + expr + " AS Zacetek FROM KUPON ORDER BY " + expr);
  ASSERT_EQ(t.RecordCount(), 3u);
  EXPECT_EQ(t.FieldByName("Zacetek").Type(), TFieldType::kDate);
  const int64_t order[] = {3, 2, 1};
  const TDateTime start[] = {Dt(2008, 1, 1), Dt(2009, 1, 1), Dt(2010, 1, 1)};
  for (int i = 0; i < 3; ++i, t.Next()) {
    EXPECT_EQ(t.FieldByName("IdKupon").AsInteger(), order[i]);
    EXPECT_EQ(t.FieldByName("Zacetek").AsDateTime(), start[i]);
  }

  t = conn_->Query(
      "SELECT TO_DATE('2008-03-05','yyyy-mm-dd') AS A, TO_DATE('05.03.2008','dd.mm.yyyy') AS B, "
      "DECODE(2, 1, 'one', 2, 'two', 'many') AS C, DECODE(3, 1, 'one', 'many') AS D, "
      "DECODE(3, 1, 'one') AS E FROM SYSIBM.SYSDUMMY1");
  EXPECT_EQ(t.FieldByName("A").AsDateTime(), Dt(2008, 3, 5));
  EXPECT_EQ(t.FieldByName("B").AsDateTime(), Dt(2008, 3, 5));
  EXPECT_EQ(t.FieldByName("C").AsString(), "two");
  EXPECT_EQ(t.FieldByName("D").AsString(), "many");
  EXPECT_TRUE(t.FieldByName("E").IsNull());

  // A parameter among the search values, and NVL with a parameter.
  t = conn_->Query(
      "SELECT DECODE(IdKupon, :I, 'hit', 'miss') AS R, NVL(ZdnDanTrg, :D) AS Z FROM KUPON "
      "ORDER BY IdKupon",
      {{"I", TValue::Integer(1)}, {"D", TValue::Date(Dt(2000, 1, 1))}});
  EXPECT_EQ(t.FieldByName("R").AsString(), "hit");
  EXPECT_EQ(t.FieldByName("Z").AsDateTime(), Dt(2000, 1, 1));
  t.Next();
  EXPECT_EQ(t.FieldByName("R").AsString(), "miss");
}

TEST_P(DriverTest, CharOfANumberInUpdate) {
  conn_->Execute("INSERT INTO KOMITENT (KOMITENT_ID, NAZIV) VALUES (4711, 'K')");
  conn_->Execute("INSERT INTO OSB (IdOsb, KrtBnk, SfSgs) VALUES (1, '4711', 'N')");
  conn_->Execute("INSERT INTO OSB (IdOsb, KrtBnk, SfSgs) VALUES (2, '4712', 'N')");
  EXPECT_EQ(
      conn_->Execute("UPDATE OSB\n"
                     "SET SFSGS = :SfSgs\n"
                     "WHERE KRTBNK = \n"
                     "CHAR((SELECT KOMITENT_ID FROM KOMITENT WHERE KOMITENT_ID = :IdKomitent))",
                     {{"SfSgs", TValue::Text("D")}, {"IdKomitent", TValue::Integer(4711)}}),
      1);
  TMemTable t = conn_->Query("SELECT IdOsb, SfSgs FROM OSB WHERE SfSgs = 'D'");
  ASSERT_EQ(t.RecordCount(), 1u);
  EXPECT_EQ(t.FieldByName("IdOsb").AsInteger(), 1);
  // CHAR as a type is left alone.
  t = conn_->Query("SELECT cast('' as Char(20)) AS Checked, CHAR(12) AS N FROM SYSIBM.SYSDUMMY1");
  EXPECT_EQ(t.FieldByName("Checked").Type(), TFieldType::kString);
  EXPECT_EQ(t.FieldByName("Checked").Def().width, 20);
  EXPECT_EQ(t.FieldByName("N").AsString(), "12");
}

TEST_P(DriverTest, StringFunctionsAndCurrentDate) {
  const char* insert = "INSERT INTO OSB (IdOsb, SfCfi, DATUM_VELJAVE) VALUES (:I, :C, :D)";
  const TDateTime today = Now().DatePart();
  conn_->Execute(insert, {{"I", TValue::Integer(1)}, {"C", TValue::Text("ES")}, {"D", TValue()}});
  conn_->Execute(insert, {{"I", TValue::Integer(2)},
                          {"C", TValue::Text(" E ")},
                          {"D", TValue::Date(today.AddDays(-10))}});
  conn_->Execute(
      insert, {{"I", TValue::Integer(3)}, {"C", TValue()}, {"D", TValue::Date(today.AddDays(10))}});
  conn_->Execute(insert, {{"I", TValue::Integer(4)}, {"C", TValue::Text("DB")}, {"D", TValue()}});
  TMemTable t = conn_->Query(
      "SELECT IdOsb FROM OSB WHERE 1 = 1\n"
      "AND (LEFT('ESVUFR', LENGTH(LTRIM(RTRIM(SfCFI)))) = LTRIM(RTRIM(SfCFI)) OR SFCFI IS NULL)\n"
      " ORDER BY LENGTH(SfCfi) , SFCFI, IdOsb ");
  std::vector<int64_t> ids;
  for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("IdOsb").AsInteger());
  // NULL lengths sort first on SQLite and last on PostgreSQL; compare the set and the
  // order of the rest.
  ASSERT_EQ(ids.size(), 3u);
  std::erase(ids, 3);
  EXPECT_EQ(ids, (std::vector<int64_t>{1, 2}));  // " E " is longer than "ES"

  t = conn_->Query(
      "SELECT IdOsb FROM OSB WHERE (DATUM_VELJAVE IS NULL OR DATUM_VELJAVE>CURRENT_DATE) "
      "ORDER BY IdOsb");
  ids.clear();
  for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("IdOsb").AsInteger());
  EXPECT_EQ(ids, (std::vector<int64_t>{1, 3, 4}));
  t = conn_->Query("SELECT CURRENT_DATE AS TODAY FROM SYSIBM.SYSDUMMY1");
  EXPECT_EQ(t.FieldByName("TODAY").Type(), TFieldType::kDate);
  EXPECT_EQ(t.FieldByName("TODAY").AsDateTime(), today);
}

TEST_P(DriverTest, ColumnsAreNamedAndTypedAlikeOnEveryDriver) {
  conn_->Execute("INSERT INTO OSB (IdOsb, SfOsb, KrtBnk, Limit) VALUES (1, 'A', 'K1', 10.5)");
  const struct {
    const char* sql;
    std::vector<std::string> names;
  } cases[] = {
      {"SELECT SfOsb, idosb AS NewId, O.KRTBNK FROM OSB O", {"SfOsb", "NewId", "KRTBNK"}},
      {"select sfosb from OSB where SFOSB = 'A'", {"sfosb"}},
      {"SELECT * FROM OSB WHERE sfosb = 'A'",
       {"IdOsb", "SfOsb", "KrtBnk", "SfSgs", "SfCfi", "Limit", "DATUM_VELJAVE"}},
      {"SELECT O.Limit, POG.Limit AS Lim FROM OSB O, OSB POG WHERE O.IdOsb = POG.IdOsb",
       {"Limit", "Lim"}},
      {"SELECT S.KRTBNK AS KRT, 'ABCDEFGHIJ' as KRT FROM OSB S", {"KRT", "KRT_1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    TMemTable t = conn_->Query(c.sql);
    std::vector<std::string> names;
    for (const auto& f : t.FieldDefs()) names.push_back(f.name);
    EXPECT_EQ(names, c.names);
  }

  const struct {
    const char* item;
    TFieldType type;
    int width;
  } items[] = {
      {"'ABCDEFGHIJKLMNOPQRSTABCDEFGHIJKLMNOPQRST' as KRT", TFieldType::kString, 40},
      {"'Splo\xC5\xA1no' as SKUPINA", TFieldType::kString, 7},
      {"'E'as SfGlvEnt", TFieldType::kString, 1},
      {"CAST(0.0 AS FLOAT) as ZAP", TFieldType::kR8, 0},
      {"CAST(NULL AS DATE) AS DanTcn", TFieldType::kDate, 0},
      {"CAST(IdOsb AS VARCHAR(12)) AS T", TFieldType::kString, 12},
      {"MAX(DATUM_VELJAVE) AS LAST", TFieldType::kDate, 0},
      {"(3000000000+IdOsb) as RED", TFieldType::kI8, 0},
  };
  conn_->Execute("UPDATE OSB SET DATUM_VELJAVE = :D", {{"D", TValue::Date(Dt(2020, 2, 29))}});
  for (const auto& c : items) {
    SCOPED_TRACE(c.item);
    const std::string group =
        std::string(c.item).find("MAX(") != std::string::npos ? "" : " GROUP BY IdOsb";
    TMemTable t = conn_->Query(std::string("SELECT ") + c.item + " FROM OSB" + group);
    ASSERT_EQ(t.FieldCount(), 1u);
    EXPECT_EQ(t.FieldDef(0).type, c.type);
    if (c.width != 0) EXPECT_EQ(t.FieldDef(0).width, c.width);
  }
}

TEST_P(DriverTest, Db2StatementShapes) {
  conn_->Execute("INSERT INTO OSB (IdOsb, SfOsb) VALUES (1, 'A')");
  conn_->Execute("INSERT INTO OSB (IdOsb, SfOsb) VALUES (2, 'B')");
  // A derived table without a correlation name, its members in parentheses, ordered by a
  // column outside the select list.
  TMemTable t = conn_->Query(
      "select SfOsb from (\n"
      "(select SfOsb, 2 AS sortorder from OSB where IdOsb = 1)\n"
      "UNION\n"
      "(select SfOsb, 1 AS sortorder from OSB where IdOsb = 2)\n"
      ") order by sortorder    ");
  ASSERT_EQ(t.RecordCount(), 2u);
  EXPECT_EQ(t.FieldByName("SfOsb").AsString(), "B");
  t = conn_->Query(
      "SELECT COUNT(*) AS N FROM ( SELECT DISTINCT IDOSB FROM\n"
      "    (\n"
      "     SELECT IdOsb FROM OSB\n"
      "     UNION ALL\n"
      "     SELECT IdOsb FROM OSB\n"
      "    )\n"
      ") P");
  EXPECT_EQ(t.FieldByName("N").AsInteger(), 2);
  // Lines joined without spaces, a block comment, and MAX with a space.
  t = conn_->Query(
      "SELECT MAX (IdOsb) AS M FROM OSB WHERE (SfOsb = 'A' OR SfOsb IS NULL)OR IdOsb = 2 "
      "GROUP BY SfSgs ORDER BY M ASC/*, M DESC*/");
  EXPECT_EQ(t.FieldByName("M").AsInteger(), 2);
}

TEST_P(DriverTest, RollbackLeavesNothingCommitKeepsAll) {
  auto other = Open();
  EXPECT_FALSE(conn_->InTransaction());
  conn_->Begin();
  EXPECT_TRUE(conn_->InTransaction());
  conn_->Execute("INSERT INTO OSB (IdOsb) VALUES (1)");
  conn_->Query("SELECT NEXTVAL FOR SEQ_TEST AS ID FROM SYSIBM.SYSDUMMY1");
  EXPECT_EQ(Count("OSB"), 1);
  conn_->Rollback();
  EXPECT_FALSE(conn_->InTransaction());
  EXPECT_EQ(Count("OSB"), 0);

  conn_->Begin();
  EXPECT_NE(ErrorOf([&] { conn_->Begin(); }), "(no error)");
  conn_->Execute("INSERT INTO OSB (IdOsb) VALUES (2)");
  conn_->Execute("INSERT INTO OSB (IdOsb) VALUES (3)");
  conn_->Commit();
  EXPECT_EQ(other->Query("SELECT COUNT(*) AS N FROM OSB").FieldByName("N").AsInteger(), 2);
  EXPECT_NE(ErrorOf([&] { conn_->Commit(); }), "(no error)");
  conn_->Rollback();  // nothing to roll back: no error, for clean-up paths
}

TEST_P(DriverTest, DatabaseErrorsReachTheCaller) {
  EXPECT_NE(
      Lower(ErrorOf([&] { conn_->Query("SELECT * FROM NO_SUCH_TABLE"); })).find("no_such_table"),
      std::string::npos);
  conn_->Execute("INSERT INTO OSB (IdOsb) VALUES (1)");
  const std::string duplicate =
      ErrorOf([&] { conn_->Execute("INSERT INTO OSB (IdOsb) VALUES (1)"); });
  EXPECT_NE(Lower(duplicate).find("unique"), std::string::npos) << duplicate;
  // A second command behind the first is refused, not run and not silently dropped.
  EXPECT_NE(ErrorOf([&] { conn_->Execute("DELETE FROM OSB; DELETE FROM KOMITENT"); }),
            "(no error)");
  EXPECT_EQ(Count("OSB"), 1);
  // The connection works on after an error.
  EXPECT_EQ(Count("OSB"), 1);
  EXPECT_NE(ErrorOf([&] { conn_->ExecuteScript("CREATE TABLE OSB (X INTEGER);"); }), "(no error)");
}

TEST_P(DriverTest, StatementsSeeTableChangesOfScripts) {
  conn_->Execute("INSERT INTO KOMITENT (KOMITENT_ID) VALUES (1)");
  EXPECT_EQ(conn_->Query("SELECT * FROM KOMITENT").FieldCount(), 2u);
  conn_->ExecuteScript("ALTER TABLE KOMITENT ADD DAVCNA VARCHAR(8);");
  TMemTable t = conn_->Query("SELECT * FROM KOMITENT");
  ASSERT_EQ(t.FieldCount(), 3u);
  EXPECT_EQ(t.FieldDef(2).type, TFieldType::kString);
  EXPECT_EQ(t.FieldDef(2).width, 8);
}

TEST(SqliteDriverTest, MissingFileNamesTheCommandThatCreatesIt) {
  TScratchDatabase db(TDriverKind::kSQLite);
  TDatabaseTarget target = db.Target();
  target.database = (db.Folder() / "missing.db").string();
  EXPECT_EQ(
      ErrorOf([&] { OpenDatabase(target, {}); }),
      "Database file " + target.database + " does not exist; create it with: zorasctl schema");
  EXPECT_FALSE(std::filesystem::exists(target.database));
  CreateDatabase(target, {})->ExecuteScript("CREATE TABLE T (A INTEGER);");
  EXPECT_EQ(
      OpenDatabase(target, {})->Query("SELECT COUNT(*) AS N FROM T").FieldByName("N").AsInteger(),
      0);
}

TEST(SqliteDriverTest, CurrentDateFollowsTheServerClock) {
  TScratchDatabase db(TDriverKind::kSQLite);
  SetClockForTesting(Dt(2030, 12, 31, 23, 59, 59));
  TMemTable t = db.Open()->Query("SELECT CURRENT_DATE AS D FROM SYSIBM.SYSDUMMY1");
  ResetClockForTesting();
  EXPECT_EQ(t.FieldByName("D").AsDateTime(), Dt(2030, 12, 31));
}

TEST(PostgresDriverTest, BrokenConnectionIsNotAlive) {
  if (!PostgresTestConfigured()) GTEST_SKIP() << kNoPostgresMessage;
  TScratchDatabase db(TDriverKind::kPostgreSQL);
  auto victim = db.Open();
  auto killer = db.Open();
  EXPECT_TRUE(victim->IsAlive());
  const int64_t pid =
      victim->Query("SELECT pg_backend_pid() AS PID").FieldByName("PID").AsInteger();
  killer->Query("SELECT pg_terminate_backend(:P) AS DONE", {{"P", TValue::Integer(pid)}});
  // The backend ends shortly after the call returns.
  bool alive = true;
  for (int i = 0; i < 100 && alive; ++i) {
    alive = victim->IsAlive();
    if (alive) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(alive);
  EXPECT_NE(ErrorOf([&] { victim->Query("SELECT 1 AS ONE"); }), "(no error)");
  EXPECT_TRUE(killer->IsAlive());
}

TEST(PostgresDriverTest, CommitOfAFailedTransactionReportsTheRollback) {
  if (!PostgresTestConfigured()) GTEST_SKIP() << kNoPostgresMessage;
  TScratchDatabase db(TDriverKind::kPostgreSQL);
  auto conn = db.Open();
  conn->ExecuteScript("CREATE TABLE T (A INTEGER PRIMARY KEY);");
  conn->Begin();
  conn->Execute("INSERT INTO T (A) VALUES (1)");
  EXPECT_NE(ErrorOf([&] { conn->Execute("INSERT INTO T (A) VALUES (1)"); }), "(no error)");
  EXPECT_EQ(ErrorOf([&] { conn->Commit(); }),
            "The transaction was rolled back because an earlier statement in it failed");
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_EQ(conn->Query("SELECT COUNT(*) AS N FROM T").FieldByName("N").AsInteger(), 0);
}

TEST(PostgresDriverTest, RetypedPreparationKeepsTheTransaction) {
  if (!PostgresTestConfigured()) GTEST_SKIP() << kNoPostgresMessage;
  TScratchDatabase db(TDriverKind::kPostgreSQL);
  auto conn = db.Open();
  conn->ExecuteScript("CREATE TABLE T (A INTEGER, K VARCHAR(10));");
  conn->Begin();
  conn->Execute("INSERT INTO T (A, K) VALUES (1, '5')");
  // The first preparation types :K as bigint and fails against VARCHAR; the retry must not
  // have ended the transaction.
  EXPECT_EQ(conn->Query("SELECT A FROM T WHERE K = :K", {{"K", TValue::Integer(5)}}).RecordCount(),
            1u);
  conn->Commit();
  EXPECT_EQ(conn->Query("SELECT COUNT(*) AS N FROM T").FieldByName("N").AsInteger(), 1);
}

// ---- Statement text: parameters and dialect rewrites, no database needed.

TEST(SqlTextTest, NamedParametersBecomePositional) {
  const struct {
    const char* sql;
    const char* question;
    std::vector<std::string> names;
  } cases[] = {
      {"SELECT * FROM T WHERE A = :A AND B = :b OR C = :a",
       "SELECT * FROM T WHERE A = ?1 AND B = ?2 OR C = ?1",
       {"A", "b"}},
      {"SELECT ':A', \":B\" FROM T -- :C\n/* :D */ WHERE X=:E_1",
       "SELECT ':A', \":B\" FROM T -- :C\n/* :D */ WHERE X=?1",
       {"E_1"}},
      {"SELECT A::int, 'it''s :x' FROM T WHERE (ROK >= :ADATE OR ROK IS NULL)and DAN <=:ADATE",
       "SELECT A::int, 'it''s :x' FROM T WHERE (ROK >= ?1 OR ROK IS NULL)and DAN <=?1",
       {"ADATE"}},
      {"SELECT $$ :x $$ FROM T", "SELECT $$ :x $$ FROM T", {}},
      {"SELECT 'unterminated :x", "SELECT 'unterminated :x", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    const TPositionalSql p = ToPositional(c.sql, TPlaceholderStyle::kQuestion);
    EXPECT_EQ(p.sql, c.question);
    EXPECT_EQ(p.names, c.names);
  }
  EXPECT_EQ(ToPositional("X = :A OR :B", TPlaceholderStyle::kDollar).sql, "X = $1 OR $2");
}

TEST(SqlTextTest, PostgresRewrites) {
  const struct {
    const char* db2;
    const char* pg;
  } cases[] = {
      {"SELECT NEXTVAL FOR Seq_X AS NewId FROM SYSIBM.SYSDUMMY1",
       "SELECT nextval('Seq_X') AS NewId FROM (SELECT 'Y' AS IBMREQD) SYSDUMMY1"},
      {"WHERE O.KRTBNK = CHAR((SELECT 1))", "WHERE O.KRTBNK = zoras_char((SELECT 1))"},
      {"SELECT cast('' as Char(20)) AS Checked, CHAR(1)",
       "SELECT cast('' as Char(20)) AS Checked, zoras_char(1)"},
      {"CREATE TABLE T (C CHAR(5), Limit DECIMAL(18,2), DEC INTEGER)",
       "CREATE TABLE T (C CHAR(5), \"limit\" DECIMAL(18,2), \"dec\" INTEGER)"},
      {"SELECT 'CHAR(' FROM T -- CHAR(x)", "SELECT 'CHAR(' FROM T -- CHAR(x)"},
      {"select A from ((select 1 A) UNION (select 2)) order by A",
       "select A from ((select 1 A) UNION (select 2)) AS zoras_dt1 order by A"},
      {"SELECT * FROM (SELECT 1 X) P, (SELECT 2 Y) JOIN (SELECT 3 Z) Q ON 1=1",
       "SELECT * FROM (SELECT 1 X) P, (SELECT 2 Y) AS zoras_dt1 JOIN (SELECT 3 Z) Q ON 1=1"},
      {"SELECT F(X) FROM T WHERE A IN (SELECT B FROM U)",
       "SELECT F(X) FROM T WHERE A IN (SELECT B FROM U)"},
      {"SELECT * FROM T LIMIT 10", "SELECT * FROM T LIMIT 10"},
  };
  for (const auto& c : cases) EXPECT_EQ(TranslateSql(c.db2, TDriverKind::kPostgreSQL), c.pg);
  const struct {
    const char* db2;
    const char* sqlite;
  } sqlite_cases[] = {
      {"SELECT CHAR(1) FROM SYSIBM.SYSDUMMY1 WHERE CURRENT_DATE > D",
       "SELECT CHAR(1) FROM (SELECT 'Y' AS IBMREQD) SYSDUMMY1 WHERE zoras_current_date() > D"},
      {"SELECT A FROM ((SELECT A FROM T) UNION ALL (SELECT B FROM U)) WHERE LEFT(A, 1) = 'x'",
       "SELECT A FROM (SELECT A FROM T UNION ALL SELECT B FROM U) WHERE zoras_left(A, 1) = 'x'"},
      {"SELECT * FROM T LEFT JOIN (SELECT 1 AS X) Q ON 1=1",
       "SELECT * FROM T LEFT JOIN (SELECT 1 AS X) Q ON 1=1"},
      {"CREATE TABLE T (D DATE DEFAULT CURRENT_DATE)",
       "CREATE TABLE T (D DATE DEFAULT CURRENT_DATE)"},
  };
  for (const auto& c : sqlite_cases) EXPECT_EQ(TranslateSql(c.db2, TDriverKind::kSQLite), c.sqlite);
}

TEST(SqlTextTest, SequenceStatements) {
  auto q = MatchNextValQuery("select nextval for s1 from sysibm.sysdummy1");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->sequence, "S1");
  EXPECT_EQ(q->column, "NEXTVAL");
  EXPECT_FALSE(MatchNextValQuery("SELECT NEXTVAL FOR S1 AS A, 2 AS B FROM SYSIBM.SYSDUMMY1"));
  auto ddl = MatchSequenceDdl(
      "CREATE SEQUENCE s2 AS BIGINT START WITH -5 INCREMENT BY 10 NO CYCLE CACHE 20;");
  ASSERT_TRUE(ddl);
  EXPECT_EQ(ddl->name, "S2");
  EXPECT_EQ(ddl->start, -5);
  EXPECT_EQ(ddl->increment, 10);
  EXPECT_FALSE(MatchSequenceDdl("CREATE SEQUENCE s2 START 5"));
}

TEST(SqlTextTest, ToDatePatterns) {
  const struct {
    const char* text;
    const char* pattern;
    const char* iso;  // nullptr: no match
  } cases[] = {
      {"01/01/1900", "mm/dd/yyyy", "1900-01-01"},
      {"2008-03-05", "yyyy-mm-dd", "2008-03-05"},
      {"5.3.2008", "dd.mm.yyyy", "2008-03-05"},
      {"05.03.2008 14:02:11", "DD.MM.YYYY HH24:MI:SS", "2008-03-05 14:02:11"},
      {"02/30/2008", "mm/dd/yyyy", nullptr},
      {"2008-03-05x", "yyyy-mm-dd", nullptr},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(ToDateText(c.text, c.pattern, &out), c.iso != nullptr) << c.text;
    if (c.iso) EXPECT_EQ(out, c.iso);
  }
}

}  // namespace
}  // namespace zoras
