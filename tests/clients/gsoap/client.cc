// A gSOAP client generated from the live WSDL of IZORPoslovalnica (wsdl2h, soapcpp2 -C),
// calling the test server. gSOAP sends no xsi:type, sends the session header with
// mustUnderstand="1", and reads the fault's detail as raw XML.
//
//   client ENDPOINT      exits 0 when every check passed
#include <climits>
#include <cstdio>
#include <string>

#include "IZORPoslovalnicabinding.nsmap"
#include "soapIZORPoslovalnicabindingProxy.h"

namespace {

int checks = 0;
int failures = 0;

void Check(bool ok, const char* what, const std::string& detail = "") {
  ++checks;
  if (!ok) ++failures;
  std::printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what, ok || detail.empty() ? "" : ": ",
              ok ? "" : detail.c_str());
}

std::string FaultString(IZORPoslovalnicabindingProxy& p) {
  const char* s = p.soap_fault_string();
  return s ? s : "";
}

std::string FaultDetail(IZORPoslovalnicabindingProxy& p) {
  const char* s = p.soap_fault_detail();
  return s ? s : "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: client ENDPOINT\n");
    return 2;
  }
  // UTF-8 in std::string as it is, as applications with non-ASCII text need.
  IZORPoslovalnicabindingProxy p(SOAP_C_UTFSTRING);
  p.soap_endpoint = argv[1];
  int rc;
  std::string s;

  rc = p.Login("U1", "p\xC4\x8D", s);
  Check(rc == SOAP_OK && s == "USR=U1;PWD=p\xC4\x8D", "Login", s + FaultString(p));

  ns2__GetOrdersResponse orders;
  rc = p.GetOrders("<REQ/>", "old", orders);
  Check(rc == SOAP_OK && orders.return_ == "<REQ/>" && orders.AXMLMPDPResponse == "[old]<REQ/>",
        "GetOrders result and var param", orders.return_ + " | " + orders.AXMLMPDPResponse);

  bool b = false;
  Check(p.GetUstreznost(1, 2, b) == SOAP_OK && b, "GetUstreznost true");
  Check(p.GetUstreznost(2, 1, b) == SOAP_OK && !b, "GetUstreznost false");
  Check(p.GetUstreznost(INT_MIN, INT_MAX, b) == SOAP_OK && b, "GetUstreznost at the int bounds");

  ns2__DeleteTransactionResponse deleted;
  rc = p.DeleteTransaction("17", true, deleted);
  Check(rc == SOAP_OK, "DeleteTransaction procedure", FaultString(p));
  rc = p.DeleteTransaction("report", false, deleted);
  Check(rc != SOAP_OK && FaultString(p) == "DeleteTransaction AIdNetNrc=report OnlyByStat_0=false",
        "DeleteTransaction boolean arrives", FaultString(p));

  rc = p.GetObvestilo("1", s);
  Check(rc != SOAP_OK && FaultString(p) == "No session header", "no session header",
        FaultString(p));
  ns2__LogoutResponse logout;
  rc = p.Logout(logout);
  Check(rc != SOAP_OK && FaultString(p) == "Session is not valid" &&
            FaultDetail(p).find("ESessionSecurityException") != std::string::npos,
        "session fault of a call without parameters", FaultString(p) + " | " + FaultDetail(p));

  // gSOAP replaces soap->header with the (absent) header of each response: the header
  // is set again before every call.
  ns1__TCookieSOAPHeader header;
  header.Cookie = "SID=12;USR=U1 & <\xC4\x8D>";
  p.soap_header(&header);
  rc = p.GetObvestilo("1", s);
  Check(rc == SOAP_OK && s == header.Cookie, "session header arrives", s + FaultString(p));
  p.soap_header(&header);
  rc = p.Logout(logout);
  Check(rc == SOAP_OK, "procedure without parameters", FaultString(p));
  p.soap_noheader();

  rc = p.Login("fail", "x", s);
  Check(rc == SOAP_SVR_FAULT &&
            FaultString(p) == "Login failed for <fail> & \"friends\": ni dovoljenja (\xC4\x8D)" &&
            std::string(p.soap->fault->faultcode) == "SOAP-ENV:Server" && FaultDetail(p).empty(),
        "ordinary fault", FaultString(p));

  rc = p.Login("expired", "42", s);
  const std::string detail = FaultDetail(p);
  Check(rc != SOAP_OK && FaultString(p) == "Password has expired" &&
            detail.find("EPasswordExpiredException") != std::string::npos &&
            detail.find("<SID>SID-42</SID>") != std::string::npos &&
            detail.find("<USR>expired</USR>") != std::string::npos,
        "detail fault", FaultString(p) + " | " + detail);

  const std::string special[] = {
      "",
      "CR LF\r\nline two\r\n",
      "lone LF\nlone CR\rtab\tend",
      "  leading and trailing spaces  ",
      "<tag attr=\"v\">&amp; & 'single' \"double\"</tag> ]]>",
      "\xC4\x8D\xC5\xA1\xC5\xBE \xC4\x8C\xC5\xA0\xC5\xBD \xE2\x82\xAC \xF0\x9F\x98\x80",
  };
  for (const std::string& x : special) {
    ns2__GetOrdersResponse r;
    rc = p.GetOrders(x, x, r);
    Check(rc == SOAP_OK && r.return_ == x && r.AXMLMPDPResponse == "[" + x + "]" + x,
          "special string", r.return_ + FaultString(p));
  }

  std::string big;
  while (big.size() < (1u << 20)) big += "<ROW A=\"1\" B='\xC4\x8D'/>\r\n";
  ns2__GetOrdersResponse r;
  rc = p.GetOrders(big, "v", r);
  Check(rc == SOAP_OK && r.return_ == big && r.AXMLMPDPResponse == "[v]" + big, "big string",
        std::to_string(r.return_.size()) + " bytes back" + FaultString(p));

  std::printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}
