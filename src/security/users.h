// Users of the branch-office and headquarters services (table USR): the login
// validation, the password change and its rules, the activity list, the user packet and
// the trail of failed logins (USRATH). Every change of a USR row is recorded in the
// activity trail as "^".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "db/bodm.h"
#include "db/query.h"

namespace zoras {

// The longest password USR.Gsl can hold (its Base64 text is at most 25 characters).
inline constexpr int kMaxPasswordLength = 18;

// The name of the user's person (OSB "Nzv Ime" through USR.SfOsb); empty when the user or
// the person is not found.
std::string UserPersonName(TDM& connection, std::string_view user);

// The activity letters of `user` whose own list (USR.LimSfDjv) is `own_list`: empty when
// the own list is (no limit), else merged with the lists of the user's groups.
std::string MergeActivityList(TDM& connection, std::string_view user, std::string_view own_list);

class TUSRBODM : public TBODM {
 public:
  TUSRBODM();

  // Reads the user's row (exact name); true when it exists, and qUSR is then on it.
  bool FindUser(std::string_view user);

  // Validates a login of the call context's application. Ends normally or throws, first
  // failing rule first: ESessionSecurityException for an unknown, inactive, locked or
  // expired user or a wrong password; EZoras "Dostop do "%s" ni dovoljen !" without the
  // service's right; EZoras "Napaka pri odkodiranju gesla. Sporočilo: %s";
  // EPasswordExpiredException (after the counter reset) when the password must change.
  void CheckLogin(std::string_view user, std::string_view password);

  // Changes the call context's user's password, then validates a login with it. Throws
  // ESessionSecurityException for an unknown user, EPasswordExpiredException when the
  // new password breaks a rule, and what CheckLogin throws.
  void ChangePassword(std::string_view new_password, std::string_view confirmation);

  // The found user's activity letters merged with those of the user's groups; empty
  // when the user's own list is empty (no limit).
  std::string ActivityList();

  // The user's row with UsrLKP, SfOrgLkp, OrgMstLkp, OrgFaxLkp and SfOsbOrg as a data
  // packet; empty when the user does not exist.
  std::string UserPacket(std::string_view user);

  TFQuery qUSR{this, "qUSR"};

 private:
  void ChangeAndCheck(std::string_view new_password, std::string_view confirmation);
  // Writes the changed columns of the found row and records "^".
  void SaveUser();
  // Records `kind` for the found user.
  void RecordUser(std::string_view kind);
  // Adds one to GslNap and saves; a failure of the save is ignored.
  void CountFailedAttempt();
  // The found user's password as text, or the decoder's failure.
  std::string StoredPassword();
  // MinGsl, read once per module; 0 without an INI row.
  int MinimumPasswordLength();
  // SprGslDni, read each time; 0 without an INI row.
  int PasswordMaxAgeDays();
  void RecordUnknownUser(std::string_view user);

  std::optional<int> min_password_length_;
};

}  // namespace zoras
