#include "db/sql_params.h"

#include "base/ascii.h"
#include "base/messages.h"

namespace zoras {

TSqlParams::TSqlParams(std::initializer_list<std::pair<std::string, TValue>> values) {
  for (const auto& [name, value] : values) Set(name, value);
}

TSqlParams& TSqlParams::Set(std::string_view name, TValue value) {
  for (auto& [n, v] : values_) {
    if (EqualsIgnoreCase(n, name)) {
      v = std::move(value);
      return *this;
    }
  }
  values_.emplace_back(std::string(name), std::move(value));
  return *this;
}

const TValue* TSqlParams::Find(std::string_view name) const {
  for (const auto& [n, v] : values_)
    if (EqualsIgnoreCase(n, name)) return &v;
  return nullptr;
}

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool IsWordStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordChar(char c) { return IsWordStart(c) || (c >= '0' && c <= '9') || c == '$'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// End of a literal quoted with `q` starting at `i` (the opening quote); a doubled quote
// stays inside.
size_t QuotedEnd(std::string_view s, size_t i, char q) {
  for (size_t j = i + 1; j < s.size(); ++j) {
    if (s[j] != q) continue;
    if (j + 1 < s.size() && s[j + 1] == q) {
      ++j;
      continue;
    }
    return j + 1;
  }
  return s.size();
}

// A $tag$ opener at `i`: its length, or 0 when `i` does not start one.
size_t DollarTagLength(std::string_view s, size_t i) {
  size_t j = i + 1;
  if (j < s.size() && IsWordStart(s[j]) && static_cast<unsigned char>(s[j]) < 0x80) {
    while (j < s.size() && IsNameChar(s[j])) ++j;
  }
  return j < s.size() && s[j] == '$' ? j + 1 - i : 0;
}

}  // namespace

bool IsWord(const TSqlToken& t, std::string_view word) {
  return t.kind == TSqlTokenKind::kWord && EqualsIgnoreCase(t.text, word);
}

std::vector<TSqlToken> LexSql(std::string_view s) {
  std::vector<TSqlToken> out;
  size_t i = 0;
  auto emit = [&](TSqlTokenKind kind, size_t end) {
    out.push_back({kind, s.substr(i, end - i)});
    i = end;
  };
  while (i < s.size()) {
    const char c = s[i];
    const char next = i + 1 < s.size() ? s[i + 1] : '\0';
    if (IsSpace(c)) {
      size_t j = i;
      while (j < s.size() && IsSpace(s[j])) ++j;
      emit(TSqlTokenKind::kSpace, j);
    } else if (c == '-' && next == '-') {
      const size_t nl = s.find('\n', i);
      emit(TSqlTokenKind::kComment, nl == std::string_view::npos ? s.size() : nl);
    } else if (c == '/' && next == '*') {
      const size_t close = s.find("*/", i + 2);
      emit(TSqlTokenKind::kComment, close == std::string_view::npos ? s.size() : close + 2);
    } else if (c == '\'') {
      emit(TSqlTokenKind::kString, QuotedEnd(s, i, '\''));
    } else if (c == '"') {
      emit(TSqlTokenKind::kQuotedName, QuotedEnd(s, i, '"'));
    } else if (c == '$' && DollarTagLength(s, i) > 0) {
      const size_t tag_len = DollarTagLength(s, i);
      const size_t close = s.find(s.substr(i, tag_len), i + tag_len);
      emit(TSqlTokenKind::kString, close == std::string_view::npos ? s.size() : close + tag_len);
    } else if (IsDigit(c) || (c == '.' && IsDigit(next))) {
      size_t j = i;
      while (j < s.size() && IsDigit(s[j])) ++j;
      if (j < s.size() && s[j] == '.') {
        ++j;
        while (j < s.size() && IsDigit(s[j])) ++j;
      }
      if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
        size_t k = j + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && IsDigit(s[k])) {
          while (k < s.size() && IsDigit(s[k])) ++k;
          j = k;
        }
      }
      emit(TSqlTokenKind::kNumber, j);
    } else if (IsWordStart(c)) {
      size_t j = i;
      while (j < s.size() && IsWordChar(s[j])) ++j;
      emit(TSqlTokenKind::kWord, j);
    } else if (c == ':' && next == ':') {
      emit(TSqlTokenKind::kPunct, i + 2);
    } else if (c == ':' && IsNameChar(next)) {
      size_t j = i + 1;
      while (j < s.size() && IsNameChar(s[j])) ++j;
      emit(TSqlTokenKind::kParam, j);
    } else {
      emit(TSqlTokenKind::kPunct, i + 1);
    }
  }
  return out;
}

TPositionalSql ToPositional(std::string_view sql, TPlaceholderStyle style) {
  TPositionalSql out;
  out.sql.reserve(sql.size() + 8);
  for (const TSqlToken& t : LexSql(sql)) {
    if (t.kind != TSqlTokenKind::kParam) {
      out.sql += t.text;
      continue;
    }
    const std::string_view name = t.text.substr(1);
    size_t n = 0;
    while (n < out.names.size() && !EqualsIgnoreCase(out.names[n], name)) ++n;
    if (n == out.names.size()) out.names.emplace_back(name);
    out.sql += style == TPlaceholderStyle::kQuestion ? '?' : '$';
    out.sql += std::to_string(n + 1);
  }
  return out;
}

std::vector<const TValue*> ResolveParams(const std::vector<std::string>& names,
                                         const TSqlParams& params) {
  std::vector<const TValue*> values;
  values.reserve(names.size());
  for (const std::string& name : names) {
    const TValue* v = params.Find(name);
    if (v == nullptr) throw EDatabaseError(Msg(msg::ecParameterNoValue, {name}));
    values.push_back(v);
  }
  return values;
}

}  // namespace zoras
