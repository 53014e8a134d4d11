// Mutated inputs for every parser and patcher of the packet codec: each call either
// succeeds or throws EZoras; under the sanitizer build nothing may read out of bounds.
#include <gtest/gtest.h>

#include <random>

#include "base/errors.h"
#include "packet/filter.h"
#include "packet/multi_packet.h"
#include "packet/packet_reader.h"
#include "packet/packet_writer.h"
#include "packet/text_packet.h"

namespace zoras {
namespace {

constexpr int kRounds = 1500;

// Flips, drops, duplicates and inserts bytes, favouring the characters the formats use.
std::string Mutate(std::string s, std::mt19937& rng) {
  static const char kSpecial[] = "<>&;'\"=/()#|\r\n\\ ,.-0123456789eE\x80\xC3\xED\xFF";
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int e = 0; e < edits; ++e) {
    const size_t pos = s.empty() ? 0 : rng() % (s.size() + 1);
    const char c = rng() % 2 ? kSpecial[rng() % (sizeof kSpecial - 1)] : static_cast<char>(rng());
    switch (rng() % 4) {
      case 0:
        if (pos < s.size()) s[pos] = c;
        break;
      case 1:
        if (pos < s.size()) s.erase(pos, 1 + rng() % 8);
        break;
      case 2:
        s.insert(pos, 1, c);
        break;
      default:
        s.resize(pos);
    }
  }
  return s;
}

template <typename F>
void Survives(const std::string& seed, F f) {
  std::mt19937 rng(12345);
  for (int i = 0; i < kRounds; ++i) {
    const std::string input = Mutate(seed, rng);
    try {
      f(input);
    } catch (const EZoras&) {
    }
  }
}

std::string SamplePacket() {
  TMemTable t;
  t.AddField({"ID", TFieldType::kI4});
  t.AddField({"NAZIV", TFieldType::kString, 20});
  t.AddField({"ZNESEK", TFieldType::kR8});
  t.AddField({"DAN", TFieldType::kDateTime});
  t.AddField({"VRD", TFieldType::kFixed, 10, 2});
  t.AddField({"OPIS", TFieldType::kMemo});
  t.Open();
  t.AppendRow({TValue::Integer(1), TValue::Text("a<&>\"'\r\n"), TValue::Float(1.5e-7),
               TValue::DateTime(TDateTime::Encode(2008, 3, 5, 14, 2, 11, 250)),
               TValue::Decimal("12.5"), TValue::Text("memo")});
  t.First();
  return DataSetToPacket(t, -1);
}

TEST(RobustnessTest, Reader) {
  Survives(SamplePacket(), [](const std::string& s) {
    TMemTable t = LoadPacket(s);
    if (t.Active()) DataSetToPacket(t, -1);
  });
}

TEST(RobustnessTest, Filter) {
  TMemTable t;
  t.AddField({"A", TFieldType::kI4});
  t.AddField({"B", TFieldType::kString, 5});
  t.AddField({"D", TFieldType::kDate});
  t.Open();
  t.AppendRow({TValue::Integer(1), TValue::Text("x"), TValue::Date(TDateTime::Encode(2008, 3, 5))});
  Survives("(A = 1 OR B <> 'x''y') AND NOT D >= '05.03.2008' AND B IN ('N', 'P') AND A IS NOT NULL",
           [&](const std::string& s) {
             TFilterExpr e = TFilterExpr::Parse(s);
             e.Bind(t.FieldDefs());
             e.Matches(t.StoredRow(0));
           });
}

TEST(RobustnessTest, MultiPacketAndPatchers) {
  const std::string packet = MakeRowPacket({"SID", "USR"}, {}, "SID=A1\r\nUSR=B2", "", "");
  Survives(WrapPacket("A", packet) + WrapPacket("B", ""),
           [](const std::string& s) { TMultiPacket::Parse(s); });
  Survives(packet, [](const std::string& s) {
    AddTextColumn("X", "1\r\n2", s);
    AddRowFields({"X"}, {}, "X=1", s);
    MakeRowPacket({"SID"}, {}, "SID=1", s, "");
  });
}

}  // namespace
}  // namespace zoras
