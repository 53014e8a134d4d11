// Installs the code of the branch-office and headquarters services in the registry.
#pragma once

#include "host/soap_registry.h"
#include "services/frame.h"

namespace zoras {

// IZORPoslovalnica: Login, Logout and ChangePassword, and every other operation framed
// with its session check (and log lines) in front of the not-implemented failure.
void RegisterBranchService(TInvRegistry& registry, const TServiceEnv& env);
// IZORCentrala likewise, with the application code "C" and no log lines.
void RegisterHqService(TInvRegistry& registry, const TServiceEnv& env);

// Both. `env` must outlive the registry's use.
void RegisterServices(TInvRegistry& registry, const TServiceEnv& env);

}  // namespace zoras
