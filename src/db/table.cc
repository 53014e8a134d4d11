#include "db/table.h"

#include <utility>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/messages.h"

namespace zoras {
namespace {

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += separator;
    out += parts[i];
  }
  return out;
}

std::vector<std::string> SplitNames(std::string_view names) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    std::string_view name = names.substr(start, end - start);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty()) out.emplace_back(name);
    start = end + 1;
  }
  return out;
}

bool IsSqlName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '$' || c == '.';
    if (!ok) return false;
  }
  return true;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The name a key column type has in the "SQLSetRange" message.
std::string_view KeyTypeName(TFieldType type) {
  switch (type) {
    case TFieldType::kMemo:
      return "Memo";
    case TFieldType::kBinary:
      return "Binary";
    default:
      return FieldTypeName(type);
  }
}

constexpr std::string_view kSqlitePrimaryKey =
    "SELECT name FROM pragma_table_info(:TABLENAME) WHERE pk > 0 ORDER BY pk";
constexpr std::string_view kPostgresPrimaryKey =
    "SELECT kcu.column_name FROM information_schema.table_constraints tc "
    "JOIN information_schema.key_column_usage kcu ON kcu.constraint_name = tc.constraint_name "
    "AND kcu.table_schema = tc.table_schema AND kcu.table_name = tc.table_name "
    "WHERE tc.constraint_type = 'PRIMARY KEY' AND tc.table_name = :TABLENAME "
    "AND tc.table_schema = current_schema() ORDER BY kcu.ordinal_position";

}  // namespace

TFilter::TFilter(TBODM* owner, std::string name, std::string table_name,
                 std::string index_field_names)
    : TSqlDataSet(owner, std::move(name)),
      table_name_(std::move(table_name)),
      index_field_names_(std::move(index_field_names)) {}

void TFilter::SetTableName(std::string table_name) {
  table_name_ = std::move(table_name);
  primary_key_read_ = false;
}

void TFilter::SetIndexFieldNames(std::string names) { index_field_names_ = std::move(names); }

void TFilter::CheckName(std::string_view name) const {
  if (!IsSqlName(name)) throw EZoras(Msg(msg::ecInvalidSqlName, {Name(), name}));
}

const std::vector<std::string>& TFilter::PrimaryKeyFields() {
  if (primary_key_read_ && primary_key_connection_ == Connection()) return primary_key_;
  if (table_name_.empty()) throw EZoras(Msg(msg::ecNoTableName, {Name()}));
  CheckName(table_name_);
  TDbConnection& db = Db();
  TMemTable keys;
  if (db.Driver() == TDriverKind::kPostgreSQL) {
    // Unquoted names are folded to lower case by the server, so the catalogue has them so.
    keys = db.Query(kPostgresPrimaryKey, {{"TABLENAME", TValue::Text(Lower(table_name_))}});
  } else {
    keys = db.Query(kSqlitePrimaryKey, {{"TABLENAME", TValue::Text(table_name_)}});
  }
  primary_key_.clear();
  for (keys.First(); !keys.Eof(); keys.Next()) primary_key_.push_back(keys.Field(0).AsString());
  primary_key_read_ = true;
  primary_key_connection_ = Connection();
  return primary_key_;
}

std::vector<std::string> TFilter::KeyFields() {
  std::vector<std::string> names = SplitNames(index_field_names_);
  if (!names.empty()) return names;
  return PrimaryKeyFields();
}

std::vector<std::string> TFilter::RowIdentity() {
  const std::vector<std::string>& primary = PrimaryKeyFields();
  std::vector<std::string> identity = primary.empty() ? KeyFields() : primary;
  if (identity.empty()) throw EZoras(Msg(msg::ecNoKeyFields, {Name(), table_name_}));
  return identity;
}

int TFilter::ColumnIndex(const std::string& column) const {
  const int index = DataSet().FindField(column);
  if (index < 0) throw EZoras(Msg(msg::ecFieldNotFound, {column}));
  return index;
}

void TFilter::Select(const std::string& condition, const TSqlParams& params) {
  if (table_name_.empty()) throw EZoras(Msg(msg::ecNoTableName, {Name()}));
  CheckName(table_name_);
  const std::vector<std::string> keys = KeyFields();
  for (const std::string& key : keys) CheckName(key);
  std::string sql = "SELECT * FROM " + table_name_;
  if (!condition.empty()) sql += " WHERE " + condition;
  if (!keys.empty()) sql += " ORDER BY " + Join(keys, ", ");
  TMemTable result = Db().Query(sql, params);
  if (state_ != TState::kBrowse) Cancel();
  SetResult(std::move(result));
}

void TFilter::Open() { Select({}, {}); }

void TFilter::Close() {
  if (state_ != TState::kBrowse) Cancel();
  TSqlDataSet::Close();
}

TValue TFilter::KeyValue(const TFieldDef& column, const TValue& v) const {
  // A null key stays null and so finds no row, whatever the column's type.
  if (v.IsNull()) return v;
  if (column.type == TFieldType::kMemo || column.type == TFieldType::kBinary) {
    throw EZoras(
        Msg(msg::ecSQLSetRangeUnknownFieldType, {KeyTypeName(column.type), Name(), table_name_}));
  }
  return ConvertToField(column, v);
}

std::string TFilter::KeyCondition(const std::vector<TValue>& start, const std::vector<TValue>& end,
                                  TSqlParams* params) {
  const std::vector<std::string> keys = KeyFields();
  if (start.size() > keys.size() || end.size() > keys.size())
    throw EZoras(Msg(msg::ecListIndexError, {std::to_string(keys.size())}));
  std::vector<std::string> parts;
  for (size_t i = 0; i < keys.size(); ++i) {
    const bool has_start = i < start.size();
    const bool has_end = i < end.size();
    if (!has_start && !has_end) continue;
    CheckName(keys[i]);
    const TFieldDef& column = DataSet().FieldDef(static_cast<size_t>(ColumnIndex(keys[i])));
    const std::string n = std::to_string(i + 1);
    const TValue s = has_start ? KeyValue(column, start[i]) : TValue();
    const TValue e = has_end ? KeyValue(column, end[i]) : TValue();
    if (has_start && has_end && s == e) {
      parts.push_back(keys[i] + " = :KEY" + n);
      params->Set("KEY" + n, s);
      continue;
    }
    std::string part;
    if (has_start) {
      part = keys[i] + " >= :KEYFROM" + n;
      params->Set("KEYFROM" + n, s);
    }
    if (has_end) {
      if (!part.empty()) part += " AND ";
      part += keys[i] + " <= :KEYTO" + n;
      params->Set("KEYTO" + n, e);
    }
    parts.push_back(std::move(part));
  }
  return Join(parts, " AND ");
}

bool TFilter::FindByKey(const std::vector<TValue>& values) {
  SetKeyRange(values, values);
  return !IsEmpty();
}

void TFilter::SetKeyRange(const std::vector<TValue>& start, const std::vector<TValue>& end) {
  if (!Active()) throw EZoras(Msg(msg::ecDataSetClosed));
  BeforeScroll();
  TSqlParams params;
  const std::string condition = KeyCondition(start, end, &params);
  Select(condition, params);
}

std::string TFilter::RowCondition(const std::vector<TValue>& row, TSqlParams* params) {
  std::vector<std::string> parts;
  const std::vector<std::string> identity = RowIdentity();
  for (size_t i = 0; i < identity.size(); ++i) {
    CheckName(identity[i]);
    const TValue& v = row[static_cast<size_t>(ColumnIndex(identity[i]))];
    if (v.IsNull()) {
      parts.push_back(identity[i] + " IS NULL");
      continue;
    }
    const std::string p = "OLD" + std::to_string(i + 1);
    parts.push_back(identity[i] + " = :" + p);
    params->Set(p, v);
  }
  return Join(parts, " AND ");
}

void TFilter::BeforeScroll() {
  if (state_ != TState::kBrowse) Post();
}

void TFilter::Edit() {
  if (state_ != TState::kBrowse) return;
  if (!Active()) throw EZoras(Msg(msg::ecDataSetClosed));
  if (IsEmpty()) throw EZoras(Msg(msg::ecDataSetEmpty));
  old_row_ = DataSet().StoredRow(DataSet().CurrentStoredRow());
  state_ = TState::kEdit;
}

void TFilter::Insert() {
  BeforeScroll();
  DataSet().Append();
  old_row_.clear();
  state_ = TState::kInsert;
}

void TFilter::Post() {
  if (state_ == TState::kBrowse) throw EZoras(Msg(msg::ecNotEditing));
  const std::vector<TValue>& row = DataSet().StoredRow(DataSet().CurrentStoredRow());
  const std::vector<TFieldDecl>& fields = Fields();
  TSqlParams params;
  std::vector<std::string> columns;
  for (size_t i = 0; i < row.size(); ++i) {
    if (fields[i].calculated) continue;
    const bool write = state_ == TState::kInsert ? !row[i].IsNull() : !(row[i] == old_row_[i]);
    if (!write) continue;
    CheckName(fields[i].name);
    const std::string p = "NEW" + std::to_string(columns.size() + 1);
    columns.push_back(fields[i].name);
    params.Set(p, row[i]);
  }
  if (state_ == TState::kInsert) {
    std::string sql = "INSERT INTO " + table_name_;
    if (columns.empty()) {
      sql += " DEFAULT VALUES";
    } else {
      std::vector<std::string> values;
      for (size_t i = 0; i < columns.size(); ++i) values.push_back(":NEW" + std::to_string(i + 1));
      sql += " (" + Join(columns, ", ") + ") VALUES (" + Join(values, ", ") + ")";
    }
    Db().Execute(sql, params);
  } else if (!columns.empty()) {
    std::vector<std::string> sets;
    for (size_t i = 0; i < columns.size(); ++i)
      sets.push_back(columns[i] + " = :NEW" + std::to_string(i + 1));
    const std::string where = RowCondition(old_row_, &params);
    const std::string sql =
        "UPDATE " + table_name_ + " SET " + Join(sets, ", ") + " WHERE " + where;
    if (Db().Execute(sql, params) == 0) throw EZoras(Msg(msg::ecRecordChanged));
  }
  state_ = TState::kBrowse;
  old_row_.clear();
  CalcCurrentRow();
}

void TFilter::Delete() {
  if (state_ == TState::kInsert) {
    Cancel();
    return;
  }
  if (state_ == TState::kEdit) Cancel();
  if (!Active()) throw EZoras(Msg(msg::ecDataSetClosed));
  if (IsEmpty()) throw EZoras(Msg(msg::ecDataSetEmpty));
  TSqlParams params;
  const std::string where =
      RowCondition(DataSet().StoredRow(DataSet().CurrentStoredRow()), &params);
  if (Db().Execute("DELETE FROM " + table_name_ + " WHERE " + where, params) == 0)
    throw EZoras(Msg(msg::ecRecordChanged));
  DataSet().Delete();
}

void TFilter::Cancel() {
  if (state_ == TState::kInsert) {
    DataSet().Delete();
  } else if (state_ == TState::kEdit) {
    for (size_t i = 0; i < old_row_.size(); ++i) DataSet().SetValue(i, old_row_[i]);
  }
  state_ = TState::kBrowse;
  old_row_.clear();
}

}  // namespace zoras
