// TFilter: the table component. It opens one table by name ordered by its index fields,
// which also form its key; key lookups restrict it to matching rows, and every posted
// insert or edit and every delete is written to the database at once.
//
// A lookup becomes a WHERE condition built column by column over the leading key
// columns ("=" when both ends are the same value, else ">=" and "<=", joined by " AND ").
// The values are bound as statement parameters rather than written into the text as
// literals in the regional forms: the same rows are found (a null key none, an empty
// text only the empty text), but a quote or a decimal comma in a value can no longer
// break the statement or change its meaning.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/query.h"
#include "packet/value.h"

namespace zoras {

class TFilter : public TSqlDataSet {
 public:
  enum class TState { kBrowse, kEdit, kInsert };

  TFilter(TBODM* owner, std::string name, std::string table_name = {},
          std::string index_field_names = {});

  // Table and index names are this system's own texts (plain SQL names, checked at Open):
  // they are written into the statements.
  void SetTableName(std::string table_name);
  const std::string& TableName() const { return table_name_; }
  // The ';'-separated columns that order the table and form its key. Empty: the table's
  // primary key. Takes effect at the next Open.
  void SetIndexFieldNames(std::string names);
  const std::string& IndexFieldNames() const { return index_field_names_; }
  // The table's primary key columns as the database reports them (read once per table
  // and connection). Throws what the database throws.
  const std::vector<std::string>& PrimaryKeyFields();
  // The key: the index field names, or else the primary key.
  std::vector<std::string> KeyFields();

  // Reads every column of every row, ordered by the key; no restriction. Throws EZoras
  // "<name>: missing table name", "<name>: invalid SQL name '<x>'", or the database's
  // error.
  void Open() override;
  // Drops the rows; a pending edit or insert is cancelled.
  void Close() override;

  // Restricts the open table to the rows whose leading key columns equal `values` (one
  // per column, fewer allowed; a null value matches no row, an empty text only the empty
  // text) and returns whether any row is left. Throws EZoras "Cannot perform this
  // operation on a closed dataset", "List index out of bounds (%d)" for more values than
  // key columns, "SQLSetRange : Unknown field type: ..." for a value on a memo or
  // binary key column, a conversion message for a value that does not fit its column.
  bool FindByKey(const std::vector<TValue>& values);
  // Restricts the open table to the rows whose key columns lie between `start` and
  // `end` (each over the leading key columns; a column without a value on one side is
  // open on that side). Throws as FindByKey.
  void SetKeyRange(const std::vector<TValue>& start, const std::vector<TValue>& end);

  // Editing the current row. Fields are set through FieldByName between Edit or Insert
  // and Post; moving the cursor posts first. Changes made in browse state stay in memory.
  // The database row is found by the table's primary key, or by the key when the table
  // has none.
  TState State() const { return state_; }
  // Starts editing the current row. Throws EZoras on a closed or empty table.
  void Edit();
  // Appends an empty row and starts inserting it. Throws EZoras on a closed table.
  void Insert();
  // Saves the pending edit (UPDATE of the changed columns, WHERE the old values) or insert
  // (INSERT of the non-null columns) at once. Throws EZoras "Dataset not in edit or insert
  // mode", "Record not found or changed by another user" when no row had the old key, or
  // the database's error (the edit then stays pending).
  void Post();
  // Deletes the current row from the database and from the table (a pending edit is
  // cancelled first). Throws as Post.
  void Delete();
  // Drops a pending edit (the row's old values come back) or insert (the row goes).
  void Cancel();

 protected:
  void BeforeScroll() override;

 private:
  // SELECT * FROM table [WHERE condition] ORDER BY key.
  void Select(const std::string& condition, const TSqlParams& params);
  // The WHERE condition of a restriction, its values bound into `params`.
  std::string KeyCondition(const std::vector<TValue>& start, const std::vector<TValue>& end,
                           TSqlParams* params);
  // The value a key column is compared with: `v` converted to the column's type.
  TValue KeyValue(const TFieldDef& column, const TValue& v) const;
  // The columns that identify one row in UPDATE and DELETE: the primary key when the
  // table has one (an index need not be unique), else the key.
  std::vector<std::string> RowIdentity();
  // "K1 = :K1 AND K2 IS NULL" for the identity values of `row`.
  std::string RowCondition(const std::vector<TValue>& row, TSqlParams* params);
  int ColumnIndex(const std::string& column) const;
  void CheckName(std::string_view name) const;

  std::string table_name_;
  std::string index_field_names_;
  std::vector<std::string> primary_key_;
  bool primary_key_read_ = false;
  const TDM* primary_key_connection_ = nullptr;

  TState state_ = TState::kBrowse;
  std::vector<TValue> old_row_;  // the row as it was before Edit
};

}  // namespace zoras
