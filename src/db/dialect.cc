#include "db/dialect.h"

#include <charconv>
#include <cstdio>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "base/ascii.h"

namespace zoras {
namespace {

using TTokens = std::vector<TSqlToken>;

bool IsPunct(const TSqlToken* t, std::string_view p) {
  return t != nullptr && t->kind == TSqlTokenKind::kPunct && t->text == p;
}
bool IsWordPtr(const TSqlToken* t, std::string_view w) { return t != nullptr && IsWord(*t, w); }

bool IsOneOf(const TSqlToken& t, std::initializer_list<std::string_view> words) {
  if (t.kind != TSqlTokenKind::kWord) return false;
  for (std::string_view w : words)
    if (EqualsIgnoreCase(t.text, w)) return true;
  return false;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}
std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The name a word or "quoted name" token stands for.
std::string NameOf(const TSqlToken& t) {
  if (t.kind != TSqlTokenKind::kQuotedName) return std::string(t.text);
  std::string out;
  const std::string_view in = t.text.substr(1, t.text.size() >= 2 ? t.text.size() - 2 : 0);
  for (size_t i = 0; i < in.size(); ++i) {
    out += in[i];
    if (in[i] == '"' && i + 1 < in.size() && in[i + 1] == '"') ++i;
  }
  return out;
}

// Indices of the significant tokens.
std::vector<size_t> Significant(const TTokens& tokens) {
  std::vector<size_t> sig;
  sig.reserve(tokens.size());
  for (size_t i = 0; i < tokens.size(); ++i)
    if (IsSignificant(tokens[i])) sig.push_back(i);
  return sig;
}

// Words after which a word is not a correlation name (a table or derived table ends
// there).
bool IsClauseWord(const TSqlToken& t) {
  return IsOneOf(t, {"WHERE",   "GROUP",     "HAVING", "ORDER",  "UNION",  "EXCEPT", "INTERSECT",
                     "JOIN",    "LEFT",      "RIGHT",  "INNER",  "OUTER",  "FULL",   "CROSS",
                     "NATURAL", "ON",        "USING",  "LIMIT",  "OFFSET", "FETCH",  "FOR",
                     "WINDOW",  "RETURNING", "SET",    "SELECT", "FROM",   "AND",    "OR",
                     "WHEN",    "THEN",      "ELSE",   "END",    "INTO",   "VALUES"});
}

bool StartsAlias(const TSqlToken* t) {
  if (t == nullptr) return false;
  if (t->kind == TSqlTokenKind::kQuotedName) return true;
  return t->kind == TSqlTokenKind::kWord && (IsWord(*t, "AS") || !IsClauseWord(*t));
}

// Words after which CHAR( starts an expression, not a type.
bool IsExpressionKeyword(const TSqlToken& t) {
  return IsOneOf(
      t, {"SELECT",  "WHERE", "AND",    "OR",      "NOT",      "THEN", "ELSE",   "WHEN", "ON",
          "SET",     "IN",    "BY",     "HAVING",  "DISTINCT", "ALL",  "VALUES", "LIKE", "IS",
          "BETWEEN", "CASE",  "RETURN", "DEFAULT", "EXISTS",   "ANY",  "SOME"});
}

// The significant token at sig[k], or nullptr past the end.
struct TSigView {
  const TTokens& tokens;
  const std::vector<size_t>& sig;
  const TSqlToken* at(size_t k) const { return k < sig.size() ? &tokens[sig[k]] : nullptr; }
  const TSqlToken* before(size_t k) const { return k > 0 ? &tokens[sig[k - 1]] : nullptr; }
};

bool IsDdl(const TSigView& v) {
  const TSqlToken* first = v.at(0);
  return IsWordPtr(first, "CREATE") || IsWordPtr(first, "ALTER") || IsWordPtr(first, "DROP");
}

// True when the parenthesis at sig[k] opens a derived table: its first inner token is
// SELECT (or VALUES), perhaps behind further parentheses.
bool OpensSubquery(const TSigView& v, size_t k) {
  size_t j = k + 1;
  while (IsPunct(v.at(j), "(")) ++j;
  const TSqlToken* t = v.at(j);
  return t != nullptr && IsOneOf(*t, {"SELECT", "VALUES", "WITH"});
}

// The significant index of the parenthesis that closes the one at sig[k]; sig.size()
// when it is not closed.
size_t MatchingParen(const TSigView& v, size_t k) {
  int depth = 0;
  for (size_t j = k; j < v.sig.size(); ++j) {
    const TSqlToken* t = v.at(j);
    if (IsPunct(t, "(")) ++depth;
    if (IsPunct(t, ")") && --depth == 0) return j;
  }
  return v.sig.size();
}

bool IsSetOperator(const TSqlToken* t) {
  return t != nullptr && IsOneOf(*t, {"UNION", "EXCEPT", "INTERSECT"});
}

// True when the parenthesis at sig[k] encloses a SELECT that is a member of a UNION
// (EXCEPT, INTERSECT): "(SELECT ...) UNION ..." or "... UNION [ALL] (SELECT ...)".
bool IsCompoundMember(const TSigView& v, size_t k) {
  if (!IsWordPtr(v.at(k + 1), "SELECT")) return false;
  const size_t close = MatchingParen(v, k);
  if (close == v.sig.size()) return false;
  const TSqlToken* before = v.before(k);
  if (IsWordPtr(before, "ALL") || IsWordPtr(before, "DISTINCT")) before = v.before(k - 1);
  return IsSetOperator(before) || IsSetOperator(v.at(close + 1));
}

}  // namespace

std::string TranslateSql(std::string_view sql, TDriverKind driver) {
  const TTokens tokens = LexSql(sql);
  const std::vector<size_t> sig = Significant(tokens);
  const TSigView v{tokens, sig};
  const bool pg = driver == TDriverKind::kPostgreSQL;
  const bool ddl = IsDdl(v);

  // Replacement texts: repl[i] replaces token i; skip marks tokens folded into an earlier
  // replacement; after[i] is appended behind token i.
  std::vector<std::optional<std::string>> repl(tokens.size());
  std::vector<std::string> after(tokens.size());
  std::vector<bool> skip(tokens.size(), false);
  auto replace_range = [&](size_t first_sig, size_t last_sig, std::string text) {
    repl[sig[first_sig]] = std::move(text);
    for (size_t i = sig[first_sig] + 1; i <= sig[last_sig]; ++i) skip[i] = true;
  };

  // Parenthesis frames for the derived-table rule (PostgreSQL only).
  struct TFrame {
    bool in_from = false;
    bool derived = false;
  };
  std::vector<TFrame> frames(1);
  int derived_count = 0;

  for (size_t k = 0; k < sig.size(); ++k) {
    const TSqlToken& t = tokens[sig[k]];
    if (skip[sig[k]]) continue;

    if (IsWord(t, "SYSIBM") && IsPunct(v.at(k + 1), ".") && IsWordPtr(v.at(k + 2), "SYSDUMMY1")) {
      std::string text = "(SELECT 'Y' AS IBMREQD)";
      if (!StartsAlias(v.at(k + 3))) text += " SYSDUMMY1";
      replace_range(k, k + 2, std::move(text));
      k += 2;
      continue;
    }
    if (IsWord(t, "LIMIT")) {
      const TSqlToken* n = v.at(k + 1);
      const bool clause =
          n != nullptr && (n->kind == TSqlTokenKind::kNumber || n->kind == TSqlTokenKind::kParam);
      if (!clause) repl[sig[k]] = pg ? std::string("\"limit\"") : "\"" + std::string(t.text) + "\"";
      continue;
    }
    if (IsWord(t, "DEC") && !IsPunct(v.at(k + 1), "(")) {
      repl[sig[k]] = pg ? std::string("\"dec\"") : "\"" + std::string(t.text) + "\"";
      continue;
    }
    if (!pg) {
      if (!ddl && IsWord(t, "CURRENT_DATE")) repl[sig[k]] = "zoras_current_date()";
      if (IsWord(t, "LEFT") && IsPunct(v.at(k + 1), "(")) repl[sig[k]] = "zoras_left";
      if (IsPunct(&t, "(") && IsCompoundMember(v, k)) {
        skip[sig[k]] = true;
        skip[sig[MatchingParen(v, k)]] = true;
      }
      continue;
    }

    // PostgreSQL from here on.
    if (IsWord(t, "NEXTVAL") && IsWordPtr(v.at(k + 1), "FOR") && v.at(k + 2) != nullptr &&
        v.at(k + 2)->kind == TSqlTokenKind::kWord) {
      std::string name(v.at(k + 2)->text);
      size_t last = k + 2;
      if (IsPunct(v.at(k + 3), ".") && v.at(k + 4) != nullptr &&
          v.at(k + 4)->kind == TSqlTokenKind::kWord) {
        name += "." + std::string(v.at(k + 4)->text);
        last = k + 4;
      }
      replace_range(k, last, "nextval('" + name + "')");
      k = last;
      continue;
    }
    if (IsWord(t, "CHAR") && IsPunct(v.at(k + 1), "(")) {
      const TSqlToken* prev = v.before(k);
      const bool function = prev == nullptr ||
                            (prev->kind == TSqlTokenKind::kPunct && prev->text != "::") ||
                            IsExpressionKeyword(*prev);
      if (function) repl[sig[k]] = "zoras_char";
      continue;
    }
    if (t.kind == TSqlTokenKind::kWord) {
      if (IsWord(t, "FROM")) {
        frames.back().in_from = true;
      } else if (IsOneOf(t, {"WHERE", "GROUP", "HAVING", "ORDER", "UNION", "EXCEPT", "INTERSECT",
                             "SELECT", "WINDOW", "LIMIT", "FETCH", "RETURNING", "SET", "VALUES"})) {
        frames.back().in_from = false;
      }
      continue;
    }
    if (IsPunct(&t, "(")) {
      const TSqlToken* prev = v.before(k);
      const bool from_item = prev != nullptr && (IsWord(*prev, "FROM") || IsWord(*prev, "JOIN") ||
                                                 (IsPunct(prev, ",") && frames.back().in_from));
      frames.push_back({false, from_item && OpensSubquery(v, k)});
      continue;
    }
    if (IsPunct(&t, ")")) {
      if (frames.size() > 1) {
        const bool derived = frames.back().derived;
        frames.pop_back();
        if (derived && !StartsAlias(v.at(k + 1)))
          after[sig[k]] = " AS zoras_dt" + std::to_string(++derived_count);
      }
      continue;
    }
  }

  std::string out;
  out.reserve(sql.size() + 32);
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (skip[i]) continue;
    if (repl[i]) {
      out += *repl[i];
    } else {
      out += tokens[i].text;
    }
    out += after[i];
  }
  return out;
}

std::optional<TNextValQuery> MatchNextValQuery(std::string_view sql) {
  const TTokens tokens = LexSql(sql);
  const std::vector<size_t> sig = Significant(tokens);
  const TSigView v{tokens, sig};
  if (!IsWordPtr(v.at(0), "SELECT") || !IsWordPtr(v.at(1), "NEXTVAL") ||
      !IsWordPtr(v.at(2), "FOR") || v.at(3) == nullptr || v.at(3)->kind != TSqlTokenKind::kWord)
    return std::nullopt;
  TNextValQuery q{Upper(v.at(3)->text), "NEXTVAL"};
  size_t k = 4;
  if (IsWordPtr(v.at(k), "AS")) ++k;
  const TSqlToken* alias = v.at(k);
  if (alias != nullptr && !IsWord(*alias, "FROM") &&
      (alias->kind == TSqlTokenKind::kWord || alias->kind == TSqlTokenKind::kQuotedName)) {
    q.column = NameOf(*alias);
    ++k;
  } else if (k == 5) {
    return std::nullopt;  // AS without a name
  }
  if (IsWordPtr(v.at(k), "FROM")) {
    if (!IsWordPtr(v.at(k + 1), "SYSIBM") || !IsPunct(v.at(k + 2), ".") ||
        !IsWordPtr(v.at(k + 3), "SYSDUMMY1"))
      return std::nullopt;
    k += 4;
  }
  if (IsPunct(v.at(k), ";")) ++k;
  if (k != sig.size()) return std::nullopt;
  return q;
}

bool UsesNextValFor(std::string_view sql) {
  const TTokens tokens = LexSql(sql);
  const std::vector<size_t> sig = Significant(tokens);
  for (size_t k = 0; k + 1 < sig.size(); ++k)
    if (IsWord(tokens[sig[k]], "NEXTVAL") && IsWord(tokens[sig[k + 1]], "FOR")) return true;
  return false;
}

std::optional<TSequenceDdl> MatchSequenceDdl(std::string_view sql) {
  const TTokens tokens = LexSql(sql);
  const std::vector<size_t> sig = Significant(tokens);
  const TSigView v{tokens, sig};
  TSequenceDdl ddl;
  if (IsWordPtr(v.at(0), "DROP")) {
    ddl.drop = true;
  } else if (!IsWordPtr(v.at(0), "CREATE")) {
    return std::nullopt;
  }
  if (!IsWordPtr(v.at(1), "SEQUENCE") || v.at(2) == nullptr ||
      v.at(2)->kind != TSqlTokenKind::kWord)
    return std::nullopt;
  ddl.name = Upper(v.at(2)->text);
  size_t k = 3;
  // A signed integer at sig[k]; advances k.
  auto number = [&](int64_t* out) {
    bool negative = false;
    if (IsPunct(v.at(k), "-") || IsPunct(v.at(k), "+")) negative = v.at(k++)->text == "-";
    const TSqlToken* n = v.at(k);
    if (n == nullptr || n->kind != TSqlTokenKind::kNumber) return false;
    int64_t value = 0;
    for (char c : n->text) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    *out = negative ? -value : value;
    ++k;
    return true;
  };
  while (!ddl.drop && k < sig.size() && !IsPunct(v.at(k), ";")) {
    const TSqlToken& t = *v.at(k++);
    int64_t ignored = 0;
    if (IsWord(t, "AS") && v.at(k) != nullptr && v.at(k)->kind == TSqlTokenKind::kWord) {
      ++k;
    } else if (IsWord(t, "START") && IsWordPtr(v.at(k), "WITH")) {
      ++k;
      if (!number(&ddl.start)) return std::nullopt;
    } else if (IsWord(t, "INCREMENT") && IsWordPtr(v.at(k), "BY")) {
      ++k;
      if (!number(&ddl.increment) || ddl.increment == 0) return std::nullopt;
    } else if (IsOneOf(t, {"MINVALUE", "MAXVALUE", "CACHE"})) {
      if (!number(&ignored)) return std::nullopt;
    } else if (IsWord(t, "NO") && v.at(k) != nullptr &&
               IsOneOf(*v.at(k), {"MINVALUE", "MAXVALUE", "CYCLE", "CACHE", "ORDER"})) {
      ++k;
    } else if (!IsOneOf(t, {"CYCLE", "ORDER", "NOCYCLE", "NOCACHE", "NOORDER"})) {
      return std::nullopt;
    }
  }
  if (IsPunct(v.at(k), ";")) ++k;
  if (k != sig.size()) return std::nullopt;
  return ddl;
}

bool FieldFromDeclaredType(std::string_view declared, TFieldDef* field) {
  // The type name's words, upper-cased and single-spaced, and the numbers in parentheses.
  std::string name;
  std::vector<int> args;
  size_t i = 0;
  while (i < declared.size() && declared[i] != '(') {
    const char c = declared[i++];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!name.empty() && name.back() != ' ') name += ' ';
    } else {
      name += AsciiUpper(c);
    }
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (i < declared.size()) {
    int value = -1;
    for (++i; i < declared.size() && declared[i] != ')'; ++i) {
      const char c = declared[i];
      if (c >= '0' && c <= '9') {
        value = (value < 0 ? 0 : value) * 10 + (c - '0');
        if (value > 1'000'000) return false;
      } else if (c == ',') {
        args.push_back(value);
        value = -1;
      } else if (c != ' ') {
        return false;
      }
    }
    args.push_back(value);
  }
  auto arg = [&](size_t n, int def) { return n < args.size() && args[n] >= 0 ? args[n] : def; };
  auto is = [&](std::initializer_list<std::string_view> names) {
    for (std::string_view n : names)
      if (name == n) return true;
    return false;
  };
  field->width = 0;
  field->decimals = 0;
  if (is({"VARCHAR", "CHARACTER VARYING", "CHAR VARYING", "NVARCHAR", "VARCHAR2",
          "NCHAR VARYING"})) {
    field->type = TFieldType::kString;
    field->width = arg(0, 0);
  } else if (is({"CHAR", "CHARACTER", "NCHAR", "BPCHAR"})) {
    field->type = TFieldType::kString;
    field->width = arg(0, 1);
  } else if (is({"SMALLINT", "INT2"})) {
    field->type = TFieldType::kI2;
  } else if (is({"INTEGER", "INT", "INT4"})) {
    field->type = TFieldType::kI4;
  } else if (is({"BIGINT", "INT8"})) {
    field->type = TFieldType::kI8;
  } else if (is({"DOUBLE PRECISION", "DOUBLE", "FLOAT", "FLOAT8", "REAL", "FLOAT4"})) {
    field->type = TFieldType::kR8;
  } else if (is({"DECIMAL", "NUMERIC", "DEC"})) {
    field->type = TFieldType::kFixed;
    field->width = arg(0, 18);
    field->decimals = arg(1, 0);
  } else if (is({"DATE"})) {
    field->type = TFieldType::kDate;
  } else if (is({"TIMESTAMP", "DATETIME", "TIMESTAMP WITHOUT TIME ZONE"})) {
    field->type = TFieldType::kDateTime;
  } else if (is({"TIME", "TIME WITHOUT TIME ZONE"})) {
    field->type = TFieldType::kTime;
  } else if (is({"TEXT", "CLOB"})) {
    field->type = TFieldType::kMemo;
  } else if (is({"BOOLEAN", "BOOL"})) {
    field->type = TFieldType::kBoolean;
  } else if (is({"BLOB", "BYTEA"})) {
    field->type = TFieldType::kBinary;
  } else {
    return false;
  }
  return true;
}

int Utf8Length(std::string_view text) {
  int n = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

namespace {

// The field an item of a select list gives, when the item alone fixes it.
std::optional<TFieldDef> ItemField(const TTokens& tokens, const std::vector<size_t>& item) {
  size_t n = item.size();
  auto tok = [&](size_t k) -> const TSqlToken& { return tokens[item[k]]; };
  auto is_name = [&](size_t k) {
    return tok(k).kind == TSqlTokenKind::kWord || tok(k).kind == TSqlTokenKind::kQuotedName;
  };
  if (n >= 3 && IsWord(tok(n - 2), "AS") && is_name(n - 1)) {
    n -= 2;
  } else if (n >= 2 && is_name(n - 1) &&
             (tok(n - 2).kind == TSqlTokenKind::kString || IsPunct(&tok(n - 2), ")"))) {
    n -= 1;
  }
  if (n == 1 && tok(0).kind == TSqlTokenKind::kString && tok(0).text.front() == '\'') {
    TFieldDef f;
    f.type = TFieldType::kString;
    const std::string_view body = tok(0).text.substr(1, tok(0).text.size() - 2);
    int len = Utf8Length(body);
    for (size_t i = 0; i + 1 < body.size(); ++i)
      if (body[i] == '\'' && body[i + 1] == '\'') --len, ++i;
    f.width = len < 1 ? 1 : len;
    return f;
  }
  if (n >= 6 && IsWord(tok(0), "CAST") && IsPunct(&tok(1), "(") && IsPunct(&tok(n - 1), ")")) {
    int depth = 0;
    size_t as = 0;
    for (size_t k = 1; k + 1 < n; ++k) {
      if (IsPunct(&tok(k), "(")) ++depth;
      if (IsPunct(&tok(k), ")")) {
        if (--depth == 0) return std::nullopt;  // CAST(...) is followed by more
      }
      if (depth == 1 && IsWord(tok(k), "AS")) as = k;
    }
    if (as == 0 || as + 2 > n - 1) return std::nullopt;
    const char* begin = tok(as + 1).text.data();
    const char* end = tok(n - 2).text.data() + tok(n - 2).text.size();
    TFieldDef f;
    if (!FieldFromDeclaredType(std::string_view(begin, end - begin), &f)) return std::nullopt;
    return f;
  }
  return std::nullopt;
}

}  // namespace

TSelectList AnalyzeSelectList(std::string_view sql) {
  TSelectList out;
  const TTokens tokens = LexSql(sql);
  size_t start = tokens.size();
  int depth = 0, select_depth = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const TSqlToken& t = tokens[i];
    if (IsWord(t, "SELECT") && start == tokens.size()) {
      start = i + 1;
      select_depth = depth;
    }
    if (IsPunct(&t, "(")) ++depth;
    if (IsPunct(&t, ")")) --depth;
    if (t.kind == TSqlTokenKind::kWord || t.kind == TSqlTokenKind::kQuotedName)
      out.all_words.push_back(NameOf(t));
  }
  if (start == tokens.size()) return out;

  std::vector<std::vector<size_t>> items(1);
  bool star = false;
  depth = select_depth;
  bool first = true;
  for (size_t i = start; i < tokens.size(); ++i) {
    const TSqlToken& t = tokens[i];
    if (!IsSignificant(t)) continue;
    if (depth == select_depth) {
      if (first && IsOneOf(t, {"DISTINCT", "ALL"})) continue;
      if (IsOneOf(t, {"FROM", "INTO", "UNION", "EXCEPT", "INTERSECT", "WHERE", "ORDER", "GROUP"}))
        break;
      if (IsPunct(&t, ")")) break;
      if (IsPunct(&t, ";")) break;
      if (IsPunct(&t, ",")) {
        items.emplace_back();
        continue;
      }
    }
    first = false;
    if (IsPunct(&t, "(")) ++depth;
    if (IsPunct(&t, ")")) --depth;
    items.back().push_back(i);
    if (t.kind == TSqlTokenKind::kWord || t.kind == TSqlTokenKind::kQuotedName)
      out.words.push_back(NameOf(t));
  }
  for (const auto& item : items) {
    if (item.empty()) return out;
    const TSqlToken& last = tokens[item.back()];
    if (IsPunct(&last, "*") && (item.size() == 1 || IsPunct(&tokens[item[item.size() - 2]], ".")))
      star = true;
  }
  if (star) return out;
  for (const auto& item : items) out.item_fields.push_back(ItemField(tokens, item));
  return out;
}

namespace {

using TSpellings = std::unordered_map<std::string, std::string>;

std::mutex g_spellings_mutex;
std::shared_ptr<const TSpellings> g_spellings;

std::shared_ptr<const TSpellings> CurrentSpellings() {
  std::lock_guard lock(g_spellings_mutex);
  return g_spellings;
}

}  // namespace

void SetSchemaSpellings(std::string_view ddl) {
  auto map = std::make_shared<TSpellings>();
  const TTokens tokens = LexSql(ddl);
  const std::vector<size_t> sig = Significant(tokens);
  const TSigView v{tokens, sig};
  auto add = [&](const TSqlToken& t) {
    if (t.kind != TSqlTokenKind::kWord && t.kind != TSqlTokenKind::kQuotedName) return;
    const std::string name = NameOf(t);
    map->emplace(Lower(name), name);
  };
  for (size_t k = 0; k < sig.size(); ++k) {
    if (IsWord(tokens[sig[k]], "ALTER") && IsWordPtr(v.at(k + 1), "TABLE")) {
      // ALTER TABLE t ADD [COLUMN] name
      size_t j = k + 2;
      while (j < sig.size() && !IsWordPtr(v.at(j), "ADD") && !IsPunct(v.at(j), ";")) ++j;
      if (IsWordPtr(v.at(j), "ADD")) {
        ++j;
        if (IsWordPtr(v.at(j), "COLUMN")) ++j;
        if (v.at(j) != nullptr &&
            !IsOneOf(*v.at(j), {"CONSTRAINT", "PRIMARY", "FOREIGN", "UNIQUE", "CHECK"}))
          add(*v.at(j));
      }
      continue;
    }
    if (!IsWord(tokens[sig[k]], "CREATE")) continue;
    size_t j = k + 1;
    while (v.at(j) != nullptr && IsOneOf(*v.at(j), {"TEMPORARY", "TEMP", "GLOBAL", "LOCAL"})) ++j;
    if (!IsWordPtr(v.at(j), "TABLE")) continue;
    while (j < sig.size() && !IsPunct(v.at(j), "(") && !IsPunct(v.at(j), ";")) ++j;
    if (!IsPunct(v.at(j), "(")) continue;
    int depth = 1;
    bool item_start = true;
    for (++j; j < sig.size() && depth > 0; ++j) {
      const TSqlToken& t = tokens[sig[j]];
      if (IsPunct(&t, "(")) {
        ++depth;
      } else if (IsPunct(&t, ")")) {
        --depth;
      } else if (depth == 1 && IsPunct(&t, ",")) {
        item_start = true;
        continue;
      } else if (depth == 1 && item_start &&
                 !IsOneOf(t, {"CONSTRAINT", "PRIMARY", "FOREIGN", "UNIQUE", "CHECK"})) {
        add(t);
      }
      item_start = false;
    }
    k = j - 1;
  }
  std::lock_guard lock(g_spellings_mutex);
  g_spellings = std::move(map);
}

std::optional<std::string> SpellFromSelectList(std::string_view reported,
                                               const TSelectList& select) {
  for (const std::string& w : select.words)
    if (EqualsIgnoreCase(w, reported)) return w;
  return std::nullopt;
}

std::string SpellColumn(std::string_view reported, const TSelectList& select) {
  if (auto w = SpellFromSelectList(reported, select)) return *w;
  if (const auto map = CurrentSpellings()) {
    const auto it = map->find(Lower(reported));
    if (it != map->end()) return it->second;
  }
  for (const std::string& w : select.all_words)
    if (EqualsIgnoreCase(w, reported)) return w;
  return Upper(reported);
}

void MakeColumnNamesUnique(std::vector<TFieldDef>* fields) {
  for (size_t i = 1; i < fields->size(); ++i) {
    auto taken = [&](std::string_view name) {
      for (size_t j = 0; j < i; ++j)
        if (EqualsIgnoreCase((*fields)[j].name, name)) return true;
      return false;
    };
    if (!taken((*fields)[i].name)) continue;
    const std::string base = (*fields)[i].name;
    for (int n = 1;; ++n) {
      std::string candidate = base + "_" + std::to_string(n);
      if (!taken(candidate)) {
        (*fields)[i].name = std::move(candidate);
        break;
      }
    }
  }
}

std::string FloatText(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string IsoDate(TDateTime d) {
  const TDateParts p = d.Decode();
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.year, p.month, p.day);
  return buf;
}

std::string IsoTime(TDateTime t) {
  const TDateParts p = t.Decode();
  char buf[16];
  if (p.msec != 0) {
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", p.hour, p.minute, p.second, p.msec);
  } else {
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.hour, p.minute, p.second);
  }
  return buf;
}

std::string IsoDateTime(TDateTime dt) { return IsoDate(dt) + " " + IsoTime(dt); }

namespace {

// Reads exactly `n` digits at `*i`.
bool Digits(std::string_view s, size_t* i, size_t n, int* out) {
  if (*i + n > s.size()) return false;
  int v = 0;
  for (size_t k = 0; k < n; ++k) {
    const char c = s[*i + k];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *i += n;
  *out = v;
  return true;
}

bool ParseTimeAt(std::string_view s, size_t i, TDateParts* p) {
  if (!Digits(s, &i, 2, &p->hour) || i >= s.size() || s[i++] != ':' ||
      !Digits(s, &i, 2, &p->minute))
    return false;
  if (i < s.size() && s[i] == ':') {
    ++i;
    if (!Digits(s, &i, 2, &p->second)) return false;
    if (i < s.size() && s[i] == '.') {
      ++i;
      int scale = 100;
      const size_t first = i;
      for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        p->msec += (s[i] - '0') * scale;
        scale /= 10;
      }
      if (i == first) return false;
    }
  }
  return i == s.size();
}

}  // namespace

bool ParseIsoDateTime(std::string_view s, TDateTime* out, bool* has_time) {
  TDateParts p;
  size_t i = 0;
  if (!Digits(s, &i, 4, &p.year) || i >= s.size() || s[i++] != '-' || !Digits(s, &i, 2, &p.month) ||
      i >= s.size() || s[i++] != '-' || !Digits(s, &i, 2, &p.day))
    return false;
  const bool time = i < s.size();
  if (time && ((s[i] != ' ' && s[i] != 'T') || !ParseTimeAt(s, i + 1, &p))) return false;
  const auto dt = TDateTime::TryEncode(p);
  if (!dt) return false;
  *out = *dt;
  if (has_time != nullptr) *has_time = time;
  return true;
}

bool ParseIsoTime(std::string_view s, TDateTime* out) {
  TDateParts p;
  if (!ParseTimeAt(s, 0, &p)) return false;
  const auto t = TDateTime::TryEncodeTime(p.hour, p.minute, p.second, p.msec);
  if (!t) return false;
  *out = *t;
  return true;
}

bool ToDateText(std::string_view text, std::string_view pattern, std::string* out) {
  TDateParts p{1, 1, 1};
  bool time = false;
  size_t i = 0, k = 0;
  // Reads 1..max digits (exactly `max` when `exact`).
  auto number = [&](size_t max, bool exact, int* v) {
    size_t n = 0;
    *v = 0;
    while (n < max && i < text.size() && text[i] >= '0' && text[i] <= '9') {
      *v = *v * 10 + (text[i++] - '0');
      ++n;
    }
    return exact ? n == max : n > 0;
  };
  auto starts = [&](std::string_view token) {
    if (pattern.size() - k < token.size()) return false;
    return EqualsIgnoreCase(pattern.substr(k, token.size()), token);
  };
  while (k < pattern.size()) {
    bool ok = true;
    if (starts("yyyy")) {
      ok = number(4, true, &p.year), k += 4;
    } else if (starts("mm")) {
      ok = number(2, false, &p.month), k += 2;
    } else if (starts("dd")) {
      ok = number(2, false, &p.day), k += 2;
    } else if (starts("hh24")) {
      ok = number(2, false, &p.hour), k += 4, time = true;
    } else if (starts("hh")) {
      ok = number(2, false, &p.hour), k += 2, time = true;
    } else if (starts("mi")) {
      ok = number(2, false, &p.minute), k += 2, time = true;
    } else if (starts("ss")) {
      ok = number(2, false, &p.second), k += 2, time = true;
    } else {
      ok = i < text.size() && text[i] == pattern[k];
      ++i, ++k;
    }
    if (!ok) return false;
  }
  if (i != text.size()) return false;
  const auto dt = TDateTime::TryEncode(p);
  if (!dt) return false;
  *out = time ? IsoDate(*dt) + " " + IsoTime(*dt) : IsoDate(*dt);
  return true;
}

}  // namespace zoras
