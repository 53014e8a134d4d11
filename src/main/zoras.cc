// zoras: the application server. Reads the boot settings, publishes the SOAP services
// on ASPORT and serves until SIGTERM or SIGINT.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <exception>

#include "base/messages.h"
#include "base/version.h"
#include "host/boot_settings.h"
#include "host/http_server.h"
#include "host/soap_registry.h"
#include "host/web_module.h"

int main() {
  using namespace zoras;
  try {
    LoadBootSettings();
    THttpServerOptions options;
    options.port = static_cast<uint16_t>(ReadServerPort(BootSettings()));

    const TInvRegistry registry = TInvRegistry::Standard();
    TWebApp app(registry, options.port);

    // Signals are taken by this thread alone: block them before any other thread starts.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    TWSWBBridge server(
        options, [&app](const TWebRequest& req) { return TWSMain(app).Dispatch(req); },
        [](const TWebRequest& req) { return !TWSMain::IsSoapRequest(req); });
    server.Activate();
    std::printf("%s\nListening on port %u\n", Msg(msg::ecZORASVersion, {FileVersion()}).c_str(),
                server.Port());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stop_signals, &sig);
    std::printf("Stopping (signal %d)\n", sig);
    std::fflush(stdout);
    server.Stop();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zoras: %s\n", e.what());
    return 1;
  }
}
