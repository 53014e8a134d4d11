// The two fault classes of the session layer. Both reach the SOAP caller as faults with
// a detail element named after the class.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/errors.h"

namespace zoras {

// The call has no valid session: the caller must log in again.
class ESessionSecurityException : public ERemotableException {
 public:
  explicit ESessionSecurityException(const std::string& message) : ERemotableException(message) {}
  std::string ClassName() const override { return "ESessionSecurityException"; }
  std::string UnitName() const override { return "UESessionSecurityException"; }
};

// The user's password must be changed. The session it carries is open, so that the
// caller can call ChangePassword in it.
class EPasswordExpiredException : public ERemotableException {
 public:
  EPasswordExpiredException(const std::string& message, std::string sid, std::string usr)
      : ERemotableException(message), sid_(std::move(sid)), usr_(std::move(usr)) {}
  std::string ClassName() const override { return "EPasswordExpiredException"; }
  std::string UnitName() const override { return "UEPasswordExpiredException"; }
  std::vector<Property> Properties() const override { return {{"SID", sid_}, {"USR", usr_}}; }

  const std::string& SID() const { return sid_; }
  const std::string& USR() const { return usr_; }

 private:
  std::string sid_;
  std::string usr_;
};

}  // namespace zoras
