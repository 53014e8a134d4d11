#include "db/sql_text.h"

namespace zoras {
namespace {

// The length of the UTF-8 sequence that `lead` starts; 1 for a stray byte, so malformed
// text still yields one literal per byte.
size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace

std::string SelectValue(std::string_view column, std::string_view table, std::string_view condition,
                        TDM& connection) {
  std::string sql = "select ";
  sql += column;
  sql += " from ";
  sql += table;
  sql += " ";
  if (!condition.empty()) {
    sql += "\nWhere ";
    sql += condition;
  }
  const TMemTable result = connection.dbZor().Query(sql);
  if (result.IsEmpty() || result.FieldCount() == 0) return {};
  return result.Field(0).AsString();
}

std::string CaseExpr(std::string_view operand, std::string_view value, std::string_view result,
                     std::string_view else_result, std::string_view condition) {
  std::string out = "CASE ";
  if (!condition.empty()) {
    out += "WHEN ";
    out += condition;
  } else {
    out += operand;
    out += " WHEN ";
    out += value;
  }
  out += " THEN ";
  out += result;
  out += " ELSE ";
  out += else_result;
  out += " END";
  return out;
}

std::string QuotedCharList(std::string_view text, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t n = Utf8Length(static_cast<unsigned char>(text[i]));
    if (i + n > text.size()) n = 1;
    if (!out.empty()) out += separator;
    out += '\'';
    if (text[i] == '\'')
      out += "''";
    else
      out.append(text.substr(i, n));
    out += '\'';
    i += n;
  }
  return out;
}

}  // namespace zoras
