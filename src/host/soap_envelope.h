// SOAP 1.1 RPC/encoded messages: reading a call from a request envelope and writing the
// response or fault envelope. Names are resolved by namespace URI, never by prefix.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.h"
#include "host/soap_registry.h"

namespace zoras {

inline constexpr std::string_view kSoapEnvNs = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr std::string_view kSoapEncNs = "http://schemas.xmlsoap.org/soap/encoding/";
inline constexpr std::string_view kXsdNs = "http://www.w3.org/2001/XMLSchema";
inline constexpr std::string_view kXsiNs = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr std::string_view kCookieHeaderNs = "urn:UCookieSOAPHeader";

// A request the SOAP layer cannot turn into a call: malformed XML, a DOCTYPE, no
// envelope, an unknown operation, a missing or mistyped parameter. Answered with a
// fault whose code is SOAP-ENV:Client (VersionMismatch for an envelope that is not SOAP
// 1.1, MustUnderstand for a header block the server does not know but must obey).
class ESoapRequestError : public EZoras {
 public:
  explicit ESoapRequestError(const std::string& message, std::string code = "Client")
      : EZoras(message), code_(std::move(code)) {}
  const std::string& Code() const { return code_; }

 private:
  std::string code_;
};

struct TSoapCall {
  const TInterfaceDef* intf = nullptr;
  const TOperationDef* op = nullptr;
  std::vector<TParamValue> args;      // in declaration order
  std::optional<std::string> cookie;  // TCookieSOAPHeader/Cookie
};

// Reads a call to one of the registry's operations from a request body. When the
// operation element is unqualified or in the WSDL target namespace, the interface is the
// one `soap_action` (the SOAPAction header, quoted or not, may be empty) names, else
// `path_interface` (the name after /soap/, may be empty). A header block other than
// TCookieSOAPHeader marked mustUnderstand is refused (MustUnderstand). Throws
// ESoapRequestError.
TSoapCall ParseSoapCall(const TInvRegistry& registry, std::string_view body,
                        std::string_view path_interface, std::string_view soap_action = {});

// The response envelope of a finished call: the result in `return`, then the var
// parameters by name, all without xsi:type (the WSDL types them).
std::string WriteSoapResponse(const TInvocation& call);

// The fault envelope for a failure: SOAP-ENV:Server for ordinary errors, the class's
// own code and detail for ERemotableException, SOAP-ENV:Client for bad requests.
std::string WriteSoapFault(const std::exception& error);

// Appends text as XML character data: & < > escaped, CR kept as a character reference
// (parsers would otherwise fold CR LF into LF), characters XML cannot carry replaced by
// U+FFFD.
void AppendXmlText(std::string* out, std::string_view text);

}  // namespace zoras
