#include "host/soap_envelope.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <string>
#include <vector>

#include "host/limits.h"
#include "security/session_exceptions.h"

namespace zoras {
namespace {

constexpr const char* kBranchNs = "urn:UZORPoslovalnicaIntf-IZORPoslovalnica";
constexpr const char* kHqNs = "urn:UZORCentralaIntf-IZORCentrala";

const TInvRegistry& Registry() {
  static const TInvRegistry r = TInvRegistry::Standard();
  return r;
}

// An envelope with the usual prefixes bound on the Envelope element.
std::string Envelope(const std::string& body, const std::string& header = "") {
  std::string e =
      "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xmlns:m=\"urn:UZORPoslovalnicaIntf-IZORPoslovalnica\">";
  if (!header.empty()) e += "<SOAP-ENV:Header>" + header + "</SOAP-ENV:Header>";
  return e + "<SOAP-ENV:Body>" + body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string Show(const TParamValue& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* i = std::get_if<int32_t>(&v)) return "int:" + std::to_string(*i);
  return std::get<bool>(v) ? "bool:true" : "bool:false";
}

std::vector<std::string> Args(const TSoapCall& c) {
  std::vector<std::string> out;
  for (const auto& a : c.args) out.push_back(Show(a));
  return out;
}

// Each of these is how some client really writes a call (or a shape SOAP allows): all
// must read as the same typed call.
TEST(SoapEnvelopeParse, RequestVariantsReadAsTheSameCall) {
  struct Case {
    const char* name;
    std::string body;
    std::vector<std::string> args;
  } cases[] = {
      {"prefix bound on the envelope, no xsi:type",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
           Envelope("<m:GetOrders><AXMLDPRequest>a</AXMLDPRequest>"
                    "<AXMLMPDPResponse>b</AXMLMPDPResponse></m:GetOrders>"),
       {"a", "b"}},
      {"prefix bound on the operation element, xsi:type and encodingStyle",
       "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">"
       "<soapenv:Body soapenv:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">"
       "<ns2:GetOrders xmlns:ns2=\"urn:UZORPoslovalnicaIntf-IZORPoslovalnica\" "
       "xmlns:t=\"http://www.w3.org/2001/XMLSchema-instance\" "
       "xmlns:s=\"http://www.w3.org/2001/XMLSchema\">"
       "<AXMLDPRequest t:type=\"s:string\">a</AXMLDPRequest>"
       "<AXMLMPDPResponse t:type=\"s:string\">b</AXMLMPDPResponse>"
       "</ns2:GetOrders></soapenv:Body></soapenv:Envelope>",
       {"a", "b"}},
      {"default namespace, parameters qualified by it",
       "<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body>"
       "<GetOrders xmlns=\"urn:UZORPoslovalnicaIntf-IZORPoslovalnica\">"
       "<AXMLDPRequest>a</AXMLDPRequest><AXMLMPDPResponse>b</AXMLMPDPResponse>"
       "</GetOrders></Body></Envelope>",
       {"a", "b"}},
      {"one prefix rebound to other namespaces inside",
       "<ns1:Envelope xmlns:ns1=\"http://schemas.xmlsoap.org/soap/envelope/\">"
       "<ns1:Body><ns1:GetOrders xmlns:ns1=\"urn:UZORPoslovalnicaIntf-IZORPoslovalnica\">"
       "<AXMLDPRequest xmlns:ns1=\"http://www.w3.org/2001/XMLSchema\" "
       "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\" i:type=\"ns1:string\">a"
       "</AXMLDPRequest><AXMLMPDPResponse>b</AXMLMPDPResponse></ns1:GetOrders></ns1:Body>"
       "</ns1:Envelope>",
       {"a", "b"}},
      {"SOAP-ENC typed, parameters in another order, names in other letter case",
       Envelope("<m:GetOrders><axmlmpdpresponse xsi:type=\"SOAP-ENC:string\">b"
                "</axmlmpdpresponse><AXMLDPRequest xsi:type=\"SOAP-ENC:string\">a"
                "</AXMLDPRequest></m:GetOrders>"),
       {"a", "b"}},
      {"parameters by reference to multiRef elements before and after the call",
       Envelope("<multiRef id=\"r2\" SOAP-ENC:root=\"0\">b</multiRef>"
                "<m:GetOrders><AXMLDPRequest href=\"#r1\"/><AXMLMPDPResponse href=\"#r2\"/>"
                "</m:GetOrders><multiRef id=\"r1\" SOAP-ENC:root=\"0\">a</multiRef>"),
       {"a", "b"}},
      {"CDATA and character references",
       Envelope("<m:GetOrders><AXMLDPRequest><![CDATA[<a>]]>&#13;&#10;&#x10D;</AXMLDPRequest>"
                "<AXMLMPDPResponse>&lt;&amp;&quot;</AXMLMPDPResponse></m:GetOrders>"),
       {"<a>\r\n\xC4\x8D", "<&\""}},
      {"nil string in-param and missing var param read as empty",
       Envelope("<m:GetOrders><AXMLDPRequest xsi:nil=\"true\"/></m:GetOrders>"),
       {"", ""}},
      {"integers with spaces and sign, booleans as words and digits",
       Envelope("<m:GetUstreznost><ASfOsb> +42 </ASfOsb><ASfVp>-2147483648</ASfVp>"
                "</m:GetUstreznost>"),
       {"int:42", "int:-2147483648"}},
      {"boolean 1",
       Envelope("<m:DeleteTransaction><AIdNetNrc>7</AIdNetNrc>"
                "<OnlyByStat_0>1</OnlyByStat_0></m:DeleteTransaction>"),
       {"7", "bool:true"}},
      {"boolean false with spaces",
       Envelope("<m:DeleteTransaction><AIdNetNrc>7</AIdNetNrc>"
                "<OnlyByStat_0> false </OnlyByStat_0></m:DeleteTransaction>"),
       {"7", "bool:false"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      const TSoapCall call = ParseSoapCall(Registry(), c.body, "");
      ASSERT_NE(call.intf, nullptr);
      EXPECT_EQ(call.intf->name, "IZORPoslovalnica");
      EXPECT_EQ(Args(call), c.args);
      EXPECT_FALSE(call.cookie.has_value());
    } catch (const ESoapRequestError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

TEST(SoapEnvelopeParse, BadRequestsAreRefusedWithTheirCode) {
  std::string deep;
  for (int i = 0; i < kMaxXmlDepth + 1; ++i) deep += "<a>";
  for (int i = 0; i < kMaxXmlDepth + 1; ++i) deep += "</a>";
  const std::string orders_a = "<AXMLDPRequest>a</AXMLDPRequest>";
  struct Case {
    const char* name;
    std::string body;
    const char* code;
    const char* message;
  } cases[] = {
      {"missing in-param", Envelope("<m:GetOrders><AXMLMPDPResponse/></m:GetOrders>"), "Client",
       "Parameter AXMLDPRequest of GetOrders is missing"},
      {"nil integer",
       Envelope("<m:GetUstreznost><ASfOsb xsi:nil=\"1\"/><ASfVp>1</ASfVp>"
                "</m:GetUstreznost>"),
       "Client", "Parameter ASfOsb of GetUstreznost is missing"},
      {"integer out of range",
       Envelope("<m:GetUstreznost><ASfOsb>2147483648</ASfOsb><ASfVp>1</ASfVp></m:GetUstreznost>"),
       "Client", "Parameter ASfOsb: '2147483648' is not a valid integer value"},
      {"integer with a fraction",
       Envelope("<m:GetUstreznost><ASfOsb>1</ASfOsb><ASfVp>4.0</ASfVp></m:GetUstreznost>"),
       "Client", "Parameter ASfVp: '4.0' is not a valid integer value"},
      {"empty integer",
       Envelope("<m:GetUstreznost><ASfOsb></ASfOsb><ASfVp>1</ASfVp></m:GetUstreznost>"), "Client",
       "Parameter ASfOsb: '' is not a valid integer value"},
      {"boolean in capitals",
       Envelope("<m:DeleteTransaction><AIdNetNrc>7</AIdNetNrc>"
                "<OnlyByStat_0>TRUE</OnlyByStat_0></m:DeleteTransaction>"),
       "Client", "Parameter OnlyByStat_0: 'TRUE' is not a valid boolean value"},
      {"DOCTYPE",
       "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e \"eeee\">]>" +
           Envelope("<m:GetOrders><AXMLDPRequest>&e;</AXMLDPRequest></m:GetOrders>"),
       "Client", "A SOAP message must not contain a document type declaration"},
      {"SOAP 1.2 envelope",
       "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body>"
       "<m:GetOrders xmlns:m=\"urn:UZORPoslovalnicaIntf-IZORPoslovalnica\">" +
           orders_a + "</m:GetOrders></e:Body></e:Envelope>",
       "VersionMismatch", "Only SOAP 1.1 envelopes are served"},
      {"envelope in no namespace", "<Envelope><Body/></Envelope>", "VersionMismatch",
       "The envelope is not in the SOAP 1.1 namespace"},
      {"body in the wrong namespace",
       "<S:Envelope xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body/></S:Envelope>",
       "Client", "The SOAP envelope has no Body"},
      {"empty body", Envelope(""), "Client", "The SOAP Body names no operation"},
      {"nesting too deep",
       Envelope("<m:GetOrders><AXMLDPRequest>" + deep + "</AXMLDPRequest></m:GetOrders>"), "Client",
       "deeper than 64 levels"},
      {"not UTF-8", Envelope("<m:GetOrders><AXMLDPRequest>\xE8</AXMLDPRequest></m:GetOrders>"),
       "Client", "The request is not valid UTF-8"},
      {"unterminated", Envelope("<m:GetOrders>"), "Client", "not well-formed XML"},
      {"dangling reference", Envelope("<m:GetOrders><AXMLDPRequest href=\"#nope\"/></m:GetOrders>"),
       "Client", "Reference '#nope' not found"},
      {"circular references",
       Envelope("<m:GetOrders><AXMLDPRequest href=\"#a\"/></m:GetOrders>"
                "<x id=\"a\" href=\"#b\"/><x id=\"b\" href=\"#a\"/>"),
       "Client", "Too many chained references"},
      {"unknown operation", Envelope("<m:GetOrdersX>" + orders_a + "</m:GetOrdersX>"), "Client",
       "Interface IZORPoslovalnica has no operation 'GetOrdersX'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      ParseSoapCall(Registry(), c.body, "IZORPoslovalnica");
      ADD_FAILURE() << "accepted";
    } catch (const ESoapRequestError& e) {
      EXPECT_EQ(e.Code(), c.code);
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(SoapEnvelopeParse, SessionHeaderInEveryFormAndMustUnderstand) {
  const std::string call = "<m:Logout/>";
  struct Case {
    const char* name;
    std::string header;
    std::optional<std::string> cookie;  // nullopt: no session header read
    const char* refused = nullptr;      // MustUnderstand fault text, when refused
  } cases[] = {
      {"qualified, mustUnderstand",
       "<h:TCookieSOAPHeader xmlns:h=\"urn:UCookieSOAPHeader\" SOAP-ENV:mustUnderstand=\"1\">"
       "<Cookie>SID=1;USR=A</Cookie></h:TCookieSOAPHeader>",
       "SID=1;USR=A"},
      {"qualified by default namespace, Cookie qualified too, xsi:type",
       "<TCookieSOAPHeader xmlns=\"urn:UCookieSOAPHeader\" xsi:type=\"TCookieSOAPHeader\">"
       "<Cookie xsi:type=\"xsd:string\">a&amp;b</Cookie></TCookieSOAPHeader>",
       "a&b"},
      {"unqualified", "<TCookieSOAPHeader><Cookie>x</Cookie></TCookieSOAPHeader>", "x"},
      {"by reference", "<TCookieSOAPHeader href=\"#h\"/><r id=\"h\"><Cookie>y</Cookie></r>", "y"},
      {"no Cookie element", "<TCookieSOAPHeader/>", ""},
      {"the first of two counts",
       "<TCookieSOAPHeader><Cookie>1</Cookie></TCookieSOAPHeader>"
       "<TCookieSOAPHeader><Cookie>2</Cookie></TCookieSOAPHeader>",
       "1"},
      {"empty header", "", std::nullopt},
      {"unknown block without mustUnderstand", "<w:Trace xmlns:w=\"urn:w\">1</w:Trace>",
       std::nullopt},
      {"unknown block, mustUnderstand 0",
       "<w:Trace xmlns:w=\"urn:w\" SOAP-ENV:mustUnderstand=\"0\">1</w:Trace>", std::nullopt},
      {"unknown block for another actor",
       "<w:Trace xmlns:w=\"urn:w\" SOAP-ENV:mustUnderstand=\"1\" "
       "SOAP-ENV:actor=\"http://example.com/other\">1</w:Trace>",
       std::nullopt},
      {"unknown block for us", "<w:Trace xmlns:w=\"urn:w\" SOAP-ENV:mustUnderstand=\"1\"/>",
       std::nullopt, "Header Trace of namespace 'urn:w' is not understood"},
      {"unknown block for the next actor",
       "<w:Trace xmlns:w=\"urn:w\" SOAP-ENV:mustUnderstand=\"true\" "
       "SOAP-ENV:actor=\"http://schemas.xmlsoap.org/soap/actor/next\"/>",
       std::nullopt, "Header Trace of namespace 'urn:w' is not understood"},
      {"session header name in a foreign namespace",
       "<h:TCookieSOAPHeader xmlns:h=\"urn:other\" SOAP-ENV:mustUnderstand=\"1\">"
       "<Cookie>z</Cookie></h:TCookieSOAPHeader>",
       std::nullopt, "Header TCookieSOAPHeader of namespace 'urn:other' is not understood"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      const TSoapCall parsed = ParseSoapCall(Registry(), Envelope(call, c.header), "");
      EXPECT_EQ(c.refused, nullptr) << "accepted";
      EXPECT_EQ(parsed.cookie, c.cookie);
    } catch (const ESoapRequestError& e) {
      ASSERT_NE(c.refused, nullptr) << e.what();
      EXPECT_EQ(e.Code(), "MustUnderstand");
      EXPECT_EQ(e.what(), std::string(c.refused));
    }
  }
  // An empty Header element reads like none.
  EXPECT_FALSE(ParseSoapCall(Registry(),
                             "<S:Envelope xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                             "<S:Header/><S:Body><m:Logout xmlns:m=\"" +
                                 std::string(kBranchNs) + "\"/></S:Body></S:Envelope>",
                             "")
                   .cookie.has_value());
}

// The interface is the operation's namespace; only an unqualified operation or one in the
// WSDL's placeholder namespace (node soap) falls back to the SOAP action, then the path.
TEST(SoapEnvelopeParse, InterfaceFromNamespaceActionOrPath) {
  auto body = [](const std::string& ns) {
    const std::string open = ns.empty() ? "<Login>" : "<q:Login xmlns:q=\"" + ns + "\">";
    const std::string close = ns.empty() ? "</Login>" : "</q:Login>";
    return Envelope(open + "<AUsername>u</AUsername><APassword>p</APassword>" + close);
  };
  const std::string hq_action = std::string(kHqNs) + "#Login";
  struct Case {
    const char* name;
    std::string ns, path, action;
    const char* expected;  // nullptr: refused
  } cases[] = {
      {"namespace wins over path and action", kHqNs, "IZORPoslovalnica",
       std::string(kBranchNs) + "#Login", "IZORCentrala"},
      {"placeholder namespace, quoted action", "http://tempuri.org/", "IZORPoslovalnica",
       "\"" + hq_action + "\"", "IZORCentrala"},
      {"placeholder namespace, unquoted action", "http://tempuri.org/", "", hq_action,
       "IZORCentrala"},
      {"placeholder namespace, empty action: path", "http://tempuri.org/", "izorcentrala", "",
       "IZORCentrala"},
      {"placeholder namespace, quoted empty action: path", "http://tempuri.org/", "IZORCentrala",
       "\"\"", "IZORCentrala"},
      {"unqualified, action names no interface: path", "", "IZORCentrala", "\"Login\"",
       "IZORCentrala"},
      {"unqualified, no path, no action", "", "", "", nullptr},
      {"foreign namespace is refused whatever the path and action", "urn:nope", "IZORCentrala",
       hq_action, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      const TSoapCall call = ParseSoapCall(Registry(), body(c.ns), c.path, c.action);
      ASSERT_NE(c.expected, nullptr) << "accepted as " << call.intf->name;
      EXPECT_EQ(call.intf->name, c.expected);
      EXPECT_EQ(Args(call), (std::vector<std::string>{"u", "p"}));
    } catch (const ESoapRequestError& e) {
      EXPECT_EQ(c.expected, nullptr) << e.what();
      EXPECT_NE(std::string(e.what()).find("No interface is published under the namespace"),
                std::string::npos);
    }
  }
}

constexpr const char* kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\">";

const TOperationDef& Op(const char* intf, const char* op) {
  return *Registry().FindByName(intf)->FindOperation(op);
}

TEST(SoapEnvelopeWrite, ResponseHasResultThenVarParamsUntyped) {
  const TInterfaceDef& branch = *Registry().FindByName("IZORPoslovalnica");
  TInvocation orders(branch, Op("IZORPoslovalnica", "GetOrders"),
                     {std::string("in"), std::string("a<b&c>\r\n\"\xC4\x8D")}, std::nullopt);
  orders.SetResult(std::string(""));
  EXPECT_EQ(WriteSoapResponse(orders),
            std::string(kHead) +
                "<SOAP-ENV:Body SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/"
                "encoding/\"><NS1:GetOrdersResponse xmlns:NS1=\"" +
                kBranchNs +
                "\"><return></return><AXMLMPDPResponse>a&lt;b&amp;c&gt;&#13;\n\"\xC4\x8D"
                "</AXMLMPDPResponse></NS1:GetOrdersResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>");

  TInvocation ustreznost(branch, Op("IZORPoslovalnica", "GetUstreznost"), {int32_t{1}, int32_t{2}},
                         std::nullopt);
  ustreznost.SetResult(true);
  EXPECT_NE(WriteSoapResponse(ustreznost)
                .find("<NS1:GetUstreznostResponse xmlns:NS1=\"" + std::string(kBranchNs) +
                      "\"><return>true</return></NS1:GetUstreznostResponse>"),
            std::string::npos);

  // A procedure answers an empty response element; a function whose code set no result
  // answers the type's empty value.
  TInvocation logout(branch, Op("IZORPoslovalnica", "Logout"), {}, std::nullopt);
  EXPECT_NE(WriteSoapResponse(logout).find("<NS1:LogoutResponse xmlns:NS1=\"" +
                                           std::string(kBranchNs) + "\"></NS1:LogoutResponse>"),
            std::string::npos);
  TInvocation unset(branch, Op("IZORPoslovalnica", "GetUstreznost"), {int32_t{1}, int32_t{2}},
                    std::nullopt);
  EXPECT_NE(WriteSoapResponse(unset).find("<return>false</return>"), std::string::npos);
}

TEST(SoapEnvelopeWrite, FaultTexts) {
  const std::string tail = "</SOAP-ENV:Fault></SOAP-ENV:Body></SOAP-ENV:Envelope>";
  EXPECT_EQ(WriteSoapFault(EZoras("Napaka <1> & \"2\"")),
            std::string(kHead) +
                "<SOAP-ENV:Body><SOAP-ENV:Fault><faultactor></faultactor>"
                "<faultcode>SOAP-ENV:Server</faultcode>"
                "<faultstring>Napaka &lt;1&gt; &amp; \"2\"</faultstring>" +
                tail);
  EXPECT_EQ(WriteSoapFault(EPasswordExpiredException("Geslo je poteklo", "S<1>", "U&1")),
            std::string(kHead) +
                "<SOAP-ENV:Body><SOAP-ENV:Fault><faultactor></faultactor>"
                "<faultcode>SOAP-ENV:</faultcode><faultstring>Geslo je poteklo</faultstring>"
                "<detail><NS2:EPasswordExpiredException "
                "xmlns:NS2=\"urn:UEPasswordExpiredException\" "
                "xsi:type=\"NS2:EPasswordExpiredException\"><SID>S&lt;1&gt;</SID>"
                "<USR>U&amp;1</USR></NS2:EPasswordExpiredException></detail>" +
                tail);
  EXPECT_NE(WriteSoapFault(ESessionSecurityException("Seja ni veljavna"))
                .find("<faultcode>SOAP-ENV:</faultcode><faultstring>Seja ni veljavna"
                      "</faultstring><detail><NS2:ESessionSecurityException "
                      "xmlns:NS2=\"urn:UESessionSecurityException\" "
                      "xsi:type=\"NS2:ESessionSecurityException\"></NS2:"
                      "ESessionSecurityException></detail>" +
                      tail),
            std::string::npos);
  EXPECT_NE(WriteSoapFault(ESoapRequestError("x", "MustUnderstand"))
                .find("<faultcode>SOAP-ENV:MustUnderstand</faultcode><faultstring>x<"),
            std::string::npos);
}

// Whatever a result holds, a conforming XML parser must read back the same text, or the
// closest text XML can carry.
TEST(SoapEnvelopeWrite, XmlTextRoundTripsThroughAParser) {
  struct Case {
    std::string in, read_back;
  } cases[] = {
      {"CR LF\r\nlone CR\r lone LF\n tab\t end", "CR LF\r\nlone CR\r lone LF\n tab\t end"},
      {"  lead and trail  ", "  lead and trail  "},
      {"<a href=\"x\">&amp;</a> ]]>", "<a href=\"x\">&amp;</a> ]]>"},
      {"\xC4\x8D\xC5\xA1\xC5\xBE \xE2\x82\xAC \xF0\x9F\x98\x80", "čšž € 😀"},
      {std::string("nul\0bel\x07"
                   "esc\x1B",
                   12),
       "nul\xEF\xBF\xBD"
       "bel\xEF\xBF\xBD"
       "esc\xEF\xBF\xBD"},
      {"\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    std::string xml = "<r>";
    AppendXmlText(&xml, c.in);
    xml += "</r>";
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str())) << xml;
    EXPECT_EQ(std::string(doc.child("r").text().get()), c.read_back) << xml;
  }
}

}  // namespace
}  // namespace zoras
