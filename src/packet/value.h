// Column types and cell values of the server's datasets: what a data packet carries and
// what an in-memory table holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/datetime.h"

namespace zoras {

// The column types of a data packet. kMemo and kBinary are both "bin.hex" in a packet and
// differ by SUBTYPE (Text or Binary).
enum class TFieldType : uint8_t {
  kString,
  kI1,
  kI2,
  kI4,
  kI8,
  kUI1,
  kUI2,
  kUI4,
  kR8,
  kFixed,
  kBoolean,
  kDate,
  kTime,
  kDateTime,
  kMemo,
  kBinary,
};

// The packet's fieldtype name: "string", "i4", "r8", "dateTime", "bin.hex", ...
std::string_view FieldTypeName(TFieldType type);
// Reads a fieldtype name (exact letter case) and, for "bin.hex", its SUBTYPE ("Text" is a
// memo, anything else binary). False for an unknown name.
bool ParseFieldType(std::string_view fieldtype, std::string_view subtype, TFieldType* type);
bool IsIntegerType(TFieldType type);

struct TFieldDef {
  std::string name;
  TFieldType type = TFieldType::kString;
  int width = 0;     // string: maximum length in characters; fixed: precision
  int decimals = 0;  // fixed: digits after the decimal point
  bool required = false;
  bool readonly = false;
};

// One cell: null or a value of one kind. Which kind a column stores follows from its type
// (StorageKind); conversions between kinds follow the server's regional settings.
class TValue {
 public:
  enum class Kind : uint8_t {
    kNull,
    kText,     // string, memo and binary columns (binary as raw bytes)
    kInteger,  // every integer column
    kFloat,    // r8
    kDecimal,  // fixed, kept exact as canonical text: "-1234.5", "0.25", "100"
    kBoolean,
    kDate,  // date columns: midnight of the day
    kTime,  // time columns: the time of day on the zero date
    kDateTime,
  };

  TValue() = default;  // null
  static TValue Text(std::string text);
  static TValue Integer(int64_t v);
  // Non-finite numbers are not values of a column; the conversion to a column refuses them.
  static TValue Float(double v);
  static TValue Boolean(bool v);
  static TValue Date(TDateTime d);  // keeps the date part only
  static TValue Time(TDateTime t);  // keeps the time of day only
  static TValue DateTime(TDateTime dt);
  // An exact decimal from "1234.5", "-0,25" (point or comma, no grouping, no exponent).
  // Throws EZoras "'%s' is not a valid floating point value" when it is not one.
  static TValue Decimal(std::string_view text);

  Kind kind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::kNull; }
  // The stored text of a kText or kDecimal value; empty for other kinds.
  const std::string& text() const { return text_; }

  // The display text in the regional settings: "05.03.2008", "14:02:11", "1234,5",
  // "True"; the empty text for null.
  std::string AsString() const;
  // The conversions below read null as 0, the zero date and false, as a dataset field
  // does. A value that cannot be read as the asked kind throws EZoras with the catalogue
  // message naming its text ("'abc' is not a valid integer value").
  int64_t AsInteger() const;  // floats and decimals are rounded
  double AsFloat() const;     // dates are days since the zero date with the time as fraction
  TDateTime AsDateTime() const;
  bool AsBoolean() const;

  friend bool operator==(const TValue& a, const TValue& b);
  friend bool TryParseDecimal(std::string_view text, TValue* out);

 private:
  Kind kind_ = Kind::kNull;
  union {
    int64_t int_ = 0;  // kInteger, kBoolean, and the milliseconds of the date kinds
    double float_;
  };
  std::string text_;
};

// The kind a column of the given type stores.
TValue::Kind StorageKind(TFieldType type);

// Converts a value for storage in a column: text is read in the regional forms (for r8
// and fixed a decimal comma, or a decimal point when there is no comma), empty text gives
// null in every column but string, memo and binary, integers are checked against the
// column's range. Throws EZoras with the catalogue message on a value that does not fit.
TValue ConvertToField(const TFieldDef& field, const TValue& value);

// True when `v` lies in the range of an integer column type (any value for i8 and for
// types that are not integers).
bool IntegerFits(TFieldType type, int64_t v);

// Reads an exact decimal ("-1234.5", "0,25": optional sign, digits, at most one point or
// comma) into a kDecimal value; false when the text is not one.
bool TryParseDecimal(std::string_view text, TValue* out);

// Reads a float typed by a user or sent by a client: the regional decimal comma, or a
// decimal point when the text has no comma. False when it is not a finite number.
bool TryParseClientFloat(std::string_view text, double* out);

}  // namespace zoras
