#include "packet/packet_writer.h"

#include <array>
#include <charconv>
#include <cmath>

#include "packet/base64.h"
#include "packet/packet_format.h"

namespace zoras {
namespace {

using packet_format::kHead;
using packet_format::kMiddle;
using packet_format::kTail;

// Index into kEscapes for each byte; 0 for a byte written as it is.
constexpr std::string_view kEscapes[] = {"",       "&lt;",   "&gt;",   "&amp;",  "&apos;",
                                         "&quot;", "&#013;", "&#010;", "&#009;", "&#092;"};
constexpr std::array<uint8_t, 256> MakeEscapeIndex() {
  std::array<uint8_t, 256> t{};
  t['<'] = 1, t['>'] = 2, t['&'] = 3, t['\''] = 4, t['"'] = 5;
  t['\r'] = 6, t['\n'] = 7, t['\t'] = 8, t['\\'] = 9;
  return t;
}
constexpr std::array<uint8_t, 256> kEscapeIndex = MakeEscapeIndex();

void AppendEscaped(std::string& out, std::string_view s) {
  const char* run = s.data();
  const char* const end = s.data() + s.size();
  for (const char* p = run; p < end; ++p) {
    const uint8_t e = kEscapeIndex[static_cast<unsigned char>(*p)];
    if (e == 0) continue;
    out.append(run, static_cast<size_t>(p - run));
    out.append(kEscapes[e]);
    run = p + 1;
  }
  out.append(run, static_cast<size_t>(end - run));
}

void AppendInt(std::string& out, int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, static_cast<size_t>(r.ptr - buf));
}

void AppendFloat(std::string& out, double v) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 16);
  out.append(buf, static_cast<size_t>(r.ptr - buf));
}

// Writes `v` as exactly `width` digits (v is within range).
void PutDigits(char* p, int v, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
}

void AppendDate(std::string& out, const TDateParts& d) {
  if (d.year < 0 || d.year > 9999) {
    // Outside what TDateTime encodes; written plainly so that the reader refuses it.
    AppendInt(out, d.year);
    char buf[4];
    PutDigits(buf, d.month, 2);
    PutDigits(buf + 2, d.day, 2);
    out.append(buf, 4);
    return;
  }
  char buf[8];
  PutDigits(buf, d.year, 4);
  PutDigits(buf + 4, d.month, 2);
  PutDigits(buf + 6, d.day, 2);
  out.append(buf, 8);
}

// HH:MM:SSsss, the last field being seconds * 1000 + milliseconds.
void AppendTime(std::string& out, const TDateParts& t) {
  char buf[11];
  PutDigits(buf, t.hour, 2);
  buf[2] = ':';
  PutDigits(buf + 3, t.minute, 2);
  buf[5] = ':';
  PutDigits(buf + 6, t.second * 1000 + t.msec, 5);
  out.append(buf, 11);
}

void AppendFieldLine(std::string& out, const TFieldDef& f) {
  out += "<FIELD attrname=\"";
  AppendEscaped(out, f.name);
  out += "\" fieldtype=\"";
  out += FieldTypeName(f.type);
  out += '"';
  if ((f.type == TFieldType::kString || f.type == TFieldType::kFixed) && f.width > 0) {
    out += " WIDTH=\"";
    AppendInt(out, f.width);
    out += '"';
  }
  if (f.type == TFieldType::kFixed) {
    out += " DECIMALS=\"";
    AppendInt(out, f.decimals);
    out += '"';
  }
  if (f.type == TFieldType::kMemo) out += " SUBTYPE=\"Text\"";
  if (f.type == TFieldType::kBinary) out += " SUBTYPE=\"Binary\"";
  if (f.required) out += " required=\"true\"";
  if (f.readonly) out += " readonly=\"true\"";
  out += "/>";
}

void AppendValue(std::string& out, TFieldType type, const TValue& v) {
  switch (type) {
    case TFieldType::kString:
      AppendEscaped(out, v.text());
      return;
    case TFieldType::kI1:
    case TFieldType::kI2:
    case TFieldType::kI4:
    case TFieldType::kI8:
    case TFieldType::kUI1:
    case TFieldType::kUI2:
    case TFieldType::kUI4:
      AppendInt(out, v.AsInteger());
      return;
    case TFieldType::kR8:
      AppendFloat(out, v.AsFloat());
      return;
    case TFieldType::kFixed:
      out += v.text();
      return;
    case TFieldType::kBoolean:
      out += v.AsBoolean() ? "TRUE" : "FALSE";
      return;
    case TFieldType::kDate:
      AppendDate(out, v.AsDateTime().Decode());
      return;
    case TFieldType::kTime:
      AppendTime(out, v.AsDateTime().Decode());
      return;
    case TFieldType::kDateTime: {
      const TDateTime dt = v.AsDateTime();
      const TDateParts parts = dt.Decode();
      AppendDate(out, parts);
      if (dt.MsOfDay() != 0) {
        out += 'T';
        AppendTime(out, parts);
      }
      return;
    }
    case TFieldType::kMemo:
    case TFieldType::kBinary:
      AppendBase64(out, v.text());
      return;
  }
}

// A value the row can carry: the column's kind (every table keeps that) and, for floats,
// a finite number, which is all the r8 form can express.
bool Writable(TFieldType type, const TValue& v) {
  if (v.IsNull() || v.kind() != StorageKind(type)) return false;
  return type != TFieldType::kR8 || std::isfinite(v.AsFloat());
}

}  // namespace

std::string DataSetToPacket(const TMemTable& table, int row_limit) {
  const std::vector<TFieldDef>& fields = table.FieldDefs();
  std::string out;
  out.reserve(1024 + 64 * fields.size());
  out += kHead;
  std::vector<std::string> prefixes;  // ` NAME="` of each column
  prefixes.reserve(fields.size());
  for (const TFieldDef& f : fields) {
    AppendFieldLine(out, f);
    std::string p = " ";
    AppendEscaped(p, f.name);
    p += "=\"";
    prefixes.push_back(std::move(p));
  }
  out += kMiddle;

  if (table.Active() && !table.Eof()) {
    const size_t rows = table.StoredRowCount();
    size_t written = 0;
    for (size_t r = table.CurrentStoredRow(); r < rows; ++r) {
      if (row_limit >= 0 && written >= static_cast<size_t>(row_limit)) break;
      if (!table.Passes(r)) continue;
      const size_t row_start = out.size();
      const std::vector<TValue>& row = table.StoredRow(r);
      out += "<ROW";
      for (size_t c = 0; c < fields.size(); ++c) {
        if (!Writable(fields[c].type, row[c])) continue;
        out += prefixes[c];
        AppendValue(out, fields[c].type, row[c]);
        out += '"';
      }
      out += "/>";
      if (written++ == 0) {
        // Size the whole text from the first row instead of growing it step by step.
        size_t left = rows - r;
        if (row_limit >= 0 && static_cast<size_t>(row_limit) < left) left = row_limit;
        out.reserve(out.size() + (out.size() - row_start) * 5 / 4 * left + kTail.size());
      }
    }
  }
  out += kTail;
  return out;
}

}  // namespace zoras
