// The registered SOAP interfaces: for each, its namespace, its operations with their
// parameters, and the code that serves each operation. One table per interface drives
// both the dispatcher and the WSDL publisher.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zoras {

enum class TParamType { String, Integer, Boolean };
// In parameters are only read; var parameters are in-out and travel back in the
// response after the function result.
enum class TParamKind { In, Var };

struct TParamDef {
  std::string name;
  TParamType type = TParamType::String;
  TParamKind kind = TParamKind::In;
};

using TParamValue = std::variant<std::string, int32_t, bool>;

class TInvocation;
// Serves one call; a failure is an exception (EZoras and its subclasses become faults).
using TOperationHandler = std::function<void(TInvocation&)>;

struct TOperationDef {
  std::string name;
  std::vector<TParamDef> params;
  std::optional<TParamType> result;  // none for a procedure
  TOperationHandler handler;         // empty until the operation is built

  const TParamDef* FindParam(std::string_view name) const;
};

struct TInterfaceDef {
  std::string name;            // IZORPoslovalnica
  std::string unit;            // the declaring module, UZORPoslovalnicaIntf
  std::string impl_class;      // TZORPoslovalnica
  bool cookie_header = false;  // TCookieSOAPHeader is declared on its operations
  std::vector<TOperationDef> operations;

  // "urn:" + unit + "-" + name
  std::string Namespace() const;
  // Namespace() + "#" + operation
  std::string SoapAction(std::string_view operation) const;
  const TOperationDef* FindOperation(std::string_view name) const;
  TOperationDef* FindOperation(std::string_view name);
};

// The parameters and results of one call, already typed: business code never sees XML.
class TInvocation {
 public:
  TInvocation(const TInterfaceDef& intf, const TOperationDef& op, std::vector<TParamValue> args,
              std::optional<std::string> cookie);

  const TInterfaceDef& Interface() const { return intf_; }
  const TOperationDef& Operation() const { return op_; }

  // The value of a parameter by its declared name; a name the operation does not
  // declare, or one of another type, is a programming error (EZoras "INTERNAL ERROR !").
  const std::string& Str(std::string_view name) const;
  int32_t Int(std::string_view name) const;
  bool Bool(std::string_view name) const;
  // A var parameter's value, to be read and replaced by the operation.
  std::string& Var(std::string_view name);

  void SetResult(TParamValue v) { result_ = std::move(v); }
  const std::optional<TParamValue>& Result() const { return result_; }
  const std::vector<TParamValue>& Args() const { return args_; }

  // The Cookie text of the call's TCookieSOAPHeader, when the call carries one.
  const std::optional<std::string>& SessionCookie() const { return cookie_; }

 private:
  size_t Index(std::string_view name, TParamType type) const;

  const TInterfaceDef& intf_;
  const TOperationDef& op_;
  std::vector<TParamValue> args_;
  std::optional<std::string> cookie_;
  std::optional<TParamValue> result_;
};

// The interfaces the server publishes. Filled at start-up (handlers included) before
// any request is served; read without locks afterwards.
class TInvRegistry {
 public:
  // The three interfaces with every operation declared and no handler yet.
  static TInvRegistry Standard();

  const std::vector<TInterfaceDef>& Interfaces() const { return interfaces_; }
  const TInterfaceDef* FindByName(std::string_view name) const;  // letter case ignored
  const TInterfaceDef* FindByNamespace(std::string_view ns) const;
  // Installs the code of an operation; fails with EZoras when either name is unknown.
  void SetHandler(std::string_view interface_name, std::string_view operation,
                  TOperationHandler handler);

  void Add(TInterfaceDef intf) { interfaces_.push_back(std::move(intf)); }

 private:
  std::vector<TInterfaceDef> interfaces_;
};

// Reads a declaration such as
//   "function GetOrders(const AXMLDPRequest: String; var AXMLMPDPResponse: String): String"
// into an operation. Types are String, WideString, Integer and Boolean. Fails with
// EZoras on anything else; used for the built-in tables.
TOperationDef ParseOperationSignature(std::string_view signature);

}  // namespace zoras
