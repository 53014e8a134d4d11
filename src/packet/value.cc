#include "packet/value.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "base/errors.h"
#include "base/messages.h"
#include "base/regional.h"

namespace zoras {
namespace {

struct TTypeName {
  TFieldType type;
  std::string_view name;
};

constexpr TTypeName kTypeNames[] = {
    {TFieldType::kString, "string"},   {TFieldType::kI1, "i1"},
    {TFieldType::kI2, "i2"},           {TFieldType::kI4, "i4"},
    {TFieldType::kI8, "i8"},           {TFieldType::kUI1, "ui1"},
    {TFieldType::kUI2, "ui2"},         {TFieldType::kUI4, "ui4"},
    {TFieldType::kR8, "r8"},           {TFieldType::kFixed, "fixed"},
    {TFieldType::kBoolean, "boolean"}, {TFieldType::kDate, "date"},
    {TFieldType::kTime, "time"},       {TFieldType::kDateTime, "dateTime"},
    {TFieldType::kMemo, "bin.hex"},    {TFieldType::kBinary, "bin.hex"},
};

// Days of 1.1.0001 and 31.12.9999 from the zero date, the range TDateTime encodes.
constexpr int64_t kMinDays = -693593;
constexpr int64_t kMaxDays = 2958465;

[[noreturn]] void Fail(const TMessage& m, std::string_view arg) { throw EZoras(Msg(m, {arg})); }

std::string IntText(int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

bool EqualsPrefixIgnoreCase(std::string_view text, std::string_view word) {
  if (text.empty() || text.size() > word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return true;
}

// Canonical form of an exact decimal: no leading zeros, no trailing fraction zeros, no
// point without fraction, no negative zero. False when the text is not a plain decimal.
bool CanonicalDecimal(std::string_view text, std::string* out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t int_begin = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  std::string_view int_part = text.substr(int_begin, i - int_begin);
  std::string_view frac_part;
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    const size_t frac_begin = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    frac_part = text.substr(frac_begin, i - frac_begin);
  }
  if (i != text.size() || int_part.size() + frac_part.size() == 0) return false;
  while (int_part.size() > 1 && int_part.front() == '0') int_part.remove_prefix(1);
  while (!frac_part.empty() && frac_part.back() == '0') frac_part.remove_suffix(1);
  if (int_part.empty()) int_part = "0";
  out->clear();
  if (negative && !(int_part == "0" && frac_part.empty())) *out += '-';
  out->append(int_part);
  if (!frac_part.empty()) {
    *out += '.';
    out->append(frac_part);
  }
  return true;
}

// Rounds a canonical decimal half away from zero; false when it does not fit in 64 bits.
bool DecimalToInteger(const std::string& text, int64_t* out) {
  const bool negative = !text.empty() && text[0] == '-';
  const size_t begin = negative ? 1 : 0;
  const size_t point = text.find('.');
  const size_t end = point == std::string::npos ? text.size() : point;
  uint64_t magnitude = 0;
  auto r = std::from_chars(text.data() + begin, text.data() + end, magnitude);
  if (r.ec != std::errc()) return false;
  if (point != std::string::npos && text[point + 1] >= '5') ++magnitude;
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (magnitude > limit) return false;
  *out = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

bool FloatToInteger(double v, int64_t* out) {
  const double r = std::round(v);
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return false;
  *out = static_cast<int64_t>(r);
  return true;
}

bool DaysToDateTime(double days, TDateTime* out) {
  if (!(days >= kMinDays && days < kMaxDays + 1)) return false;
  *out = TDateTime::FromMs(std::llround(days * TDateTime::kMsPerDay));
  return true;
}

void IntegerBounds(TFieldType type, int64_t* lo, int64_t* hi) {
  switch (type) {
    case TFieldType::kI1:
      *lo = -128, *hi = 127;
      return;
    case TFieldType::kI2:
      *lo = -32768, *hi = 32767;
      return;
    case TFieldType::kI4:
      *lo = std::numeric_limits<int32_t>::min(), *hi = std::numeric_limits<int32_t>::max();
      return;
    case TFieldType::kUI1:
      *lo = 0, *hi = 255;
      return;
    case TFieldType::kUI2:
      *lo = 0, *hi = 65535;
      return;
    case TFieldType::kUI4:
      *lo = 0, *hi = std::numeric_limits<uint32_t>::max();
      return;
    default:
      *lo = std::numeric_limits<int64_t>::min(), *hi = std::numeric_limits<int64_t>::max();
  }
}

// The decimal text of a float rounded to `decimals` places.
std::string FloatToDecimalText(double v, int decimals) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed,
                         decimals < 0 ? 0 : (decimals > 30 ? 30 : decimals));
  std::string out;
  if (r.ec != std::errc() || !CanonicalDecimal(std::string_view(buf, r.ptr - buf), &out))
    Fail(msg::ecInvalidFloat, regional::FormatFloat(v));
  return out;
}

}  // namespace

std::string_view FieldTypeName(TFieldType type) {
  for (const auto& t : kTypeNames)
    if (t.type == type) return t.name;
  return "string";
}

bool ParseFieldType(std::string_view fieldtype, std::string_view subtype, TFieldType* type) {
  if (fieldtype == "bin.hex") {
    *type = subtype == "Text" ? TFieldType::kMemo : TFieldType::kBinary;
    return true;
  }
  for (const auto& t : kTypeNames) {
    if (t.name == fieldtype) {
      *type = t.type;
      return true;
    }
  }
  return false;
}

bool IsIntegerType(TFieldType type) { return StorageKind(type) == TValue::Kind::kInteger; }

TValue::Kind StorageKind(TFieldType type) {
  switch (type) {
    case TFieldType::kString:
    case TFieldType::kMemo:
    case TFieldType::kBinary:
      return TValue::Kind::kText;
    case TFieldType::kI1:
    case TFieldType::kI2:
    case TFieldType::kI4:
    case TFieldType::kI8:
    case TFieldType::kUI1:
    case TFieldType::kUI2:
    case TFieldType::kUI4:
      return TValue::Kind::kInteger;
    case TFieldType::kR8:
      return TValue::Kind::kFloat;
    case TFieldType::kFixed:
      return TValue::Kind::kDecimal;
    case TFieldType::kBoolean:
      return TValue::Kind::kBoolean;
    case TFieldType::kDate:
      return TValue::Kind::kDate;
    case TFieldType::kTime:
      return TValue::Kind::kTime;
    case TFieldType::kDateTime:
      return TValue::Kind::kDateTime;
  }
  return TValue::Kind::kText;
}

TValue TValue::Text(std::string text) {
  TValue v;
  v.kind_ = Kind::kText;
  v.text_ = std::move(text);
  return v;
}

TValue TValue::Integer(int64_t i) {
  TValue v;
  v.kind_ = Kind::kInteger;
  v.int_ = i;
  return v;
}

TValue TValue::Float(double f) {
  TValue v;
  v.kind_ = Kind::kFloat;
  v.float_ = f;
  return v;
}

TValue TValue::Boolean(bool b) {
  TValue v;
  v.kind_ = Kind::kBoolean;
  v.int_ = b ? 1 : 0;
  return v;
}

TValue TValue::Date(TDateTime d) {
  TValue v;
  v.kind_ = Kind::kDate;
  v.int_ = d.DatePart().Ms();
  return v;
}

TValue TValue::Time(TDateTime t) {
  TValue v;
  v.kind_ = Kind::kTime;
  v.int_ = t.MsOfDay();
  return v;
}

TValue TValue::DateTime(TDateTime dt) {
  TValue v;
  v.kind_ = Kind::kDateTime;
  v.int_ = dt.Ms();
  return v;
}

TValue TValue::Decimal(std::string_view text) {
  TValue v;
  if (!TryParseDecimal(text, &v)) Fail(msg::ecInvalidFloat, text);
  return v;
}

bool TryParseDecimal(std::string_view text, TValue* out) {
  std::string canonical;
  if (!CanonicalDecimal(text, &canonical)) return false;
  *out = TValue::Text(std::move(canonical));
  out->kind_ = TValue::Kind::kDecimal;
  return true;
}

std::string TValue::AsString() const {
  switch (kind_) {
    case Kind::kNull:
      return std::string();
    case Kind::kText:
      return text_;
    case Kind::kInteger:
      return IntText(int_);
    case Kind::kFloat:
      return regional::FormatFloat(float_);
    case Kind::kDecimal: {
      std::string s = text_;
      if (size_t p = s.find('.'); p != std::string::npos) s[p] = regional::kDecimalSeparator;
      return s;
    }
    case Kind::kBoolean:
      return int_ ? "True" : "False";
    case Kind::kDate:
      return regional::FormatDate(TDateTime::FromMs(int_));
    case Kind::kTime:
      return regional::FormatTime(TDateTime::FromMs(int_));
    case Kind::kDateTime:
      return regional::FormatDateTime(TDateTime::FromMs(int_));
  }
  return std::string();
}

int64_t TValue::AsInteger() const {
  int64_t out = 0;
  switch (kind_) {
    case Kind::kNull:
      return 0;
    case Kind::kText:
      if (!regional::TryParseInt(text_, &out)) Fail(msg::ecInvalidInteger, text_);
      return out;
    case Kind::kInteger:
    case Kind::kBoolean:
      return int_;
    case Kind::kFloat:
      if (!FloatToInteger(float_, &out)) Fail(msg::ecInvalidInteger, AsString());
      return out;
    case Kind::kDecimal:
      if (!DecimalToInteger(text_, &out)) Fail(msg::ecInvalidInteger, AsString());
      return out;
    case Kind::kDate:
    case Kind::kTime:
    case Kind::kDateTime:
      break;
  }
  Fail(msg::ecInvalidInteger, AsString());
}

double TValue::AsFloat() const {
  double out = 0;
  switch (kind_) {
    case Kind::kNull:
      return 0;
    case Kind::kText:
      if (!TryParseClientFloat(text_, &out)) Fail(msg::ecInvalidFloat, text_);
      return out;
    case Kind::kInteger:
    case Kind::kBoolean:
      return static_cast<double>(int_);
    case Kind::kFloat:
      return float_;
    case Kind::kDecimal:
      std::from_chars(text_.data(), text_.data() + text_.size(), out);
      return out;
    case Kind::kDate:
    case Kind::kTime:
    case Kind::kDateTime:
      return static_cast<double>(int_) / TDateTime::kMsPerDay;
  }
  return 0;
}

TDateTime TValue::AsDateTime() const {
  TDateTime out;
  switch (kind_) {
    case Kind::kNull:
      return TDateTime();
    case Kind::kText:
      if (regional::TryParseDateTime(text_, &out) || regional::TryParseTime(text_, &out))
        return out;
      Fail(msg::ecInvalidDateTime, text_);
    case Kind::kInteger:
    case Kind::kFloat:
    case Kind::kDecimal:
      if (!DaysToDateTime(AsFloat(), &out)) Fail(msg::ecInvalidDateTime, AsString());
      return out;
    case Kind::kBoolean:
      Fail(msg::ecInvalidDateTime, AsString());
    case Kind::kDate:
    case Kind::kTime:
    case Kind::kDateTime:
      return TDateTime::FromMs(int_);
  }
  return out;
}

bool TValue::AsBoolean() const {
  switch (kind_) {
    case Kind::kNull:
      return false;
    case Kind::kText:
      // As a boolean field reads text: any leading part of the words, in any letter case.
      if (EqualsPrefixIgnoreCase(text_, "true")) return true;
      if (EqualsPrefixIgnoreCase(text_, "false")) return false;
      Fail(msg::ecInvalidBoolean, text_);
    case Kind::kInteger:
    case Kind::kBoolean:
      return int_ != 0;
    case Kind::kFloat:
      return float_ != 0;
    case Kind::kDecimal:
      return text_ != "0";
    case Kind::kDate:
    case Kind::kTime:
    case Kind::kDateTime:
      break;
  }
  Fail(msg::ecInvalidBoolean, AsString());
}

bool operator==(const TValue& a, const TValue& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case TValue::Kind::kNull:
      return true;
    case TValue::Kind::kText:
    case TValue::Kind::kDecimal:
      return a.text_ == b.text_;
    case TValue::Kind::kFloat:
      return a.float_ == b.float_;
    default:
      return a.int_ == b.int_;
  }
}

bool TryParseClientFloat(std::string_view text, double* out) {
  if (text.find(regional::kDecimalSeparator) != std::string_view::npos ||
      text.find('.') == std::string_view::npos)
    return regional::TryParseFloat(text, out);
  std::string comma(text);
  for (char& c : comma)
    if (c == '.') c = regional::kDecimalSeparator;
  return regional::TryParseFloat(comma, out);
}

TValue ConvertToField(const TFieldDef& field, const TValue& value) {
  const TValue::Kind target = StorageKind(field.type);
  if (value.IsNull()) return TValue();
  const bool is_text = value.kind() == TValue::Kind::kText;
  if (target == TValue::Kind::kText) return is_text ? value : TValue::Text(value.AsString());
  if (is_text && value.text().empty()) return TValue();
  const std::string& text = value.text();
  switch (target) {
    case TValue::Kind::kInteger: {
      int64_t v = 0;
      if (is_text) {
        if (!regional::TryParseInt(text, &v)) Fail(msg::ecInvalidInteger, text);
      } else {
        v = value.AsInteger();
      }
      int64_t lo, hi;
      IntegerBounds(field.type, &lo, &hi);
      if (v < lo || v > hi)
        throw EZoras(
            Msg(msg::ecFieldRangeError, {IntText(v), field.name, IntText(lo), IntText(hi)}));
      return TValue::Integer(v);
    }
    case TValue::Kind::kFloat: {
      const double v = value.AsFloat();
      if (!std::isfinite(v)) Fail(msg::ecInvalidFloat, regional::FormatFloat(v));
      return TValue::Float(v);
    }
    case TValue::Kind::kDecimal:
      switch (value.kind()) {
        case TValue::Kind::kText:
        case TValue::Kind::kDecimal:
          return TValue::Decimal(text);
        case TValue::Kind::kInteger:
        case TValue::Kind::kBoolean:
          return TValue::Decimal(IntText(value.AsInteger()));
        default: {
          const double v = value.AsFloat();
          if (!std::isfinite(v)) Fail(msg::ecInvalidFloat, regional::FormatFloat(v));
          return TValue::Decimal(FloatToDecimalText(v, field.decimals));
        }
      }
    case TValue::Kind::kBoolean:
      return TValue::Boolean(value.AsBoolean());
    case TValue::Kind::kDate: {
      TDateTime d;
      if (!is_text) return TValue::Date(value.AsDateTime());
      if (!regional::TryParseDate(text, &d) && !regional::TryParseDateTime(text, &d))
        Fail(msg::ecInvalidDate, text);
      return TValue::Date(d);
    }
    case TValue::Kind::kTime: {
      TDateTime t;
      if (!is_text) return TValue::Time(value.AsDateTime());
      if (!regional::TryParseTime(text, &t)) Fail(msg::ecInvalidTime, text);
      return TValue::Time(t);
    }
    case TValue::Kind::kDateTime: {
      TDateTime dt;
      if (!is_text) return TValue::DateTime(value.AsDateTime());
      if (!regional::TryParseDateTime(text, &dt)) Fail(msg::ecInvalidDateTime, text);
      return TValue::DateTime(dt);
    }
    default:
      return value;
  }
}

bool IntegerFits(TFieldType type, int64_t v) {
  int64_t lo, hi;
  IntegerBounds(type, &lo, &hi);
  return v >= lo && v <= hi;
}

}  // namespace zoras
