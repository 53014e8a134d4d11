// Rights: three-character codes (SFRGT) a user holds directly or through a group,
// optionally for one data item only. Checked at login: 063 for the branch-office
// service, 061 for headquarters.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "db/bodm.h"
#include "db/query.h"

namespace zoras {

// The rights checker: answers from its cache, asks its handler otherwise and keeps the
// answer ("Y" or "N" under code + "#" + data item) for the life of the module.
class TRights1 {
 public:
  using TCheckHandler = std::function<bool(std::string_view code, std::string_view data_item)>;
  explicit TRights1(TCheckHandler handler) : handler_(std::move(handler)) {}

  bool Check(std::string_view code, std::string_view data_item);

 private:
  TCheckHandler handler_;
  std::map<std::string, std::string, std::less<>> cache_;
};

class TRGTBODM : public TBODM {
 public:
  TRGTBODM();

  // Succeeds when the call context's user holds `code` (for no particular data item).
  // Throws EZoras "Dostop do "%s" ni dovoljen !" with the right's SFRGT name (empty when
  // the code is not listed), or the database's error.
  void RequireRight(std::string_view code);
  // Whether the call context's user holds `code` for `data_item` (empty: no item),
  // directly or through a group; cached per module.
  bool HasRight(std::string_view code, std::string_view data_item = {});

  TFQuery qRGT{this, "qRGT"};

 private:
  bool CheckRight(std::string_view code, std::string_view data_item);
  bool Exists(std::string_view sql, const std::vector<std::pair<std::string, std::string>>& args);

  TRights1 rights_;
  bool names_loaded_ = false;
  std::map<std::string, std::string, std::less<>> names_;  // SFRGT code -> NZV
};

}  // namespace zoras
