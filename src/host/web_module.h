// The web module: routes one HTTP request to the SOAP dispatcher (paths soap*), the
// WSDL publisher (paths wsdl*) or the HTML overview (everything else).
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "host/soap_registry.h"

namespace zoras {

struct TWebRequest {
  std::string method;       // GET, POST, ...
  std::string target;       // path and query as sent
  std::string host;         // Host header
  std::string soap_action;  // SOAPAction header, as sent
  std::string body;
};

struct TWebResponse {
  unsigned status = 200;
  std::string content_type;
  std::string body;
};

// What all requests share: the registry and the published port. Constant after
// construction except for the WSDL cache, which has its own lock.
class TWebApp {
 public:
  TWebApp(const TInvRegistry& registry, unsigned port) : registry_(registry), port_(port) {}

  const TInvRegistry& Registry() const { return registry_; }
  unsigned Port() const { return port_; }

  // The WSDL text of an interface for a base URL, built once per pair.
  std::string Wsdl(const TInterfaceDef& intf, const std::string& base_url);

 private:
  const TInvRegistry& registry_;
  const unsigned port_;
  std::mutex mu_;
  std::map<std::string, std::string> wsdl_cache_;  // guarded by mu_, bounded in size
};

// One per request, as the HTTP server hands them out.
class TWSMain {
 public:
  explicit TWSMain(TWebApp& app) : app_(app) {}

  // SOAP calls run operations that may block on the database: they go to the worker
  // pool. Everything else is answered on the I/O thread.
  static bool IsSoapRequest(const TWebRequest& req);

  // Never throws: every failure becomes a fault or an error page.
  TWebResponse Dispatch(const TWebRequest& req);

 private:
  TWebResponse DispatchSoap(const TWebRequest& req, std::string_view path);
  TWebResponse DispatchWsdl(const TWebRequest& req, std::string_view path);

  TWebApp& app_;
};

// The path of a request target without its query, percent-decoding not applied.
std::string_view TargetPath(std::string_view target);

}  // namespace zoras
