#include "services/services.h"

namespace zoras {

void RegisterServices(TInvRegistry& registry, const TServiceEnv& env) {
  RegisterBranchService(registry, env);
  RegisterHqService(registry, env);
}

}  // namespace zoras
