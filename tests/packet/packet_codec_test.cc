// The dataset packet writer and reader, together and apart.
#include <gtest/gtest.h>

#include "packet/packet_reader.h"
#include "packet/packet_writer.h"
#include "packet/test_util.h"
#include "packet/text_packet.h"

namespace zoras {
namespace {

constexpr std::string_view kHead =
    "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
constexpr std::string_view kMiddle = "</FIELDS><PARAMS/></METADATA><ROWDATA>";
constexpr std::string_view kTail = "</ROWDATA></DATAPACKET>";

std::string Packet(std::string_view fields, std::string_view rows) {
  return std::string(kHead) + std::string(fields) + std::string(kMiddle) + std::string(rows) +
         std::string(kTail);
}

TDateTime Dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return TDateTime::Encode(y, mo, d, h, mi, s, ms);
}

// One column of every type.
TMemTable AllTypes() {
  TMemTable t;
  t.AddField({"S", TFieldType::kString, 40, 0, true});
  t.AddField({"I1", TFieldType::kI1});
  t.AddField({"I2", TFieldType::kI2});
  t.AddField({"I4", TFieldType::kI4});
  t.AddField({"I8", TFieldType::kI8});
  t.AddField({"UI1", TFieldType::kUI1});
  t.AddField({"UI2", TFieldType::kUI2});
  t.AddField({"UI4", TFieldType::kUI4});
  t.AddField({"R8", TFieldType::kR8});
  t.AddField({"FX", TFieldType::kFixed, 18, 4});
  t.AddField({"B", TFieldType::kBoolean});
  t.AddField({"D", TFieldType::kDate});
  t.AddField({"T", TFieldType::kTime});
  t.AddField({"DT", TFieldType::kDateTime, 0, 0, false, true});
  t.AddField({"M", TFieldType::kMemo});
  t.AddField({"BIN", TFieldType::kBinary});
  t.Open();
  t.AppendRow({TValue::Text("<>&'\"\r\n\t\\ čšž"), TValue::Integer(-128), TValue::Integer(-32768),
               TValue::Integer(-2147483648LL), TValue::Integer(INT64_MIN), TValue::Integer(255),
               TValue::Integer(65535), TValue::Integer(4294967295LL), TValue::Float(-1234.5678),
               TValue::Decimal("-12345678901234.5678"), TValue::Boolean(true),
               TValue::Date(Dt(2008, 3, 5)), TValue::Time(Dt(1899, 12, 30, 14, 2, 11, 250)),
               TValue::DateTime(Dt(2008, 3, 5, 14, 2, 11, 250)), TValue::Text("vrstica 1\r\nčć"),
               TValue::Text(std::string("\0\xff\x01", 3))});
  t.AppendRow(std::vector<TValue>(16));  // all null
  t.AppendRow({TValue::Text(""), TValue::Integer(127), TValue::Integer(0), TValue::Integer(1),
               TValue::Integer(INT64_MAX), TValue::Integer(0), TValue::Integer(0),
               TValue::Integer(0), TValue::Float(1e-300), TValue::Decimal("0"),
               TValue::Boolean(false), TValue::Date(Dt(1, 1, 1)), TValue::Time(Dt(1899, 12, 30)),
               TValue::DateTime(Dt(9999, 12, 31)), TValue::Text(""), TValue::Text("")});
  t.First();
  return t;
}

TEST(PacketCodecTest, RoundTripKeepsEveryTypeAndValue) {
  const TMemTable original = AllTypes();
  const TMemTable read = LoadPacket(DataSetToPacket(original, -1));
  ASSERT_TRUE(read.Active());
  ASSERT_EQ(read.FieldCount(), original.FieldCount());
  for (size_t f = 0; f < original.FieldCount(); ++f) {
    const TFieldDef& a = original.FieldDef(f);
    const TFieldDef& b = read.FieldDef(f);
    EXPECT_EQ(b.name, a.name);
    EXPECT_EQ(b.type, a.type) << a.name;
    EXPECT_EQ(b.width, a.width) << a.name;
    EXPECT_EQ(b.decimals, a.decimals) << a.name;
    EXPECT_EQ(b.required, a.required) << a.name;
    EXPECT_EQ(b.readonly, a.readonly) << a.name;
  }
  ASSERT_EQ(read.StoredRowCount(), original.StoredRowCount());
  for (size_t r = 0; r < original.StoredRowCount(); ++r)
    for (size_t f = 0; f < original.FieldCount(); ++f)
      EXPECT_EQ(read.StoredRow(r)[f], original.StoredRow(r)[f])
          << "row " << r << " field " << original.FieldDef(f).name;
  EXPECT_EQ(read.RecNo(), 1u);
}

TEST(PacketCodecTest, WritesTheTypeTableForms) {
  TMemTable t;
  t.AddField({"NAZIV", TFieldType::kString, 20});
  t.AddField({"ZNESEK", TFieldType::kR8});
  t.AddField({"DAN", TFieldType::kDateTime});
  t.AddField({"CAS", TFieldType::kTime});
  t.AddField({"OK", TFieldType::kBoolean});
  t.AddField({"VRD", TFieldType::kFixed, 15, 2});
  t.AddField({"OPIS", TFieldType::kMemo});
  t.Open();
  t.AppendRow({TValue::Text("<>&'\"\r\n\t\\"), TValue::Float(1234.56),
               TValue::DateTime(Dt(2008, 3, 5)), TValue::Time(Dt(1899, 12, 30, 14, 2, 11, 250)),
               TValue::Boolean(true), TValue::Decimal("-0.5"), TValue::Text("Ab")});
  t.AppendRow({TValue(), TValue::Float(0.1 + 0.2), TValue::DateTime(Dt(2008, 3, 5, 14, 2, 11, 250)),
               TValue::Time(Dt(1899, 12, 30, 0, 0, 0, 5)), TValue::Boolean(false), TValue(),
               TValue()});
  t.First();
  EXPECT_EQ(DataSetToPacket(t, -1),
            Packet("<FIELD attrname=\"NAZIV\" fieldtype=\"string\" WIDTH=\"20\"/>"
                   "<FIELD attrname=\"ZNESEK\" fieldtype=\"r8\"/>"
                   "<FIELD attrname=\"DAN\" fieldtype=\"dateTime\"/>"
                   "<FIELD attrname=\"CAS\" fieldtype=\"time\"/>"
                   "<FIELD attrname=\"OK\" fieldtype=\"boolean\"/>"
                   "<FIELD attrname=\"VRD\" fieldtype=\"fixed\" WIDTH=\"15\" DECIMALS=\"2\"/>"
                   "<FIELD attrname=\"OPIS\" fieldtype=\"bin.hex\" SUBTYPE=\"Text\"/>",
                   "<ROW NAZIV=\"&lt;&gt;&amp;&apos;&quot;&#013;&#010;&#009;&#092;\" "
                   "ZNESEK=\"1234.56\" DAN=\"20080305\" CAS=\"14:02:11250\" OK=\"TRUE\" "
                   "VRD=\"-0.5\" OPIS=\"QWI=\"/>"
                   "<ROW ZNESEK=\"0.3\" DAN=\"20080305T14:02:11250\" CAS=\"00:00:00005\" "
                   "OK=\"FALSE\"/>"));
}

TEST(PacketCodecTest, FloatsUseSixteenDigitsAndExponentsAtTheExtremes) {
  const struct {
    double v;
    const char* text;
  } cases[] = {
      {0, "0"},           {-2.5, "-2.5"},      {1.0 / 3, "0.3333333333333333"},
      {1e20, "1e+20"},    {1.5e-7, "1.5e-07"}, {123456789012345.6, "123456789012345.6"},
      {0.0001, "0.0001"}, {1e16, "1e+16"},
  };
  for (const auto& c : cases) {
    TMemTable t;
    t.AddField({"X", TFieldType::kR8});
    t.Open();
    t.AppendRow({TValue::Float(c.v)});
    t.First();
    EXPECT_EQ(DataSetToPacket(t, -1), Packet("<FIELD attrname=\"X\" fieldtype=\"r8\"/>",
                                             std::string("<ROW X=\"") + c.text + "\"/>"));
  }
}

TEST(PacketCodecTest, WritesFromTheCurrentRowWithinTheLimitAndFilter) {
  TMemTable t;
  t.AddField({"ID", TFieldType::kI4});
  t.Open();
  for (int i = 1; i <= 5; ++i) t.AppendRow({TValue::Integer(i)});
  auto ids = [](const std::string& packet) {
    TMemTable r = LoadPacket(packet);
    std::string out;
    for (r.First(); !r.Eof(); r.Next()) out += r.FieldByName("ID").AsString();
    return out;
  };
  t.First();
  EXPECT_EQ(ids(DataSetToPacket(t, -1)), "12345");
  EXPECT_EQ(ids(DataSetToPacket(t, 2)), "12");
  EXPECT_EQ(ids(DataSetToPacket(t, 0)), "");
  t.MoveBy(3);  // page 2 of 3 rows
  EXPECT_EQ(ids(DataSetToPacket(t, 3)), "45");
  EXPECT_EQ(t.RecNo(), 4u);  // the writer leaves the cursor alone
  t.MoveBy(3);
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(ids(DataSetToPacket(t, 3)), "");
  t.SetFilter("ID <> 2 AND ID <> 4");
  t.SetFiltered(true);
  EXPECT_EQ(ids(DataSetToPacket(t, -1)), "135");
  EXPECT_EQ(ids(DataSetToPacket(t, 2)), "13");

  TMemTable closed;
  closed.AddField({"ID", TFieldType::kI4});
  EXPECT_EQ(DataSetToPacket(closed, -1), Packet("<FIELD attrname=\"ID\" fieldtype=\"i4\"/>", ""));
}

TEST(PacketCodecTest, ReaderAcceptsOtherWritersLayouts) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<DATAPACKET Version=\"2.0\">\r\n <METADATA><FIELDS>"
      "<FIELD fieldtype=\"i4\" attrname=\"ID\"/>"
      "<FIELD WIDTH=\"30\" attrname=\"NAZIV\" fieldtype=\"string\"/>"
      "<FIELD attrname=\"DAN\" fieldtype=\"date\"/>"
      "</FIELDS><PARAMS LCID=\"1060\" DATASET_DELTA=\"1\"/></METADATA>\r\n<ROWDATA>\r\n"
      "<ROW RowState=\"4\" DAN=\"20080305\" NAZIV=\"a&#x41;&#66;&#269;&lt;&amp;\" ID=\"7\"/>\r\n"
      "<ROW ID=\"8\"/>"
      "<ROW RowState=\"2\" NAZIV='single &quot;quoted&quot;'/>"
      "</ROWDATA></DATAPACKET>";
  TMemTable t = LoadPacket(text);
  ASSERT_EQ(t.RecordCount(), 3u);
  EXPECT_EQ(t.FieldCount(), 3u);
  EXPECT_EQ(t.FieldDef(1).width, 30);
  EXPECT_EQ(t.FieldByName("ID").AsInteger(), 7);
  EXPECT_EQ(t.FieldByName("NAZIV").AsString(), "aABč<&");
  EXPECT_EQ(t.FieldByName("DAN").AsDateTime(), Dt(2008, 3, 5));
  t.Next();
  EXPECT_TRUE(t.FieldByName("NAZIV").IsNull());
  EXPECT_TRUE(t.FieldByName("DAN").IsNull());
  t.Next();
  EXPECT_TRUE(t.FieldByName("ID").IsNull());
  EXPECT_EQ(t.FieldByName("NAZIV").AsString(), "single \"quoted\"");

  // No declaration and no ROWDATA: an open table without rows.
  TMemTable empty = LoadPacket(
      "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"X\" fieldtype=\"i4\"/>"
      "</FIELDS></METADATA></DATAPACKET>");
  EXPECT_TRUE(empty.Active());
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(PacketCodecTest, ReaderReadsTextPackets) {
  const std::string text =
      MakeRowPacket({"SID", "ZNESEK", "OPIS"}, {}, "SID=A1\r\nOPIS=prva|#druga", "", "ZNESEK;");
  TMemTable t = LoadPacket(text);
  ASSERT_EQ(t.RecordCount(), 1u);
  EXPECT_EQ(t.FieldByName("SID").AsString(), "A1");
  EXPECT_EQ(t.FieldByName("ZNESEK").Type(), TFieldType::kR8);
  EXPECT_TRUE(t.FieldByName("ZNESEK").IsNull());  // written as ZNESEK=""
  EXPECT_EQ(t.FieldByName("OPIS").AsString(), "prva\r\ndruga");
}

TEST(PacketCodecTest, EmptyTextGivesAClosedTable) {
  EXPECT_FALSE(LoadPacket("").Active());
  EXPECT_FALSE(LoadPacket(" \r\n").Active());
}

TEST(PacketCodecTest, ReaderRefusesWhatIsNotAGoodPacket) {
  const std::string fields = "<FIELD attrname=\"ID\" fieldtype=\"i4\"/>";
  auto row = [&](const std::string& field_lines, const std::string& attrs) {
    return Packet(field_lines, "<ROW " + attrs + "/>");
  };
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {"<?xml version=\"1.0\"?><!DOCTYPE DATAPACKET [<!ENTITY x \"y\">]><DATAPACKET/>",
       "A data packet must not contain a document type declaration"},
      {"<DATAPACKET><METADATA>",
       "Malformed data packet at line 1, column 22: Start-end tags mismatch"},
      {"<DATAPACKET>\n<METADATA></DATAPACKET>",
       "Malformed data packet at line 2, column 13: Start-end tags mismatch"},
      {"not xml", "Malformed data packet at line 1, column 7: No document element found"},
      {Packet(fields, "<ROW ID=\"1\"/>") + "\r\nx<!-- c -->\r\n",
       "Malformed data packet at line 2, column 1: text outside the root element"},
      {"x<DATAPACKET/>",
       "Malformed data packet at line 1, column 1: text outside the root element"},
      {"<?xml version=\"1.0\"?> <!-- c --> x <DATAPACKET/>",
       "Malformed data packet at line 1, column 34: text outside the root element"},
      {"<DATAPACKET/><DATAPACKET/>",
       "Malformed data packet at line 1, column 14: a second root element"},
      {"<?xml version=\"1.0\" encoding=\"windows-1250\"?><DATAPACKET/>",
       "Unsupported data packet encoding 'windows-1250'"},
      {"<ROWDATA/>", "The text is not a data packet (no DATAPACKET element)"},
      {"<DATAPACKET Version=\"2.0\"><ROWDATA/></DATAPACKET>",
       "The data packet has no field definitions (METADATA/FIELDS)"},
      {Packet("<FIELD fieldtype=\"i4\"/>", ""), "Field 1 of the data packet has no attrname"},
      {Packet("<FIELD attrname=\"X\" fieldtype=\"nested\"/>", ""),
       "Unknown type 'nested' of field 'X' in data packet"},
      {Packet("<FIELD attrname=\"X\" fieldtype=\"string\" WIDTH=\"-1\"/>", ""),
       "Invalid WIDTH '-1' of field 'X' in data packet"},
      {Packet(fields + "<FIELD attrname=\"id\" fieldtype=\"i4\"/>", ""),
       "Duplicate field name 'id'"},
      {row(fields, "ID=\"12a\""), "Invalid value '12a' of field 'ID' in row 1 of data packet"},
      {Packet(fields, "<ROW ID=\"1\"/><ROW ID=\"2147483648\"/>"),
       "Invalid value '2147483648' of field 'ID' in row 2 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"r8\"/>", "X=\"1,5\""),
       "Invalid value '1,5' of field 'X' in row 1 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"r8\"/>", "X=\"inf\""),
       "Invalid value 'inf' of field 'X' in row 1 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"fixed\"/>", "X=\"1e5\""),
       "Invalid value '1e5' of field 'X' in row 1 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"boolean\"/>", "X=\"1\""),
       "Invalid value '1' of field 'X' in row 1 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"date\"/>", "X=\"20080230\""),
       "Invalid value '20080230' of field 'X' in row 1 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"date\"/>", "X=\"2008-03-05\""),
       "Invalid value '2008-03-05' of field 'X' in row 1 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"time\"/>", "X=\"24:00:00000\""),
       "Invalid value '24:00:00000' of field 'X' in row 1 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"time\"/>", "X=\"14:02:60000\""),
       "Invalid value '14:02:60000' of field 'X' in row 1 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"dateTime\"/>", "X=\"20080305 14:02:11250\""),
       "Invalid value '20080305 14:02:11250' of field 'X' in row 1 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"bin.hex\" SUBTYPE=\"Binary\"/>", "X=\"QQ=x\""),
       "Invalid value 'QQ=x' of field 'X' in row 1 of data packet"},
      {row("<FIELD attrname=\"X\" fieldtype=\"bin.hex\" SUBTYPE=\"Text\"/>", "X=\"/w==\""),
       "Invalid value '/w==' of field 'X' in row 1 of data packet"},  // memo of byte FF
      {row("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "S=\"a&nbsp;b\""),
       "Invalid value 'a&nbsp;b' of field 'S' in row 1 of data packet"},
      {row("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "S=\"a & b\""),
       "Invalid value 'a & b' of field 'S' in row 1 of data packet"},
      {row("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "S=\"&#0;\""),
       "Invalid value '&#0;' of field 'S' in row 1 of data packet"},
      {row("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "S=\"&#xD800;\""),
       "Invalid value '&#xD800;' of field 'S' in row 1 of data packet"},
      {row("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "S=\"a<b\""),
       "Invalid value 'a<b' of field 'S' in row 1 of data packet"},
      {row("<FIELD attrname=\"S\" fieldtype=\"string\"/>", "S=\"" + std::string(100, 'x') + "&\""),
       "Invalid value 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...' of "
       "field 'S' in row 1 of data packet"},
      {Packet(fields, "<ROW ID=\"1\"/>\n<ROW ID=\"\xC3\x28\"/>"),
       "Invalid UTF-8 in data packet at line 2, column 10"},
      {"<DATAPACKET>\xED\xA0\x80</DATAPACKET>",
       "Invalid UTF-8 in data packet at line 1, column 13"},
      {"<DATAPACKET>\xC0\xAF</DATAPACKET>", "Invalid UTF-8 in data packet at line 1, column 13"},
      {std::string("<DATAPACKET>\0</DATAPACKET>", 26),
       "Invalid UTF-8 in data packet at line 1, column 13"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { LoadPacket(c.text); }), c.message) << c.text;
}

}  // namespace
}  // namespace zoras
