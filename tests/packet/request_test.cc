#include "packet/request.h"

#include <gtest/gtest.h>

#include "packet/packet_reader.h"
#include "packet/test_util.h"
#include "packet/text_packet.h"

namespace zoras {
namespace {

TDateTime Dt(int y, int mo, int d, int h = 0, int mi = 0) {
  return TDateTime::Encode(y, mo, d, h, mi);
}

// A request as a branch client sends it: one row of string fields.
TMemTable Request(const std::string& name_values, const std::vector<std::string>& names) {
  return LoadPacket(MakeRowPacket(names, {}, name_values, "", ""));
}

// A record being saved, with one column of each kind a request fills.
TMemTable Target() {
  TMemTable t;
  t.AddField({"IDPOG", TFieldType::kI4});
  t.AddField({"OPIS", TFieldType::kString, 250});
  t.AddField({"LOT", TFieldType::kR8});
  t.AddField({"DAN", TFieldType::kDate});
  t.AddField({"VNESENO", TFieldType::kDateTime});
  t.AddField({"AKT", TFieldType::kBoolean});
  t.Open();
  t.AppendRow({TValue::Integer(1), TValue::Text("old"), TValue::Float(1),
               TValue::Date(Dt(2000, 1, 1)), TValue::DateTime(Dt(2000, 1, 1, 8)),
               TValue::Boolean(false)});
  return t;
}

TEST(RequestTest, GetPacketParam) {
  const TMemTable r = Request("IDPOG=12\r\nOPIS=a b", {"IDPOG", "OPIS", "NULA"});
  EXPECT_EQ(GetPacketParam(r, "IDPOG"), "12");
  EXPECT_EQ(GetPacketParam(r, "opis"), "a b");
  EXPECT_EQ(GetPacketParam(r, "NULA"), "");
  EXPECT_EQ(ErrorOf([&] { GetPacketParam(r, "SFOSB"); }), "Field 'SFOSB' not found");

  // A request without rows reads as empty parameters; so does one that is not open.
  const TMemTable no_rows = LoadPacket(NewTextPacket({"IDPOG"}, ""));
  EXPECT_EQ(GetPacketParam(no_rows, "IDPOG"), "");
  EXPECT_EQ(GetPacketParam(no_rows, "SFOSB"), "");
  EXPECT_EQ(GetPacketParam(LoadPacket(""), "IDPOG"), "");
}

TEST(RequestTest, LoadRequestPacketWantsAnOpenTable) {
  EXPECT_EQ(LoadRequestPacket(MakeRowPacket({"A"}, {}, "A=1", "", "")).RecordCount(), 1u);
  EXPECT_EQ(ErrorOf([] { LoadRequestPacket(""); }), "INTERNAL ERROR !");
  EXPECT_EQ(ErrorOf([] { LoadRequestPacket("<DATAPACKET/>"); }),
            "The data packet has no field definitions (METADATA/FIELDS)");
}

TEST(RequestTest, CopyRequestFieldsConvertsTextToTheTargetTypes) {
  const TMemTable r = Request(
      "IDPOG=42\r\nOPIS=nov|#opis\r\nLOT=1,5\r\nDAN=05.03.2008\r\nVNESENO=05.03.2008 14:02\r\n"
      "AKT=True\r\nOTHER=x",
      {"IDPOG", "OPIS", "LOT", "DAN", "VNESENO", "AKT", "OTHER"});
  TMemTable t = Target();
  CopyRequestFields(t, r, {"idpog", "OPIS", "LOT", "DAN", "VNESENO", "AKT", "OTHER", "MISSING"},
                    true);
  EXPECT_EQ(t.FieldByName("IDPOG").Value(), TValue::Integer(42));
  EXPECT_EQ(t.FieldByName("OPIS").AsString(), "nov\r\nopis");
  EXPECT_EQ(t.FieldByName("LOT").Value(), TValue::Float(1.5));
  EXPECT_EQ(t.FieldByName("DAN").Value(), TValue::Date(Dt(2008, 3, 5)));
  EXPECT_EQ(t.FieldByName("VNESENO").Value(), TValue::DateTime(Dt(2008, 3, 5, 14, 2)));
  EXPECT_EQ(t.FieldByName("AKT").Value(), TValue::Boolean(true));
}

TEST(RequestTest, CopyRules) {
  // Empty text and null clear; a field the request lacks is left alone; without the copy
  // flag every named field the target has is cleared.
  const TMemTable r = Request("OPIS=", {"IDPOG", "OPIS"});  // IDPOG written as ""
  TMemTable t = Target();
  CopyRequestFields(t, r, {"IDPOG", "OPIS", "LOT"}, true);
  EXPECT_TRUE(t.FieldByName("IDPOG").IsNull());
  EXPECT_TRUE(t.FieldByName("OPIS").IsNull());
  EXPECT_EQ(t.FieldByName("LOT").Value(), TValue::Float(1));

  TMemTable u = Target();
  CopyRequestFields(u, r, {"LOT", "DAN", "NOPE"}, false);
  EXPECT_TRUE(u.FieldByName("LOT").IsNull());
  EXPECT_TRUE(u.FieldByName("DAN").IsNull());
  EXPECT_EQ(u.FieldByName("OPIS").AsString(), "old");
}

TEST(RequestTest, TypedRequestValuesAreCopiedDirectly) {
  TMemTable r;
  r.AddField({"LOT", TFieldType::kR8});
  r.AddField({"DAN", TFieldType::kDateTime});
  r.Open();
  r.AppendRow({TValue::Float(2.25), TValue::DateTime(Dt(2008, 3, 5, 10))});
  TMemTable t = Target();
  CopyRequestFields(t, r, {"LOT", "DAN", "OPIS"}, true);
  EXPECT_EQ(t.FieldByName("LOT").Value(), TValue::Float(2.25));
  EXPECT_EQ(t.FieldByName("DAN").Value(), TValue::Date(Dt(2008, 3, 5)));
  EXPECT_EQ(t.FieldByName("OPIS").AsString(), "old");
}

TEST(RequestTest, CopyFailsOnValuesThatDoNotFit) {
  const TMemTable r = Request("IDPOG=12a\r\nLOT=1.234,5", {"IDPOG", "LOT"});
  TMemTable t = Target();
  EXPECT_EQ(ErrorOf([&] { CopyRequestFields(t, r, {"IDPOG"}, true); }),
            "'12a' is not a valid integer value");
  EXPECT_EQ(ErrorOf([&] { CopyRequestFields(t, r, {"LOT"}, true); }),
            "'1.234,5' is not a valid floating point value");
}

TEST(RequestTest, CopyRequestFieldsExcept) {
  const TMemTable r =
      Request("IDPOG=42\r\nOPIS=nov\r\nLOT=2\r\nEXTRA=1", {"IDPOG", "OPIS", "LOT", "EXTRA"});
  TMemTable t = Target();
  CopyRequestFieldsExcept(t, r, {"idpog", "LOT"});
  EXPECT_EQ(t.FieldByName("IDPOG").AsInteger(), 1);
  EXPECT_EQ(t.FieldByName("OPIS").AsString(), "nov");
  EXPECT_EQ(t.FieldByName("LOT").AsFloat(), 1);
}

TEST(RequestTest, CopyRequestField) {
  const TMemTable r = Request("IDPOGTRG=77", {"IDPOGTRG"});
  TMemTable t = Target();
  CopyRequestField(t, "IDPOG", r, "IdPogTrg", true);
  EXPECT_EQ(t.FieldByName("IDPOG").AsInteger(), 77);
  CopyRequestField(t, "OPIS", r, "NOPE", true);
  EXPECT_EQ(t.FieldByName("OPIS").AsString(), "old");
  CopyRequestField(t, "OPIS", r, "NOPE", false);
  EXPECT_TRUE(t.FieldByName("OPIS").IsNull());
  EXPECT_EQ(ErrorOf([&] { CopyRequestField(t, "SFOSB", r, "IDPOGTRG", true); }),
            "Field 'SFOSB' not found");
}

}  // namespace
}  // namespace zoras
