#include "packet/filter.h"

#include <gtest/gtest.h>

#include "packet/mem_table.h"
#include "packet/test_util.h"

namespace zoras {
namespace {

// Rows 1-5 with text, integer, float, date and boolean columns; row 5 is all null but ID.
class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t_.AddField({"ID", TFieldType::kI4});
    t_.AddField({"SIF", TFieldType::kString, 1});
    t_.AddField({"A", TFieldType::kI4});
    t_.AddField({"B", TFieldType::kString, 10});
    t_.AddField({"ZNESEK", TFieldType::kR8});
    t_.AddField({"DAN", TFieldType::kDate});
    t_.AddField({"AKT", TFieldType::kBoolean});
    t_.AddField({"IN", TFieldType::kString, 5});
    t_.Open();
    Row(1, "N", 1, "x", 10.5, "01.03.2008", true, "in");
    Row(2, "P", 2, "y", 0.1, "05.03.2008", false, "");
    Row(3, "Z", 1, "x", -3, "31.12.2008", true, "it's");
    Row(4, "N", 3, "X", 1e6, "05.03.2008", false, "");
    t_.Append();
    t_.FieldByName("ID").SetInteger(5);
  }

  void Row(int id, const char* sif, int a, const char* b, double z, const char* dan, bool akt,
           const char* in) {
    t_.Append();
    t_.FieldByName("ID").SetInteger(id);
    t_.FieldByName("SIF").SetString(sif);
    t_.FieldByName("A").SetInteger(a);
    t_.FieldByName("B").SetString(b);
    t_.FieldByName("ZNESEK").SetFloat(z);
    t_.FieldByName("DAN").SetString(dan);
    t_.FieldByName("AKT").SetBoolean(akt);
    t_.FieldByName("IN").SetString(in);
  }

  std::vector<int64_t> Matching(const std::string& filter) {
    TFilterExpr e = TFilterExpr::Parse(filter);
    e.Bind(t_.FieldDefs());
    std::vector<int64_t> ids;
    for (size_t i = 0; i < t_.StoredRowCount(); ++i)
      if (e.Matches(t_.StoredRow(i))) ids.push_back(t_.StoredRow(i)[0].AsInteger());
    return ids;
  }

  TMemTable t_;
};

TEST_F(FilterTest, SelectsTheMatchingRows) {
  using V = std::vector<int64_t>;
  const struct {
    const char* filter;
    V ids;
  } cases[] = {
      {"", V{1, 2, 3, 4, 5}},
      {"SIF IN ('N','P')", V{1, 2, 4}},
      {"sif in ('N' , 'P')", V{1, 2, 4}},
      {"SIF NOT IN ('N','P')", V{3}},  // null is in no list and out of none
      {"NOT SIF IN ('N','P')", V{3, 5}},
      {"SIF <> 'N'", V{2, 3}},  // null compares false, <> included
      {"(A = 1 OR B = 'y') AND NOT ID = 3", V{1, 2}},
      {"A = 1 OR B = 'y' AND ID = 3", V{1, 3}},  // AND binds tighter than OR
      {"NOT A = 1 AND ID < 5", V{2, 4}},         // NOT binds tighter than AND
      {"B = 'x'", V{1, 3}},                      // letter case matters in text
      {"B >= 'x'", V{1, 2, 3}},
      {"ZNESEK > 0.5", V{1, 4}},
      {"ZNESEK <= -3", V{3}},
      {"ZNESEK = 0.1", V{2}},
      {"ZNESEK > 1e5", V{4}},
      {"ZNESEK = '10,5'", V{1}},  // a text literal is read as the column reads text
      {"A = '1'", V{1, 3}},
      {"DAN = '05.03.2008'", V{2, 4}},
      {"DAN > '01.03.2008' AND DAN < '31.12.2008'", V{2, 4}},
      {"AKT = 'True'", V{1, 3}},
      {"SIF IS NULL", V{5}},
      {"SIF is not null AND A IS NOT NULL", V{1, 2, 3, 4}},
      {"[IN] = 'in'", V{1}},
      {"[IN] = 'it''s'", V{3}},
      {"[IN] = ''", V{2, 4}},
      {"ID = A", V{1, 2}},  // column against column
      {"1 = 1", V{1, 2, 3, 4, 5}},
      {"'a' = 'b'", V{}},
      {"((((ID = 2))))", V{2}},
      {"NOT NOT ID = 2", V{2}},
      {"ID=2 or ID=3 or ID=4", V{2, 3, 4}},
  };
  for (const auto& c : cases) EXPECT_EQ(Matching(c.filter), c.ids) << c.filter;
}

TEST_F(FilterTest, ReportsMalformedText) {
  const struct {
    const char* filter;
    const char* message;
  } cases[] = {
      {"STATUS <> ", "Filter expression error at position 11: unexpected end of expression"},
      {"SIF = 'N", "Filter expression error at position 7: unterminated text literal"},
      {"SIF IN ('N','P'", "Filter expression error at position 16: ')' expected"},
      {"SIF IN 'N'", "Filter expression error at position 8: unexpected ''N''"},
      {"(A = 1", "Filter expression error at position 7: ')' expected"},
      {"A = 1)", "Filter expression error at position 6: unexpected ')'"},
      {"A == 1", "Filter expression error at position 4: field name or literal expected"},
      {"A != 1", "Filter expression error at position 3: unexpected '!'"},
      {"A", "Filter expression error at position 2: comparison operator, IN or IS expected"},
      {"A 1", "Filter expression error at position 3: comparison operator, IN or IS expected"},
      {"A IS 1", "Filter expression error at position 6: unexpected '1'"},
      {"A IS NOT", "Filter expression error at position 9: 'NULL' expected"},
      {"A NOT 1", "Filter expression error at position 7: unexpected '1'"},
      {"A = 1 AND", "Filter expression error at position 10: unexpected end of expression"},
      {"AND A = 1", "Filter expression error at position 1: field name or literal expected"},
      {"A = 12AB", "Filter expression error at position 5: invalid number '12AB'"},
      {"A = 1.2.3", "Filter expression error at position 5: invalid number '1.2.3'"},
      {"[A = 1", "Filter expression error at position 1: unterminated field name"},
      {"A = 1 B = 2", "Filter expression error at position 7: unexpected 'B'"},
      {"A = \x01", "Filter expression error at position 5: unexpected '#$01'"},
      // A keyword is a field name only in brackets.
      {"IN = 'x'", "Filter expression error at position 1: field name or literal expected"},
      {"A IN ()", "Filter expression error at position 7: field name or literal expected"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ErrorOf([&] { TFilterExpr::Parse(c.filter); }), c.message) << c.filter;
}

TEST_F(FilterTest, DeepNestingIsRefusedNotOverflowed) {
  const std::string deep = std::string(100000, '(') + "A = 1" + std::string(100000, ')');
  EXPECT_EQ(ErrorOf([&] { TFilterExpr::Parse(deep); }),
            "Filter expression error at position 202: expression nested too deeply");
  std::string nots;
  for (int i = 0; i < 100000; ++i) nots += "NOT ";
  EXPECT_NE(ErrorOf([&] { TFilterExpr::Parse(nots + "A = 1"); }), "(no error)");
  // Long flat chains are fine.
  std::string chain = "ID = 0";
  for (int i = 0; i < 20000; ++i) chain += " OR ID = 4";
  EXPECT_EQ(Matching(chain), (std::vector<int64_t>{4}));
}

TEST_F(FilterTest, BindReportsUnknownFieldsAndUnfitLiterals) {
  const struct {
    const char* filter;
    const char* message;
  } cases[] = {
      {"IdPog=1 and SIF='N'", "Field 'IdPog' not found"},
      {"A = 'x'", "'x' is not a valid integer value"},
      {"ZNESEK = 'x'", "'x' is not a valid floating point value"},
      {"DAN = '32.01.2008'", "'32.01.2008' is not a valid date"},
      {"SIF IN ('N', 1) AND A IN (1, 'y')", "'y' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf([&] { TFilterExpr::Parse(c.filter).Bind(t_.FieldDefs()); }), c.message)
        << c.filter;
  }
}

}  // namespace
}  // namespace zoras
