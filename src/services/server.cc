#include "services/server.h"

#include "services/services.h"
#include "settings/euro.h"

namespace zoras {

TZorasServer::TZorasServer(TPoolOptions pool, THttpServerOptions http, int session_timeout_minutes,
                           TConnectionFactory factory)
    : pool_(std::make_unique<TPoolManager>(std::move(pool), std::move(factory))),
      env_{pool_.get(), session_timeout_minutes},
      registry_(TInvRegistry::Standard()) {
  RegisterServices(registry_, env_);
  app_ = std::make_unique<TWebApp>(registry_, http.port);
  TWebApp* app = app_.get();
  http_ = std::make_unique<TWSWBBridge>(
      std::move(http), [app](const TWebRequest& req) { return TWSMain(*app).Dispatch(req); },
      [](const TWebRequest& req) { return !TWSMain::IsSoapRequest(req); });
}

TZorasServer::~TZorasServer() { Stop(); }

void TZorasServer::Start() {
  pool_->StartPool(LoadSharedSettings);
  http_->Activate();
}

void TZorasServer::Stop() { http_->Stop(); }

}  // namespace zoras
