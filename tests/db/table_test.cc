// The table component TFilter on both drivers: key lookups and ranges, editing saved at
// once, the primary key read from the database.
#include "db/table.h"

#include <gtest/gtest.h>

#include "base/ascii.h"
#include "db/dm_test_util.h"

namespace zoras {
namespace {

TValue T(const char* text) { return TValue::Text(text); }
TValue I(int64_t v) { return TValue::Integer(v); }

constexpr std::string_view kSchema =
    "CREATE TABLE SES (SID VARCHAR(32) NOT NULL, NR INTEGER NOT NULL, Usr VARCHAR(20), "
    "Amount DECIMAL(12,2), Dan DATE, Note TEXT, PRIMARY KEY (SID, NR));\n"
    "INSERT INTO SES (SID, NR, Usr, Amount, Dan) VALUES ('A1', 1, 'ANA', 12.5, '2008-03-05');\n"
    "INSERT INTO SES (SID, NR, Usr, Amount, Dan) VALUES ('A1', 2, 'BOR', 7.25, '2008-03-06');\n"
    "INSERT INTO SES (SID, NR, Usr, Amount, Dan) VALUES ('A2', 1, 'CENE', 100, '2008-03-07');\n"
    "INSERT INTO SES (SID, NR, Usr, Amount, Dan) VALUES ('', 1, 'PRAZEN', 0, NULL);\n"
    "INSERT INTO SES (SID, NR, Usr, Amount, Dan) VALUES ('O''Brien', 1, 'QUOTE', 0.5, NULL);\n"
    "CREATE TABLE NOTES (Note TEXT NOT NULL PRIMARY KEY, Txt VARCHAR(10));\n"
    "INSERT INTO NOTES (Note, Txt) VALUES ('n', 'x')";

class TableTest : public ::testing::TestWithParam<TDriverKind> {
 protected:
  void SetUp() override {
    std::string skip;
    db_ = MakeTestDatabase(GetParam(), &skip);
    if (db_ == nullptr) GTEST_SKIP() << skip;
    db_->Run(kSchema);
    dm_ = std::make_unique<TDM>(db_->Open(), "");
    other_ = db_->Open();
  }

  std::unique_ptr<TFilter> Table(const char* table, const char* index) {
    auto t = std::make_unique<TFilter>(nullptr, std::string("tbl") + table, table, index);
    t->Bind(dm_.get());
    return t;
  }

  // The rows as another connection sees them, "SID/NR/Usr" each.
  std::vector<std::string> Committed(const std::string& where = "1 = 1") {
    TMemTable rows =
        other_->Query("SELECT SID, NR, Usr FROM SES WHERE " + where + " ORDER BY SID, NR");
    std::vector<std::string> out;
    for (rows.First(); !rows.Eof(); rows.Next())
      out.push_back(rows.Field(0).AsString() + "/" + rows.Field(1).AsString() + "/" +
                    rows.Field(2).AsString());
    return out;
  }

  static std::vector<std::string> Users(TFilter& t) {
    std::vector<std::string> out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName("Usr").AsString());
    return out;
  }

  std::unique_ptr<TTestDatabase> db_;
  std::unique_ptr<TDM> dm_;
  std::unique_ptr<TDbConnection> other_;
};

using Rows = std::vector<std::string>;

TEST_P(TableTest, FindByKeyRestrictsTheLeadingKeyColumns) {
  struct Case {
    const char* index;
    std::vector<TValue> key;
    bool found;
    Rows users;
  };
  const Case cases[] = {
      {"SID", {T("A1")}, true, {"ANA", "BOR"}},
      {"SID;NR", {T("A1")}, true, {"ANA", "BOR"}},
      {"SID;NR", {T("A1"), I(2)}, true, {"BOR"}},
      {"SID;NR", {T("A1"), T("2")}, true, {"BOR"}},  // text given for an integer column
      {"SID;NR", {T("A1"), I(3)}, false, {}},
      {"SID", {T("ZZ")}, false, {}},
      {"SID", {T("")}, true, {"PRAZEN"}},  // the empty text, not NULL
      {"SID", {TValue()}, false, {}},      // a null key finds nothing
      {"SID", {}, true, {"PRAZEN", "ANA", "BOR", "CENE", "QUOTE"}},
      {"NR;SID", {I(1)}, true, {"PRAZEN", "ANA", "CENE", "QUOTE"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.index) + " with " + std::to_string(c.key.size()) + " values");
    auto t = Table("SES", c.index);
    t->Open();
    EXPECT_EQ(t->FindByKey(c.key), c.found);
    EXPECT_EQ(Users(*t), c.users);
  }
}

TEST_P(TableTest, KeyRangesAndTheirFailures) {
  auto t = Table("SES", "SID;NR");
  EXPECT_EQ(ErrorText([&] { t->FindByKey({T("A1")}); }),
            "Cannot perform this operation on a closed dataset");
  t->Open();
  t->SetKeyRange({T("A1")}, {T("A2")});
  EXPECT_EQ(Users(*t), (Rows{"ANA", "BOR", "CENE"}));
  // Each column is bounded on its own: NR >= 2 holds for every SID in the range.
  t->SetKeyRange({T("A1"), I(2)}, {T("A2")});
  EXPECT_EQ(Users(*t), Rows{"BOR"});
  t->SetKeyRange({}, {T("A1")});
  EXPECT_EQ(Users(*t), (Rows{"PRAZEN", "ANA", "BOR"}));
  t->SetKeyRange({T("A2")}, {});
  EXPECT_EQ(Users(*t), (Rows{"CENE", "QUOTE"}));
  t->Open();  // reopening drops the restriction
  EXPECT_EQ(t->RecordCount(), 5u);

  EXPECT_EQ(ErrorText([&] {
              t->FindByKey({T("A1"), I(1), I(9)});
            }),
            "List index out of bounds (2)");
  EXPECT_EQ(ErrorText([&] {
              t->FindByKey({T("A1"), T("x")});
            }),
            "'x' is not a valid integer value");

  auto notes = Table("NOTES", "Note");
  notes->Open();
  EXPECT_EQ(ErrorText([&] { notes->FindByKey({T("n")}); }),
            "SQLSetRange : Unknown field type: Memo (tblNOTES.NOTES)");
  EXPECT_FALSE(notes->FindByKey({TValue()})) << "a null key is checked before the type";
}

// Key values used to be written into the statement as literals in the regional forms:
// a quote ended the literal early, and 12,5 became two values.
TEST_P(TableTest, RegressionKeyWithQuoteOrDecimalCommaFindsItsRow) {
  auto t = Table("SES", "SID;NR");
  t->Open();
  EXPECT_TRUE(t->FindByKey({T("O'Brien")}));
  EXPECT_EQ(Users(*t), Rows{"QUOTE"});
  EXPECT_FALSE(t->FindByKey({T("O' OR '1'='1")}));

  auto amounts = Table("SES", "Amount");
  amounts->Open();
  for (const TValue& v : {T("12,5"), TValue::Float(12.5), TValue::Decimal("12.50")}) {
    SCOPED_TRACE(v.AsString());
    EXPECT_TRUE(amounts->FindByKey({v}));
    EXPECT_EQ(Users(*amounts), Rows{"ANA"});
  }
  amounts->SetKeyRange({T("0,5")}, {T("12,5")});
  EXPECT_EQ(Users(*amounts), (Rows{"QUOTE", "BOR", "ANA"}));

  auto days = Table("SES", "Dan");
  days->Open();
  for (const TValue& v : {T("6.3.2008"), TValue::Date(TDateTime::Encode(2008, 3, 6))}) {
    EXPECT_TRUE(days->FindByKey({v}));
    EXPECT_EQ(Users(*days), Rows{"BOR"});
  }
}

TEST_P(TableTest, EmptyIndexNamesUseThePrimaryKeyFromTheDatabase) {
  auto t = Table("SES", "");
  EXPECT_EQ(t->PrimaryKeyFields().size(), 2u);
  std::vector<std::string> keys = t->KeyFields();
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_TRUE(EqualsIgnoreCase(keys[0], "SID"));
  EXPECT_TRUE(EqualsIgnoreCase(keys[1], "NR"));
  t->Open();
  EXPECT_EQ(Users(*t), (Rows{"PRAZEN", "ANA", "BOR", "CENE", "QUOTE"}));
  EXPECT_TRUE(t->FindByKey({T("A1"), I(2)}));
  EXPECT_EQ(Users(*t), Rows{"BOR"});

  // Every column is there; the undeclared ones are named after the component.
  const TFieldDecl* note = t->FindFieldDecl("Note");
  ASSERT_NE(note, nullptr);
  // The column as the database spells it: PostgreSQL reports unknown names in capitals.
  EXPECT_TRUE(EqualsIgnoreCase(note->component_name, "tblSES_Note")) << note->component_name;
  EXPECT_EQ(note->type, TFieldType::kMemo);
}

TEST_P(TableTest, EditsAreSavedAtOnceByKey) {
  auto t = Table("SES", "SID;NR");
  t->Open();

  t->Insert();
  t->FieldByName("SID").SetString("B1");
  t->FieldByName("NR").SetInteger(1);
  t->FieldByName("Usr").SetString("D'ARKO");
  t->FieldByName("Amount").SetString("3,75");
  t->Post();
  EXPECT_EQ(Committed("SID = 'B1'"), Rows{"B1/1/D'ARKO"});
  EXPECT_EQ(other_->Query("SELECT Amount FROM SES WHERE SID = 'B1'").Field(0).AsFloat(), 3.75);

  ASSERT_TRUE(t->FindByKey({T("A1"), I(2)}));
  t->Edit();
  t->FieldByName("Usr").SetString("BORIS");
  t->FieldByName("NR").SetInteger(5);  // the old key finds the row
  t->Post();
  EXPECT_EQ(Committed("SID = 'A1'"), (Rows{"A1/1/ANA", "A1/5/BORIS"}));

  ASSERT_TRUE(t->FindByKey({T("A1"), I(1)}));
  t->Edit();
  t->FieldByName("Usr").SetString("NOBODY");
  t->Cancel();
  EXPECT_EQ(t->FieldByName("Usr").AsString(), "ANA");
  EXPECT_EQ(ErrorText([&] { t->Post(); }), "Dataset not in edit or insert mode");
  t->Delete();
  EXPECT_EQ(Committed("SID = 'A1'"), Rows{"A1/5/BORIS"});
  EXPECT_TRUE(t->IsEmpty());

  // Moving on posts the pending edit.
  t->Open();
  t->Edit();
  t->FieldByName("Usr").SetString("PRVI");
  t->Next();
  EXPECT_EQ(t->State(), TFilter::TState::kBrowse);
  EXPECT_EQ(Committed("SID = ''"), Rows{"/1/PRVI"});
}

TEST_P(TableTest, ChangedRowIsReportedWhenItIsGone) {
  auto t = Table("SES", "SID;NR");
  t->Open();
  ASSERT_TRUE(t->FindByKey({T("A2"), I(1)}));
  other_->Execute("DELETE FROM SES WHERE SID = 'A2'");
  t->Edit();
  t->FieldByName("Usr").SetString("X");
  EXPECT_EQ(ErrorText([&] { t->Post(); }), "Record not found or changed by another user");
  EXPECT_EQ(t->State(), TFilter::TState::kEdit) << "the edit stays pending";
  t->Cancel();
  EXPECT_EQ(ErrorText([&] { t->Delete(); }), "Record not found or changed by another user");
}

// An index need not be unique (orders are indexed by package and kind): an edit through
// it must still change only its own row.
TEST_P(TableTest, EditThroughANonUniqueIndexChangesOneRow) {
  auto t = Table("SES", "SID");
  t->Open();
  ASSERT_TRUE(t->FindByKey({T("A1")}));
  ASSERT_EQ(t->RecordCount(), 2u);
  t->Edit();
  t->FieldByName("Usr").SetString("SAMO");
  t->Post();
  EXPECT_EQ(Committed("SID = 'A1'"), (Rows{"A1/1/SAMO", "A1/2/BOR"}));
  t->Last();
  t->Delete();
  EXPECT_EQ(Committed("SID = 'A1'"), Rows{"A1/1/SAMO"});
}

INSTANTIATE_TEST_SUITE_P(Drivers, TableTest,
                         ::testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         [](const auto& info) { return DriverLabel(info.param); });

}  // namespace
}  // namespace zoras
