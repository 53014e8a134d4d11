#include "host/soap_envelope.h"

#include <pugixml.hpp>

#include <cctype>
#include <cstring>

#include "base/messages.h"
#include "base/utf8.h"
#include "host/limits.h"
#include "host/wsdl.h"

namespace zoras {
namespace {

constexpr std::string_view kSoap12EnvNs = "http://www.w3.org/2003/05/soap-envelope";
constexpr std::string_view kNextActor = "http://schemas.xmlsoap.org/soap/actor/next";

std::string_view LocalName(const char* qname) {
  std::string_view n(qname);
  const size_t colon = n.find(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

std::string_view Prefix(const char* qname) {
  std::string_view n(qname);
  const size_t colon = n.find(':');
  return colon == std::string_view::npos ? std::string_view() : n.substr(0, colon);
}

// The namespace URI bound to a prefix at a node ("" prefix: the default namespace).
std::string_view ResolvePrefix(pugi::xml_node node, std::string_view prefix) {
  std::string attr = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
  for (pugi::xml_node n = node; n && n.type() == pugi::node_element; n = n.parent()) {
    if (pugi::xml_attribute a = n.attribute(attr.c_str())) return a.value();
  }
  if (prefix == "xml") return "http://www.w3.org/XML/1998/namespace";
  return {};
}

std::string_view NamespaceOf(pugi::xml_node element) {
  return ResolvePrefix(element, Prefix(element.name()));
}

bool Is(pugi::xml_node element, std::string_view ns, std::string_view local) {
  return element.type() == pugi::node_element && LocalName(element.name()) == local &&
         NamespaceOf(element) == ns;
}

// An attribute by namespace URI and local name.
pugi::xml_attribute FindAttr(pugi::xml_node element, std::string_view ns, std::string_view local) {
  for (pugi::xml_attribute a : element.attributes()) {
    if (LocalName(a.name()) != local) continue;
    const std::string_view prefix = Prefix(a.name());
    if (prefix.empty() || prefix == "xmlns") continue;
    if (ResolvePrefix(element, prefix) == ns) return a;
  }
  return {};
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string_view TrimXmlSpace(std::string_view s) {
  auto sp = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && sp(s.front())) s.remove_prefix(1);
  while (!s.empty() && sp(s.back())) s.remove_suffix(1);
  return s;
}

// Counts the tags of a document without parsing it; the text of CDATA sections and
// comments, where a '<' is only a character, is skipped.
size_t CountTags(std::string_view doc, size_t limit) {
  size_t tags = 0;
  for (size_t i = doc.find('<'); i != std::string_view::npos; i = doc.find('<', i + 1)) {
    const std::string_view rest = doc.substr(i);
    size_t skip_to = std::string_view::npos;
    if (rest.rfind("<![CDATA[", 0) == 0)
      skip_to = doc.find("]]>", i);
    else if (rest.rfind("<!--", 0) == 0)
      skip_to = doc.find("-->", i);
    if (skip_to != std::string_view::npos) {
      i = skip_to;
      continue;
    }
    if (++tags > limit) break;
  }
  return tags;
}

void CheckDepth(pugi::xml_node root) {
  // Iterative walk: the depth bound exists so that nothing recursive ever meets a
  // hostile document.
  int depth = 0;
  pugi::xml_node n = root;
  while (n) {
    if (n.first_child()) {
      n = n.first_child();
      if (++depth > kMaxXmlDepth)
        throw ESoapRequestError("The request nests elements deeper than " +
                                std::to_string(kMaxXmlDepth) + " levels");
      continue;
    }
    while (n && !n.next_sibling() && n != root) {
      n = n.parent();
      --depth;
    }
    if (!n || n == root) break;
    n = n.next_sibling();
  }
}

// Follows an SOAP-encoding reference (href="#id") to the element it names.
pugi::xml_node Dereference(pugi::xml_node element, pugi::xml_node body) {
  for (int hops = 0; hops < 8; ++hops) {
    pugi::xml_attribute href = element.attribute("href");
    if (!href || href.value()[0] != '#') return element;
    const char* id = href.value() + 1;
    pugi::xml_node target = body.find_node([id](pugi::xml_node n) {
      return n.type() == pugi::node_element && std::strcmp(n.attribute("id").value(), id) == 0;
    });
    if (!target)
      target = element.root().find_node([id](pugi::xml_node n) {
        return n.type() == pugi::node_element && std::strcmp(n.attribute("id").value(), id) == 0;
      });
    if (!target) throw ESoapRequestError("Reference '" + std::string(href.value()) + "' not found");
    element = target;
  }
  throw ESoapRequestError("Too many chained references");
}

std::string TextOf(pugi::xml_node element) {
  std::string s;
  for (pugi::xml_node c : element.children())
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) s += c.value();
  return s;
}

// The header block is meant for this server: it names no actor, or the next node.
bool AddressedToUs(pugi::xml_node block) {
  const pugi::xml_attribute actor = FindAttr(block, kSoapEnvNs, "actor");
  if (!actor) return true;
  const std::string_view a = TrimXmlSpace(actor.value());
  return a.empty() || a == kNextActor;
}

bool MustUnderstand(pugi::xml_node block) {
  const std::string_view v = TrimXmlSpace(FindAttr(block, kSoapEnvNs, "mustUnderstand").value());
  return v == "1" || v == "true";
}

// Reads the session header. Any other block that the caller marks mustUnderstand is
// refused, as SOAP requires, rather than silently ignored.
std::optional<std::string> ReadHeader(pugi::xml_node header) {
  std::optional<std::string> cookie;
  for (pugi::xml_node h : header.children()) {
    if (h.type() != pugi::node_element) continue;
    const std::string_view ns = NamespaceOf(h);
    if (LocalName(h.name()) == "TCookieSOAPHeader" && (ns.empty() || ns == kCookieHeaderNs)) {
      if (cookie) continue;
      const pugi::xml_node block = Dereference(h, header);
      cookie.emplace();
      for (pugi::xml_node c : block.children())
        if (c.type() == pugi::node_element && LocalName(c.name()) == "Cookie") {
          *cookie = TextOf(Dereference(c, header));
          break;
        }
      continue;
    }
    if (AddressedToUs(h) && MustUnderstand(h))
      throw ESoapRequestError("Header " + std::string(LocalName(h.name())) + " of namespace '" +
                                  std::string(ns) + "' is not understood",
                              "MustUnderstand");
  }
  return cookie;
}

// The interface namespace of a SOAPAction value ("urn:U-I#Op", quoted or not).
std::string_view ActionNamespace(std::string_view action) {
  action = TrimXmlSpace(action);
  if (action.size() >= 2 && action.front() == '"' && action.back() == '"')
    action = action.substr(1, action.size() - 2);
  const size_t hash = action.rfind('#');
  return hash == std::string_view::npos ? std::string_view() : action.substr(0, hash);
}

bool IsNil(pugi::xml_node element) {
  pugi::xml_attribute nil = FindAttr(element, kXsiNs, "nil");
  if (!nil) nil = FindAttr(element, "http://www.w3.org/1999/XMLSchema-instance", "null");
  if (!nil) return false;
  std::string_view v = TrimXmlSpace(nil.value());
  return v == "true" || v == "1";
}

pugi::xml_node FindParamElement(pugi::xml_node op_element, std::string_view name) {
  for (pugi::xml_node c : op_element.children())
    if (c.type() == pugi::node_element && LocalName(c.name()) == name) return c;
  for (pugi::xml_node c : op_element.children())
    if (c.type() == pugi::node_element && EqualsNoCase(LocalName(c.name()), name)) return c;
  return {};
}

TParamValue ReadParam(const TParamDef& p, const std::string& text) {
  switch (p.type) {
    case TParamType::String:
      return text;
    case TParamType::Integer: {
      std::string_view t = TrimXmlSpace(text);
      if (!t.empty() && t.front() == '+') t.remove_prefix(1);
      long long v = 0;
      char* end = nullptr;
      errno = 0;
      std::string tmp(t);
      v = std::strtoll(tmp.c_str(), &end, 10);
      if (tmp.empty() || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX ||
          std::isspace(static_cast<unsigned char>(tmp[0])))
        throw ESoapRequestError("Parameter " + p.name + ": " + Msg(msg::ecInvalidInteger, {text}));
      return static_cast<int32_t>(v);
    }
    case TParamType::Boolean: {
      const std::string_view t = TrimXmlSpace(text);
      if (t == "true" || t == "1") return true;
      if (t == "false" || t == "0") return false;
      throw ESoapRequestError("Parameter " + p.name + ": '" + text +
                              "' is not a valid boolean value");
    }
  }
  return text;
}

// Values are written without xsi:type: the WSDL's message parts already type every
// accessor, and some clients (node soap) turn any attribute on a value element into an
// object, so that a string result would no longer read as a string.
void AppendValue(std::string* out, const std::string& name, const TParamValue& v) {
  *out += '<';
  *out += name;
  *out += '>';
  if (const auto* s = std::get_if<std::string>(&v)) {
    AppendXmlText(out, *s);
  } else if (const auto* i = std::get_if<int32_t>(&v)) {
    *out += std::to_string(*i);
  } else {
    *out += std::get<bool>(v) ? "true" : "false";
  }
  *out += "</";
  *out += name;
  *out += '>';
}

constexpr std::string_view kEnvelopeHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\">";
constexpr std::string_view kEnvelopeTail = "</SOAP-ENV:Body></SOAP-ENV:Envelope>";

}  // namespace

void AppendXmlText(std::string* out, std::string_view text) {
  out->reserve(out->size() + text.size() + 16);
  size_t run = 0;
  auto flush = [&](size_t i) {
    out->append(text.data() + run, i - run);
    run = i + 1;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '&' && c != '<' && c != '>') {
      if (c == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
          (static_cast<unsigned char>(text[i + 2]) == 0xBE ||
           static_cast<unsigned char>(text[i + 2]) == 0xBF)) {
        // U+FFFE and U+FFFF are not XML characters either.
        flush(i);
        *out += "\xEF\xBF\xBD";
        i += 2;
        run = i + 1;
      }
      continue;
    }
    flush(i);
    switch (c) {
      case '&':
        *out += "&amp;";
        break;
      case '<':
        *out += "&lt;";
        break;
      case '>':
        *out += "&gt;";
        break;
      case '\r':
        *out += "&#13;";
        break;
      case '\n':
      case '\t':
        *out += static_cast<char>(c);
        break;
      default:
        *out += "\xEF\xBF\xBD";
    }
  }
  out->append(text.data() + run, text.size() - std::min(run, text.size()));
}

TSoapCall ParseSoapCall(const TInvRegistry& registry, std::string_view body,
                        std::string_view path_interface, std::string_view soap_action) {
  if (!IsValidUtf8(body)) throw ESoapRequestError("The request is not valid UTF-8");
  // Start and end tags both count, so the bound on tags is twice that on elements.
  if (CountTags(body, 2 * kMaxXmlElements) > 2 * kMaxXmlElements)
    throw ESoapRequestError("The request has more than " + std::to_string(kMaxXmlElements) +
                            " elements");
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_buffer(
      body.data(), body.size(), pugi::parse_default | pugi::parse_doctype, pugi::encoding_utf8);
  if (!parsed)
    throw ESoapRequestError(std::string("The request is not well-formed XML: ") +
                            parsed.description() + " at offset " + std::to_string(parsed.offset));
  for (pugi::xml_node n : doc.children())
    if (n.type() == pugi::node_doctype)
      throw ESoapRequestError("A SOAP message must not contain a document type declaration");
  const pugi::xml_node envelope = doc.document_element();
  CheckDepth(envelope);
  if (!envelope || LocalName(envelope.name()) != "Envelope")
    throw ESoapRequestError("The request is not a SOAP envelope");
  const std::string_view env_ns = NamespaceOf(envelope);
  if (env_ns == kSoap12EnvNs)
    throw ESoapRequestError("Only SOAP 1.1 envelopes are served", "VersionMismatch");
  if (env_ns != kSoapEnvNs)
    throw ESoapRequestError("The envelope is not in the SOAP 1.1 namespace", "VersionMismatch");

  pugi::xml_node header, soap_body;
  for (pugi::xml_node c : envelope.children()) {
    if (c.type() != pugi::node_element) continue;
    if (!header && !soap_body && Is(c, kSoapEnvNs, "Header"))
      header = c;
    else if (!soap_body && Is(c, kSoapEnvNs, "Body"))
      soap_body = c;
  }
  if (!soap_body) throw ESoapRequestError("The SOAP envelope has no Body");

  pugi::xml_node op_element;
  for (pugi::xml_node c : soap_body.children()) {
    if (c.type() != pugi::node_element) continue;
    pugi::xml_attribute root = FindAttr(c, kSoapEncNs, "root");
    if (root && TrimXmlSpace(root.value()) == "0") continue;
    op_element = c;
    break;
  }
  if (!op_element) throw ESoapRequestError("The SOAP Body names no operation");

  TSoapCall call;
  if (header) call.cookie = ReadHeader(header);

  // An operation in a foreign namespace is refused. Unqualified ones, and those in the
  // WSDL's target namespace (node soap qualifies RPC calls with it instead of the
  // binding's namespace), take the interface from the SOAP action, else the address.
  const std::string_view op_ns = NamespaceOf(op_element);
  call.intf = registry.FindByNamespace(op_ns);
  if (!call.intf && (op_ns.empty() || op_ns == kWsdlTargetNs)) {
    call.intf = registry.FindByNamespace(ActionNamespace(soap_action));
    if (!call.intf && !path_interface.empty()) call.intf = registry.FindByName(path_interface);
  }
  if (!call.intf)
    throw ESoapRequestError("No interface is published under the namespace '" + std::string(op_ns) +
                            "'");
  const std::string_view op_name = LocalName(op_element.name());
  call.op = call.intf->FindOperation(op_name);
  if (!call.op)
    throw ESoapRequestError("Interface " + call.intf->name + " has no operation '" +
                            std::string(op_name) + "'");

  for (const TParamDef& p : call.op->params) {
    pugi::xml_node e = FindParamElement(op_element, p.name);
    if (e) e = Dereference(e, soap_body);
    if (!e || IsNil(e)) {
      if (p.kind == TParamKind::Var || (e && p.type == TParamType::String)) {
        call.args.push_back(p.type == TParamType::String    ? TParamValue(std::string())
                            : p.type == TParamType::Integer ? TParamValue(int32_t{0})
                                                            : TParamValue(false));
        continue;
      }
      throw ESoapRequestError("Parameter " + p.name + " of " + call.op->name + " is missing");
    }
    call.args.push_back(ReadParam(p, TextOf(e)));
  }

  return call;
}

std::string WriteSoapResponse(const TInvocation& call) {
  const TOperationDef& op = call.Operation();
  std::string out;
  size_t size_hint = 512;
  for (const auto& a : call.Args())
    if (const auto* s = std::get_if<std::string>(&a)) size_hint += s->size() + s->size() / 16;
  if (call.Result())
    if (const auto* s = std::get_if<std::string>(&*call.Result())) size_hint += s->size() * 17 / 16;
  out.reserve(size_hint);
  out += kEnvelopeHead;
  out += "<SOAP-ENV:Body SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">";
  out += "<NS1:";
  out += op.name;
  out += "Response xmlns:NS1=\"";
  out += call.Interface().Namespace();
  out += "\">";
  if (op.result) {
    const TParamValue& r = call.Result()
                               ? *call.Result()
                               : (*op.result == TParamType::String    ? TParamValue(std::string())
                                  : *op.result == TParamType::Integer ? TParamValue(int32_t{0})
                                                                      : TParamValue(false));
    AppendValue(&out, "return", r);
  }
  for (size_t i = 0; i < op.params.size(); ++i)
    if (op.params[i].kind == TParamKind::Var) AppendValue(&out, op.params[i].name, call.Args()[i]);
  out += "</NS1:";
  out += op.name;
  out += "Response>";
  out += kEnvelopeTail;
  return out;
}

std::string WriteSoapFault(const std::exception& error) {
  std::string out;
  out.reserve(1024);
  out += kEnvelopeHead;
  out += "<SOAP-ENV:Body><SOAP-ENV:Fault>";
  const auto* remotable = dynamic_cast<const ERemotableException*>(&error);
  const auto* request_error = dynamic_cast<const ESoapRequestError*>(&error);
  out += "<faultactor>";
  if (remotable) AppendXmlText(&out, remotable->FaultActor());
  out += "</faultactor><faultcode>SOAP-ENV:";
  if (remotable)
    AppendXmlText(&out, remotable->FaultCode());
  else if (request_error)
    out += request_error->Code();
  else
    out += "Server";
  out += "</faultcode><faultstring>";
  AppendXmlText(&out, error.what());
  out += "</faultstring>";
  if (remotable) {
    const std::string cls = remotable->ClassName();
    out += "<detail><NS2:";
    out += cls;
    out += " xmlns:NS2=\"urn:";
    out += remotable->UnitName();
    out += "\" xsi:type=\"NS2:";
    out += cls;
    out += "\">";
    for (const auto& [name, value] : remotable->Properties()) AppendValue(&out, name, value);
    out += "</NS2:";
    out += cls;
    out += "></detail>";
  }
  out += "</SOAP-ENV:Fault>";
  out += kEnvelopeTail;
  return out;
}

}  // namespace zoras
