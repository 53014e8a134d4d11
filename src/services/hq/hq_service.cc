// IZORCentrala, the headquarters service (class TZORCentrala). Its frame writes no log
// lines; every operation but Login checks the session.
#include <string>
#include <vector>

#include "services/services.h"

namespace zoras {

void RegisterHqService(TInvRegistry& registry, const TServiceEnv& env) {
  static const TServiceDef service{"TZORCentrala", "C", false};
  const TInterfaceDef* hq = registry.FindByName("IZORCentrala");
  if (hq == nullptr) return;
  std::vector<std::string> names;
  for (const TOperationDef& op : hq->operations) names.push_back(op.name);
  for (const std::string& name : names) {
    TOperationFrame frame;
    frame.log_name = name;
    frame.session_check = name != "Login";
    const TOperationWork work = SessionOperationWork(name);
    registry.SetHandler("IZORCentrala", name, [&env, frame, work](TInvocation& call) {
      RunInFrame(env, service, frame, call, work);
    });
  }
}

}  // namespace zoras
