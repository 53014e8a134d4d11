#include "packet/portal_xml.h"

#include <gtest/gtest.h>

namespace zoras {
namespace {

TEST(PortalXmlTest, Writers) {
  EXPECT_EQ(XmlTextElement("Name", "a<b & \"c\" 'd'", false),
            "<Name>a&lt;b &amp; &quot;c&quot; 'd'</Name>");
  EXPECT_EQ(XmlTextElement("Name", "", false), "");
  EXPECT_EQ(XmlTextElement("Name", "", true), "<Name></Name>");
  EXPECT_EQ(XmlNumberElement("Amount", "1234,5", false), "<Amount>1234.5</Amount>");
  EXPECT_EQ(XmlNumberElement("Amount", "1,2,3", false), "<Amount>1.2,3</Amount>");
  EXPECT_EQ(XmlNumberElement("Amount", "", true), "<Amount>0</Amount>");
  EXPECT_EQ(XmlNumberElement("Amount", "", false), "<Amount></Amount>");
  EXPECT_EQ(XmlOptionalNumberElement("Id", "12,5"), "<Id>12.5</Id>");
  EXPECT_EQ(XmlOptionalNumberElement("Id", ""), "<Id/>");
  const TDateTime d = TDateTime::Encode(2008, 3, 5, 14, 2, 11);
  EXPECT_EQ(XmlDateElement("Date", "yyyy-mm-dd", d, false), "<Date>2008-03-05</Date>");
  EXPECT_EQ(XmlDateElement("Date", "yyyy-mm-dd hh:nn:ss", d, false),
            "<Date>2008-03-05 14:02:11</Date>");
  EXPECT_EQ(XmlDateElement("Date", "yyyy-mm-dd", TDateTime(), false), "");
  EXPECT_EQ(XmlDateElement("Date", "yyyy-mm-dd", TDateTime(), true), "<Date></Date>");
}

class PortalReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        doc_.load_string("<R><Text>Žiga &amp; co</Text><Empty/><Int>-42</Int><Bad>4x</Bad>"
                         "<Comma>12,5</Comma><Point>12.5</Point><Date>2008-03-05T10:00:00</Date>"
                         "<Short>2008-3-5</Short><Feb>2008-02-30</Feb>"
                         "<T>true</T><F>false</F><TT>True</TT><V>EUR</V><V/><V>it's</V><V>USD</V>"
                         "<Int>7</Int></R>"));
    r_ = doc_.child("R");
  }
  pugi::xml_document doc_;
  pugi::xml_node r_;
};

TEST_F(PortalReaderTest, TextAndNumbers) {
  EXPECT_EQ(GetChildText(r_, "Text", "d"), "Žiga & co");
  EXPECT_EQ(GetChildText(r_, "Empty", "d"), "");
  EXPECT_EQ(GetChildText(r_, "Missing", "d"), "d");
  EXPECT_EQ(GetChildText(r_, "", "d"), "d");
  EXPECT_EQ(GetChildText(r_, "text", "d"), "d");  // names are exact
  EXPECT_EQ(GetChildInt(r_, "Int", 0), -42);      // the first child counts
  EXPECT_EQ(GetChildInt(r_, "Bad", 5), 5);
  EXPECT_EQ(GetChildInt(r_, "Empty", 5), 5);
  EXPECT_EQ(GetChildFloat(r_, "Comma", 0), 12.5);
  EXPECT_EQ(GetChildFloat(r_, "Point", -1), -1);  // a point is not the decimal separator
}

TEST_F(PortalReaderTest, DatesFlagsAndLists) {
  const TDateTime def = TDateTime::Encode(2000, 1, 1);
  EXPECT_EQ(GetChildDate(r_, "Date", def), TDateTime::Encode(2008, 3, 5));
  EXPECT_EQ(GetChildDate(r_, "Short", def), def);
  EXPECT_EQ(GetChildDate(r_, "Feb", def), def);
  EXPECT_EQ(GetChildDate(r_, "Empty", def), def);
  EXPECT_EQ(GetChildDate(r_, "Missing", def), def);
  EXPECT_TRUE(GetChildBool(r_, "T", false));
  EXPECT_FALSE(GetChildBool(r_, "F", true));
  EXPECT_TRUE(GetChildBool(r_, "TT", true));  // "True" is neither word: the default
  EXPECT_FALSE(GetChildBool(r_, "TT", false));
  EXPECT_FALSE(GetChildBool(r_, "Missing", false));
  EXPECT_EQ(GetChildValueList(r_, "V", "d"), "'EUR','it''s','USD'");
  EXPECT_EQ(GetChildValueList(r_, "Empty", "d"), "d");
  EXPECT_EQ(GetChildValueList(r_, "Missing", ""), "");
  EXPECT_TRUE(IsInList("EUR", {"USD", "EUR"}));
  EXPECT_FALSE(IsInList("eur", {"USD", "EUR"}));
  EXPECT_FALSE(IsInList("", std::vector<std::string>{}));
}

}  // namespace
}  // namespace zoras
