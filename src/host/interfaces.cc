// The three published interfaces and the declarations of their operations, in the
// order in which the interfaces declare them.
#include "host/soap_registry.h"

namespace zoras {
namespace {

constexpr const char* kBranchOperations[] = {
    "function Login(const AUsername: String; const APassword: String): String",
    "procedure Logout()",
    "procedure ChangePassword(const ANewPassword: String; const AConfirmPassword: String)",
    "function GetOrders(const AXMLDPRequest: String; var AXMLMPDPResponse: String): String",
    "function GetOrderAccount(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): String",
    "function GetClients(const AKrtBnk: String; const AIme: String; const ANzv: String; "
    "const APriimek: String; const AMTS: String; const ADVS: String; const APage: String; "
    "var APages: String): String",
    "function GetStocks(const AKrt: String; const ANzv: String; const AIzdNzv: String; "
    "const ANetPaket: String; const ATransaction: String; const AFindWhat: String): String",
    "function GetAccounts(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): String",
    "function GetOrderTransactions(const AXMLDPRequest: String; var AXMLMPDPResponse: String): "
    "String",
    "procedure ChangeOrderStatus(const AStatus: String; AXMLDPREQUEST: String)",
    "procedure DeleteOrder(const AIdNetPaket: String)",
    "function GetOrderPoo(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): String",
    "procedure DeleteOrderPoo(AIdNetPoo: String)",
    "function GetOrderRcn(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): String",
    "function SaveOrderRcn(AXMLDPREQUEST: String): String",
    "procedure DeleteOrderRcn(AIdNetRcn: String)",
    "function GetOsbSif(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): String",
    "procedure SaveOsbSif(AXMLDPREQUEST: String)",
    "function GetOrderAddress(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): String",
    "function GetRevision(const AIdNetPaket: String; var AXMLMPDPRESPONSE: String): String",
    "function GetTransaction(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): String",
    "function SaveTransaction(AXMLDPREQUEST: String): String",
    "procedure DeleteTransaction(const AIdNetNrc: String; OnlyByStat_0: Boolean)",
    "procedure StornoTransaction(const AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String)",
    "function GetTransactionRealization(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): "
    "String",
    "function GetPrintdata(const AXMLDPREQUEST: String): String",
    "procedure GetOsbDetail(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String)",
    "procedure SaveOsbDetail(AXMLDPREQUEST: String)",
    "procedure SavePogDetail(AXMLDPREQUEST: String)",
    "procedure GetProfil(const AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String)",
    "procedure GetProfilCalc(const AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String)",
    "procedure GetProfilCalc2Splosno(const AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String)",
    "procedure GetProfilCalc2UstrezneSkupine(const AXMLDPREQUEST: String; "
    "var AXMLMPDPRESPONSE: String)",
    "procedure SaveProfil(AKrtBnk: String; AXMLVpras: String)",
    "function GetUstreznost(ASfOsb: Integer; ASfVp: Integer): Boolean",
    "function GetObvestilo(ASif: String): String",
    "procedure GetSQL(const AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String)",
    "procedure GetThirdRight(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String)",
};

constexpr const char* kHeadquartersOperations[] = {
    "function Login(const AUsername: String; const APassword: String): String",
    "procedure Logout()",
    "procedure ChangePassword(const ANewPassword: String; const AConfirmPassword: String)",
    "function GetOrders(const AXMLDPRequest: String; var AXMLMPDPResponse: String): String",
    "function GetOrderAccount(const AXMLDPRequest: String; var AXMLMPDPResponse: String): String",
    "function GetOrderTransactions(const AXMLDPRequest: String; var AXMLMPDPResponse: String): "
    "String",
    "procedure ChangeOrderStatus(const AStatus: String; AXMLDPREQUEST: String)",
    "function GetOrderRevision(const AIdNetPaket: String; var AXMLMPDPRESPONSE: String): String",
    "function GetOrderPoo(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): String",
    "function GetTransaction(const AXMLDPRequest: String; var AXMLMPDPResponse: String): String",
    "procedure ChangeTransactionStatus(const AStatus: String; AXMLDPREQUEST: String)",
    "function GetTransactionRealization(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): "
    "String",
    "function GetDepository(AXMLDPREQUEST: String; var AXMLMPDPResponse: String): String",
    "function GetPrintdata(const AXMLDPREQUEST: String): String",
    "function GetOsbSif(AXMLDPREQUEST: String; var AXMLMPDPRESPONSE: String): String",
    "procedure SaveOsbSif(AXMLDPREQUEST: String)",
    "procedure UnlockOrder(const AIdNetPaket: String)",
    "procedure GetThirdRight(const AXMLDPRequest: String; var AXMLMPDPResponse: String)",
};

constexpr const char* kPortalOperations[] = {
    "function PrepareResponse(ARequest: WideString): WideString",
};

template <size_t N>
TInterfaceDef MakeInterface(std::string name, std::string unit, std::string impl, bool cookie,
                            const char* const (&signatures)[N]) {
  TInterfaceDef intf{std::move(name), std::move(unit), std::move(impl), cookie, {}};
  for (const char* s : signatures) intf.operations.push_back(ParseOperationSignature(s));
  return intf;
}

}  // namespace

TInvRegistry TInvRegistry::Standard() {
  TInvRegistry r;
  r.Add(MakeInterface("IZORPoslovalnica", "UZORPoslovalnicaIntf", "TZORPoslovalnica", true,
                      kBranchOperations));
  r.Add(MakeInterface("IZORCentrala", "UZORCentralaIntf", "TZORCentrala", false,
                      kHeadquartersOperations));
  r.Add(MakeInterface("IRAVOravuv", "URAVOravuvIntf", "TRAVOravuv", false, kPortalOperations));
  return r;
}

}  // namespace zoras
