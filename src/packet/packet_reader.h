// The dataset packet reader: the text of an XML data packet as an in-memory table.
#pragma once

#include <string_view>

#include "packet/mem_table.h"

namespace zoras {

// Reads a data packet into a new open table positioned on its first row. Accepts the
// declaration with or without encoding (UTF-8 only), row attributes in any order, and
// leaves unknown attributes (RowState, ...) out; a missing attribute is null. Empty or
// blank text gives a closed table, so that callers report it as they report any request
// they cannot use. Throws EZoras naming the position or the field and row when the text
// is not well-formed XML, is not valid UTF-8, holds a DOCTYPE, is not a data packet or
// has a value that its column type does not allow.
TMemTable LoadPacket(std::string_view text);

}  // namespace zoras
