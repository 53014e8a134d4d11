#include "packet/text_packet.h"

#include <gtest/gtest.h>

#include "packet/test_util.h"

namespace zoras {
namespace {

const std::string kHead =
    "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
const std::string kMiddle = "</FIELDS><PARAMS/></METADATA><ROWDATA>";
const std::string kTail = "</ROWDATA></DATAPACKET>";

std::string Str(const std::string& name) {
  return "<FIELD attrname=\"" + name + "\" fieldtype=\"string\" WIDTH=\"255\"/>\r\n";
}
std::string R8(const std::string& name) {
  return "<FIELD attrname=\"" + name + "\" fieldtype=\"r8\"/>\r\n";
}

using Names = std::vector<std::string>;

TEST(TextPacketTest, MakeRowPacketBuildsTheExactLayout) {
  EXPECT_EQ(MakeRowPacket({"SID", "USR"}, {}, "SID=A1\r\nUSR=B2", "", ""),
            kHead +
                "<FIELD attrname=\"SID\" fieldtype=\"string\" WIDTH=\"255\"/>\r\n"
                "<FIELD attrname=\"USR\" fieldtype=\"string\" WIDTH=\"255\"/>\r\n" +
                kMiddle + "<ROW  SID=\"A1\" USR=\"B2\"/>\r\n" + kTail);
}

TEST(TextPacketTest, RowValues) {
  const struct {
    Names names;
    std::string values;
    std::string float_list;
    std::string fields;
    std::string row;
  } cases[] = {
      // A name missing from the list gives an empty attribute, not a missing one.
      {{"SID", "USR"}, "SID=A1", "", Str("SID") + Str("USR"), "<ROW  SID=\"A1\" USR=\"\"/>"},
      {{"ZNESEK"}, "ZNESEK=1.234,56", "ZNESEK;", R8("ZNESEK"), "<ROW  ZNESEK=\"1234.56\"/>"},
      {{"ZNESEK", "KOLICINA", "OPIS"},
       "ZNESEK=-0,5\r\nKOLICINA=\r\nOPIS=1.234,56",
       "ZNESEK;KOLICINA;",
       R8("ZNESEK") + R8("KOLICINA") + Str("OPIS"),
       "<ROW  ZNESEK=\"-0.5\" KOLICINA=\"\" OPIS=\"1.234,56\"/>"},
      // The mark is the name followed by ';' anywhere in the list.
      {{"ZNESEK"}, "ZNESEK=1,5", "XZNESEK;", R8("ZNESEK"), "<ROW  ZNESEK=\"1.5\"/>"},
      {{"ZNESEK"}, "ZNESEK=1,5", "ZNESEK", Str("ZNESEK"), "<ROW  ZNESEK=\"1,5\"/>"},
      {{"OPIS"}, "OPIS=prva|#druga", "", Str("OPIS"), "<ROW  OPIS=\"prva\r\ndruga\"/>"},
      // Lookup is exact first, else ignoring letter case; values are not escaped.
      {{"Sid"}, "SID=x\r\nSid=y", "", Str("Sid"), "<ROW  Sid=\"y\"/>"},
      {{"sid"}, "SID=x\nSid=y", "", Str("sid"), "<ROW  sid=\"x\"/>"},
      {{"A"}, "A=<&>=", "", Str("A"), "<ROW  A=\"<&>=\"/>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MakeRowPacket(c.names, {}, c.values, "", c.float_list),
              kHead + c.fields + kMiddle + c.row + "\r\n" + kTail)
        << c.values;
  }
}

TEST(TextPacketTest, OutputNamesPublishTheFieldsUnderOtherNames) {
  // Values come by the input names; float marks are those of the input names.
  EXPECT_EQ(
      MakeRowPacket({"IDPOG", "VRD"}, {"DepositoryId", "Value"}, "IDPOG=7\r\nVRD=1,5", "", "VRD;"),
      kHead + Str("DepositoryId") + R8("Value") + kMiddle +
          "<ROW  DepositoryId=\"7\" Value=\"1.5\"/>\r\n" + kTail);
  EXPECT_EQ(ErrorOf([] { MakeRowPacket({"A", "B"}, {"X"}, "A=1", "", ""); }), "INTERNAL ERROR !");
  EXPECT_EQ(ErrorOf([] {
              AddRowFields({"A"}, {"X", "Y"}, "A=1", "x</FIELDS>");
            }),
            "INTERNAL ERROR !");
}

TEST(TextPacketTest, AppendTextRowAddsRowsBeforeTheEndOfRowData) {
  const std::string one = MakeRowPacket({"SID"}, {}, "SID=A1", "", "");
  const std::string two = MakeRowPacket({"SID"}, {}, "SID=A2", one, "");
  EXPECT_EQ(two,
            kHead + Str("SID") + kMiddle + "<ROW  SID=\"A1\"/>\r\n<ROW  SID=\"A2\"/>\r\n" + kTail);
  // No names: unchanged, even an empty packet; a packet without </ROWDATA>: unchanged.
  EXPECT_EQ(MakeRowPacket({}, {}, "SID=A1", one, ""), one);
  EXPECT_EQ(MakeRowPacket({}, {}, "SID=A1", "", ""), "");
  EXPECT_EQ(MakeRowPacket({"SID"}, {}, "SID=A1", "<DATAPACKET/>", ""), "<DATAPACKET/>");
}

TEST(TextPacketTest, NewTextPacketAndWrapPacket) {
  EXPECT_EQ(NewTextPacket({}, ""), "");
  EXPECT_EQ(NewTextPacket({"SID", "ZNESEK"}, "ZNESEK;"),
            kHead + Str("SID") + R8("ZNESEK") + kMiddle + kTail);
  EXPECT_EQ(WrapPacket("RESPONSE", ""),
            "<BEGIN DATAPACKET=\"RESPONSE\"/><END DATAPACKET=\"RESPONSE\"/>");
  EXPECT_EQ(WrapPacket("NETPAKET", "<x/>"),
            "<BEGIN DATAPACKET=\"NETPAKET\"/><x/><END DATAPACKET=\"NETPAKET\"/>");
}

TEST(TextPacketTest, EscapeXmlAttr) {
  EXPECT_EQ(EscapeXmlAttr("a\"b&c<d>e'f\r\n\t\\"), "a&quot;b&amp;c&lt;d&gt;e'f\r\n\t\\");
  EXPECT_EQ(EscapeXmlAttr(std::string("ab\0<cd", 6)), "ab");
  EXPECT_EQ(EscapeXmlAttr(""), "");
  EXPECT_EQ(EscapeXmlAttr(std::string(1000, '"')).size(), 6000u);
}

TEST(TextPacketTest, LineBreakEncoding) {
  const struct {
    const char* plain;
    const char* encoded;
  } cases[] = {
      {"a\r\nb", "a|#b"}, {"a\rb\nc", "a|#b|#c"}, {"\n\r", "|#|#"},
      {"\r\r\n", "|#|#"}, {"abc", "abc"},         {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeLineBreaks(c.plain), c.encoded) << c.plain;
  EXPECT_EQ(DecodeLineBreaks("a|#b|#|#"), "a\r\nb\r\n\r\n");
  EXPECT_EQ(DecodeLineBreaks("||#|"), "|\r\n|");
  EXPECT_EQ(DecodeLineBreaks(EncodeLineBreaks("x\r\ny")), "x\r\ny");
}

TEST(TextPacketTest, AddTextColumnRebuildsEveryRow) {
  std::string p = MakeRowPacket({"SID"}, {}, "SID=A1", "", "");
  p = MakeRowPacket({"SID"}, {}, "SID=A2", p, "");
  EXPECT_EQ(AddTextColumn("OPIS", "prvi\r\ndrugi\r\ntretji", p),
            kHead + Str("SID") + Str("OPIS") + kMiddle +
                "<ROW  SID=\"A1\" OPIS=\"prvi\"/>\r\n<ROW  SID=\"A2\" OPIS=\"drugi\"/>\r\n" +
                kTail);
  // Trailing blanks before "/>" go; whatever stood between the rows is dropped.
  const std::string loose =
      kHead + Str("SID") + kMiddle + "\r\n  <ROW SID=\"A1\"   />  x  <ROW/>\r\n" + kTail;
  EXPECT_EQ(AddTextColumn("N", "1\n2\n", loose), kHead + Str("SID") + Str("N") + kMiddle +
                                                     "\r\n  <ROW SID=\"A1\" N=\"1\"/>\r\n" +
                                                     "<ROW N=\"2\"/>\r\n" + kTail);
  EXPECT_EQ(ErrorOf([&] { AddTextColumn("OPIS", "prvi", p); }), "List index out of bounds (1)");
  EXPECT_EQ(ErrorOf([&] { AddTextColumn("OPIS", "", p); }), "List index out of bounds (0)");
}

TEST(TextPacketTest, AddTextColumnWithoutRowsOrFields) {
  const std::string no_rows = NewTextPacket({"SID"}, "");
  EXPECT_EQ(AddTextColumn("OPIS", "", no_rows), kHead + Str("SID") + Str("OPIS") + kMiddle + kTail);
  EXPECT_EQ(AddTextColumn("", "x", no_rows), no_rows);
  EXPECT_EQ(AddTextColumn("OPIS", "x", "<DATAPACKET/>"), "<DATAPACKET/>");
}

TEST(TextPacketTest, AddRowFields) {
  const std::string one = MakeRowPacket({"SID"}, {}, "SID=A1", "", "");
  EXPECT_EQ(AddRowFields({"USR", "ORG"}, {}, "USR=janez\r\nORG=5|#6", one),
            kHead + Str("SID") + Str("USR") + Str("ORG") + kMiddle +
                "<ROW  SID=\"A1\" USR=\"janez\" ORG=\"5|#6\"/>\r\n" + kTail);
  EXPECT_EQ(
      AddRowFields({"USR"}, {"User"}, "USR=janez", one),
      kHead + Str("SID") + Str("User") + kMiddle + "<ROW  SID=\"A1\" User=\"janez\"/>\r\n" + kTail);
  // No row: only the fields.
  EXPECT_EQ(AddRowFields({"USR"}, {}, "USR=janez", NewTextPacket({"SID"}, "")),
            kHead + Str("SID") + Str("USR") + kMiddle + kTail);
  // Two rows: the values land on the last one, and the rows are kept.
  const std::string two = MakeRowPacket({"SID"}, {}, "SID=A2", one, "");
  EXPECT_EQ(AddRowFields({"USR"}, {}, "USR=janez", two),
            kHead + Str("SID") + Str("USR") + kMiddle +
                "<ROW  SID=\"A1\"/>\r\n<ROW  SID=\"A2\" USR=\"janez\"/>\r\n" + kTail);
  EXPECT_EQ(AddRowFields({}, {}, "USR=janez", one), one);
  EXPECT_EQ(AddRowFields({"USR"}, {}, "USR=janez", "<x/>"), "<x/>");
}

TEST(TextPacketTest, NameValueList) {
  TNameValueList list("A=1\r\nb=2\nnoequals\r\nC==3\r\nA=4\r\n");
  EXPECT_EQ(list.Count(), 5u);
  EXPECT_EQ(list.Value("A"), "1");
  EXPECT_EQ(list.Value("B"), "2");
  EXPECT_EQ(list.Value("C"), "=3");
  EXPECT_EQ(list.Value("noequals"), "");
  EXPECT_FALSE(list.Find("noequals"));
  EXPECT_EQ(list.Find("a"), "1");
  EXPECT_EQ(list.Name(2), "");
  list.Set("b", "20");
  list.Set("D", "5");
  EXPECT_EQ(list.Text(), "A=1\r\nb=20\r\nnoequals\r\nC==3\r\nA=4\r\nD=5\r\n");
  EXPECT_EQ(TNameValueList("").Count(), 0u);
  EXPECT_EQ(TNameValueList("\r\n").Count(), 1u);
  EXPECT_EQ(TNameValueList("X=a\rb").Value("X"), "a\rb");  // a bare CR does not split
}

}  // namespace
}  // namespace zoras
