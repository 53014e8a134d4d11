#include "db/query.h"

#include <algorithm>
#include <utility>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/messages.h"
#include "db/bodm.h"
#include "db/sql_params.h"

namespace zoras {
namespace {

bool SameName(const TFieldDecl& decl, std::string_view name) {
  return EqualsIgnoreCase(decl.name, name);
}

}  // namespace

// ---- TSqlDataSet

TSqlDataSet::TSqlDataSet(TBODM* owner, std::string name) : owner_(owner), name_(std::move(name)) {
  if (owner_ != nullptr) {
    owner_->AddComponent(this);
    Bind(owner_->Connection());
  }
}

TSqlDataSet::~TSqlDataSet() {
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TSqlDataSet::Bind(TDM* connection) {
  connection_ = connection;
  if (connection != nullptr) {
    session_name_ = connection->SessionName();
    database_name_ = connection->DatabaseName();
    driver_name_ = connection->DriverName();
  } else {
    database_name_.clear();
    session_name_.clear();
    driver_name_.clear();
  }
}

TDbConnection& TSqlDataSet::Db() const {
  if (connection_ == nullptr) throw EZoras(Msg(msg::ecNoConnection, {name_}));
  return connection_->dbZor();
}

bool TSqlDataSet::EventsEnabled() const { return owner_ == nullptr || owner_->EventsEnabled(); }

void TSqlDataSet::Close() {
  data_ = TMemTable();
  fields_ = declared_;
  has_calculated_ = false;
}

void TSqlDataSet::DeclareField(TFieldDecl decl) {
  auto same = [&](const TFieldDecl& d) { return SameName(d, decl.name); };
  if (std::any_of(declared_.begin(), declared_.end(), same))
    throw EZoras(Msg(msg::ecDuplicateFieldName, {decl.name}));
  declared_.push_back(decl);
  if (!Active()) fields_ = declared_;
}

const TFieldDecl* TSqlDataSet::FindFieldDecl(std::string_view name) const {
  for (const TFieldDecl& d : fields_)
    if (SameName(d, name)) return &d;
  return nullptr;
}

void TSqlDataSet::SetResult(TMemTable result) {
  std::vector<TFieldDecl> calculated;
  for (const TFieldDecl& d : declared_) {
    if (d.calculated) {
      calculated.push_back(d);
    } else if (result.FindField(d.name) < 0) {
      throw EZoras(Msg(msg::ecFieldNotFound, {d.name}));
    }
  }
  AddResultFields(result, &calculated);
  for (const TFieldDecl& c : calculated) {
    TFieldDef def;
    def.name = c.name;
    def.type = c.type;
    def.width = c.size;
    result.AddField(std::move(def));
  }

  std::vector<TFieldDecl> fields;
  fields.reserve(result.FieldCount());
  for (const TFieldDef& column : result.FieldDefs()) {
    auto declared = std::find_if(declared_.begin(), declared_.end(),
                                 [&](const TFieldDecl& d) { return SameName(d, column.name); });
    auto extra = std::find_if(calculated.begin(), calculated.end(),
                              [&](const TFieldDecl& d) { return SameName(d, column.name); });
    TFieldDecl f;
    if (extra != calculated.end()) {
      f = *extra;
    } else if (declared != declared_.end()) {
      // The database decides the type, so one module runs unchanged on databases whose
      // numeric types differ; everything the design says about display stays.
      f = *declared;
      f.type = column.type;
      f.size = column.width;
    } else {
      f.name = column.name;
      f.type = column.type;
      f.size = column.width;
      f.visible = declared_.empty();
      f.component_name = name_ + "_" + column.name;
    }
    fields.push_back(std::move(f));
  }

  data_ = std::move(result);
  fields_ = std::move(fields);
  has_calculated_ = !calculated.empty();
  if (has_calculated_ && OnCalcFields && EventsEnabled()) {
    for (data_.First(); !data_.Eof(); data_.Next()) OnCalcFields(*this);
  }
  data_.First();
}

void TSqlDataSet::CalcCurrentRow() {
  if (has_calculated_ && OnCalcFields && EventsEnabled() && !data_.IsEmpty()) OnCalcFields(*this);
}

void TSqlDataSet::First() {
  BeforeScroll();
  data_.First();
}

void TSqlDataSet::Last() {
  BeforeScroll();
  data_.Last();
}

void TSqlDataSet::Next() {
  BeforeScroll();
  data_.Next();
}

void TSqlDataSet::Prior() {
  BeforeScroll();
  data_.Prior();
}

void TSqlDataSet::MoveBy(int64_t n) {
  BeforeScroll();
  data_.MoveBy(n);
}

// ---- TFQuery

void TFQuery::TSqlLines::Clear() {
  lines_.clear();
  query_->params_ = TSqlParams();
}

void TFQuery::TSqlLines::Add(std::string_view line) { lines_.emplace_back(line); }

void TFQuery::TSqlLines::SetText(std::string_view text) {
  Clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    start = end + 1;
  }
}

std::string TFQuery::TSqlLines::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += '\n';
  }
  return text;
}

TFQuery::TFQuery(TBODM* owner, std::string name)
    : TSqlDataSet(owner, std::move(name)), sql_(this) {}

TFQuery::TParam TFQuery::ParamByName(std::string_view name) {
  const std::string text = sql_.Text();
  for (const TSqlToken& token : LexSql(text)) {
    if (token.kind == TSqlTokenKind::kParam && EqualsIgnoreCase(token.text.substr(1), name))
      return TParam(&params_, std::string(token.text.substr(1)));
  }
  throw EZoras(Msg(msg::ecParamNotFound, {name}));
}

void TFQuery::Open() {
  Close();
  SetResult(Db().Query(sql_.Text(), params_));
}

int64_t TFQuery::ExecSQL() { return Db().Execute(sql_.Text(), params_); }

// ---- TQueryDM

void TQueryDM::AddResultFields(const TMemTable& result, std::vector<TFieldDecl>* extra) {
  if (result.FindField("IdPog") < 0) return;
  if (result.FindField("KrtKDD") >= 0 || result.FindField("KrtBIS") >= 0) return;
  for (const char* name : {"IdPogKrtBis", "IdPogKrtKdd"}) {
    const bool exists = result.FindField(name) >= 0 ||
                        std::any_of(extra->begin(), extra->end(),
                                    [&](const TFieldDecl& d) { return SameName(d, name); });
    if (exists) continue;
    TFieldDecl decl;
    decl.name = name;
    decl.type = TFieldType::kI4;
    decl.visible = false;
    decl.calculated = true;
    decl.component_name = Name() + name;
    extra->push_back(std::move(decl));
  }
}

}  // namespace zoras
