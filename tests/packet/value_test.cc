#include "packet/value.h"

#include <gtest/gtest.h>

#include <cmath>

#include "packet/test_util.h"

namespace zoras {
namespace {

TDateTime Dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return TDateTime::Encode(y, mo, d, h, mi, s, ms);
}

TEST(ValueTest, AsStringUsesRegionalForms) {
  const struct {
    TValue value;
    const char* text;
  } cases[] = {
      {TValue(), ""},
      {TValue::Text("abc"), "abc"},
      {TValue::Integer(-42), "-42"},
      {TValue::Float(1234.5), "1234,5"},
      {TValue::Float(0.25), "0,25"},
      {TValue::Decimal("-1234.50"), "-1234,5"},
      {TValue::Boolean(true), "True"},
      {TValue::Boolean(false), "False"},
      {TValue::Date(Dt(2008, 3, 5, 10, 0)), "05.03.2008"},
      {TValue::Time(Dt(2008, 3, 5, 14, 2, 11, 250)), "14:02:11"},
      {TValue::DateTime(Dt(2008, 3, 5)), "05.03.2008"},
      {TValue::DateTime(Dt(2008, 3, 5, 14, 2, 11)), "05.03.2008 14:02:11"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.AsString(), c.text);
}

TEST(ValueTest, NullReadsAsZeroValues) {
  const TValue null;
  EXPECT_EQ(null.AsInteger(), 0);
  EXPECT_EQ(null.AsFloat(), 0);
  EXPECT_FALSE(null.AsBoolean());
  EXPECT_TRUE(null.AsDateTime().IsZero());
}

TEST(ValueTest, ReadingAcrossKinds) {
  EXPECT_EQ(TValue::Float(2.5).AsInteger(), 3);
  EXPECT_EQ(TValue::Float(-2.5).AsInteger(), -3);
  EXPECT_EQ(TValue::Decimal("-7.5").AsInteger(), -8);
  EXPECT_EQ(TValue::Decimal("12345678901234567.4").AsInteger(), 12345678901234567);
  EXPECT_EQ(TValue::Text("17").AsInteger(), 17);
  EXPECT_DOUBLE_EQ(TValue::Text("1,5").AsFloat(), 1.5);
  EXPECT_DOUBLE_EQ(TValue::Text("1.5").AsFloat(), 1.5);
  EXPECT_DOUBLE_EQ(TValue::DateTime(Dt(1899, 12, 31, 6)).AsFloat(), 1.25);
  EXPECT_EQ(TValue::Float(1.25).AsDateTime(), Dt(1899, 12, 31, 6));
  EXPECT_EQ(TValue::Text("05.03.2008 14:02").AsDateTime(), Dt(2008, 3, 5, 14, 2));
  EXPECT_TRUE(TValue::Text("t").AsBoolean());
  EXPECT_FALSE(TValue::Text("FALSE").AsBoolean());
  EXPECT_TRUE(TValue::Integer(2).AsBoolean());
}

TEST(ValueTest, UnreadableValuesNameTheirText) {
  EXPECT_EQ(ErrorOf([] { TValue::Text("12a").AsInteger(); }), "'12a' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { TValue::Text("1.234,5").AsFloat(); }),
            "'1.234,5' is not a valid floating point value");
  EXPECT_EQ(ErrorOf([] { TValue::Text("yes").AsBoolean(); }), "'yes' is not a valid boolean value");
  EXPECT_EQ(ErrorOf([] { TValue::Text("32.01.2008").AsDateTime(); }),
            "'32.01.2008' is not a valid date and time");
  EXPECT_EQ(ErrorOf([] { TValue::Date(Dt(2008, 3, 5)).AsInteger(); }),
            "'05.03.2008' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { TValue::Float(1e300).AsInteger(); }),
            "'1E300' is not a valid integer value");
  EXPECT_EQ(ErrorOf([] { TValue::Decimal("1e5"); }), "'1e5' is not a valid floating point value");
}

TEST(ValueTest, DecimalsAreKeptExactInCanonicalForm) {
  const struct {
    const char* in;
    const char* canonical;
  } cases[] = {
      {"0", "0"},         {"-0,00", "0"},
      {"007.500", "7.5"}, {",5", "0.5"},
      {"+12", "12"},      {"-1234567890123456789.987654321", "-1234567890123456789.987654321"},
  };
  for (const auto& c : cases) EXPECT_EQ(TValue::Decimal(c.in).text(), c.canonical) << c.in;
}

struct TConvertCase {
  TFieldType type;
  TValue in;
  TValue expected;
};

TEST(ValueTest, ConvertToFieldReadsRegionalText) {
  const TConvertCase cases[] = {
      {TFieldType::kR8, TValue::Text("1,5"), TValue::Float(1.5)},
      {TFieldType::kR8, TValue::Text("-1.5"), TValue::Float(-1.5)},
      {TFieldType::kR8, TValue::Integer(3), TValue::Float(3)},
      {TFieldType::kI4, TValue::Text("-42"), TValue::Integer(-42)},
      {TFieldType::kI4, TValue::Float(41.6), TValue::Integer(42)},
      {TFieldType::kI4, TValue::Text(""), TValue()},
      {TFieldType::kString, TValue::Text(""), TValue::Text("")},
      {TFieldType::kString, TValue::Float(1234.5), TValue::Text("1234,5")},
      {TFieldType::kString, TValue::Date(Dt(2008, 3, 5)), TValue::Text("05.03.2008")},
      {TFieldType::kFixed, TValue::Text("1234,50"), TValue::Decimal("1234.5")},
      {TFieldType::kFixed, TValue::Text("1234.50"), TValue::Decimal("1234.5")},
      {TFieldType::kBoolean, TValue::Text("true"), TValue::Boolean(true)},
      {TFieldType::kDate, TValue::Text("5.3.2008"), TValue::Date(Dt(2008, 3, 5))},
      {TFieldType::kDate, TValue::DateTime(Dt(2008, 3, 5, 10)), TValue::Date(Dt(2008, 3, 5))},
      {TFieldType::kTime, TValue::Text("14:02:11"), TValue::Time(Dt(1899, 12, 30, 14, 2, 11))},
      {TFieldType::kTime, TValue::DateTime(Dt(2008, 3, 5, 14, 2)),
       TValue::Time(Dt(1899, 12, 30, 14, 2))},
      {TFieldType::kDateTime, TValue::Text("05.03.2008 14:02:11"),
       TValue::DateTime(Dt(2008, 3, 5, 14, 2, 11))},
      {TFieldType::kDateTime, TValue::Text("05.03.2008"), TValue::DateTime(Dt(2008, 3, 5))},
  };
  for (const auto& c : cases) {
    TFieldDef f{"F", c.type};
    EXPECT_EQ(ConvertToField(f, c.in), c.expected)
        << FieldTypeName(c.type) << " from '" << c.in.AsString() << "'";
  }
}

TEST(ValueTest, ConvertToFieldRefusesWhatDoesNotFit) {
  const struct {
    const char* field;
    TFieldType type;
    TValue in;
    const char* message;
  } cases[] = {
      {"F", TFieldType::kI4, TValue::Text("1,5"), "'1,5' is not a valid integer value"},
      {"QTY", TFieldType::kI2, TValue::Text("40000"),
       "40000 is not a valid value for field 'QTY'. The allowed range is -32768 to 32767"},
      {"N", TFieldType::kUI1, TValue::Integer(-1),
       "-1 is not a valid value for field 'N'. The allowed range is 0 to 255"},
      {"F", TFieldType::kR8, TValue::Text("1.234,56"),
       "'1.234,56' is not a valid floating point value"},
      {"F", TFieldType::kR8, TValue::Float(NAN), "'NAN' is not a valid floating point value"},
      {"F", TFieldType::kDate, TValue::Text("31.02.2008"), "'31.02.2008' is not a valid date"},
      {"F", TFieldType::kTime, TValue::Text("25:00"), "'25:00' is not a valid time"},
      {"F", TFieldType::kDateTime, TValue::Text("05.03.2008 x"),
       "'05.03.2008 x' is not a valid date and time"},
      {"F", TFieldType::kBoolean, TValue::Text("D"), "'D' is not a valid boolean value"},
  };
  for (const auto& c : cases) {
    const TFieldDef field{c.field, c.type};
    EXPECT_EQ(ErrorOf([&] { ConvertToField(field, c.in); }), c.message) << c.in.AsString();
  }
}

TEST(ValueTest, FixedFromFloatRoundsToTheFieldsDecimals) {
  TFieldDef f{"F", TFieldType::kFixed, 18, 2};
  EXPECT_EQ(ConvertToField(f, TValue::Float(1234.567)).text(), "1234.57");
  EXPECT_EQ(ConvertToField(f, TValue::Float(-0.001)).text(), "0");
}

TEST(ValueTest, FieldTypeNames) {
  TFieldType t;
  ASSERT_TRUE(ParseFieldType("bin.hex", "Text", &t));
  EXPECT_EQ(t, TFieldType::kMemo);
  ASSERT_TRUE(ParseFieldType("bin.hex", "", &t));
  EXPECT_EQ(t, TFieldType::kBinary);
  ASSERT_TRUE(ParseFieldType("dateTime", "", &t));
  EXPECT_EQ(t, TFieldType::kDateTime);
  EXPECT_FALSE(ParseFieldType("datetime", "", &t));
  EXPECT_FALSE(ParseFieldType("nested", "", &t));
}

}  // namespace
}  // namespace zoras
