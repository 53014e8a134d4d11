// zoras: the application server. Start-up order: the boot settings, then the HTTP server
// with its port and the registered interfaces; then the mode decision (install or
// uninstall, service, desktop); in the two serving modes the server listens until SIGTERM
// (or SIGINT in desktop mode) and then stops after answering the requests in flight.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "base/home.h"
#include "base/messages.h"
#include "base/version.h"
#include "db/database.h"
#include "db/schema_files.h"
#include "host/boot_settings.h"
#include "host/run_modes.h"
#include "host/start_up.h"
#include "services/server.h"

namespace zoras {
namespace {

int Run(const std::vector<std::string>& args) {
  // Signals are taken by the main thread alone: block them before any thread starts.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  LoadBootSettings();
  // Result columns are spelled as the schema spells them, whatever the driver folds.
  std::string ddl;
  for (const auto& [name, text] : SchemaFiles()) ddl += text + "\n";
  SetSchemaSpellings(ddl);
  const TBootOptions boot = ReadBootOptions(BootSettings());
  TZorasServer server(PoolOptionsFromBoot(boot), HttpOptionsFromBoot(BootSettings(), boot),
                      boot.session_timeout_minutes);

  const TInstallAction install = FindInstallSwitch(args);
  // Install and uninstall take no lock, so that they work beside a serving instance.
  const std::optional<TInstanceLock> instance =
      install == TInstallAction::kNone ? TInstanceLock::TryAcquire() : std::nullopt;
  if (install == TInstallAction::kNone) {
    if (!instance) {
      std::fprintf(stderr, "%s\n", Msg(msg::ecZORASAlreadyRunning).c_str());
      return 0;
    }
  }
  if (install == TInstallAction::kInstall) {
    std::printf("%s\n", InstallService(ExecutablePath(), HomeFolder()).c_str());
    return 0;
  }
  if (install == TInstallAction::kUninstall) {
    std::printf("%s\n", UninstallService().c_str());
    return 0;
  }

  const bool service_mode = IsServiceMode();
  if (!service_mode) {
    std::printf("%s\n", Msg(msg::ecZORASVersion, {FileVersion()}).c_str());
    std::fflush(stdout);
  }
  // The first connection opens (and the euro changeover and the start-up switches load)
  // before the server listens or tells systemd it is ready; a failure here ends the
  // process.
  server.Start();
  std::printf("Listening on port %u\n", server.Port());
  std::fflush(stdout);
  if (service_mode) NotifyServiceManager("READY=1");

  int sig = 0;
  sigwait(&stop_signals, &sig);
  if (service_mode) NotifyServiceManager("STOPPING=1");
  std::printf("Stopping (signal %d)\n", sig);
  std::fflush(stdout);
  server.Stop();
  return 0;
}

}  // namespace
}  // namespace zoras

int main(int argc, char** argv) {
  try {
    return zoras::Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zoras: %s\n", e.what());
    return 1;
  }
}
