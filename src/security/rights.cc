#include "security/rights.h"

#include "base/messages.h"

namespace zoras {
namespace {

constexpr std::string_view kRightNames = "Select SFRGT,NZV from SFRGT";
constexpr std::string_view kUserRight = "SELECT 1 FROM RGT WHERE Usr = :USR AND SfRgt = :SFRGT";
constexpr std::string_view kUserDataRight =
    "SELECT 1 FROM RGTUSRDATA WHERE USR = :USR AND SFRGT = :SFRGT AND IDDATA = :IDDATA";
// The user's groups are named by a bound value: the login name is the caller's text.
constexpr std::string_view kGroupRight =
    "SELECT 1 FROM GRPUSR G, GRPRGT R WHERE G.Usr = :USR AND R.IdGrp = G.IdGrp "
    "AND R.SfRgt = :SFRGT";
constexpr std::string_view kGroupDataRight =
    "SELECT 1 FROM GRPUSR G, RGTGRPDATA R WHERE G.Usr = :USR AND R.IDGRP = G.IdGrp "
    "AND R.SFRGT = :SFRGT AND R.IDDATA = :IDDATA";

}  // namespace

bool TRights1::Check(std::string_view code, std::string_view data_item) {
  std::string key = std::string(code) + "#" + std::string(data_item);
  if (auto it = cache_.find(key); it != cache_.end()) return it->second == "Y";
  const bool granted = handler_(code, data_item);
  cache_.emplace(std::move(key), granted ? "Y" : "N");
  return granted;
}

TRGTBODM::TRGTBODM()
    : rights_([this](std::string_view code, std::string_view item) {
        return CheckRight(code, item);
      }) {}

bool TRGTBODM::Exists(std::string_view sql,
                      const std::vector<std::pair<std::string, std::string>>& args) {
  qRGT.SQL().SetText(sql);
  for (const auto& [name, value] : args) qRGT.ParamByName(name).AsString(value);
  qRGT.Open();
  const bool found = !qRGT.IsEmpty();
  qRGT.Close();
  return found;
}

bool TRGTBODM::CheckRight(std::string_view code, std::string_view data_item) {
  const std::string user = RequireConnection().CallContext().Usr;
  const std::string c(code), item(data_item);
  if (item.empty()) {
    return Exists(kUserRight, {{"USR", user}, {"SFRGT", c}}) ||
           Exists(kGroupRight, {{"USR", user}, {"SFRGT", c}});
  }
  return Exists(kUserDataRight, {{"USR", user}, {"SFRGT", c}, {"IDDATA", item}}) ||
         Exists(kGroupDataRight, {{"USR", user}, {"SFRGT", c}, {"IDDATA", item}});
}

bool TRGTBODM::HasRight(std::string_view code, std::string_view data_item) {
  return rights_.Check(code, data_item);
}

void TRGTBODM::RequireRight(std::string_view code) {
  if (!names_loaded_) {
    qRGT.SQL().SetText(kRightNames);
    qRGT.Open();
    for (qRGT.First(); !qRGT.Eof(); qRGT.Next())
      names_[qRGT.FieldByName("SFRGT").AsString()] = qRGT.FieldByName("NZV").AsString();
    qRGT.Close();
    names_loaded_ = true;
  }
  if (HasRight(code)) return;
  const auto it = names_.find(code);
  throw EZoras(Msg(msg::ecAccessDenied, {it == names_.end() ? "" : it->second}));
}

}  // namespace zoras
