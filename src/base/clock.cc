#include "base/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>

namespace zoras {
namespace {
std::atomic<bool> g_fixed{false};
std::atomic<int64_t> g_fixed_ms{0};
}  // namespace

TDateTime Now() {
  if (g_fixed.load(std::memory_order_acquire)) return TDateTime::FromMs(g_fixed_ms.load());
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  const int ms =
      static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
  localtime_r(&secs, &local);
  return TDateTime::TryEncode({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                               local.tm_min, local.tm_sec < 60 ? local.tm_sec : 59, ms})
      .value_or(TDateTime());
}

void SetClockForTesting(TDateTime fixed) {
  g_fixed_ms.store(fixed.Ms());
  g_fixed.store(true, std::memory_order_release);
}

void ResetClockForTesting() { g_fixed.store(false, std::memory_order_release); }

}  // namespace zoras
