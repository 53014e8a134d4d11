// The WSDL publisher: WSDL 1.1 (RPC/encoded) of each registered interface, the list of
// interfaces, and the HTML overview of the published services.
#pragma once

#include <string>
#include <string_view>

#include "host/soap_registry.h"

namespace zoras {

// The placeholder target namespace of the WSDL documents.
inline constexpr std::string_view kWsdlTargetNs = "http://tempuri.org/";

// The WSDL of one interface; its endpoint is base_url + "/soap/" + interface name.
// base_url is like "http://host:8080" and must already be safe to quote.
std::string WriteWsdl(const TInterfaceDef& intf, std::string_view base_url);

// An HTML page listing the interfaces with links to their WSDL.
std::string WriteWsdlList(const TInvRegistry& registry, std::string_view base_url);

// The HTML overview: each service with its namespace, endpoint, WSDL link and operations.
std::string WriteServiceOverview(const TInvRegistry& registry, std::string_view base_url);

// "http://" + host when the Host header value is a plain host[:port], else
// "http://localhost:" + port, so that a forged Host header cannot inject markup.
std::string BaseUrlFromHost(std::string_view host_header, unsigned port);

}  // namespace zoras
