#include "security/activity.h"

#include <map>

#include "base/ascii.h"
#include "base/clock.h"
#include "base/machine.h"
#include "base/messages.h"
#include "base/regional.h"
#include "base/utf8.h"
#include "base/version.h"
#include "packet/mem_table.h"
#include "packet/packet_reader.h"
#include "packet/packet_writer.h"
#include "packet/text_packet.h"
#include "security/users.h"
#include "settings/identifiers.h"

namespace zoras {
namespace {

constexpr std::string_view kInsertAct =
    "INSERT INTO ACT (IdAct, SfAct, Db, Tbl, Usr, Cas, Id, Cnt, SfApp, SfOrg, SfVp, SfDog, "
    "IdPog, Dan, Cmp) VALUES (:IDACT, :SFACT, :DB, :TBL, :USR, :CAS, :ID, :CNT, :SFAPP, "
    ":SFORG, :SFVP, :SFDOG, :IDPOG, :DAN, :CMP)";

constexpr std::string_view kHistory =
    "SELECT * FROM ACT\nWHERE Tbl = :TBL\nAND Id = :ID\nORDER BY CAS";

constexpr std::string_view kMarker = "#|";

TValue TextOrNull(std::string_view text) {
  return text.empty() ? TValue() : TValue::Text(std::string(text));
}

// The common columns of every trail row, from the connection's call context.
TSqlParams TrailParams(TDM& connection, std::string_view database_name, std::string_view kind,
                       std::string_view table, std::string_view id) {
  const TCallContext& context = connection.CallContext();
  TSqlParams params;
  params.Set("SFACT", TValue::Text(std::string(kind)))
      .Set("DB", TextOrNull(CutUtf8(database_name, 8)))
      .Set("TBL", TValue::Text(CutUtf8(table, 20)))
      .Set("USR", TextOrNull(CutUtf8(context.Usr, 20)))
      .Set("CAS", TValue::DateTime(Now()))
      .Set("ID", TextOrNull(CutUtf8(id, 20)))
      .Set("SFAPP", TextOrNull(context.SfApp))
      .Set("SFORG", TValue::Integer(context.SfOrg))
      .Set("CMP", TValue::Text(ServerComputerName()))
      .Set("CNT", TValue())
      .Set("SFVP", TValue())
      .Set("SFDOG", TValue())
      .Set("IDPOG", TValue())
      .Set("DAN", TValue());
  return params;
}

void InsertTrailRow(TDM& connection, TSqlParams& params) {
  auto ids = TBODM::CreateOnConnection<TIDBODM>(connection);
  params.Set("IDACT", TValue::Integer(ids->NextId("IdAct")));
  connection.dbZor().Execute(kInsertAct, params);
}

}  // namespace

std::string ActivityContent(const TMemTable& row_source) {
  std::string cnt;
  for (size_t i = 0; i < row_source.FieldCount(); ++i) {
    const TFieldView field = row_source.Field(i);
    cnt += field.AsString();
    cnt += kMarker;
    cnt += field.Name();
    cnt += kMarker;
  }
  return cnt;
}

std::vector<std::pair<std::string, std::string>> ParseActivityContent(std::string_view cnt) {
  std::vector<std::pair<std::string, std::string>> pairs;
  size_t pos = 0;
  while (pos < cnt.size()) {
    const size_t value_end = cnt.find(kMarker, pos);
    if (value_end == std::string_view::npos) break;
    const size_t name_start = value_end + kMarker.size();
    const size_t name_end = cnt.find(kMarker, name_start);
    if (name_end == std::string_view::npos) break;
    pairs.emplace_back(std::string(cnt.substr(name_start, name_end - name_start)),
                       std::string(cnt.substr(pos, value_end - pos)));
    pos = name_end + kMarker.size();
  }
  return pairs;
}

TACTBODM::TACTBODM() = default;

void TACTBODM::RecordRow(TFilter& table, std::string_view kind) {
  const auto& fields = table.DataSet().FieldDefs();
  RecordActivity(table, kind, table.TableName(), fields.empty() ? "" : fields.front().name);
}

void TACTBODM::RecordActivity(const TSqlDataSet& dataset, std::string_view kind,
                              std::string_view table_name, std::string_view key_field) {
  TDM& connection = RequireConnection();
  const TMemTable& data = dataset.DataSet();
  TSqlParams params = TrailParams(connection, dataset.DatabaseName(), kind, table_name,
                                  dataset.FieldByName(key_field).AsString());
  for (const char* name : {"SfVp", "SfDog", "IdPog"}) {
    const int index = data.FindField(name);
    if (index >= 0 && !data.Field(index).IsNull())
      params.Set(name, TValue::Integer(data.Field(index).AsInteger()));
  }
  const int dan = data.FindField("Dan");
  if (dan >= 0 && !data.Field(dan).IsNull())
    params.Set("DAN", TValue::DateTime(data.Field(dan).AsDateTime()));
  params.Set("CNT", TValue::Text(ActivityContent(data)));
  InsertTrailRow(connection, params);
}

void TACTBODM::RecordSessionEvent(std::string_view program, std::string_view kind) {
  TDM& connection = RequireConnection();
  std::string id(program);
  if (kind == "I" || kind == "O") id = "V=" + FileVersion();
  TSqlParams params = TrailParams(connection, connection.DatabaseName(), kind, program, id);
  InsertTrailRow(connection, params);
}

std::string TACTBODM::History(std::string_view table_name, std::string_view id,
                              const std::vector<std::string>& names, std::string_view condition) {
  qACT.SQL().SetText(kHistory);
  qACT.ParamByName("TBL").AsString(table_name);
  qACT.ParamByName("ID").AsString(id);
  qACT.Open();
  std::string packet;
  std::map<std::string, std::string> person_names;  // user -> UsrLKP
  for (qACT.First(); !qACT.Eof(); qACT.Next()) {
    TNameValueList values;
    for (const std::string& name : names) {
      if (name.size() < 4 || !EqualsIgnoreCase(std::string_view(name).substr(0, 4), "ACT."))
        continue;
      const std::string column = name.substr(4);
      std::string value;
      if (EqualsIgnoreCase(column, "UsrLKP")) {
        const std::string user = qACT.FieldByName("Usr").AsString();
        auto it = person_names.find(user);
        if (it == person_names.end())
          it = person_names.emplace(user, UserPersonName(RequireConnection(), user)).first;
        value = it->second;
      } else if (EqualsIgnoreCase(column, "Datum")) {
        value = regional::FormatDate(qACT.FieldByName("Cas").AsDateTime());
      } else if (EqualsIgnoreCase(column, "Ura")) {
        value = regional::FormatTime(qACT.FieldByName("Cas").AsDateTime());
      } else if (qACT.DataSet().FindField(column) >= 0) {
        value = qACT.FieldByName(column).AsString();
      } else {
        continue;
      }
      values.Add(name, value);
    }
    for (const auto& [field, value] : ParseActivityContent(qACT.FieldByName("Cnt").AsString())) {
      for (const std::string& name : names)
        if (EqualsIgnoreCase(name, field)) values.Add(name, value);
    }
    if (values.Count() > 0) packet = AppendTextRow(names, {}, values, packet, "");
  }
  qACT.Close();
  if (packet.empty()) return {};
  TMemTable rows = LoadPacket(packet);
  if (!condition.empty()) {
    rows.SetFilter(condition);
    rows.SetFiltered(true);
  }
  rows.First();
  if (rows.RecordCount() == 0) return {};
  return DataSetToPacket(rows, -1);
}

}  // namespace zoras
