// Sessions of the branch-office and headquarters services: rows of SES, so they survive
// a restart. A session is valid while no more than the session time-out (SIDTO minutes)
// has passed since its last call; every successful check renews it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "db/bodm.h"
#include "db/query.h"
#include "packet/text_packet.h"

namespace zoras {

// 32 upper-case hexadecimal digits of a new random (version 4) GUID.
std::string NewSessionId();

class TSESBODM : public TBODM {
 public:
  // `timeout_minutes` is SIDTO, read once at process start.
  explicit TSESBODM(int timeout_minutes);

  // Logs `user` in to `application` ("P" or "C") and returns the new session's
  // identifier, the call context filled. Throws what TUSRBODM::CheckLogin throws (and
  // then writes no session), except the password-change demand: the session is written
  // and EPasswordExpiredException carries its SID and the user.
  std::string OpenSession(std::string_view user, std::string_view password,
                          std::string_view application);

  // Validates the session, renews it and fills the call context (SID, Usr, SfApp,
  // SfOrg, SfDjvList). Throws ESessionSecurityException "Potrebna je ponovna prijava !"
  // when there is no valid session of that identifier.
  void CheckSession(std::string_view sid);

  // Ends the session and records the logout. Throws as CheckSession.
  void CloseSession(std::string_view sid);

  // The name=value list of a session header's Cookie text (SID, USR); empty without one.
  static TNameValueList ReadSessionHeader(const std::optional<std::string>& cookie);

  TFQuery qSES{this, "qSES"};

 private:
  // True when a session last active at `tid` is still valid now.
  bool IsValid(TDateTime tid) const;
  // Reads the row of `sid` and checks it is valid; throws the re-login fault otherwise.
  void FindValidSession(std::string_view sid);
  // Sets SfOrg and SfDjvList of the call context from the user, when the user exists.
  void FillUserContext(std::string_view user);
  // Sets SfOrg and SfDjvList of the call context from the user's unit and own activity
  // list.
  void SetUserContext(std::string_view user, int64_t sf_org, std::string_view own_list);
  // Stores the new session: overwrites an expired row of the user when one can be
  // taken, else inserts a row.
  void StoreSession(std::string_view user, std::string_view sid, std::string_view application);

  const int timeout_minutes_;
};

}  // namespace zoras
