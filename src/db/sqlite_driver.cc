#include "db/sqlite_driver.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <unordered_map>

#include "base/clock.h"
#include "base/messages.h"
#include "db/dialect.h"
#include "db/sql_params.h"

namespace zoras {

const char kSqliteSequenceTableDdl[] =
    "CREATE TABLE IF NOT EXISTS ZORAS_SEQUENCE (\n"
    "  NAME VARCHAR(64) NOT NULL PRIMARY KEY,\n"
    "  VALUE BIGINT NOT NULL,\n"
    "  INCREMENT BIGINT NOT NULL DEFAULT 1\n"
    ");\n";

namespace {

// A busy database is waited for this long before a statement fails with "database is
// locked".
constexpr int kBusyTimeoutMs = 10'000;
// Statements built with literals would grow the cache without bound; past this size it
// starts again.
constexpr size_t kStatementCacheSize = 256;

// ---- Functions registered on every connection.

std::string_view ValueText(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p == nullptr ? std::string_view() : std::string_view(p, sqlite3_value_bytes(v));
}

bool ParseNumber(std::string_view text, double* out) {
  if (text.empty()) return false;
  const std::string s(text);
  char* end = nullptr;
  *out = std::strtod(s.c_str(), &end);
  return end == s.c_str() + s.size() && std::isfinite(*out);
}

// DECODE's comparison: null matches null (as in DB2 and Oracle), numbers compare by value
// (also against text that reads as a number), a date matches the same date written as a
// timestamp at midnight.
bool DecodeMatches(sqlite3_value* a, sqlite3_value* b) {
  const int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
  if (ta == SQLITE_NULL || tb == SQLITE_NULL) return ta == tb;
  const bool na = ta == SQLITE_INTEGER || ta == SQLITE_FLOAT;
  const bool nb = tb == SQLITE_INTEGER || tb == SQLITE_FLOAT;
  if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER)
    return sqlite3_value_int64(a) == sqlite3_value_int64(b);
  if (na || nb) {
    double x = 0, y = 0;
    if (na) {
      x = sqlite3_value_double(a);
    } else if (!ParseNumber(ValueText(a), &x)) {
      return false;
    }
    if (nb) {
      y = sqlite3_value_double(b);
    } else if (!ParseNumber(ValueText(b), &y)) {
      return false;
    }
    return x == y;
  }
  const std::string_view x = ValueText(a), y = ValueText(b);
  if (x == y) return true;
  TDateTime dx, dy;
  return ParseIsoDateTime(x, &dx) && ParseIsoDateTime(y, &dy) && dx == dy;
}

void DecodeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 3) {
    sqlite3_result_error(ctx, "DECODE needs at least 3 arguments", -1);
    return;
  }
  int i = 1;
  for (; i + 1 < argc; i += 2) {
    if (DecodeMatches(argv[0], argv[i])) {
      sqlite3_result_value(ctx, argv[i + 1]);
      return;
    }
  }
  if (i < argc) {
    sqlite3_result_value(ctx, argv[i]);  // the default
  } else {
    sqlite3_result_null(ctx);
  }
}

void NvlFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_value(ctx, sqlite3_value_type(argv[0]) != SQLITE_NULL ? argv[0] : argv[1]);
}

void ToDateFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string_view text = ValueText(argv[0]), pattern = ValueText(argv[1]);
  std::string out;
  if (!ToDateText(text, pattern, &out)) {
    const std::string message = "TO_DATE: '" + std::string(text) + "' does not match the format '" +
                                std::string(pattern) + "'";
    sqlite3_result_error(ctx, message.c_str(), -1);
    return;
  }
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// CHAR(x) as DB2 reads it: the text of a number (SQLite's own char() makes characters of
// code points, which no statement means).
void CharFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
      sqlite3_result_null(ctx);
      return;
    case SQLITE_INTEGER: {
      const std::string s = std::to_string(sqlite3_value_int64(argv[0]));
      sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      return;
    }
    case SQLITE_FLOAT: {
      const std::string s = FloatText(sqlite3_value_double(argv[0]));
      sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      return;
    }
    default: {
      const std::string_view s = ValueText(argv[0]);
      sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
  }
}

// LEFT(text, n): the first n characters.
void LeftFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string_view s = ValueText(argv[0]);
  int64_t n = sqlite3_value_int64(argv[1]);
  size_t end = 0;
  while (end < s.size() && n > 0) {
    ++end;
    while (end < s.size() && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) ++end;
    --n;
  }
  sqlite3_result_text(ctx, s.data(), static_cast<int>(end), SQLITE_TRANSIENT);
}

// The server's local date; SQLite's CURRENT_DATE is the UTC date.
void CurrentDateFunction(sqlite3_context* ctx, int, sqlite3_value**) {
  const std::string s = IsoDate(Now());
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// ---- Reading results.

// The field of a column whose type comes from its values: integers i4 (i8 when one does
// not fit 32 bits), reals r8, text that is all ISO dates (timestamps) date (dateTime),
// other text a string as wide as its longest value; a column of nulls only is a string.
TFieldDef InferField(const std::vector<std::vector<TValue>>& rows, size_t col) {
  bool any_int = false, any_float = false, any_text = false, wide = false;
  bool all_dates = true, any_time = false;
  for (const auto& row : rows) {
    const TValue& v = row[col];
    switch (v.kind()) {
      case TValue::Kind::kInteger: {
        any_int = true;
        const int64_t i = v.AsInteger();
        if (i < std::numeric_limits<int32_t>::min() || i > std::numeric_limits<int32_t>::max())
          wide = true;
        break;
      }
      case TValue::Kind::kFloat:
        any_float = true;
        break;
      case TValue::Kind::kText: {
        any_text = true;
        if (all_dates) {
          TDateTime dt;
          bool has_time = false;
          if (ParseIsoDateTime(v.text(), &dt, &has_time) &&
              v.text().find('T') == std::string::npos) {
            any_time = any_time || has_time;
          } else {
            all_dates = false;
          }
        }
        break;
      }
      default:
        break;
    }
  }
  TFieldDef f;
  if (any_text) {
    if (all_dates && !any_int && !any_float) {
      f.type = any_time ? TFieldType::kDateTime : TFieldType::kDate;
      return f;
    }
    f.type = TFieldType::kString;
  } else if (any_float) {
    f.type = TFieldType::kR8;
  } else if (any_int) {
    f.type = wide ? TFieldType::kI8 : TFieldType::kI4;
  } else {
    f.type = TFieldType::kString;
  }
  return f;
}

std::string CellText(const TValue& raw) {
  switch (raw.kind()) {
    case TValue::Kind::kInteger:
      return std::to_string(raw.AsInteger());
    case TValue::Kind::kFloat:
      return FloatText(raw.AsFloat());
    default:
      return raw.text();
  }
}

// Converts a stored value (integer, real, text or null) to the column's kind.
TValue ConvertCell(const TFieldDef& f, TValue raw) {
  if (raw.IsNull()) return raw;
  switch (f.type) {
    case TFieldType::kString:
    case TFieldType::kMemo:
    case TFieldType::kBinary:
      if (raw.kind() == TValue::Kind::kText) return raw;
      return TValue::Text(CellText(raw));
    case TFieldType::kDate:
    case TFieldType::kDateTime: {
      TDateTime dt;
      if (raw.kind() != TValue::Kind::kText || !ParseIsoDateTime(raw.text(), &dt)) {
        throw EZoras(Msg(f.type == TFieldType::kDate ? msg::ecInvalidDate : msg::ecInvalidDateTime,
                         {CellText(raw)}));
      }
      return f.type == TFieldType::kDate ? TValue::Date(dt) : TValue::DateTime(dt);
    }
    case TFieldType::kTime: {
      TDateTime t;
      const std::string text = CellText(raw);
      if (!ParseIsoTime(text, &t) && !ParseIsoDateTime(text, &t))
        throw EZoras(Msg(msg::ecInvalidTime, {text}));
      return TValue::Time(t);
    }
    case TFieldType::kR8:
      if (raw.kind() == TValue::Kind::kText) {
        double d = 0;
        if (!ParseNumber(raw.text(), &d)) throw EZoras(Msg(msg::ecInvalidFloat, {raw.text()}));
        return TValue::Float(d);
      }
      return TValue::Float(raw.AsFloat());
    case TFieldType::kFixed:
      if (raw.kind() == TValue::Kind::kText) return TValue::Decimal(raw.text());
      return ConvertToField(f, raw);
    default:
      return ConvertToField(f, raw);
  }
}

class TSqliteConnection;

// A prepared statement of the cache, reset when the use ends.
struct TStatement {
  sqlite3_stmt* stmt = nullptr;
  std::vector<std::string> names;     // parameter N is names[N - 1]
  std::optional<TSelectList> select;  // read on the first query
  std::string original;               // the statement as the caller wrote it
};

class TStatementUse {
 public:
  explicit TStatementUse(TStatement* s) : s_(s) {}
  ~TStatementUse() {
    sqlite3_reset(s_->stmt);
    sqlite3_clear_bindings(s_->stmt);
  }
  TStatementUse(const TStatementUse&) = delete;
  TStatementUse& operator=(const TStatementUse&) = delete;

 private:
  TStatement* s_;
};

class TSqliteConnection : public TDbConnection {
 public:
  TSqliteConnection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}
  ~TSqliteConnection() override {
    ClearCache();
    sqlite3_close_v2(db_);
  }

  std::string DriverName() const override { return "SQLite"; }
  TDriverKind Driver() const override { return TDriverKind::kSQLite; }

  TMemTable Query(std::string_view sql, const TSqlParams& params) override {
    if (auto next = MatchNextValQuery(sql)) return NextVal(*next);
    TStatement& st = Prepare(sql);
    TStatementUse use(&st);
    Bind(st, params);
    if (!st.select) st.select = AnalyzeSelectList(st.original);

    // The first step re-prepares a statement whose tables changed, so the columns are
    // read after it.
    int rc = sqlite3_step(st.stmt);
    const int columns = sqlite3_column_count(st.stmt);
    std::vector<std::vector<TValue>> rows;
    for (;; rc = sqlite3_step(st.stmt)) {
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) Fail();
      std::vector<TValue>& row = rows.emplace_back();
      row.reserve(columns);
      for (int c = 0; c < columns; ++c) row.push_back(ReadCell(st.stmt, c));
    }
    std::vector<TFieldDef> fields(columns);
    for (int c = 0; c < columns; ++c) {
      TFieldDef& f = fields[c];
      const char* declared = sqlite3_column_decltype(st.stmt, c);
      const auto& items = st.select->item_fields;
      if (declared != nullptr && FieldFromDeclaredType(declared, &f)) {
        // a column of a table or view
      } else if (static_cast<size_t>(columns) == items.size() && items[c]) {
        f = *items[c];
      } else {
        f = InferField(rows, c);
      }
      // SQLite names a column reference after the table's column; the statement's
      // spelling comes first, as on PostgreSQL.
      const char* name = sqlite3_column_name(st.stmt, c);
      f.name = name != nullptr ? name : "";
      if (auto spelled = SpellFromSelectList(f.name, *st.select)) f.name = *spelled;
    }
    MakeColumnNamesUnique(&fields);
    for (int c = 0; c < columns; ++c) {
      TFieldDef& f = fields[c];
      const bool measure = f.type == TFieldType::kString && f.width == 0;
      int width = 1;
      for (auto& row : rows) {
        try {
          row[c] = ConvertCell(f, std::move(row[c]));
        } catch (const EZoras& e) {
          throw EDatabaseError(Msg(msg::ecColumnValue, {f.name, e.what()}));
        }
        if (measure && !row[c].IsNull()) width = std::max(width, Utf8Length(row[c].text()));
      }
      if (measure) f.width = width;
    }
    TMemTable table;
    for (auto& f : fields) table.AddField(std::move(f));
    table.Open();
    table.ReserveRows(rows.size());
    for (auto& row : rows) table.AppendRow(std::move(row));
    table.First();
    return table;
  }

  int64_t Execute(std::string_view sql, const TSqlParams& params) override {
    if (MatchNextValQuery(sql)) {
      Query(sql, params);
      return 0;
    }
    TStatement& st = Prepare(sql);
    TStatementUse use(&st);
    Bind(st, params);
    for (;;) {
      const int rc = sqlite3_step(st.stmt);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) Fail();
    }
    return sqlite3_changes64(db_);
  }

  void ExecuteScript(std::string_view script) override {
    const bool own = !InTransaction();
    if (own) Exec("BEGIN IMMEDIATE");
    try {
      for (const std::string& statement : SplitScript(script)) RunScriptStatement(statement);
      if (own) Exec("COMMIT");
      ClearCache();
    } catch (...) {
      if (own && InTransaction()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  void Begin() override {
    if (InTransaction()) throw EDatabaseError(Msg(msg::ecTransactionActive));
    // IMMEDIATE takes the write lock at once: two pooled connections that both read and
    // then write would otherwise deadlock on the lock upgrade.
    Exec("BEGIN IMMEDIATE");
  }
  void Commit() override {
    if (!InTransaction()) throw EDatabaseError(Msg(msg::ecNoTransaction));
    Exec("COMMIT");
  }
  void Rollback() override {
    if (InTransaction()) Exec("ROLLBACK");
  }
  bool InTransaction() const override { return sqlite3_get_autocommit(db_) == 0; }

  // A SQLite connection does not break while the process holds it.
  bool IsAlive() override { return true; }

 private:
  [[noreturn]] void Fail() { throw EDatabaseError(sqlite3_errmsg(db_)); }

  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error != nullptr ? error : sqlite3_errmsg(db_);
      sqlite3_free(error);
      throw EDatabaseError(message);
    }
  }

  void ClearCache() {
    for (auto& [sql, st] : cache_) sqlite3_finalize(st.stmt);
    cache_.clear();
  }

  // The prepared statement for `sql` (translated), from the cache or prepared now.
  TStatement& Prepare(std::string_view sql, bool translate = true) {
    const std::string key(sql);
    if (auto it = cache_.find(key); it != cache_.end()) return it->second;
    if (translate && UsesNextValFor(sql)) throw EDatabaseError(Msg(msg::ecNextValForm));
    if (cache_.size() >= kStatementCacheSize) ClearCache();
    TPositionalSql positional = ToPositional(
        translate ? TranslateSql(sql, TDriverKind::kSQLite) : key, TPlaceholderStyle::kQuestion);
    TStatement st;
    const char* tail = nullptr;
    if (sqlite3_prepare_v3(db_, positional.sql.c_str(), static_cast<int>(positional.sql.size()),
                           SQLITE_PREPARE_PERSISTENT, &st.stmt, &tail) != SQLITE_OK) {
      Fail();
    }
    if (st.stmt == nullptr) throw EDatabaseError("The statement is empty");
    // SQLite would run the first statement and ignore the rest; PostgreSQL refuses such
    // text, and so does this driver.
    const std::string_view rest(tail, positional.sql.c_str() + positional.sql.size() - tail);
    for (const TSqlToken& t : LexSql(rest)) {
      if (IsSignificant(t) && t.text != ";") {
        sqlite3_finalize(st.stmt);
        throw EDatabaseError(Msg(msg::ecMultipleStatements));
      }
    }
    st.names = std::move(positional.names);
    st.original = key;
    return cache_.emplace(key, std::move(st)).first->second;
  }

  void Bind(TStatement& st, const TSqlParams& params) {
    const std::vector<const TValue*> values = ResolveParams(st.names, params);
    for (size_t i = 0; i < values.size(); ++i) {
      const int n = static_cast<int>(i + 1);
      const TValue& v = *values[i];
      int rc = SQLITE_OK;
      auto text = [&](const std::string& s) {
        return sqlite3_bind_text(st.stmt, n, s.data(), static_cast<int>(s.size()),
                                 SQLITE_TRANSIENT);
      };
      switch (v.kind()) {
        case TValue::Kind::kNull:
          rc = sqlite3_bind_null(st.stmt, n);
          break;
        case TValue::Kind::kText:
          rc = sqlite3_bind_text(st.stmt, n, v.text().data(), static_cast<int>(v.text().size()),
                                 SQLITE_STATIC);
          break;
        case TValue::Kind::kInteger:
          rc = sqlite3_bind_int64(st.stmt, n, v.AsInteger());
          break;
        case TValue::Kind::kFloat:
          rc = sqlite3_bind_double(st.stmt, n, v.AsFloat());
          break;
        case TValue::Kind::kBoolean:
          rc = sqlite3_bind_int(st.stmt, n, v.AsBoolean() ? 1 : 0);
          break;
        case TValue::Kind::kDate:
          rc = text(IsoDate(v.AsDateTime()));
          break;
        case TValue::Kind::kTime:
          rc = text(IsoTime(v.AsDateTime()));
          break;
        case TValue::Kind::kDateTime:
          rc = text(IsoDateTime(v.AsDateTime()));
          break;
        case TValue::Kind::kDecimal: {
          // Bound as a number so that it compares as one; SQLite keeps DECIMAL columns as
          // integers or reals anyway.
          if (v.text().find('.') == std::string::npos) {
            char* end = nullptr;
            errno = 0;
            const long long i = std::strtoll(v.text().c_str(), &end, 10);
            if (errno == 0 && *end == '\0') {
              rc = sqlite3_bind_int64(st.stmt, n, i);
              break;
            }
          }
          rc = sqlite3_bind_double(st.stmt, n, std::strtod(v.text().c_str(), nullptr));
          break;
        }
      }
      if (rc != SQLITE_OK) Fail();
    }
  }

  static TValue ReadCell(sqlite3_stmt* stmt, int c) {
    switch (sqlite3_column_type(stmt, c)) {
      case SQLITE_INTEGER:
        return TValue::Integer(sqlite3_column_int64(stmt, c));
      case SQLITE_FLOAT:
        return TValue::Float(sqlite3_column_double(stmt, c));
      case SQLITE_NULL:
        return TValue();
      case SQLITE_BLOB: {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, c));
        return TValue::Text(std::string(p == nullptr ? "" : p, sqlite3_column_bytes(stmt, c)));
      }
      default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
        return TValue::Text(std::string(p, sqlite3_column_bytes(stmt, c)));
      }
    }
  }

  // The next value, atomic across connections: the UPDATE takes the write lock, and
  // RETURNING gives the value it replaced.
  TMemTable NextVal(const TNextValQuery& q) {
    TMemTable table;
    table.AddField({q.column, TFieldType::kI8});
    table.Open();
    int64_t value = 0;
    {
      TStatement* st = nullptr;
      try {
        st = &Prepare(
            "UPDATE ZORAS_SEQUENCE SET VALUE = VALUE + INCREMENT WHERE NAME = :NAME "
            "RETURNING VALUE - INCREMENT",
            false);
      } catch (const EDatabaseError&) {
        throw EDatabaseError(Msg(msg::ecSequenceMissing, {q.sequence}));
      }
      TStatementUse use(st);
      const TSqlParams params{{"NAME", TValue::Text(q.sequence)}};  // bound without a copy
      Bind(*st, params);
      const int rc = sqlite3_step(st->stmt);
      if (rc == SQLITE_DONE) throw EDatabaseError(Msg(msg::ecSequenceMissing, {q.sequence}));
      if (rc != SQLITE_ROW) Fail();
      value = sqlite3_column_int64(st->stmt, 0);
      while (sqlite3_step(st->stmt) == SQLITE_ROW) {
      }
    }
    table.AppendRow({TValue::Integer(value)});
    table.First();
    return table;
  }

  // Statements of a script end at a ';' where sqlite3_complete says the statement is
  // whole (so trigger bodies stay together).
  static std::vector<std::string> SplitScript(std::string_view script) {
    std::vector<std::string> out;
    std::string current;
    bool significant = false;
    for (const TSqlToken& t : LexSql(script)) {
      current += t.text;
      if (IsSignificant(t) && t.text != ";") significant = true;
      if (t.kind == TSqlTokenKind::kPunct && t.text == ";" && sqlite3_complete(current.c_str())) {
        if (significant) out.push_back(std::move(current));
        current.clear();
        significant = false;
      }
    }
    if (significant) out.push_back(std::move(current));
    return out;
  }

  void RunScriptStatement(const std::string& statement) {
    if (auto seq = MatchSequenceDdl(statement)) {
      Exec(kSqliteSequenceTableDdl);
      if (seq->drop) {
        if (Execute("DELETE FROM ZORAS_SEQUENCE WHERE NAME = :NAME",
                    {{"NAME", TValue::Text(seq->name)}}) == 0)
          throw EDatabaseError(Msg(msg::ecSequenceMissing, {seq->name}));
        return;
      }
      if (!Query("SELECT NAME FROM ZORAS_SEQUENCE WHERE NAME = :NAME",
                 {{"NAME", TValue::Text(seq->name)}})
               .IsEmpty())
        throw EDatabaseError(Msg(msg::ecSequenceExists, {seq->name}));
      Execute("INSERT INTO ZORAS_SEQUENCE (NAME, VALUE, INCREMENT) VALUES (:NAME, :VALUE, :INC)",
              {{"NAME", TValue::Text(seq->name)},
               {"VALUE", TValue::Integer(seq->start)},
               {"INC", TValue::Integer(seq->increment)}});
      return;
    }
    Exec(TranslateSql(statement, TDriverKind::kSQLite).c_str());
    // DDL may change what cached statements see; SQLite re-prepares them itself.
  }

  sqlite3* db_;
  const std::string path_;
  std::unordered_map<std::string, TStatement> cache_;
};

void RegisterFunctions(sqlite3* db) {
  struct TFunction {
    const char* name;
    int args;
    bool deterministic;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
  };
  static const TFunction functions[] = {
      {"decode", -1, true, DecodeFunction},  {"nvl", 2, true, NvlFunction},
      {"to_date", 2, true, ToDateFunction},  {"char", 1, true, CharFunction},
      {"zoras_left", 2, true, LeftFunction}, {"zoras_current_date", 0, false, CurrentDateFunction},
  };
  for (const TFunction& f : functions) {
    const int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    if (sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr,
                                   nullptr) != SQLITE_OK)
      throw EDatabaseError(sqlite3_errmsg(db));
  }
}

}  // namespace

std::unique_ptr<TDbConnection> OpenSqliteDatabase(const TDatabaseTarget& target, bool create) {
  const std::string& path = target.database;
  std::error_code ec;
  if (!create && !std::filesystem::exists(path, ec))
    throw EDatabaseError(Msg(msg::ecDatabaseFileMissing, {path}));
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    const std::string message =
        std::string(db != nullptr ? sqlite3_errmsg(db) : "out of memory") + ": " + path;
    sqlite3_close_v2(db);
    throw EDatabaseError(message);
  }
  auto conn = std::make_unique<TSqliteConnection>(db, path);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // LIKE compares letter case as DB2 and PostgreSQL do; the program upper-cases where it
  // wants otherwise.
  const char* setup =
      "PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; PRAGMA case_sensitive_like=ON;";
  char* error = nullptr;
  if (sqlite3_exec(db, setup, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = (error != nullptr ? error : sqlite3_errmsg(db)) + (": " + path);
    sqlite3_free(error);
    throw EDatabaseError(message);
  }
  RegisterFunctions(db);
  return conn;
}

}  // namespace zoras
