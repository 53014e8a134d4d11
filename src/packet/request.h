// Parameters of a request packet: the caller's fields in the first row of the loaded
// table, read as text or copied into a record being saved. Field names are matched
// ignoring ASCII letter case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "packet/mem_table.h"

namespace zoras {

// Reads a request packet (LoadPacket) and insists on an open table: a text that gives
// none (the empty text) fails with EZoras "INTERNAL ERROR !", a malformed one with the
// reader's message.
TMemTable LoadRequestPacket(std::string_view text);

// The text of field `name` in the request's current row; the empty text when the table
// is closed or has no rows (or the value is null). Throws EZoras "Field '%s' not found"
// when a request with rows has no such field.
std::string GetPacketParam(const TMemTable& request, std::string_view name);

// For each of `names` that `target` has: with `copy`, the target field of the current
// row takes the request's value converted to the target's type (null when that value is
// null or the empty text; left alone when the request has no such field); without
// `copy`, it is set to null. Throws EZoras when a value does not fit its target field or
// the target has no current row.
void CopyRequestFields(TMemTable& target, const TMemTable& request,
                       const std::vector<std::string>& names, bool copy);

// Copies, as CopyRequestFields with `copy` set, every request field that is not among
// `excluded` and that the target has.
void CopyRequestFieldsExcept(TMemTable& target, const TMemTable& request,
                             const std::vector<std::string>& excluded);

// CopyRequestFields for the one target field `target_field_name` (which must exist:
// EZoras "Field '%s' not found" otherwise) and the request field `name`.
void CopyRequestField(TMemTable& target, std::string_view target_field_name,
                      const TMemTable& request, std::string_view name, bool copy);

}  // namespace zoras
