// The statement components of the business data modules: the common dataset base, the
// query component TFQuery and its variant TQueryDM. (The table component TFilter is in
// table.h.) A component belongs to one module and is bound by it to the request's
// connection; its result is held in memory, so it can be moved through both ways.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"
#include "db/database.h"
#include "db/dm.h"
#include "packet/mem_table.h"
#include "packet/value.h"

namespace zoras {

class TBODM;

// What a module's design says about one field of a query or table.
struct TFieldDecl {
  std::string name;  // the column's name (or the calculated field's)
  TFieldType type = TFieldType::kString;
  int size = 0;  // string width; fixed precision
  std::string display_label;
  int display_width = 0;
  std::string display_format;  // numbers
  std::string edit_format;     // numbers
  bool visible = true;
  bool read_only = false;
  bool required = false;
  // Not read from the database: the dataset gets an empty column of `type` that the
  // OnCalcFields handler fills.
  bool calculated = false;
  // The field component's name. Fields made for undeclared columns are named
  // component + "_" + column.
  std::string component_name;
};

// The base of the statement components: a name, a binding to a connection module, the
// declared fields and the current result with its cursor.
class TSqlDataSet {
 public:
  // Registers with `owner` (may be null), whose BindConnection then binds this component,
  // and binds to the owner's current connection.
  TSqlDataSet(TBODM* owner, std::string name);
  virtual ~TSqlDataSet();

  TSqlDataSet(const TSqlDataSet&) = delete;
  TSqlDataSet& operator=(const TSqlDataSet&) = delete;

  // The component's name ("qNETNRC", "tblUSR").
  const std::string& Name() const { return name_; }
  TBODM* Owner() const { return owner_; }

  // Binds to `connection` (null unbinds): the session and database names follow it and
  // the driver name is remembered. An open result stays as it is.
  void Bind(TDM* connection);
  TDM* Connection() const { return connection_; }
  const std::string& SessionName() const { return session_name_; }
  const std::string& DatabaseName() const { return database_name_; }
  // The driver of the bound connection ("SQLite", "PostgreSQL"); empty when unbound.
  const std::string& DriverName() const { return driver_name_; }

  // Runs the component's statement and makes its rows the current result, positioned on
  // the first row. Throws EZoras when unbound, the database's EDatabaseError unchanged,
  // and "Field '%s' not found" for a declared field the result lacks.
  virtual void Open() = 0;
  // Drops the result (and any pending edit).
  virtual void Close();
  bool Active() const { return data_.Active(); }

  // Declares a field; takes effect at the next Open. Declared fields whose type differs
  // from the column's are given the column's type, keeping their other settings.
  void DeclareField(TFieldDecl decl);
  // With a result: one entry per column of the result, in column order (declared,
  // undeclared and calculated). Without one: the declared fields.
  const std::vector<TFieldDecl>& Fields() const { return fields_; }
  // The entry of Fields() named `name` (letter case ignored), or nullptr.
  const TFieldDecl* FindFieldDecl(std::string_view name) const;

  // Navigation over the result (TMemTable's rules).
  void First();
  void Last();
  void Next();
  void Prior();
  void MoveBy(int64_t n);
  bool Eof() const { return data_.Eof(); }
  bool Bof() const { return data_.Bof(); }
  size_t RecNo() const { return data_.RecNo(); }
  size_t RecordCount() const { return data_.RecordCount(); }
  bool IsEmpty() const { return data_.IsEmpty(); }

  // The current row's field. Throws EZoras "Field '%s' not found".
  TField FieldByName(std::string_view name) { return data_.FieldByName(name); }
  TFieldView FieldByName(std::string_view name) const { return data_.FieldByName(name); }

  // The result, for the packet writer.
  TMemTable& DataSet() { return data_; }
  const TMemTable& DataSet() const { return data_; }

  // Fills the calculated fields of the current row. Run for every row after Open (and
  // for a posted row) while events are enabled and the result has calculated fields.
  std::function<void(TSqlDataSet&)> OnCalcFields;
  // The owning module's EventsEnabled; true for a component without an owner.
  bool EventsEnabled() const;

 protected:
  // The bound connection. Throws EZoras "<name>: no database connection" when unbound.
  TDbConnection& Db() const;
  // Makes `result` the current result: field declarations matched and adapted, undeclared
  // columns given fields, calculated columns added and computed, cursor on the first row.
  void SetResult(TMemTable result);
  // Runs OnCalcFields for the current row when it applies.
  void CalcCurrentRow();
  // Extra calculated fields that a result of this shape gets; none by default.
  virtual void AddResultFields(const TMemTable& result, std::vector<TFieldDecl>* extra) {}
  // Called before the cursor moves or the result is dropped.
  virtual void BeforeScroll() {}

 private:
  TBODM* const owner_;
  const std::string name_;
  TDM* connection_ = nullptr;
  std::string session_name_;
  std::string database_name_;
  std::string driver_name_;

  std::vector<TFieldDecl> declared_;
  std::vector<TFieldDecl> fields_;
  bool has_calculated_ = false;
  TMemTable data_;
};

// A query component: an SQL text with named parameters (:NAME).
class TFQuery : public TSqlDataSet {
 public:
  // The SQL text as lines, joined by line breaks.
  class TSqlLines {
   public:
    // Clears the text and every parameter value, so no value from an earlier statement
    // is bound to the next one.
    void Clear();
    void Add(std::string_view line);
    // Replaces the text (and clears the parameter values).
    void SetText(std::string_view text);
    std::string Text() const;
    size_t Count() const { return lines_.size(); }

   private:
    friend class TFQuery;
    explicit TSqlLines(TFQuery* query) : query_(query) {}
    TFQuery* query_;
    std::vector<std::string> lines_;
  };

  // A parameter of the statement; the setters give it a value of that kind.
  class TParam {
   public:
    void AsString(std::string_view v) const { Set(TValue::Text(std::string(v))); }
    void AsInteger(int64_t v) const { Set(TValue::Integer(v)); }
    void AsFloat(double v) const { Set(TValue::Float(v)); }
    void AsDateTime(TDateTime v) const { Set(TValue::DateTime(v)); }
    void AsDate(TDateTime v) const { Set(TValue::Date(v)); }
    void AsTime(TDateTime v) const { Set(TValue::Time(v)); }
    void AsBoolean(bool v) const { Set(TValue::Boolean(v)); }
    void AsValue(const TValue& v) const { Set(v); }
    // Binds NULL.
    void Clear() const { Set(TValue()); }

   private:
    friend class TFQuery;
    TParam(TSqlParams* params, std::string name) : params_(params), name_(std::move(name)) {}
    void Set(TValue v) const { params_->Set(name_, std::move(v)); }
    TSqlParams* params_;
    std::string name_;
  };

  TFQuery(TBODM* owner, std::string name);

  TSqlLines& SQL() { return sql_; }
  const TSqlLines& SQL() const { return sql_; }

  // The parameter `name` (letter case ignored) of the current SQL text. Throws EZoras
  // "Parameter '%s' not found" when the text has no such parameter.
  TParam ParamByName(std::string_view name);
  const TSqlParams& Params() const { return params_; }

  // Runs the SQL text as a query; see TSqlDataSet::Open. A parameter without a value
  // fails with the driver's "Parameter '%s' has no value".
  void Open() override;
  // Runs the SQL text as a statement without a result; returns the rows it changed.
  int64_t ExecSQL();

 private:
  TSqlLines sql_;
  TSqlParams params_;
};

// A query that adds two hidden calculated integer fields, IdPogKrtBis and IdPogKrtKdd,
// to a result that has IdPog but neither KrtKDD nor KrtBIS; the owning module fills
// them in its OnCalcFields handler.
class TQueryDM : public TFQuery {
 public:
  using TFQuery::TFQuery;

 protected:
  void AddResultFields(const TMemTable& result, std::vector<TFieldDecl>* extra) override;
};

}  // namespace zoras
