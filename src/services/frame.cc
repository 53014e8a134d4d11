#include "services/frame.h"

#include "base/messages.h"
#include "host/debug_log.h"
#include "security/users.h"

namespace zoras {
namespace {

class TFrameLog {
 public:
  TFrameLog(const TServiceDef& service, const TOperationFrame& frame)
      : on_(service.debug_log), prefix_(service.class_name + "." + frame.log_name) {}
  void Write(std::string_view usr, std::string_view ending) const {
    if (on_) WriteDebugLine(usr, prefix_ + std::string(ending));
  }

 private:
  const bool on_;
  const std::string prefix_;
};

}  // namespace

void RunInFrame(const TServiceEnv& env, const TServiceDef& service, const TOperationFrame& frame,
                TInvocation& call, const TOperationWork& work) {
  const TFrameLog log(service, frame);
  log.Write("", ": START");
  std::string usr;
  {
    auto session = TBODM::CreateFromPool<TSESBODM>(*env.pool, env.session_timeout_minutes);
    TOperationScope scope(call, *session, service);
    if (frame.session_check) {
      scope.Header() = TSESBODM::ReadSessionHeader(call.SessionCookie());
      usr = scope.Header().Value("USR");
      session->CheckSession(scope.Header().Value("SID"));
    }
    if (frame.log_received) log.Write(usr, ": SOAP Request received");
    work(scope);
  }
  log.Write(usr, ": END");
}

void LoginWork(TOperationScope& scope) {
  TInvocation& call = scope.Call();
  const std::string& user = call.Str("AUsername");
  const std::string sid =
      scope.Session().OpenSession(user, call.Str("APassword"), scope.Service().application);
  TNameValueList row;
  row.Add("SID", sid);
  row.Add("USR", EscapeXmlAttr(user));
  call.SetResult(AppendTextRow({"SID", "USR"}, {}, row, "", ""));
}

void LogoutWork(TOperationScope& scope) {
  scope.Session().CloseSession(scope.Header().Value("SID"));
}

void ChangePasswordWork(TOperationScope& scope) {
  auto users = TBODM::CreateOnConnection<TUSRBODM>(scope.Connection());
  users->ChangePassword(scope.Call().Str("ANewPassword"), scope.Call().Str("AConfirmPassword"));
}

TOperationWork SessionOperationWork(std::string_view name) {
  if (name == "Login") return LoginWork;
  if (name == "Logout") return LogoutWork;
  if (name == "ChangePassword") return ChangePasswordWork;
  return NotImplementedWork;
}

void NotImplementedWork(TOperationScope& scope) {
  throw EZoras(Msg(msg::ecNotImplemented, {scope.Call().Operation().name}));
}

}  // namespace zoras
