// A small SOAP 1.1 client for the whole-server tests: builds the RPC envelope of an
// operation (with the session header when given), posts it over a real socket and reads
// the answer: the result and var parameters, or the fault with its detail.
#pragma once

#include <pugixml.hpp>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/raw_http.h"

namespace zoras::testing {

struct TSoapReply {
  int status = 0;
  bool fault = false;
  std::string fault_code;
  std::string fault_string;
  std::string detail_class;                   // ESessionSecurityException, ...
  std::map<std::string, std::string> detail;  // the detail's properties (SID, USR)
  std::map<std::string, std::string> values;  // "return" and the var parameters
  std::string body;

  std::string Result() const {
    auto it = values.find("return");
    return it == values.end() ? std::string() : it->second;
  }
};

inline std::string XmlText(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// The Cookie text of a session header.
inline std::string Cookie(std::string_view sid, std::string_view usr) {
  return "SID=" + std::string(sid) + "\r\nUSR=" + std::string(usr);
}

// The HTTP request of a call of `operation` of `intf` ("IZORPoslovalnica"). `cookie`
// empty: no session header.
inline std::string SoapRequest(std::string_view intf, std::string_view operation,
                               const std::vector<std::pair<std::string, std::string>>& params,
                               std::string_view cookie = {}) {
  const std::string unit = intf == "IZORCentrala" ? "UZORCentralaIntf"
                           : intf == "IRAVOravuv" ? "URAVOravuvIntf"
                                                  : "UZORPoslovalnicaIntf";
  const std::string ns = "urn:" + unit + "-" + std::string(intf);
  std::string body =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">";
  if (!cookie.empty())
    body += "<soap:Header><TCookieSOAPHeader xmlns=\"urn:UCookieSOAPHeader\"><Cookie>" +
            XmlText(cookie) + "</Cookie></TCookieSOAPHeader></soap:Header>";
  body += "<soap:Body><" + std::string(operation) + " xmlns=\"" + ns + "\">";
  for (const auto& [name, value] : params)
    body += "<" + name + ">" + XmlText(value) + "</" + name + ">";
  body += "</" + std::string(operation) + "></soap:Body></soap:Envelope>";
  return Post("/soap/" + std::string(intf), body,
              "SOAPAction: \"" + ns + "#" + std::string(operation) + "\"\r\n");
}

// Reads an HTTP response to a SOAP call.
inline TSoapReply ParseSoapReply(const std::string& response) {
  TSoapReply reply;
  reply.status = StatusOf(response);
  reply.body = BodyOf(response);
  pugi::xml_document doc;
  if (!doc.load_string(reply.body.c_str())) return reply;
  const pugi::xml_node envelope = doc.first_child();
  const pugi::xml_node soap_body = envelope.find_child(
      [](pugi::xml_node n) { return std::string_view(n.name()).ends_with("Body"); });
  const pugi::xml_node first = soap_body.first_child();
  if (std::string_view(first.name()).ends_with("Fault")) {
    reply.fault = true;
    reply.fault_code = first.child_value("faultcode");
    reply.fault_string = first.child_value("faultstring");
    const pugi::xml_node detail = first.child("detail").first_child();
    if (detail) {
      std::string_view name = detail.name();
      if (const size_t colon = name.find(':'); colon != std::string_view::npos)
        name = name.substr(colon + 1);
      reply.detail_class = std::string(name);
      for (const pugi::xml_node p : detail.children()) reply.detail[p.name()] = p.text().get();
    }
    return reply;
  }
  for (const pugi::xml_node v : first.children()) reply.values[v.name()] = v.text().get();
  return reply;
}

// The session identifier in a Login result packet; empty when there is none.
inline std::string SidOf(const std::string& login_packet) {
  const size_t at = login_packet.find("SID=\"");
  return at == std::string::npos ? std::string() : login_packet.substr(at + 5, 32);
}

// Calls the operation on a new connection to the server at `port`.
inline TSoapReply CallSoap(uint16_t port, std::string_view intf, std::string_view operation,
                           const std::vector<std::pair<std::string, std::string>>& params,
                           std::string_view cookie = {}) {
  RawConnection c(port);
  if (!c.Ok() || !c.Send(SoapRequest(intf, operation, params, cookie))) return {};
  return ParseSoapReply(c.ReadResponse());
}

}  // namespace zoras::testing
