// The front door over real HTTP: routing, dispatch of every operation, faults, keep-alive
// and pipelining, the refusals of bad input, deadlines and a clean stop.
#include "host/http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/errors.h"
#include "host/boot_settings.h"
#include "host/debug_log.h"
#include "host/soap_envelope.h"
#include "host/web_module.h"
#include "security/session_exceptions.h"
#include "support/raw_http.h"

namespace zoras {
namespace {

using namespace std::chrono_literals;
using testing::BodyOf;
using testing::Get;
using testing::Post;
using testing::RawConnection;
using testing::StatusOf;

std::string Envelope(std::string_view ns, std::string_view op, std::string_view params,
                     std::string_view header = {}) {
  std::string e =
      "<?xml version=\"1.0\"?><soap:Envelope "
      "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">";
  if (!header.empty()) e += "<soap:Header>" + std::string(header) + "</soap:Header>";
  e += "<soap:Body><m:" + std::string(op) + " xmlns:m=\"" + std::string(ns) + "\">" +
       std::string(params) + "</m:" + std::string(op) + "></soap:Body></soap:Envelope>";
  return e;
}

constexpr std::string_view kBranchNs = "urn:UZORPoslovalnicaIntf-IZORPoslovalnica";

class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(THttpLimits{}); }
  void TearDown() override {
    if (server_) server_->Stop();
    SetBootSettings(TBootSettings());
    SetDebugLogFolderForTesting({});
  }

  void Start(THttpLimits limits) {
    if (server_) server_->Stop();
    registry_ = TInvRegistry::Standard();
    // Two operations get code so that results, var parameters and detail faults travel.
    registry_.SetHandler("IZORPoslovalnica", "GetOrders", [this](TInvocation& call) {
      if (call.Str("AXMLDPRequest") == "slow") std::this_thread::sleep_for(400ms);
      call.Var("AXMLMPDPResponse") = "var:" + call.Str("AXMLDPRequest");
      call.SetResult("cookie:" + call.SessionCookie().value_or("(none)"));
      ++calls_;
    });
    registry_.SetHandler("IZORPoslovalnica", "Login", [](TInvocation& call) {
      throw EPasswordExpiredException("Geslo je poteklo", "1234", call.Str("AUsername"));
    });
    app_ = std::make_unique<TWebApp>(registry_, 0);
    THttpServerOptions options;
    options.address = "127.0.0.1";
    options.limits = limits;
    server_ = std::make_unique<TWSWBBridge>(
        options, [this](const TWebRequest& r) { return TWSMain(*app_).Dispatch(r); },
        [](const TWebRequest& r) { return !TWSMain::IsSoapRequest(r); });
    server_->Activate();
  }

  std::string Exchange(const std::string& request) {
    RawConnection c(server_->Port());
    EXPECT_TRUE(c.Send(request));
    return c.ReadResponse();
  }

  TInvRegistry registry_;
  std::unique_ptr<TWebApp> app_;
  std::unique_ptr<TWSWBBridge> server_;
  std::atomic<int> calls_{0};
};

TEST_F(HttpServerTest, RoutesWsdlListAndOverview) {
  const std::string wsdl = Exchange(Get("/wsdl/IZORCentrala"));
  EXPECT_EQ(StatusOf(wsdl), 200);
  EXPECT_NE(wsdl.find("soapAction=\"urn:UZORCentralaIntf-IZORCentrala#UnlockOrder\""),
            std::string::npos);
  EXPECT_NE(wsdl.find("location=\"http://localhost/soap/IZORCentrala\""), std::string::npos);
  EXPECT_EQ(wsdl.find("TCookieSOAPHeader"), std::string::npos);

  const std::string branch = BodyOf(Exchange(Get("/wsdl/IZORPoslovalnica")));
  EXPECT_NE(branch.find("<soap:header message=\"tns:TCookieSOAPHeader\""), std::string::npos);

  const std::string list = Exchange(Get("/wsdl"));
  EXPECT_EQ(StatusOf(list), 200);
  for (const char* i : {"IZORPoslovalnica", "IZORCentrala", "IRAVOravuv"})
    EXPECT_NE(list.find(std::string("/wsdl/") + i), std::string::npos) << i;

  for (const char* path : {"/", "/anything/else?x=1"}) {
    const std::string overview = Exchange(Get(path));
    EXPECT_EQ(StatusOf(overview), 200) << path;
    EXPECT_NE(overview.find("href=\"http://localhost/wsdl/IRAVOravuv\""), std::string::npos);
  }
  EXPECT_EQ(StatusOf(Exchange(Get("/wsdl/INope"))), 404);
}

TEST_F(HttpServerTest, EveryOperationWithoutCodeAnswersNotImplemented) {
  int checked = 0;
  for (const TInterfaceDef& intf : registry_.Interfaces()) {
    for (const TOperationDef& op : intf.operations) {
      if (op.handler) continue;
      std::string params;
      for (const TParamDef& p : op.params)
        params += "<" + p.name + ">" + (p.type == TParamType::Boolean ? "true" : "1") + "</" +
                  p.name + ">";
      const std::string r =
          Exchange(Post("/soap/" + intf.name, Envelope(intf.Namespace(), op.name, params)));
      EXPECT_EQ(StatusOf(r), 500) << op.name;
      EXPECT_NE(r.find("<faultactor></faultactor><faultcode>SOAP-ENV:Server</faultcode>"
                       "<faultstring>Operation " +
                       op.name + " is not implemented yet</faultstring></SOAP-ENV:Fault>"),
                std::string::npos)
          << r;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 57 - 2);
}

TEST_F(HttpServerTest, AnswersResultVarParamsAndDetailFaults) {
  const std::string r = Exchange(
      Post("/soap/IZORPoslovalnica",
           Envelope(kBranchNs, "GetOrders",
                    "<AXMLDPRequest>a&amp;b&#13;\nc</AXMLDPRequest><AXMLMPDPResponse/>",
                    "<h:TCookieSOAPHeader xmlns:h=\"urn:UCookieSOAPHeader\" "
                    "soap:mustUnderstand=\"1\"><Cookie>SID=7</Cookie></h:TCookieSOAPHeader>")));
  EXPECT_EQ(StatusOf(r), 200);
  EXPECT_NE(r.find(">cookie:SID=7</return><AXMLMPDPResponse"), std::string::npos) << r;
  EXPECT_NE(r.find(">var:a&amp;b&#13;\nc</AXMLMPDPResponse>"), std::string::npos) << r;

  const std::string fault = Exchange(
      Post("/soap/IZORPoslovalnica",
           Envelope(kBranchNs, "Login", "<AUsername>U1</AUsername><APassword>x</APassword>")));
  EXPECT_EQ(StatusOf(fault), 500);
  EXPECT_NE(
      fault.find(
          "<SOAP-ENV:Fault><faultactor></faultactor><faultcode>SOAP-ENV:</faultcode>"
          "<faultstring>Geslo je poteklo</faultstring><detail>"
          "<NS2:EPasswordExpiredException xmlns:NS2=\"urn:UEPasswordExpiredException\" "
          "xsi:type=\"NS2:EPasswordExpiredException\">"
          "<SID>1234</SID><USR>U1</USR></NS2:EPasswordExpiredException></detail></SOAP-ENV:Fault>"),
      std::string::npos)
      << fault;
}

TEST_F(HttpServerTest, KeepAliveAndPipelinedRequestsAreAnsweredInOrder) {
  RawConnection c(server_->Port());
  const std::string call1 =
      Post("/soap", Envelope(kBranchNs, "GetOrders", "<AXMLDPRequest>one</AXMLDPRequest>"));
  const std::string call2 =
      Post("/soap", Envelope(kBranchNs, "GetOrders", "<AXMLDPRequest>two</AXMLDPRequest>"));
  ASSERT_TRUE(c.Send(call1 + Get("/wsdl/IRAVOravuv") + call2));
  const std::string r1 = c.ReadResponse(), r2 = c.ReadResponse(), r3 = c.ReadResponse();
  EXPECT_NE(r1.find("var:one"), std::string::npos);
  EXPECT_NE(r2.find("IRAVOravuvservice"), std::string::npos);
  EXPECT_NE(r3.find("var:two"), std::string::npos);
  ASSERT_TRUE(c.Send(Get("/")));
  EXPECT_EQ(StatusOf(c.ReadResponse()), 200);
}

TEST_F(HttpServerTest, BadSoapGetsAFaultWithAMessage) {
  std::string deep, flat;
  for (int i = 0; i < 200; ++i) deep += "<a>";
  for (int i = 0; i < 200; ++i) deep += "</a>";
  for (int i = 0; i < 20'000; ++i) flat += "<a/>";
  struct Case {
    std::string name, body, message;
  } cases[] = {
      {"doctype",
       "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">]>" +
           Envelope(kBranchNs, "GetOrders", "<AXMLDPRequest>&a;</AXMLDPRequest>"),
       "must not contain a document type declaration"},
      {"malformed", "<soap:Envelope", "not well-formed XML"},
      {"invalid utf-8", Envelope(kBranchNs, "GetOrders", "<AXMLDPRequest>\xC3\x28</AXMLDPRequest>"),
       "not valid UTF-8"},
      {"deep", Envelope(kBranchNs, "GetOrders", "<AXMLDPRequest>" + deep + "</AXMLDPRequest>"),
       "deeper than 64 levels"},
      {"too many elements",
       Envelope(kBranchNs, "GetOrders", "<AXMLDPRequest>" + flat + "</AXMLDPRequest>"),
       "more than 10000 elements"},
      {"not an envelope", "<a/>", "not a SOAP envelope"},
      {"soap 1.2",
       "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body/></e:Envelope>",
       "Only SOAP 1.1"},
      {"unknown interface", Envelope("urn:nope", "GetOrders", ""), "No interface is published"},
      {"unknown operation", Envelope(kBranchNs, "Nope", ""), "has no operation 'Nope'"},
      {"missing parameter", Envelope(kBranchNs, "GetOrders", ""),
       "Parameter AXMLDPRequest of GetOrders is missing"},
      {"bad integer", Envelope(kBranchNs, "GetUstreznost", "<ASfOsb>x</ASfOsb><ASfVp>1</ASfVp>"),
       "'x' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    const std::string r = Exchange(Post("/soap/IZORPoslovalnica", c.body));
    EXPECT_EQ(StatusOf(r), 500) << c.name;
    EXPECT_NE(r.find("<faultstring>"), std::string::npos) << c.name;
    EXPECT_NE(r.find(c.message), std::string::npos) << c.name << ": " << r;
  }
  EXPECT_EQ(calls_.load(), 0);
  EXPECT_EQ(StatusOf(Exchange(Get("/soap/IZORPoslovalnica"))), 405);
}

TEST_F(HttpServerTest, PacketsInCdataAreNotCountedAsElements) {
  std::string packet;
  for (int i = 0; i < 30'000; ++i) packet += "<ROW/>";
  const std::string r = Exchange(
      Post("/soap", Envelope(kBranchNs, "GetOrders",
                             "<AXMLDPRequest><![CDATA[" + packet + "]]></AXMLDPRequest>")));
  EXPECT_EQ(StatusOf(r), 200);
  EXPECT_NE(r.find("var:&lt;ROW/&gt;&lt;ROW/&gt;"), std::string::npos);
}

TEST_F(HttpServerTest, RefusesOversizedAndAmbiguousRequestsAndCloses) {
  THttpLimits limits;
  limits.max_body_bytes = 1000;
  limits.max_header_bytes = 2000;
  limits.max_header_fields = 20;
  Start(limits);
  std::string many_headers = "GET / HTTP/1.1\r\nHost: x\r\n";
  for (int i = 0; i < 30; ++i) many_headers += "X-" + std::to_string(i) + ": 1\r\n";
  many_headers += "\r\n";
  const std::string chunk(600, 'a');
  struct Case {
    std::string name, request;
    int status;
  } cases[] = {
      {"announced body too large", "POST /soap HTTP/1.1\r\nHost: x\r\nContent-Length: 5000\r\n\r\n",
       413},
      {"chunked body too large",
       "POST /soap HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n258\r\n" + chunk +
           "\r\n258\r\n" + chunk + "\r\n0\r\n\r\n",
       413},
      {"length and chunked",
       "POST /soap HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nTransfer-Encoding: "
       "chunked\r\n\r\n0\r\n\r\n",
       400},
      {"two lengths",
       "POST /soap HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", 400},
      {"header too large", "GET / HTTP/1.1\r\nHost: x\r\nX: " + std::string(3000, 'b') + "\r\n\r\n",
       431},
      {"too many header fields", many_headers, 431},
      {"garbage", "HELLO\r\n\r\n", 400},
  };
  for (const Case& c : cases) {
    RawConnection conn(server_->Port());
    conn.Send(c.request);
    const std::string r = conn.ReadResponse(5s);
    EXPECT_EQ(StatusOf(r), c.status) << c.name << ": " << r;
    EXPECT_NE(r.find("Connection: close"), std::string::npos) << c.name;
    EXPECT_TRUE(conn.WaitClosed(2s)) << c.name;
  }
}

TEST_F(HttpServerTest, CutsOffTricklingAndSilentClientsAtTheRequestDeadline) {
  THttpLimits limits;
  limits.request_deadline = 600ms;
  Start(limits);
  RawConnection silent(server_->Port());
  RawConnection trickle(server_->Port());
  const std::string request = Get("/");
  const auto start = std::chrono::steady_clock::now();
  bool cut = false;
  for (char ch : request) {
    // Each byte arrives well within any per-read timeout; only a whole-request deadline
    // ends this.
    if (!trickle.Send(std::string(1, ch))) {
      cut = true;
      break;
    }
    if (!trickle.Read(100ms).empty() || trickle.ClosedByPeer()) {
      cut = true;
      break;
    }
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(cut);
  EXPECT_LT(elapsed, 2s);
  EXPECT_TRUE(silent.WaitClosed(2s));
}

TEST_F(HttpServerTest, StopFinishesRequestsInFlight) {
  RawConnection busy(server_->Port());
  RawConnection idle(server_->Port());
  ASSERT_TRUE(idle.Send(Get("/")));
  ASSERT_EQ(StatusOf(idle.ReadResponse()), 200);
  ASSERT_TRUE(busy.Send(
      Post("/soap", Envelope(kBranchNs, "GetOrders", "<AXMLDPRequest>slow</AXMLDPRequest>"))));
  std::this_thread::sleep_for(100ms);
  server_->Stop();
  const std::string r = busy.ReadResponse();
  EXPECT_EQ(StatusOf(r), 200);
  EXPECT_NE(r.find("var:slow"), std::string::npos);
  EXPECT_TRUE(idle.WaitClosed(1s));
  RawConnection late(server_->Port());
  EXPECT_FALSE(late.Ok() && late.Send(Get("/")) && StatusOf(late.ReadResponse(1s)) == 200);
}

TEST_F(HttpServerTest, FailedRequestIsLoggedWithPasswordsMasked) {
  const auto dir = std::filesystem::temp_directory_path() / "zoras_http_log_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  SetDebugLogFolderForTesting(dir);
  SetBootSettings(TBootSettings::Parse("[ZORAS]\nDEBUGLOG=D\n"));
  // Valid XML, but no such operation: the request fails before any operation runs.
  const std::string body =
      Envelope(kBranchNs, "LoginX", "<AUsername>u</AUsername><APassword>secret</APassword>");
  EXPECT_EQ(StatusOf(Exchange(Post("/soap", body))), 500);
  std::string log;
  for (const auto& f : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(f.path());
    log.assign(std::istreambuf_iterator<char>(in), {});
  }
  EXPECT_NE(log.find(" Interface IZORPoslovalnica has no operation 'LoginX'\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" TWSWBBridge.DoCommandGet RequestInfo:\r\n"), std::string::npos);
  EXPECT_NE(log.find("<APassword xsi:type=\"xsd:string\">*****</APassword>"), std::string::npos);
  EXPECT_EQ(log.find("secret"), std::string::npos);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zoras
