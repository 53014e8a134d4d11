// The process-wide objects the start-up code makes from the boot settings.
#pragma once

#include "db/pool.h"
#include "host/boot_settings.h"
#include "host/http_server.h"

namespace zoras {

// The pool's sizes and times from the boot settings (MAXCON, MINCON, REQTO, IDLETO,
// CLEANUP, ALIAS).
TPoolOptions PoolOptionsFromBoot(const TBootOptions& boot);

// The HTTP server's settings: the port (ASPORT, strict) and a worker pool large enough
// that requests waiting up to REQTO for one of MAXCON connections leave room for others.
THttpServerOptions HttpOptionsFromBoot(const TBootSettings& settings, const TBootOptions& boot);

}  // namespace zoras
