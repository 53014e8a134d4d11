#include "host/wsdl.h"

#include "packet/text_packet.h"

#include <cctype>

namespace zoras {
namespace {

const char* XsdType(TParamType t) {
  switch (t) {
    case TParamType::Integer:
      return "xs:int";
    case TParamType::Boolean:
      return "xs:boolean";
    case TParamType::String:
      break;
  }
  return "xs:string";
}

void AppendHtml(std::string* out, std::string_view s) { *out += EscapeXmlAttr(s); }

std::string Signature(const TOperationDef& op) {
  auto type = [](TParamType t) {
    return t == TParamType::Integer ? "int" : t == TParamType::Boolean ? "boolean" : "string";
  };
  std::string s = op.name + "(";
  for (size_t i = 0; i < op.params.size(); ++i) {
    if (i) s += ", ";
    if (op.params[i].kind == TParamKind::Var) s += "var ";
    s += op.params[i].name + ": " + type(op.params[i].type);
  }
  s += ")";
  if (op.result) s += std::string(": ") + type(*op.result);
  return s;
}

constexpr std::string_view kEncoded =
    "use=\"encoded\" encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"";

}  // namespace

std::string BaseUrlFromHost(std::string_view host, unsigned port) {
  bool ok = !host.empty() && host.size() <= 255;
  for (char c : host)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' ||
          c == '[' || c == ']' || c == '_'))
      ok = false;
  if (ok) return "http://" + std::string(host);
  return "http://localhost:" + std::to_string(port);
}

std::string WriteWsdl(const TInterfaceDef& intf, std::string_view base_url) {
  const std::string ns = intf.Namespace();
  std::string w;
  w.reserve(2048 + intf.operations.size() * 1400);
  w += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  w += "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" "
       "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" name=\"";
  w += intf.name;
  w += "service\" targetNamespace=\"";
  w += kWsdlTargetNs;
  w += "\" xmlns:tns=\"";
  w += kWsdlTargetNs;
  w += "\" xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\" "
       "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\" "
       "xmlns:mime=\"http://schemas.xmlsoap.org/wsdl/mime/\"";
  if (intf.cookie_header) w += " xmlns:ns1=\"urn:UCookieSOAPHeader\"";
  w += ">\n";
  if (intf.cookie_header) {
    w += "  <types>\n"
         "    <xs:schema targetNamespace=\"urn:UCookieSOAPHeader\" "
         "xmlns=\"urn:UCookieSOAPHeader\">\n"
         "      <xs:complexType name=\"TCookieSOAPHeader\">\n"
         "        <xs:sequence>\n"
         "          <xs:element name=\"Cookie\" type=\"xs:string\"/>\n"
         "        </xs:sequence>\n"
         "      </xs:complexType>\n"
         "      <xs:element name=\"TCookieSOAPHeader\" type=\"ns1:TCookieSOAPHeader\"/>\n"
         "    </xs:schema>\n"
         "  </types>\n";
  }
  // Messages are named after the RPC wrapper elements (Op + "Request"/"Response"):
  // node soap finds the types of a response only through a message of the element's
  // name, and operation names are unique within an interface.
  for (const TOperationDef& op : intf.operations) {
    w += "  <message name=\"" + op.name + "Request\">\n";
    for (const TParamDef& p : op.params)
      w += "    <part name=\"" + p.name + "\" type=\"" + XsdType(p.type) + "\"/>\n";
    w += "  </message>\n";
    w += "  <message name=\"" + op.name + "Response\">\n";
    if (op.result)
      w += std::string("    <part name=\"return\" type=\"") + XsdType(*op.result) + "\"/>\n";
    for (const TParamDef& p : op.params)
      if (p.kind == TParamKind::Var)
        w += "    <part name=\"" + p.name + "\" type=\"" + XsdType(p.type) + "\"/>\n";
    w += "  </message>\n";
  }
  if (intf.cookie_header)
    w += "  <message name=\"TCookieSOAPHeader\">\n"
         "    <part name=\"TCookieSOAPHeader\" element=\"ns1:TCookieSOAPHeader\"/>\n"
         "  </message>\n";
  w += "  <portType name=\"" + intf.name + "\">\n";
  for (const TOperationDef& op : intf.operations) {
    w += "    <operation name=\"" + op.name + "\">\n";
    w += "      <input message=\"tns:" + op.name + "Request\"/>\n";
    w += "      <output message=\"tns:" + op.name + "Response\"/>\n";
    w += "    </operation>\n";
  }
  w += "  </portType>\n";
  w += "  <binding name=\"" + intf.name + "binding\" type=\"tns:" + intf.name + "\">\n";
  w += "    <soap:binding style=\"rpc\" transport=\"http://schemas.xmlsoap.org/soap/http\"/>\n";
  for (const TOperationDef& op : intf.operations) {
    w += "    <operation name=\"" + op.name + "\">\n";
    w += "      <soap:operation soapAction=\"" + intf.SoapAction(op.name) + "\" style=\"rpc\"/>\n";
    for (const char* dir : {"input", "output"}) {
      w += std::string("      <") + dir + ">\n";
      w += "        <soap:body " + std::string(kEncoded) + " namespace=\"" + ns + "\"/>\n";
      if (intf.cookie_header && dir[0] == 'i')
        w += "        <soap:header message=\"tns:TCookieSOAPHeader\" part=\"TCookieSOAPHeader\" " +
             std::string(kEncoded) + " namespace=\"urn:UCookieSOAPHeader\"/>\n";
      w += std::string("      </") + dir + ">\n";
    }
    w += "    </operation>\n";
  }
  w += "  </binding>\n";
  w += "  <service name=\"" + intf.name + "service\">\n";
  w += "    <port name=\"" + intf.name + "Port\" binding=\"tns:" + intf.name + "binding\">\n";
  w += "      <soap:address location=\"";
  w += base_url;
  w += "/soap/" + intf.name + "\"/>\n";
  w += "    </port>\n  </service>\n</definitions>\n";
  return w;
}

std::string WriteWsdlList(const TInvRegistry& registry, std::string_view base_url) {
  std::string h =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>ZORAS - WSDL</title></head>"
      "<body><h1>WSDL</h1><table border=\"1\"><tr><th>Interface</th><th>WSDL</th></tr>\n";
  for (const TInterfaceDef& i : registry.Interfaces()) {
    h += "<tr><td>" + i.name + "</td><td><a href=\"";
    AppendHtml(&h, base_url);
    h += "/wsdl/" + i.name + "\">";
    AppendHtml(&h, base_url);
    h += "/wsdl/" + i.name + "</a></td></tr>\n";
  }
  h += "</table></body></html>\n";
  return h;
}

std::string WriteServiceOverview(const TInvRegistry& registry, std::string_view base_url) {
  std::string h =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>ZORAS</title></head><body>"
      "<h1>ZORAS</h1><p>Published services:</p>\n";
  for (const TInterfaceDef& i : registry.Interfaces()) {
    h += "<h2>" + i.name + "</h2>\n<p>Namespace: " + i.Namespace() + "<br>Endpoint: ";
    AppendHtml(&h, base_url);
    h += "/soap/" + i.name + "<br>WSDL: <a href=\"";
    AppendHtml(&h, base_url);
    h += "/wsdl/" + i.name + "\">";
    AppendHtml(&h, base_url);
    h += "/wsdl/" + i.name + "</a></p>\n<ul>\n";
    for (const TOperationDef& op : i.operations) {
      h += "<li>";
      AppendHtml(&h, Signature(op));
      h += "</li>\n";
    }
    h += "</ul>\n";
  }
  h += "</body></html>\n";
  return h;
}

}  // namespace zoras
