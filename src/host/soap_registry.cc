#include "host/soap_registry.h"

#include <cctype>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/messages.h"

namespace zoras {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

TParamType ParseType(std::string_view t, std::string_view signature) {
  t = Trim(t);
  if (EqualsIgnoreCase(t, "String") || EqualsIgnoreCase(t, "WideString")) return TParamType::String;
  if (EqualsIgnoreCase(t, "Integer")) return TParamType::Integer;
  if (EqualsIgnoreCase(t, "Boolean")) return TParamType::Boolean;
  throw EZoras("Unknown type '" + std::string(t) + "' in " + std::string(signature));
}

}  // namespace

const TParamDef* TOperationDef::FindParam(std::string_view n) const {
  for (const auto& p : params)
    if (p.name == n) return &p;
  for (const auto& p : params)
    if (EqualsIgnoreCase(p.name, n)) return &p;
  return nullptr;
}

std::string TInterfaceDef::Namespace() const { return "urn:" + unit + "-" + name; }

std::string TInterfaceDef::SoapAction(std::string_view operation) const {
  return Namespace() + "#" + std::string(operation);
}

const TOperationDef* TInterfaceDef::FindOperation(std::string_view n) const {
  for (const auto& op : operations)
    if (op.name == n) return &op;
  return nullptr;
}

TOperationDef* TInterfaceDef::FindOperation(std::string_view n) {
  for (auto& op : operations)
    if (op.name == n) return &op;
  return nullptr;
}

TInvocation::TInvocation(const TInterfaceDef& intf, const TOperationDef& op,
                         std::vector<TParamValue> args, std::optional<std::string> cookie)
    : intf_(intf), op_(op), args_(std::move(args)), cookie_(std::move(cookie)) {}

size_t TInvocation::Index(std::string_view name, TParamType type) const {
  for (size_t i = 0; i < op_.params.size(); ++i)
    if (op_.params[i].name == name && op_.params[i].type == type && i < args_.size()) return i;
  throw EZoras(Msg(msg::ecInternalError));
}

const std::string& TInvocation::Str(std::string_view name) const {
  return std::get<std::string>(args_[Index(name, TParamType::String)]);
}

int32_t TInvocation::Int(std::string_view name) const {
  return std::get<int32_t>(args_[Index(name, TParamType::Integer)]);
}

bool TInvocation::Bool(std::string_view name) const {
  return std::get<bool>(args_[Index(name, TParamType::Boolean)]);
}

std::string& TInvocation::Var(std::string_view name) {
  const size_t i = Index(name, TParamType::String);
  if (op_.params[i].kind != TParamKind::Var) throw EZoras(Msg(msg::ecInternalError));
  return std::get<std::string>(args_[i]);
}

const TInterfaceDef* TInvRegistry::FindByName(std::string_view name) const {
  for (const auto& i : interfaces_)
    if (EqualsIgnoreCase(i.name, name)) return &i;
  return nullptr;
}

const TInterfaceDef* TInvRegistry::FindByNamespace(std::string_view ns) const {
  for (const auto& i : interfaces_)
    if (i.Namespace() == ns) return &i;
  return nullptr;
}

void TInvRegistry::SetHandler(std::string_view interface_name, std::string_view operation,
                              TOperationHandler handler) {
  for (auto& i : interfaces_) {
    if (i.name != interface_name) continue;
    if (TOperationDef* op = i.FindOperation(operation)) {
      op->handler = std::move(handler);
      return;
    }
  }
  throw EZoras("No operation " + std::string(interface_name) + "." + std::string(operation));
}

TOperationDef ParseOperationSignature(std::string_view signature) {
  auto fail = [&]() -> TOperationDef {
    throw EZoras("Bad operation signature: " + std::string(signature));
  };
  std::string_view s = Trim(signature);
  bool is_function;
  if (s.rfind("function ", 0) == 0) {
    is_function = true;
    s.remove_prefix(9);
  } else if (s.rfind("procedure ", 0) == 0) {
    is_function = false;
    s.remove_prefix(10);
  } else {
    return fail();
  }
  TOperationDef op;
  const size_t open = s.find('(');
  const size_t close = s.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open)
    return fail();
  op.name = std::string(Trim(s.substr(0, open)));
  std::string_view params = s.substr(open + 1, close - open - 1);
  while (!Trim(params).empty()) {
    const size_t semi = params.find(';');
    std::string_view decl = Trim(params.substr(0, semi));
    params = semi == std::string_view::npos ? std::string_view() : params.substr(semi + 1);
    TParamDef p;
    if (decl.rfind("const ", 0) == 0) {
      decl.remove_prefix(6);
    } else if (decl.rfind("var ", 0) == 0) {
      p.kind = TParamKind::Var;
      decl.remove_prefix(4);
    }
    const size_t colon = decl.find(':');
    if (colon == std::string_view::npos) return fail();
    p.name = std::string(Trim(decl.substr(0, colon)));
    p.type = ParseType(decl.substr(colon + 1), signature);
    if (p.name.empty()) return fail();
    op.params.push_back(std::move(p));
  }
  std::string_view rest = Trim(s.substr(close + 1));
  if (is_function) {
    if (rest.empty() || rest.front() != ':') return fail();
    op.result = ParseType(rest.substr(1), signature);
  } else if (!rest.empty()) {
    return fail();
  }
  return op;
}

}  // namespace zoras
