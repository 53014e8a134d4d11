// The whole server in one object: the connection pool, the registered services, the web
// module and the HTTP endpoint. The program builds one from the boot settings; tests and
// benchmarks build one over their own database.
#pragma once

#include <cstdint>
#include <memory>

#include "db/pool.h"
#include "host/http_server.h"
#include "host/soap_registry.h"
#include "host/web_module.h"
#include "services/frame.h"

namespace zoras {

class TZorasServer {
 public:
  // Creates the pool (opening nothing yet) and the HTTP server (not listening yet) with
  // the three interfaces and the services' code registered. `factory` opens the pool's
  // connections; without one they open through the alias of `pool`.
  TZorasServer(TPoolOptions pool, THttpServerOptions http, int session_timeout_minutes,
               TConnectionFactory factory = nullptr);
  // Stops serving, then closes the pool.
  ~TZorasServer();

  // Starts the pool, loading the euro changeover and the start-up switches on its first
  // connection, then listens. Throws the pool's or the bind's failure.
  void Start();
  // Stops accepting and answers the requests in flight. Idempotent.
  void Stop();

  uint16_t Port() const { return http_->Port(); }
  TPoolManager& Pool() { return *pool_; }

 private:
  std::unique_ptr<TPoolManager> pool_;
  TServiceEnv env_;
  TInvRegistry registry_;
  std::unique_ptr<TWebApp> app_;
  std::unique_ptr<TWSWBBridge> http_;
};

}  // namespace zoras
