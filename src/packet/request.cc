#include "packet/request.h"

#include "base/errors.h"
#include "base/messages.h"
#include "base/ascii.h"
#include "packet/packet_reader.h"

namespace zoras {
namespace {

// Copies request column `from` (when the request has it) into target column `to`.
void CopyOne(TMemTable& target, size_t to, const TMemTable& request, int from, bool copy) {
  if (!copy) {
    target.SetValue(to, TValue());
    return;
  }
  if (from < 0) return;
  const TValue& v = request.Value(static_cast<size_t>(from));
  if (v.IsNull() || (v.kind() == TValue::Kind::kText && v.text().empty())) {
    target.SetValue(to, TValue());
    return;
  }
  target.SetValue(to, v);
}

}  // namespace

TMemTable LoadRequestPacket(std::string_view text) {
  TMemTable request = LoadPacket(text);
  if (!request.Active()) throw EZoras(Msg(msg::ecInternalError));
  return request;
}

std::string GetPacketParam(const TMemTable& request, std::string_view name) {
  // The field is looked up only where a row can hold it, so that a request without rows
  // reads as all parameters empty.
  if (!request.Active() || request.IsEmpty()) return std::string();
  return request.FieldByName(name).AsString();
}

void CopyRequestFields(TMemTable& target, const TMemTable& request,
                       const std::vector<std::string>& names, bool copy) {
  for (const std::string& name : names) {
    const int to = target.FindField(name);
    if (to < 0) continue;
    CopyOne(target, static_cast<size_t>(to), request, request.FindField(name), copy);
  }
}

void CopyRequestFieldsExcept(TMemTable& target, const TMemTable& request,
                             const std::vector<std::string>& excluded) {
  for (size_t i = 0; i < request.FieldCount(); ++i) {
    const std::string& name = request.FieldDef(i).name;
    bool skip = false;
    for (const std::string& x : excluded) skip = skip || EqualsIgnoreCase(x, name);
    if (skip) continue;
    const int to = target.FindField(name);
    if (to < 0) continue;
    CopyOne(target, static_cast<size_t>(to), request, static_cast<int>(i), true);
  }
}

void CopyRequestField(TMemTable& target, std::string_view target_field_name,
                      const TMemTable& request, std::string_view name, bool copy) {
  const size_t to = target.FieldByName(target_field_name).Index();
  CopyOne(target, to, request, request.FindField(name), copy);
}

}  // namespace zoras
