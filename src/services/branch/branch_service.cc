// IZORPoslovalnica, the branch-office service (class TZORPoslovalnica).
#include <string_view>

#include "services/services.h"

namespace zoras {
namespace {

struct TBranchOperation {
  std::string_view name;
  bool session_check;
  bool log_received;
};

// Every operation but Login checks the session; SaveOsbDetail and SavePogDetail write
// client and contract records, so they check it too. GetObvestilo serves a notice to
// callers that have not logged in.
constexpr TBranchOperation kOperations[] = {
    {"Login", false, false},
    {"Logout", true, false},
    {"ChangePassword", true, true},
    {"GetOrders", true, true},
    {"GetOrderAccount", true, true},
    {"GetClients", true, false},
    {"GetStocks", true, false},
    {"GetAccounts", true, false},
    {"GetOrderTransactions", true, true},
    {"ChangeOrderStatus", true, true},
    {"DeleteOrder", true, true},
    {"GetOrderPoo", true, false},
    {"DeleteOrderPoo", true, false},
    {"GetOrderRcn", true, false},
    {"SaveOrderRcn", true, false},
    {"DeleteOrderRcn", true, false},
    {"GetOsbSif", true, false},
    {"SaveOsbSif", true, true},
    {"GetOrderAddress", true, false},
    {"GetRevision", true, false},
    {"GetTransaction", true, true},
    {"SaveTransaction", true, true},
    {"DeleteTransaction", true, true},
    {"StornoTransaction", true, true},
    {"GetTransactionRealization", true, false},
    {"GetPrintdata", true, false},
    {"GetOsbDetail", true, false},
    {"SaveOsbDetail", true, true},
    {"SavePogDetail", true, true},
    {"GetProfil", true, false},
    {"GetProfilCalc", true, false},
    {"GetProfilCalc2Splosno", true, false},
    {"GetProfilCalc2UstrezneSkupine", true, false},
    {"SaveProfil", true, false},
    {"GetUstreznost", true, false},
    {"GetObvestilo", false, false},
    {"GetSQL", true, false},
    {"GetThirdRight", true, false},
};

}  // namespace

void RegisterBranchService(TInvRegistry& registry, const TServiceEnv& env) {
  static const TServiceDef service{"TZORPoslovalnica", "P", true};
  for (const TBranchOperation& op : kOperations) {
    TOperationFrame frame;
    // The session operations' lines spell the names with a capital I and O.
    frame.log_name = op.name == "Login" ? "LogIn" : op.name == "Logout" ? "LogOut" : op.name;
    frame.session_check = op.session_check;
    frame.log_received = op.log_received;
    registry.SetHandler("IZORPoslovalnica", op.name,
                        [&env, frame, work = SessionOperationWork(op.name)](TInvocation& call) {
                          RunInFrame(env, service, frame, call, work);
                        });
  }
}

}  // namespace zoras
