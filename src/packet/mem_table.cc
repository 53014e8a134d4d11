#include "packet/mem_table.h"

#include "base/errors.h"
#include "base/messages.h"
#include "base/ascii.h"

namespace zoras {
namespace {

const TValue kNullValue;

}  // namespace

const TFieldDef& TFieldView::Def() const { return table_->FieldDef(index_); }
const TValue& TFieldView::Value() const { return table_->Value(index_); }

void TField::SetValue(const TValue& v) const {
  // The handle was made from a non-const table.
  const_cast<TMemTable*>(table_)->SetValue(index_, v);
}

void TMemTable::AddField(TFieldDef def) {
  if (FindField(def.name) >= 0) throw EZoras(Msg(msg::ecDuplicateFieldName, {def.name}));
  fields_.push_back(std::move(def));
  for (auto& row : rows_) row.emplace_back();
  if (filtered_) filter_.Bind(fields_);
}

int TMemTable::FindField(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (EqualsIgnoreCase(fields_[i].name, name)) return static_cast<int>(i);
  return -1;
}

TField TMemTable::FieldByName(std::string_view name) {
  const int i = FindField(name);
  if (i < 0) throw EZoras(Msg(msg::ecFieldNotFound, {name}));
  return TField(this, static_cast<size_t>(i));
}

TFieldView TMemTable::FieldByName(std::string_view name) const {
  const int i = FindField(name);
  if (i < 0) throw EZoras(Msg(msg::ecFieldNotFound, {name}));
  return TFieldView(this, static_cast<size_t>(i));
}

void TMemTable::Open() {
  active_ = true;
  First();
}

void TMemTable::Close() {
  rows_.clear();
  active_ = false;
  cursor_ = kNoRow;
  bof_ = eof_ = true;
}

bool TMemTable::Passes(size_t i) const { return !filtered_ || filter_.Matches(rows_[i]); }

size_t TMemTable::NextVisible(size_t from) const {
  for (size_t i = from; i < rows_.size(); ++i)
    if (Passes(i)) return i;
  return kNoRow;
}

size_t TMemTable::PrevVisible(size_t from) const {
  if (rows_.empty()) return kNoRow;
  if (from >= rows_.size()) from = rows_.size() - 1;
  for (size_t i = from + 1; i-- > 0;)
    if (Passes(i)) return i;
  return kNoRow;
}

void TMemTable::First() {
  cursor_ = NextVisible(0);
  bof_ = true;
  eof_ = cursor_ == kNoRow;
}

void TMemTable::Last() {
  cursor_ = rows_.empty() ? kNoRow : PrevVisible(rows_.size() - 1);
  eof_ = true;
  bof_ = cursor_ == kNoRow;
}

void TMemTable::Next() {
  const size_t n = cursor_ == kNoRow ? kNoRow : NextVisible(cursor_ + 1);
  if (n == kNoRow) {
    eof_ = true;
    return;
  }
  cursor_ = n;
  bof_ = eof_ = false;
}

void TMemTable::Prior() {
  const size_t p = cursor_ == kNoRow || cursor_ == 0 ? kNoRow : PrevVisible(cursor_ - 1);
  if (p == kNoRow) {
    bof_ = true;
    return;
  }
  cursor_ = p;
  bof_ = eof_ = false;
}

void TMemTable::MoveBy(int64_t n) {
  if (cursor_ == kNoRow || n == 0) return;
  if (!filtered_) {
    // Unfiltered moves are arithmetic, so paging to a far page costs nothing.
    if (n > 0) {
      const size_t left = rows_.size() - 1 - cursor_;
      if (static_cast<uint64_t>(n) > left) {
        cursor_ = rows_.size() - 1;
        eof_ = true;
        if (left > 0) bof_ = false;
        return;
      }
      cursor_ = cursor_ + static_cast<size_t>(n);
    } else {
      const uint64_t back = static_cast<uint64_t>(-(n + 1)) + 1;
      if (back > cursor_) {
        if (cursor_ > 0) eof_ = false;
        cursor_ = 0;
        bof_ = true;
        return;
      }
      cursor_ = cursor_ - static_cast<size_t>(back);
    }
    bof_ = eof_ = false;
    return;
  }
  for (; n > 0 && !eof_; --n) Next();
  for (; n < 0 && !bof_; ++n) Prior();
}

size_t TMemTable::RecNo() const {
  if (cursor_ == kNoRow) return 0;
  if (!filtered_) return cursor_ + 1;
  size_t n = 0;
  for (size_t i = 0; i <= cursor_; ++i)
    if (Passes(i)) ++n;
  return n == 0 ? 1 : n;
}

size_t TMemTable::RecordCount() const {
  if (!filtered_) return rows_.size();
  size_t n = 0;
  for (size_t i = 0; i < rows_.size(); ++i)
    if (Passes(i)) ++n;
  return n;
}

bool TMemTable::IsEmpty() const { return NextVisible(0) == kNoRow; }

void TMemTable::Append() {
  if (!active_) throw EZoras(Msg(msg::ecDataSetClosed));
  rows_.emplace_back(fields_.size());
  cursor_ = rows_.size() - 1;
  bof_ = eof_ = false;
}

void TMemTable::AppendRow(std::vector<TValue> values) {
  if (!active_) throw EZoras(Msg(msg::ecDataSetClosed));
  if (values.size() != fields_.size()) throw EZoras(Msg(msg::ecInternalError));
  for (size_t i = 0; i < values.size(); ++i) {
    TValue& v = values[i];
    if (!v.IsNull() && v.kind() != StorageKind(fields_[i].type)) v = ConvertToField(fields_[i], v);
  }
  rows_.push_back(std::move(values));
  cursor_ = rows_.size() - 1;
  bof_ = eof_ = false;
}

void TMemTable::CheckCurrentRow() const {
  if (!active_) throw EZoras(Msg(msg::ecDataSetClosed));
  if (cursor_ == kNoRow) throw EZoras(Msg(msg::ecDataSetEmpty));
}

void TMemTable::Delete() {
  CheckCurrentRow();
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(cursor_));
  const size_t n = NextVisible(cursor_);
  if (n != kNoRow) {
    cursor_ = n;
    bof_ = eof_ = false;
    return;
  }
  const size_t p = cursor_ == 0 ? kNoRow : PrevVisible(cursor_ - 1);
  cursor_ = p;
  eof_ = true;
  bof_ = p == kNoRow;
}

const TValue& TMemTable::Value(size_t field) const {
  if (cursor_ == kNoRow || field >= fields_.size()) return kNullValue;
  return rows_[cursor_][field];
}

void TMemTable::SetValue(size_t field, const TValue& v) {
  CheckCurrentRow();
  if (field >= fields_.size()) throw EZoras(Msg(msg::ecInternalError));
  rows_[cursor_][field] = ConvertToField(fields_[field], v);
}

void TMemTable::SetFilter(std::string_view text) {
  TFilterExpr expr = TFilterExpr::Parse(text);
  if (filtered_) expr.Bind(fields_);
  filter_ = std::move(expr);
  filter_text_ = std::string(text);
  if (filtered_) First();
}

void TMemTable::SetFiltered(bool on) {
  if (on == filtered_) return;
  if (on) {
    TFilterExpr bound = filter_;
    bound.Bind(fields_);
    filter_ = std::move(bound);
    filtered_ = true;
    First();
    return;
  }
  filtered_ = false;
  if (cursor_ == kNoRow) First();
}

}  // namespace zoras
