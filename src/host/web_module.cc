#include "host/web_module.h"

#include <cctype>

#include "base/errors.h"
#include "base/messages.h"
#include "host/debug_log.h"
#include "host/soap_envelope.h"
#include "host/wsdl.h"

namespace zoras {
namespace {

constexpr std::string_view kXmlType = "text/xml; charset=\"utf-8\"";
constexpr std::string_view kHtmlType = "text/html; charset=utf-8";
constexpr size_t kMaxCachedWsdl = 32;

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

// "/soap/IZORCentrala" -> "IZORCentrala"; "/soap" -> "".
std::string_view AfterMask(std::string_view path, size_t mask_len) {
  std::string_view rest = path.substr(1 + mask_len);
  while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  const size_t slash = rest.find('/');
  return slash == std::string_view::npos ? rest : rest.substr(0, slash);
}

TWebResponse Fault(const std::exception& e) {
  return {500, std::string(kXmlType), WriteSoapFault(e)};
}

}  // namespace

std::string_view TargetPath(std::string_view target) {
  const size_t q = target.find_first_of("?#");
  return q == std::string_view::npos ? target : target.substr(0, q);
}

std::string TWebApp::Wsdl(const TInterfaceDef& intf, const std::string& base_url) {
  const std::string key = intf.name + '\n' + base_url;
  {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = wsdl_cache_.find(key);
    if (it != wsdl_cache_.end()) return it->second;
  }
  std::string wsdl = WriteWsdl(intf, base_url);
  std::lock_guard<std::mutex> lock(mu_);
  // Host headers come from clients: keep the cache bounded whatever they send.
  if (wsdl_cache_.size() >= kMaxCachedWsdl) wsdl_cache_.clear();
  wsdl_cache_.emplace(key, wsdl);
  return wsdl;
}

bool TWSMain::IsSoapRequest(const TWebRequest& req) {
  const std::string_view path = TargetPath(req.target);
  return StartsWithNoCase(path, "/soap");
}

TWebResponse TWSMain::Dispatch(const TWebRequest& req) {
  const std::string_view path = TargetPath(req.target);
  try {
    if (StartsWithNoCase(path, "/soap")) return DispatchSoap(req, path);
    if (StartsWithNoCase(path, "/wsdl")) return DispatchWsdl(req, path);
    return {200, std::string(kHtmlType),
            WriteServiceOverview(app_.Registry(), BaseUrlFromHost(req.host, app_.Port()))};
  } catch (const std::exception& e) {
    // A failure outside the SOAP operations: logged with the request, then answered
    // with status 500 and the message.
    WriteDebugErrorEntry(e.what(), req.body);
    return {500, "text/plain; charset=utf-8", e.what()};
  }
}

TWebResponse TWSMain::DispatchSoap(const TWebRequest& req, std::string_view path) {
  if (req.method != "POST") {
    return {405, "text/plain; charset=utf-8",
            "SOAP calls are posted to this address; the WSDL is under /wsdl"};
  }
  TSoapCall call;
  try {
    call = ParseSoapCall(app_.Registry(), req.body, AfterMask(path, 4), req.soap_action);
  } catch (const ESoapRequestError& e) {
    WriteDebugErrorEntry(e.what(), req.body);
    return Fault(e);
  }
  TInvocation invocation(*call.intf, *call.op, std::move(call.args), std::move(call.cookie));
  try {
    if (!call.op->handler) throw EZoras(Msg(msg::ecNotImplemented, {call.op->name}));
    call.op->handler(invocation);
  } catch (const std::exception& e) {
    return Fault(e);
  } catch (...) {
    return Fault(EZoras(Msg(msg::ecInternalError)));
  }
  return {200, std::string(kXmlType), WriteSoapResponse(invocation)};
}

TWebResponse TWSMain::DispatchWsdl(const TWebRequest& req, std::string_view path) {
  const std::string base_url = BaseUrlFromHost(req.host, app_.Port());
  const std::string_view name = AfterMask(path, 4);
  if (name.empty()) return {200, std::string(kHtmlType), WriteWsdlList(app_.Registry(), base_url)};
  const TInterfaceDef* intf = app_.Registry().FindByName(name);
  if (!intf)
    return {404, "text/plain; charset=utf-8",
            "No interface named '" + std::string(name) + "' is published"};
  return {200, std::string(kXmlType), app_.Wsdl(*intf, base_url)};
}

}  // namespace zoras
