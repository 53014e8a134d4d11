// soap_test_server: the real HTTP and SOAP stack with test handlers on a few operations,
// for the client compatibility tests (zeep, suds, node soap, gSOAP).
//
//   soap_test_server PORT
//
// PORT 0 lets the system choose. The bound port is always the first line on standard
// output, so that a test can start the server and read where to connect. Serves until
// SIGTERM or SIGINT.
//
// What the handlers do (the tests rely on it):
//   IZORPoslovalnica.Login       returns "USR=<AUsername>;PWD=<APassword>"; user "expired"
//                                raises EPasswordExpiredException (SID "SID-<APassword>",
//                                USR "expired"), user "fail" an ordinary error
//   IZORPoslovalnica.Logout      raises ESessionSecurityException without a session header
//   IZORPoslovalnica.GetOrders   returns AXMLDPRequest; var AXMLMPDPResponse becomes
//                                "[" + its old value + "]" + AXMLDPRequest
//   IZORPoslovalnica.GetClients  returns the seven in-parameters joined by "|"; var APages
//                                becomes "pages:" + APage + "/" + its old value
//   IZORPoslovalnica.GetUstreznost returns ASfOsb < ASfVp
//   IZORPoslovalnica.DeleteTransaction does nothing; AIdNetNrc "report" raises an ordinary
//                                error naming both parameters
//   IZORPoslovalnica.GetObvestilo returns the Cookie text of the session header, or raises
//                                "No session header" when the call carries none
//   IZORCentrala.Login           returns "C:" + AUsername
//   IRAVOravuv.PrepareResponse   returns ARequest
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "base/errors.h"
#include "host/http_server.h"
#include "host/soap_registry.h"
#include "host/web_module.h"
#include "security/session_exceptions.h"

namespace zoras {
namespace {

void InstallTestHandlers(TInvRegistry& r) {
  r.SetHandler("IZORPoslovalnica", "Login", [](TInvocation& c) {
    const std::string& user = c.Str("AUsername");
    if (user == "expired")
      throw EPasswordExpiredException("Password has expired", "SID-" + c.Str("APassword"), user);
    if (user == "fail") throw EZoras("Login failed for <fail> & \"friends\": ni dovoljenja (č)");
    c.SetResult("USR=" + user + ";PWD=" + c.Str("APassword"));
  });
  r.SetHandler("IZORPoslovalnica", "Logout", [](TInvocation& c) {
    if (!c.SessionCookie()) throw ESessionSecurityException("Session is not valid");
  });
  r.SetHandler("IZORPoslovalnica", "GetOrders", [](TInvocation& c) {
    const std::string& request = c.Str("AXMLDPRequest");
    std::string& response = c.Var("AXMLMPDPResponse");
    response = "[" + response + "]" + request;
    c.SetResult(request);
  });
  r.SetHandler("IZORPoslovalnica", "GetClients", [](TInvocation& c) {
    std::string joined;
    for (const char* name : {"AKrtBnk", "AIme", "ANzv", "APriimek", "AMTS", "ADVS", "APage"}) {
      if (!joined.empty()) joined += '|';
      joined += c.Str(name);
    }
    std::string& pages = c.Var("APages");
    pages = "pages:" + c.Str("APage") + "/" + pages;
    c.SetResult(joined);
  });
  r.SetHandler("IZORPoslovalnica", "GetUstreznost",
               [](TInvocation& c) { c.SetResult(c.Int("ASfOsb") < c.Int("ASfVp")); });
  r.SetHandler("IZORPoslovalnica", "DeleteTransaction", [](TInvocation& c) {
    if (c.Str("AIdNetNrc") == "report")
      throw EZoras(std::string("DeleteTransaction AIdNetNrc=report OnlyByStat_0=") +
                   (c.Bool("OnlyByStat_0") ? "true" : "false"));
  });
  r.SetHandler("IZORPoslovalnica", "GetObvestilo", [](TInvocation& c) {
    if (!c.SessionCookie()) throw EZoras("No session header");
    c.SetResult(*c.SessionCookie());
  });
  r.SetHandler("IZORCentrala", "Login",
               [](TInvocation& c) { c.SetResult("C:" + c.Str("AUsername")); });
  r.SetHandler("IRAVOravuv", "PrepareResponse",
               [](TInvocation& c) { c.SetResult(c.Str("ARequest")); });
}

}  // namespace
}  // namespace zoras

int main(int argc, char** argv) {
  using namespace zoras;
  if (argc != 2) {
    std::fprintf(stderr, "usage: soap_test_server PORT\n");
    return 2;
  }
  char* end = nullptr;
  const long port = std::strtol(argv[1], &end, 10);
  if (*end != '\0' || port < 0 || port > 65535) {
    std::fprintf(stderr, "soap_test_server: bad port '%s'\n", argv[1]);
    return 2;
  }
  try {
    TInvRegistry registry = TInvRegistry::Standard();
    InstallTestHandlers(registry);

    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // The web application needs the bound port, which a port of 0 only gives after
    // Activate(); until it exists the server answers 503.
    std::unique_ptr<TWebApp> app_holder;
    std::atomic<TWebApp*> app{nullptr};
    THttpServerOptions options;
    options.address = "127.0.0.1";
    options.port = static_cast<uint16_t>(port);
    options.worker_threads = 4;
    TWSWBBridge server(
        options,
        [&app](const TWebRequest& req) {
          TWebApp* a = app.load(std::memory_order_acquire);
          if (!a) return TWebResponse{503, "text/plain; charset=utf-8", "starting"};
          return TWSMain(*a).Dispatch(req);
        },
        [](const TWebRequest& req) { return !TWSMain::IsSoapRequest(req); });
    server.Activate();
    app_holder = std::make_unique<TWebApp>(registry, server.Port());
    app.store(app_holder.get(), std::memory_order_release);
    std::printf("%u\n", server.Port());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stop_signals, &sig);
    server.Stop();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "soap_test_server: %s\n", e.what());
    return 1;
  }
}
