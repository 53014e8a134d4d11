#include "host/start_up.h"

#include <algorithm>

namespace zoras {

TPoolOptions PoolOptionsFromBoot(const TBootOptions& boot) {
  TPoolOptions p;
  p.max_connections = boot.max_connections;
  p.min_connections = boot.min_connections;
  p.request_timeout = std::chrono::seconds(boot.request_timeout_seconds);
  p.idle_timeout = std::chrono::minutes(boot.idle_timeout_minutes);
  p.cleanup_interval = std::chrono::minutes(boot.cleanup_interval_minutes);
  p.alias = boot.alias;
  return p;
}

THttpServerOptions HttpOptionsFromBoot(const TBootSettings& settings, const TBootOptions& boot) {
  THttpServerOptions h;
  h.port = static_cast<uint16_t>(ReadServerPort(settings));
  // Every lent connection keeps one worker busy, and the requests waiting for one keep a
  // worker each; four waiting per connection is far past the point where they time out.
  h.worker_threads = std::clamp(4 * boot.max_connections + 16, 32, 512);
  return h;
}

}  // namespace zoras
