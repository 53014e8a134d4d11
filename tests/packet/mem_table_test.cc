#include "packet/mem_table.h"

#include <gtest/gtest.h>

#include "packet/test_util.h"

namespace zoras {
namespace {

// ID 1..n with STATUS cycling through "0", "1", "2".
TMemTable Numbered(int n) {
  TMemTable t;
  t.AddField({"ID", TFieldType::kI4});
  t.AddField({"STATUS", TFieldType::kString, 1});
  t.Open();
  for (int i = 1; i <= n; ++i) {
    t.Append();
    t.FieldByName("ID").SetInteger(i);
    t.FieldByName("STATUS").SetString(std::to_string((i - 1) % 3));
  }
  t.First();
  return t;
}

std::vector<int64_t> Forward(TMemTable& t) {
  std::vector<int64_t> ids;
  for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("ID").AsInteger());
  return ids;
}

std::vector<int64_t> Backward(TMemTable& t) {
  std::vector<int64_t> ids;
  for (t.Last(); !t.Bof(); t.Prior()) ids.push_back(t.FieldByName("ID").AsInteger());
  return ids;
}

TEST(MemTableTest, NavigatesLikeAClientDataset) {
  TMemTable t = Numbered(3);
  EXPECT_TRUE(t.Bof());
  EXPECT_FALSE(t.Eof());
  EXPECT_EQ(t.RecNo(), 1u);
  t.Next();
  t.Next();
  EXPECT_EQ(t.RecNo(), 3u);
  EXPECT_FALSE(t.Eof());
  t.Next();  // past the last row: stays on it
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 3);
  t.Last();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(Forward(t), (std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(Backward(t), (std::vector<int64_t>{3, 2, 1}));
}

TEST(MemTableTest, MoveByStopsAtTheEnds) {
  TMemTable t = Numbered(5);
  t.MoveBy(2);
  EXPECT_EQ(t.RecNo(), 3u);
  EXPECT_FALSE(t.Eof());
  t.MoveBy(100);
  EXPECT_EQ(t.RecNo(), 5u);
  EXPECT_TRUE(t.Eof());
  t.MoveBy(-100);
  EXPECT_EQ(t.RecNo(), 1u);
  EXPECT_TRUE(t.Bof());
  EXPECT_FALSE(t.Eof());
}

TEST(MemTableTest, EmptyAndClosedTables) {
  TMemTable t;
  t.AddField({"ID", TFieldType::kI4});
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(ErrorOf([&] { t.Append(); }), "Cannot perform this operation on a closed dataset");
  t.Open();
  EXPECT_TRUE(t.Bof());
  EXPECT_TRUE(t.Eof());
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_EQ(t.RecNo(), 0u);
  EXPECT_TRUE(t.FieldByName("ID").IsNull());
  EXPECT_EQ(ErrorOf([&] { t.FieldByName("ID").SetInteger(1); }),
            "Cannot perform this operation on an empty dataset");
  EXPECT_EQ(ErrorOf([&] { t.Delete(); }), "Cannot perform this operation on an empty dataset");
  t.Next();
  t.Prior();
  EXPECT_TRUE(t.Eof() && t.Bof());
}

TEST(MemTableTest, FieldsByNameIgnoreLetterCase) {
  TMemTable t = Numbered(1);
  EXPECT_EQ(t.FindField("status"), 1);
  EXPECT_EQ(t.FindField("STATU"), -1);
  EXPECT_EQ(t.FieldByName("id").Name(), "ID");
  EXPECT_EQ(ErrorOf([&] { t.FieldByName("IDPOG"); }), "Field 'IDPOG' not found");
  const TMemTable& ct = t;
  EXPECT_EQ(ErrorOf([&] { ct.FieldByName("IDPOG"); }), "Field 'IDPOG' not found");
  EXPECT_EQ(ErrorOf([&] {
              t.AddField({"Status", TFieldType::kString});
            }),
            "Duplicate field name 'Status'");
}

TEST(MemTableTest, AddingAFieldGivesExistingRowsNull) {
  TMemTable t = Numbered(2);
  t.AddField({"NOTE", TFieldType::kString, 20});
  for (t.First(); !t.Eof(); t.Next()) EXPECT_TRUE(t.FieldByName("NOTE").IsNull());
}

TEST(MemTableTest, DeleteMovesToTheNextRowOrBack) {
  TMemTable t = Numbered(3);
  t.Next();
  t.Delete();  // 2: the next row becomes current
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 3);
  EXPECT_FALSE(t.Eof());
  t.Delete();  // 3, the last: back to 1 with Eof set
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 1);
  EXPECT_TRUE(t.Eof());
  t.Delete();
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_TRUE(t.Eof() && t.Bof());

  // The usual loop that deletes some rows ends.
  TMemTable u = Numbered(6);
  for (u.First(); !u.Eof();) {
    if (u.FieldByName("STATUS").AsString() == "0")
      u.Delete();
    else
      u.Next();
  }
  EXPECT_EQ(Forward(u), (std::vector<int64_t>{2, 3, 5, 6}));
}

TEST(MemTableTest, FilterHidesRowsFromNavigationAndCount) {
  TMemTable t = Numbered(6);
  t.SetFilter("STATUS <> '0'");
  EXPECT_EQ(t.RecordCount(), 6u);  // not applied before Filtered is set
  t.SetFiltered(true);
  EXPECT_EQ(t.RecordCount(), 4u);
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 2);  // moved to the first visible row
  EXPECT_EQ(Forward(t), (std::vector<int64_t>{2, 3, 5, 6}));
  EXPECT_EQ(Backward(t), (std::vector<int64_t>{6, 5, 3, 2}));
  t.First();
  t.Next();
  t.Next();
  EXPECT_EQ(t.RecNo(), 3u);
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 5);

  t.SetFilter("STATUS = '9'");
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.RecordCount(), 0u);

  t.SetFiltered(false);
  EXPECT_EQ(t.RecordCount(), 6u);
  EXPECT_EQ(Forward(t), (std::vector<int64_t>{1, 2, 3, 4, 5, 6}));
}

TEST(MemTableTest, BadFilterLeavesTheTableAsItWas) {
  TMemTable t = Numbered(3);
  t.SetFilter("STATUS = '1'");
  t.SetFiltered(true);
  EXPECT_EQ(ErrorOf([&] { t.SetFilter("STATUS = "); }),
            "Filter expression error at position 10: unexpected end of expression");
  EXPECT_EQ(t.Filter(), "STATUS = '1'");
  EXPECT_EQ(t.RecordCount(), 1u);
  EXPECT_EQ(ErrorOf([&] { t.SetFilter("SFOSB = 1"); }), "Field 'SFOSB' not found");
  EXPECT_EQ(t.RecordCount(), 1u);

  TMemTable u = Numbered(3);
  u.SetFilter("NOPE = 1");  // names are resolved when the filter is switched on
  EXPECT_EQ(ErrorOf([&] { u.SetFiltered(true); }), "Field 'NOPE' not found");
  EXPECT_FALSE(u.Filtered());
  EXPECT_EQ(u.RecordCount(), 3u);
}

TEST(MemTableTest, AppendRowConvertsToTheFieldTypes) {
  TMemTable t;
  t.AddField({"ID", TFieldType::kI4});
  t.AddField({"DAN", TFieldType::kDate});
  t.Open();
  t.AppendRow({TValue::Text("7"), TValue::Text("05.03.2008")});
  EXPECT_EQ(t.FieldByName("ID").Value(), TValue::Integer(7));
  EXPECT_EQ(t.FieldByName("DAN").AsDateTime(), TDateTime::Encode(2008, 3, 5));
  EXPECT_EQ(ErrorOf([&] {
              t.AppendRow({TValue::Text("x"), TValue()});
            }),
            "'x' is not a valid integer value");
  EXPECT_EQ(t.RecordCount(), 1u);
}

TEST(MemTableTest, CloseDiscardsRowsAndKeepsFields) {
  TMemTable t = Numbered(3);
  t.Close();
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.RecordCount(), 0u);
  EXPECT_EQ(t.FieldCount(), 2u);
  EXPECT_TRUE(t.FieldByName("ID").IsNull());
}

}  // namespace
}  // namespace zoras
