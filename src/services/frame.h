// The frame every operation of the two session services runs in: the debug-log lines,
// the session module borrowed from the pool, the session check that fills the call
// context, and the release of every module and of the connection on every path.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "db/pool.h"
#include "host/soap_registry.h"
#include "packet/text_packet.h"
#include "security/sessions.h"

namespace zoras {

// What the services need from the process: constant once requests are served.
struct TServiceEnv {
  TPoolManager* pool = nullptr;
  int session_timeout_minutes = 10;  // SIDTO
};

// What one service does the same in all its operations.
struct TServiceDef {
  std::string class_name;   // "TZORPoslovalnica": the prefix of its log lines
  std::string application;  // "P" branch office, "C" headquarters
  bool debug_log = false;   // writes START / SOAP Request received / END lines
};

// How one operation uses the frame.
struct TOperationFrame {
  std::string log_name;       // the operation's name in log lines ("LogIn" for Login)
  bool session_check = true;  // every operation but Login checks the session
  bool log_received = false;  // writes the "SOAP Request received" line
};

// What the operation's work sees. Modules it creates on Connection() must be released
// before the work returns (they are locals of the work).
class TOperationScope {
 public:
  TOperationScope(TInvocation& call, TSESBODM& session, const TServiceDef& service)
      : call_(call), session_(session), service_(service) {}

  TInvocation& Call() { return call_; }
  TSESBODM& Session() { return session_; }
  TDM& Connection() { return session_.RequireConnection(); }
  const TServiceDef& Service() const { return service_; }
  // The call's session header (SID, USR); empty for operations without the check.
  TNameValueList& Header() { return header_; }

 private:
  TInvocation& call_;
  TSESBODM& session_;
  const TServiceDef& service_;
  TNameValueList header_;
};

using TOperationWork = std::function<void(TOperationScope&)>;

// Runs `work` for `call` in the frame. A failure anywhere leaves the START line without
// an END line and propagates (the SOAP layer answers it with a fault); the session
// module and its connection are released first in every case.
void RunInFrame(const TServiceEnv& env, const TServiceDef& service, const TOperationFrame& frame,
                TInvocation& call, const TOperationWork& work);

// The body of Login: opens a session of the service's application and answers the
// one-row packet with SID and USR (the name as passed).
void LoginWork(TOperationScope& scope);
// The body of Logout: closes the checked session.
void LogoutWork(TOperationScope& scope);
// The body of ChangePassword for the session's user.
void ChangePasswordWork(TOperationScope& scope);
// The work of a session operation (Login, Logout, ChangePassword) by its name; for any
// other name NotImplementedWork.
TOperationWork SessionOperationWork(std::string_view name);
// The work of an operation whose code is not built yet: the not-implemented failure,
// after the frame's session check.
void NotImplementedWork(TOperationScope& scope);

}  // namespace zoras
