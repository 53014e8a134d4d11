// TMemTable: an in-memory dataset (field definitions, rows, a current row and an optional
// filter). The packet reader gives one; the database layer fills them from query results.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "packet/filter.h"
#include "packet/value.h"

namespace zoras {

class TMemTable;

// A read handle on one field of a table's current row. Valid while the table lives and
// its field list does not change. With no current row every field reads as null.
class TFieldView {
 public:
  TFieldView(const TMemTable* table, size_t index) : table_(table), index_(index) {}

  size_t Index() const { return index_; }
  const TFieldDef& Def() const;
  const std::string& Name() const { return Def().name; }
  TFieldType Type() const { return Def().type; }

  const TValue& Value() const;
  bool IsNull() const { return Value().IsNull(); }
  // The value's conversions (TValue): display text in the regional settings, and null
  // read as 0, the zero date or false. Throw EZoras when the value is not convertible.
  std::string AsString() const { return Value().AsString(); }
  int64_t AsInteger() const { return Value().AsInteger(); }
  double AsFloat() const { return Value().AsFloat(); }
  TDateTime AsDateTime() const { return Value().AsDateTime(); }
  bool AsBoolean() const { return Value().AsBoolean(); }

 protected:
  const TMemTable* table_;
  size_t index_;
};

// A read and write handle on one field of a table's current row.
class TField : public TFieldView {
 public:
  TField(TMemTable* table, size_t index) : TFieldView(table, index) {}

  // Stores the value converted to the field's type (ConvertToField): text in the regional
  // forms, empty text as null except in text fields. Throws EZoras when the value does not
  // fit, or when there is no current row ("Cannot perform this operation on an empty
  // dataset") or the table is closed.
  void SetValue(const TValue& v) const;
  void SetString(std::string_view text) const { SetValue(TValue::Text(std::string(text))); }
  void SetInteger(int64_t v) const { SetValue(TValue::Integer(v)); }
  void SetFloat(double v) const { SetValue(TValue::Float(v)); }
  void SetBoolean(bool v) const { SetValue(TValue::Boolean(v)); }
  void SetDateTime(TDateTime v) const { SetValue(TValue::DateTime(v)); }
  void Clear() const { SetValue(TValue()); }
};

class TMemTable {
 public:
  TMemTable() = default;

  // ---- Fields. Names are matched ignoring ASCII letter case.

  // Adds a column at the end; existing rows get null in it. Throws EZoras "Duplicate
  // field name '%s'".
  void AddField(TFieldDef def);
  size_t FieldCount() const { return fields_.size(); }
  const TFieldDef& FieldDef(size_t index) const { return fields_[index]; }
  const std::vector<TFieldDef>& FieldDefs() const { return fields_; }
  // The column's index, or -1 when the table has no such field.
  int FindField(std::string_view name) const;
  // Throws EZoras "Field '%s' not found" when the table has no such field.
  TField FieldByName(std::string_view name);
  TFieldView FieldByName(std::string_view name) const;
  // `index` must be below FieldCount().
  TField Field(size_t index) { return TField(this, index); }
  TFieldView Field(size_t index) const { return TFieldView(this, index); }

  // ---- State.

  // Makes the table usable; rows can be appended only while it is open.
  void Open();
  // Discards every row and the cursor; the fields stay.
  void Close();
  bool Active() const { return active_; }

  // ---- Navigation over the visible rows (all rows, or the rows passing the filter while
  // it is on). First/Last/Next/Prior follow a client dataset: Bof is true after First and
  // after Prior on the first row, Eof after Last and after Next on the last row, both on
  // an empty table. MoveBy(n) is n times Next (or -n times Prior).
  void First();
  void Last();
  void Next();
  void Prior();
  void MoveBy(int64_t n);
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  // 1-based position of the current row among the visible rows; 0 with no current row.
  size_t RecNo() const;
  size_t RecordCount() const;
  bool IsEmpty() const;

  // ---- Editing. Changes take effect at once; there is no edit state to post.

  // Adds an empty row (all null) at the end and makes it current. Throws EZoras "Cannot
  // perform this operation on a closed dataset" when the table is not open.
  void Append();
  // Removes the current row; the next visible row becomes current, or the previous one
  // (then Eof is true) when it was the last. Throws EZoras on an empty or closed table.
  void Delete();
  // Appends a whole row, one value per field in field order, converting each value that
  // is not already of its field's kind; the row becomes current. Throws as Append, or
  // EZoras from the conversion (then nothing is appended).
  void AppendRow(std::vector<TValue> values);
  void ReserveRows(size_t rows) { rows_.reserve(rows); }

  // The current row's value of a field; null when there is no current row.
  const TValue& Value(size_t field) const;
  // Stores `v` converted to the field's type in the current row (see TField::SetValue).
  void SetValue(size_t field, const TValue& v);

  // ---- Filter. While filtered, navigation, RecordCount and the packet writer see only
  // the rows for which the expression is true (filter.h).

  // Parses the expression (throws EZoras on malformed text, the old filter then stays).
  // While filtered, it applies at once and the table moves to the first visible row.
  void SetFilter(std::string_view text);
  const std::string& Filter() const { return filter_text_; }
  // Turning the filter on binds it to the fields (throws EZoras "Field '%s' not found"
  // for an unknown name, and the table stays unfiltered) and moves to the first visible
  // row; turning it off keeps the current row.
  void SetFiltered(bool on);
  bool Filtered() const { return filtered_; }

  // ---- Rows by storage position, regardless of cursor and filter; for the packet writer
  // and the database layer.

  size_t StoredRowCount() const { return rows_.size(); }
  const std::vector<TValue>& StoredRow(size_t i) const { return rows_[i]; }
  // True when stored row i is visible under the current filter.
  bool Passes(size_t i) const;
  // Storage position of the current row; StoredRowCount() when there is none.
  size_t CurrentStoredRow() const { return cursor_ == kNoRow ? rows_.size() : cursor_; }

 private:
  static constexpr size_t kNoRow = static_cast<size_t>(-1);

  void CheckCurrentRow() const;
  size_t NextVisible(size_t from) const;  // first visible at or after `from`, or kNoRow
  size_t PrevVisible(size_t from) const;  // last visible at or before `from`, or kNoRow

  std::vector<TFieldDef> fields_;
  std::vector<std::vector<TValue>> rows_;
  bool active_ = false;
  size_t cursor_ = kNoRow;
  bool bof_ = true;
  bool eof_ = true;

  std::string filter_text_;
  TFilterExpr filter_;
  bool filtered_ = false;
};

}  // namespace zoras
