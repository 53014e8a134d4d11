#include "packet/multi_packet.h"

#include <gtest/gtest.h>

#include "packet/test_util.h"
#include "packet/text_packet.h"

namespace zoras {
namespace {

TEST(MultiPacketTest, SplitsEntriesInOrder) {
  const std::string a = NewTextPacket({"SID"}, "");
  const std::string b = MakeRowPacket({"PAGES"}, {}, "PAGES=3", "", "");
  const TMultiPacket m = TMultiPacket::Parse(WrapPacket("NETPAKET", a) + WrapPacket("RESPONSE", b) +
                                             WrapPacket("EMPTY", "") + "\r\n");
  ASSERT_EQ(m.Count(), 3u);
  EXPECT_EQ(m.Entries()[0].name, "NETPAKET");
  EXPECT_EQ(m.Entries()[0].packet, a);
  EXPECT_EQ(m.Entries()[1].name, "RESPONSE");
  EXPECT_EQ(m.Packet("RESPONSE"), b);
  EXPECT_EQ(m.Packet("EMPTY"), "");
  EXPECT_TRUE(m.Has("EMPTY"));
  EXPECT_FALSE(m.Has("response"));
  EXPECT_EQ(ErrorOf([&] { m.Packet("REVISION"); }), "Packet 'REVISION' not found");
  EXPECT_EQ(TMultiPacket::Parse("").Count(), 0u);
}

TEST(MultiPacketTest, RefusesTextThatIsNotAMultiPacket) {
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {"<END DATAPACKET=\"A\"/>", "Invalid multi-packet text at offset 0: begin marker expected"},
      {"<BEGIN DATAPACKET=\"A\"/>x<END DATAPACKET=\"B\"/>",
       "Invalid multi-packet text at offset 24: end marker 'B' does not match packet 'A'"},
      {"<BEGIN DATAPACKET=\"A\"/>x",
       "Invalid multi-packet text at offset 0: end marker of packet 'A' missing"},
      {"<BEGIN DATAPACKET=\"A\"/>x<END DATAPACKET=\"A\"",
       "Invalid multi-packet text at offset 24: end marker of packet 'A' missing"},
      {WrapPacket("A", "x") + "garbage",
       "Invalid multi-packet text at offset 45: begin marker expected"},
      {"<?xml version=\"1.0\"?>" + WrapPacket("A", "x"),
       "Invalid multi-packet text at offset 0: begin marker expected"},
      {"<BEGIN DATAPACKET=\"A\">x<END DATAPACKET=\"A\"/>",
       "Invalid multi-packet text at offset 0: begin marker expected"},
      // A second packet opened inside the first.
      {"<BEGIN DATAPACKET=\"A\"/>" + WrapPacket("B", "x") + "<END DATAPACKET=\"A\"/>",
       "Invalid multi-packet text at offset 47: end marker 'B' does not match packet 'A'"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ErrorOf([&] { TMultiPacket::Parse(c.text); }), c.message) << c.text;
}

}  // namespace
}  // namespace zoras
