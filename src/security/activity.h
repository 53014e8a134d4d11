// The activity trail: every saved change of the business tables, every print, login and
// logout and every refused login leaves a row in ACT, written on the request's own
// connection so it stands or falls with the change it records.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/bodm.h"
#include "db/query.h"
#include "db/table.h"

namespace zoras {

class TACTBODM : public TBODM {
 public:
  TACTBODM();

  // Records the current row of `table` under the table's own name, its first column as
  // the key. Throws what RecordActivity throws.
  void RecordRow(TFilter& table, std::string_view kind);
  // Records the current row of `dataset` under `table_name`, with the text of the field
  // `key_field` as its Id and every field's value in Cnt. Throws EZoras "Field '%s' not
  // found" for a missing key field, and the database's or NextId's error.
  void RecordActivity(const TSqlDataSet& dataset, std::string_view kind,
                      std::string_view table_name, std::string_view key_field);
  // Records a login ("I") or logout ("O") of `program`: Tbl = program, Id = "V=" + the
  // file version.
  void RecordSessionEvent(std::string_view program, std::string_view kind);

  // The recorded rows of one table row (Tbl, Id), oldest first, as a data packet whose
  // fields are `names`: a name "ACT.<column>" takes the trail row's column (or the
  // looked-up UsrLKP, Datum, Ura), any other name the value of that field in the
  // recorded Cnt. Rows with no value are left out, and `condition` (a filter
  // expression, may be empty) selects among the rest. Empty when nothing remains.
  std::string History(std::string_view table_name, std::string_view id,
                      const std::vector<std::string>& names, std::string_view condition);

  TFQuery qACT{this, "qACT"};
};

// The Cnt text of a row: for every field in order, its value as text, "#|", its name
// and "#|".
std::string ActivityContent(const TMemTable& row_source);

// The (name, value) pairs of a Cnt text, in order.
std::vector<std::pair<std::string, std::string>> ParseActivityContent(std::string_view cnt);

}  // namespace zoras
