#include "base/regional.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace zoras::regional {
namespace {

void Pad(std::string* out, int64_t v, int width) {
  char buf[24];
  int n = std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(v));
  out->append(buf, n);
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool ToInt(std::string_view s, int* out) {
  if (!AllDigits(s) || s.size() > 9) return false;
  *out = 0;
  for (char c : s) *out = *out * 10 + (c - '0');
  return true;
}

}  // namespace

std::string FormatDate(TDateTime d) {
  const TDateParts p = d.Decode();
  std::string s;
  s.reserve(10);
  Pad(&s, p.day, 2);
  s += kDateSeparator;
  Pad(&s, p.month, 2);
  s += kDateSeparator;
  Pad(&s, p.year, 4);
  return s;
}

std::string FormatTime(TDateTime t) {
  const TDateParts p = t.Decode();
  std::string s;
  s.reserve(8);
  Pad(&s, p.hour, 2);
  s += kTimeSeparator;
  Pad(&s, p.minute, 2);
  s += kTimeSeparator;
  Pad(&s, p.second, 2);
  return s;
}

std::string FormatTimestamp(TDateTime dt) { return FormatDate(dt) + ' ' + FormatTime(dt); }

std::string FormatDateTime(TDateTime dt) {
  if (dt.MsOfDay() == 0) return FormatDate(dt);
  return FormatTimestamp(dt);
}

std::string FormatDateTimePattern(std::string_view pattern, TDateTime dt) {
  const TDateParts p = dt.Decode();
  std::string out;
  bool after_hour = false;
  size_t i = 0;
  auto run = [&](char c) {
    size_t n = 0;
    while (i + n < pattern.size() && (pattern[i + n] | 0x20) == c) ++n;
    return n;
  };
  while (i < pattern.size()) {
    const char c = pattern[i];
    const char lc = static_cast<char>(c | 0x20);
    if (c == '"' || c == '\'') {
      size_t end = pattern.find(c, i + 1);
      if (end == std::string_view::npos) end = pattern.size();
      out.append(pattern.substr(i + 1, end - i - 1));
      i = end + 1;
      continue;
    }
    if (c == '/') {
      out += kDateSeparator;
      ++i;
      continue;
    }
    if (c == ':') {
      out += kTimeSeparator;
      ++i;
      continue;
    }
    if (lc == 'y' || lc == 'm' || lc == 'd' || lc == 'h' || lc == 'n' || lc == 's' || lc == 'z') {
      size_t n = run(lc);
      switch (lc) {
        case 'y':
          if (n <= 2)
            Pad(&out, p.year % 100, 2);
          else
            Pad(&out, p.year, 4);
          break;
        case 'm':
          Pad(&out, after_hour ? p.minute : p.month, n >= 2 ? 2 : 1);
          after_hour = false;
          break;
        case 'd':
          Pad(&out, p.day, n >= 2 ? 2 : 1);
          break;
        case 'h':
          Pad(&out, p.hour, n >= 2 ? 2 : 1);
          after_hour = true;
          i += n;
          continue;
        case 'n':
          Pad(&out, p.minute, n >= 2 ? 2 : 1);
          break;
        case 's':
          Pad(&out, p.second, n >= 2 ? 2 : 1);
          break;
        case 'z':
          Pad(&out, p.msec, n >= 3 ? 3 : 1);
          break;
      }
      if (lc != 'm') after_hour = false;
      i += n;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

std::string FormatFloat(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  // Fifteen significant digits: d.dddddddddddddde±x
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", v);
  std::string_view s(buf);
  std::string out;
  if (s.front() == '-') {
    out += '-';
    s.remove_prefix(1);
  }
  const size_t epos = s.find('e');
  std::string digits;
  for (char c : s.substr(0, epos))
    if (c != '.') digits += c;
  int exp = std::atoi(std::string(s.substr(epos + 1)).c_str());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  // After rounding, the value is 0.d1d2... * 10^(exp + 1).
  if (exp >= -5 && exp < 15) {
    if (exp < 0) {
      out += "0";
      out += kDecimalSeparator;
      out.append(static_cast<size_t>(-exp - 1), '0');
      out += digits;
    } else {
      const size_t int_digits = static_cast<size_t>(exp) + 1;
      if (digits.size() <= int_digits) {
        out += digits;
        out.append(int_digits - digits.size(), '0');
      } else {
        out += digits.substr(0, int_digits);
        out += kDecimalSeparator;
        out += digits.substr(int_digits);
      }
    }
    return out;
  }
  out += digits[0];
  if (digits.size() > 1) {
    out += kDecimalSeparator;
    out += digits.substr(1);
  }
  out += 'E';
  out += std::to_string(exp);
  return out;
}

bool TryParseFloat(std::string_view text, double* out) {
  // Validate the shape first; strtod would also accept blanks, hex and "inf".
  size_t i = 0;
  std::string canon;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) canon += text[i++];
  size_t int_digits = 0, frac_digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') canon += text[i++], ++int_digits;
  if (i < text.size() && text[i] == kDecimalSeparator) {
    canon += '.';
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') canon += text[i++], ++frac_digits;
  }
  if (int_digits + frac_digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    canon += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) canon += text[i++];
    size_t exp_digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') canon += text[i++], ++exp_digits;
    if (exp_digits == 0) return false;
  }
  if (i != text.size()) return false;
  const char* b = canon.data() + (canon[0] == '+' ? 1 : 0);
  double v = 0;
  auto [p, ec] = std::from_chars(b, canon.data() + canon.size(), v);
  if (ec != std::errc() || p != canon.data() + canon.size() || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool TryParseInt(std::string_view text, int64_t* out) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  int64_t v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size()) return false;
  *out = v;
  return true;
}

bool TryParseDate(std::string_view text, TDateTime* out) {
  const size_t a = text.find(kDateSeparator);
  if (a == std::string_view::npos) return false;
  const size_t b = text.find(kDateSeparator, a + 1);
  if (b == std::string_view::npos) return false;
  int d, m, y;
  std::string_view ys = text.substr(b + 1);
  if (!ys.empty() && ys.back() == kDateSeparator) ys.remove_suffix(1);
  if (a > 2 || b - a - 1 > 2 || ys.size() > 4 || !ToInt(text.substr(0, a), &d) ||
      !ToInt(text.substr(a + 1, b - a - 1), &m) || !ToInt(ys, &y))
    return false;
  if (ys.size() <= 2) y += 2000;
  auto dt = TDateTime::TryEncodeDate(y, m, d);
  if (!dt) return false;
  *out = *dt;
  return true;
}

bool TryParseTime(std::string_view text, TDateTime* out) {
  int parts[3] = {0, 0, 0};
  int msec = 0;
  size_t n = 0;
  while (true) {
    size_t end = text.find(kTimeSeparator);
    std::string_view piece = text.substr(0, end);
    if (n == 2) {
      size_t dot = piece.find_first_of(".,");
      if (dot != std::string_view::npos) {
        std::string_view ms = piece.substr(dot + 1);
        if (ms.size() > 3 || !ToInt(ms, &msec)) return false;
        for (size_t k = ms.size(); k < 3; ++k) msec *= 10;
        piece = piece.substr(0, dot);
      }
    }
    if (piece.size() > 2 || !ToInt(piece, &parts[n])) return false;
    ++n;
    if (end == std::string_view::npos) break;
    if (n == 3) return false;
    text.remove_prefix(end + 1);
  }
  if (n < 2) return false;
  auto t = TDateTime::TryEncodeTime(parts[0], parts[1], parts[2], msec);
  if (!t) return false;
  *out = *t;
  return true;
}

bool TryParseDateTime(std::string_view text, TDateTime* out) {
  const size_t sp = text.find(' ');
  TDateTime d;
  if (!TryParseDate(text.substr(0, sp), &d)) return false;
  if (sp == std::string_view::npos) {
    *out = d;
    return true;
  }
  TDateTime t;
  if (!TryParseTime(text.substr(sp + 1), &t)) return false;
  *out = d.AddMs(t.MsOfDay());
  return true;
}

}  // namespace zoras::regional
