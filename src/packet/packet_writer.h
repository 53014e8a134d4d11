// The dataset packet writer: a table's fields and rows as the text of an XML data packet.
#pragma once

#include <string>

#include "packet/mem_table.h"

namespace zoras {

// The packet of `table`'s fields and of at most `row_limit` visible rows from the current
// row on (all remaining rows when `row_limit` is -1; none when the table is closed, empty
// or at Eof). The table and its cursor are left as they are. Values are written in the
// packet forms of their column types and escaped for attribute values; null values are
// left out of their row.
std::string DataSetToPacket(const TMemTable& table, int row_limit);

}  // namespace zoras
