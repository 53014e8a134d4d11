// SQL text pieces that many business modules share.
#pragma once

#include <string>
#include <string_view>

#include "db/dm.h"

namespace zoras {

// Runs "select <column> from <table> " plus, when `condition` is not empty, a second line
// "Where <condition>" on `connection`, and returns the first row's value of the column as
// text (regional forms), or "" when there is no row. The arguments are pasted into the
// statement as they are: they are the modules' own SQL texts, never a caller's value.
// Throws the database's EDatabaseError.
std::string SelectValue(std::string_view column, std::string_view table, std::string_view condition,
                        TDM& connection);

// "CASE WHEN <condition> THEN <result> ELSE <else_result> END" when `condition` is not
// empty, else "CASE <operand> WHEN <value> THEN <result> ELSE <else_result> END".
std::string CaseExpr(std::string_view operand, std::string_view value, std::string_view result,
                     std::string_view else_result, std::string_view condition = {});

// Each character of `text` (a UTF-8 character, not a byte) as an SQL string literal,
// joined by `separator`: ("BU", ",") gives 'B','U'; a quote becomes ''''.
std::string QuotedCharList(std::string_view text, std::string_view separator);

}  // namespace zoras
