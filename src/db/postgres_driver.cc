#include "db/postgres_driver.h"

#include <libpq-fe.h>
#include <poll.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "base/messages.h"
#include "db/dialect.h"
#include "db/sql_params.h"

namespace zoras {
namespace {

// Type OIDs of pg_type (fixed since the first releases).
constexpr Oid kBoolOid = 16, kByteaOid = 17, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23,
              kTextOid = 25, kOidOid = 26, kFloat4Oid = 700, kFloat8Oid = 701, kBpcharOid = 1042,
              kVarcharOid = 1043, kDateOid = 1082, kTimeOid = 1083, kTimestampOid = 1114,
              kTimestampTzOid = 1184, kTimeTzOid = 1266, kNumericOid = 1700;

constexpr size_t kStatementCacheSize = 256;
// Precision of a numeric column without a declared one (SUM of a DECIMAL column).
constexpr int kUnboundedNumericWidth = 32;

// Polymorphic DECODE for 3 to 21 arguments: the expression and the search values share
// one type, the results another (anycompatible, so that results written only as literals
// are text). NULL matches NULL, as in DB2 and Oracle.
std::string DecodeFunctions() {
  std::string out;
  for (int argc = 3; argc <= 21; ++argc) {
    std::string args = "anyelement";
    std::string body = "SELECT CASE";
    int i = 2;
    for (; i + 1 <= argc; i += 2) {
      args += ", anyelement, anycompatible";
      body +=
          " WHEN $1 IS NOT DISTINCT FROM $" + std::to_string(i) + " THEN $" + std::to_string(i + 1);
    }
    if (i == argc) {
      args += ", anycompatible";
      body += " ELSE $" + std::to_string(i);
    }
    body += " END";
    out += "CREATE OR REPLACE FUNCTION decode(" + args +
           ") RETURNS anycompatible LANGUAGE sql IMMUTABLE AS $$" + body + "$$;\n";
  }
  return out;
}

std::string Trimmed(const char* s) {
  std::string out = s != nullptr ? s : "";
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

void IgnoreNotice(void*, const char*) {}

// Owns a PGresult.
class TResult {
 public:
  explicit TResult(PGresult* r = nullptr) : r_(r) {}
  ~TResult() { PQclear(r_); }
  TResult(TResult&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
  TResult& operator=(TResult&& o) noexcept {
    std::swap(r_, o.r_);
    return *this;
  }
  PGresult* get() const { return r_; }
  ExecStatusType status() const { return PQresultStatus(r_); }
  bool ok() const {
    const ExecStatusType s = status();
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK || s == PGRES_EMPTY_QUERY;
  }
  std::string state() const {
    const char* s = r_ != nullptr ? PQresultErrorField(r_, PG_DIAG_SQLSTATE) : nullptr;
    return s != nullptr ? s : "";
  }

 private:
  PGresult* r_;
};

// How parameters of each kind are typed when a statement is prepared.
struct TTyping {
  bool typed_text = false;       // text and null as text, not left to the server
  bool untyped_numbers = false;  // integers, floats and decimals left to the server
  bool operator==(const TTyping&) const = default;
};

Oid ParamOid(TValue::Kind kind, TTyping typing) {
  switch (kind) {
    case TValue::Kind::kNull:
    case TValue::Kind::kText:
      return typing.typed_text ? kTextOid : 0;
    case TValue::Kind::kInteger:
      return typing.untyped_numbers ? 0 : kInt8Oid;
    case TValue::Kind::kFloat:
      return typing.untyped_numbers ? 0 : kFloat8Oid;
    case TValue::Kind::kDecimal:
      return typing.untyped_numbers ? 0 : kNumericOid;
    case TValue::Kind::kBoolean:
      return kBoolOid;
    case TValue::Kind::kDate:
      return kDateOid;
    case TValue::Kind::kTime:
      return kTimeOid;
    case TValue::Kind::kDateTime:
      return kTimestampOid;
  }
  return 0;
}

std::string ParamText(const TValue& v) {
  switch (v.kind()) {
    case TValue::Kind::kInteger:
      return std::to_string(v.AsInteger());
    case TValue::Kind::kFloat:
      return FloatText(v.AsFloat());
    case TValue::Kind::kBoolean:
      return v.AsBoolean() ? "t" : "f";
    case TValue::Kind::kDate:
      return IsoDate(v.AsDateTime());
    case TValue::Kind::kTime:
      return IsoTime(v.AsDateTime());
    case TValue::Kind::kDateTime:
      return IsoDateTime(v.AsDateTime());
    default:
      return v.text();
  }
}

// A statement parsed once per connection: its PostgreSQL text and what its select list
// says; prepared once per combination of parameter kinds.
struct TParsed {
  std::string sql;  // translated, with $N placeholders
  std::vector<std::string> names;
  TSelectList select;
  std::unordered_map<std::string, std::string> prepared;  // kinds signature -> name
};

bool ParseInt(std::string_view s, int64_t* out) {
  const auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::string UnHex(std::string_view s) {
  std::string out;
  if (s.size() < 2 || s[0] != '\\' || s[1] != 'x') return std::string(s);
  auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (size_t i = 2; i + 1 < s.size(); i += 2)
    out += static_cast<char>(nibble(s[i]) * 16 + nibble(s[i + 1]));
  return out;
}

// The column's field from its type OID and modifier; width 0 on a string means "as wide
// as the longest value".
TFieldDef FieldOf(Oid type, int mod, Oid table) {
  TFieldDef f;
  switch (type) {
    case kBoolOid:
      f.type = TFieldType::kBoolean;
      break;
    case kInt2Oid:
      f.type = TFieldType::kI2;
      break;
    case kInt4Oid:
      f.type = TFieldType::kI4;
      break;
    case kInt8Oid:
    case kOidOid:
      f.type = TFieldType::kI8;
      break;
    case kFloat4Oid:
    case kFloat8Oid:
      f.type = TFieldType::kR8;
      break;
    case kNumericOid:
      f.type = TFieldType::kFixed;
      if (mod >= 4) {
        f.width = ((mod - 4) >> 16) & 0xffff;
        f.decimals = (mod - 4) & 0xffff;
      } else {
        f.width = kUnboundedNumericWidth;
        f.decimals = -1;  // from the values
      }
      break;
    case kVarcharOid:
    case kBpcharOid:
      f.type = TFieldType::kString;
      f.width = mod >= 4 ? mod - 4 : 0;
      break;
    case kTextOid:
      // TEXT columns of tables are memos; text computed by the statement (literals,
      // functions) is an ordinary string, as on SQLite.
      f.type = table != InvalidOid ? TFieldType::kMemo : TFieldType::kString;
      break;
    case kDateOid:
      f.type = TFieldType::kDate;
      break;
    case kTimestampOid:
    case kTimestampTzOid:
      f.type = TFieldType::kDateTime;
      break;
    case kTimeOid:
    case kTimeTzOid:
      f.type = TFieldType::kTime;
      break;
    case kByteaOid:
      f.type = TFieldType::kBinary;
      break;
    default:
      f.type = TFieldType::kString;
      break;
  }
  return f;
}

// Cuts a time zone offset ("+02", "-05:30") off a timestamptz or timetz text.
std::string_view WithoutZone(std::string_view s) {
  const size_t p = s.find_last_of("+-");
  if (p != std::string_view::npos && p >= 8 && s[p - 1] != '-' && s.find(':', 0) < p)
    return s.substr(0, p);
  return s;
}

TValue ParseCell(std::string_view s, Oid type, const TFieldDef& f) {
  switch (f.type) {
    case TFieldType::kBoolean:
      return TValue::Boolean(s == "t");
    case TFieldType::kI2:
    case TFieldType::kI4:
    case TFieldType::kI8: {
      int64_t i = 0;
      if (!ParseInt(s, &i)) throw EZoras(Msg(msg::ecInvalidInteger, {s}));
      return TValue::Integer(i);
    }
    case TFieldType::kR8: {
      const std::string text(s);
      char* end = nullptr;
      const double d = std::strtod(text.c_str(), &end);
      if (*end != '\0' || !std::isfinite(d)) throw EZoras(Msg(msg::ecInvalidFloat, {s}));
      return TValue::Float(d);
    }
    case TFieldType::kFixed:
      return TValue::Decimal(s);
    case TFieldType::kDate:
    case TFieldType::kDateTime: {
      TDateTime dt;
      if (!ParseIsoDateTime(type == kTimestampTzOid ? WithoutZone(s) : s, &dt))
        throw EZoras(
            Msg(f.type == TFieldType::kDate ? msg::ecInvalidDate : msg::ecInvalidDateTime, {s}));
      return f.type == TFieldType::kDate ? TValue::Date(dt) : TValue::DateTime(dt);
    }
    case TFieldType::kTime: {
      TDateTime t;
      if (!ParseIsoTime(type == kTimeTzOid ? WithoutZone(s) : s, &t))
        throw EZoras(Msg(msg::ecInvalidTime, {s}));
      return TValue::Time(t);
    }
    case TFieldType::kBinary:
      return TValue::Text(UnHex(s));
    default:
      if (type == kBpcharOid) {
        // CHAR(n) comes back blank-padded; SQLite keeps the value as stored, so both
        // drivers give it without the padding.
        while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      }
      return TValue::Text(std::string(s));
  }
}

int DecimalsOf(std::string_view s) {
  const size_t p = s.find('.');
  return p == std::string_view::npos ? 0 : static_cast<int>(s.size() - p - 1);
}

class TPostgresConnection : public TDbConnection {
 public:
  explicit TPostgresConnection(PGconn* conn) : conn_(conn) {}
  ~TPostgresConnection() override { PQfinish(conn_); }

  std::string DriverName() const override { return "PostgreSQL"; }
  TDriverKind Driver() const override { return TDriverKind::kPostgreSQL; }

  TMemTable Query(std::string_view sql, const TSqlParams& params) override {
    TParsed* parsed = nullptr;
    const TResult r = Run(sql, params, &parsed);
    const int columns = PQnfields(r.get());
    const int rows = PQntuples(r.get());
    const auto& items = parsed->select.item_fields;

    std::vector<TFieldDef> fields(columns);
    for (int c = 0; c < columns; ++c) {
      const Oid type = PQftype(r.get(), c);
      fields[c] = FieldOf(type, PQfmod(r.get(), c), PQftable(r.get(), c));
      // A text literal is as wide as itself, also when no row comes back.
      if (fields[c].type == TFieldType::kString && fields[c].width == 0 &&
          static_cast<size_t>(columns) == items.size() && items[c] &&
          items[c]->type == TFieldType::kString)
        fields[c].width = items[c]->width;
      fields[c].name = SpellColumn(PQfname(r.get(), c), parsed->select);
    }
    MakeColumnNamesUnique(&fields);

    std::vector<std::vector<TValue>> cells(rows, std::vector<TValue>(columns));
    for (int c = 0; c < columns; ++c) {
      TFieldDef& f = fields[c];
      const Oid type = PQftype(r.get(), c);
      const bool measure = f.type == TFieldType::kString && f.width == 0;
      int width = 1, decimals = 0;
      for (int row = 0; row < rows; ++row) {
        if (PQgetisnull(r.get(), row, c)) continue;
        const std::string_view text(PQgetvalue(r.get(), row, c), PQgetlength(r.get(), row, c));
        try {
          cells[row][c] = ParseCell(text, type, f);
        } catch (const EZoras& e) {
          throw EDatabaseError(Msg(msg::ecColumnValue, {f.name, e.what()}));
        }
        if (measure) width = std::max(width, Utf8Length(cells[row][c].text()));
        if (f.decimals < 0) decimals = std::max(decimals, DecimalsOf(text));
      }
      if (measure) f.width = width;
      if (f.decimals < 0) f.decimals = decimals;
    }
    TMemTable table;
    for (auto& f : fields) table.AddField(std::move(f));
    table.Open();
    table.ReserveRows(cells.size());
    for (auto& row : cells) table.AppendRow(std::move(row));
    table.First();
    return table;
  }

  int64_t Execute(std::string_view sql, const TSqlParams& params) override {
    TParsed* parsed = nullptr;
    const TResult r = Run(sql, params, &parsed);
    int64_t n = 0;
    ParseInt(PQcmdTuples(r.get()), &n);
    return n;
  }

  void ExecuteScript(std::string_view script) override {
    const std::string sql = TranslateSql(script, TDriverKind::kPostgreSQL);
    // One PQexec runs the whole script in one implicit transaction.
    Check(TResult(PQexec(conn_, sql.c_str())));
    // Changed tables may change the result types of prepared statements.
    ForgetPrepared();
  }

  void Begin() override {
    if (InTransaction()) throw EDatabaseError(Msg(msg::ecTransactionActive));
    Check(TResult(PQexec(conn_, "BEGIN")));
  }
  void Commit() override {
    if (!InTransaction()) throw EDatabaseError(Msg(msg::ecNoTransaction));
    const TResult r(PQexec(conn_, "COMMIT"));
    Check(r);
    // COMMIT of a failed transaction rolls it back and says so only in its tag.
    if (std::string_view(PQcmdStatus(r.get())) == "ROLLBACK")
      throw EDatabaseError(Msg(msg::ecCommitRolledBack));
  }
  void Rollback() override {
    if (InTransaction()) Check(TResult(PQexec(conn_, "ROLLBACK")));
  }
  bool InTransaction() const override {
    const PGTransactionStatusType s = PQtransactionStatus(conn_);
    return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
  }

  bool IsAlive() override {
    if (PQstatus(conn_) != CONNECTION_OK) return false;
    // Reads what the server sent while the connection was idle; fails when the socket
    // closed.
    if (!PQconsumeInput(conn_) || PQstatus(conn_) != CONNECTION_OK) return false;
    while (PGnotify* n = PQnotifies(conn_)) PQfreemem(n);
    pollfd p{PQsocket(conn_), POLLIN, 0};
    const bool pending = poll(&p, 1, 0) != 0;
    // An idle session only hears from the server when it is being closed (a terminated
    // backend sends its FATAL message, then EOF); a round trip settles it.
    if (pending || suspect_) {
      suspect_ = false;
      const TResult r(PQexec(conn_, ""));
      return r.status() == PGRES_EMPTY_QUERY && PQstatus(conn_) == CONNECTION_OK;
    }
    return true;
  }

 private:
  void Check(const TResult& r) {
    if (r.ok()) return;
    const char* primary =
        r.get() != nullptr ? PQresultErrorField(r.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (PQstatus(conn_) != CONNECTION_OK || r.get() == nullptr) suspect_ = true;
    throw EDatabaseError(primary != nullptr ? std::string(primary)
                                            : Trimmed(PQerrorMessage(conn_)));
  }

  void ForgetPrepared() {
    if (parsed_.empty()) return;
    const TResult r(PQexec(conn_, "DEALLOCATE ALL"));
    // In a failed transaction the statements stay; they are forgotten on a later call.
    if (r.ok()) parsed_.clear();
  }

  TParsed& Parse(std::string_view sql) {
    const std::string key(sql);
    if (auto it = parsed_.find(key); it != parsed_.end()) return it->second;
    if (prepared_count_ >= kStatementCacheSize) {
      ForgetPrepared();
      if (parsed_.empty()) prepared_count_ = 0;
    }
    TPositionalSql positional =
        ToPositional(TranslateSql(sql, TDriverKind::kPostgreSQL), TPlaceholderStyle::kDollar);
    TParsed p;
    p.sql = std::move(positional.sql);
    p.names = std::move(positional.names);
    p.select = AnalyzeSelectList(sql);
    return parsed_.emplace(key, std::move(p)).first->second;
  }

  // Prepares with the types `typing` gives; inside a transaction under a savepoint, so a
  // refused statement does not end the caller's transaction.
  TResult TryPrepare(const std::string& name, const TParsed& p,
                     const std::vector<const TValue*>& values, TTyping typing) {
    std::vector<Oid> oids;
    oids.reserve(values.size());
    for (const TValue* v : values) oids.push_back(ParamOid(v->kind(), typing));
    const bool savepoint = PQtransactionStatus(conn_) == PQTRANS_INTRANS;
    if (savepoint) Check(TResult(PQexec(conn_, "SAVEPOINT zoras_prepare")));
    TResult r(
        PQprepare(conn_, name.c_str(), p.sql.c_str(), static_cast<int>(oids.size()), oids.data()));
    if (savepoint) {
      if (!r.ok()) Check(TResult(PQexec(conn_, "ROLLBACK TO SAVEPOINT zoras_prepare")));
      Check(TResult(PQexec(conn_, "RELEASE SAVEPOINT zoras_prepare")));
    }
    return r;
  }

  const std::string& Prepare(TParsed& p, const std::vector<const TValue*>& values) {
    std::string signature;
    signature.reserve(values.size());
    for (const TValue* v : values)
      signature += static_cast<char>('a' + static_cast<int>(v->kind()));
    if (auto it = p.prepared.find(signature); it != p.prepared.end()) return it->second;

    const std::string name = "zoras_" + std::to_string(++statement_number_);
    TTyping typing;
    for (int attempt = 0;; ++attempt) {
      TResult r = TryPrepare(name, p, values, typing);
      if (r.ok()) break;
      // The server could not type a parameter alone (":X IS NULL"): type text as text.
      // A typed number met a text column ("KRTBNK = :ID"): let the server type numbers.
      TTyping next = typing;
      const std::string state = r.state();
      if (state == "42P18") next.typed_text = true;
      if (state == "42883" || state == "42804") next.untyped_numbers = true;
      if (next == typing || attempt == 2) Check(r);
      typing = next;
    }
    ++prepared_count_;
    return p.prepared.emplace(signature, name).first->second;
  }

  TResult Run(std::string_view sql, const TSqlParams& params, TParsed** parsed) {
    TParsed& p = Parse(sql);
    *parsed = &p;
    const std::vector<const TValue*> values = ResolveParams(p.names, params);
    const std::string& name = Prepare(p, values);
    std::vector<std::string> texts(values.size());
    std::vector<const char*> pointers(values.size(), nullptr);
    for (size_t i = 0; i < values.size(); ++i) {
      if (values[i]->IsNull()) continue;
      texts[i] = ParamText(*values[i]);
      pointers[i] = texts[i].c_str();
    }
    TResult r(PQexecPrepared(conn_, name.c_str(), static_cast<int>(values.size()), pointers.data(),
                             nullptr, nullptr, 0));
    Check(r);
    return r;
  }

  PGconn* conn_;
  bool suspect_ = false;  // a command failed in a way that may mean the session is gone
  std::unordered_map<std::string, TParsed> parsed_;
  size_t prepared_count_ = 0;
  uint64_t statement_number_ = 0;
};

}  // namespace

std::string PostgresSetupScript() {
  return "CREATE OR REPLACE FUNCTION nvl(anycompatible, anycompatible) RETURNS anycompatible\n"
         "  LANGUAGE sql IMMUTABLE AS $$SELECT COALESCE($1, $2)$$;\n"
         "CREATE OR REPLACE FUNCTION zoras_char(anyelement) RETURNS text\n"
         "  LANGUAGE sql STABLE AS $$SELECT $1::text$$;\n" +
         DecodeFunctions();
}

std::unique_ptr<TDbConnection> OpenPostgresDatabase(const TDatabaseTarget& target,
                                                    const TDatabaseLogin& login) {
  // The target's connection string is expanded first; the login's keywords follow it and
  // take precedence. Nothing is pasted into a connection string.
  std::vector<const char*> keys = {"dbname", "client_encoding", "connect_timeout",
                                   "application_name"};
  std::vector<const char*> values = {target.database.c_str(), "UTF8", "10", "zoras"};
  if (!login.user.empty()) {
    keys.push_back("user");
    values.push_back(login.user.c_str());
  }
  if (!login.password.empty()) {
    keys.push_back("password");
    values.push_back(login.password.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* conn = PQconnectdbParams(keys.data(), values.data(), /*expand_dbname=*/1);
  if (conn == nullptr) throw EDatabaseError("out of memory");
  if (PQstatus(conn) != CONNECTION_OK) {
    const std::string message = Trimmed(PQerrorMessage(conn));
    PQfinish(conn);
    throw EDatabaseError(message);
  }
  PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);
  auto result = std::make_unique<TPostgresConnection>(conn);
  // Dates travel as ISO text both ways.
  PGresult* r = PQexec(conn, "SET DateStyle TO ISO, YMD");
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  if (!ok) throw EDatabaseError(Trimmed(PQerrorMessage(conn)));
  return result;
}

}  // namespace zoras
