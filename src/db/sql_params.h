// Lexing of SQL text, and the named parameters (:NAME) in it. Every rewrite the drivers do
// works on these tokens, so text inside literals, quoted names and comments is never
// touched.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/database.h"

namespace zoras {

enum class TSqlTokenKind {
  kSpace,
  kComment,     // -- to the end of the line, or /* ... */
  kWord,        // identifier or keyword: letters, digits, '_', '$', bytes above 127
  kQuotedName,  // "..." with "" inside
  kString,      // '...' with '' inside, or a PostgreSQL $tag$...$tag$ body
  kNumber,
  kParam,  // :NAME; text() includes the colon
  kPunct,  // one character, or "::"
};

struct TSqlToken {
  TSqlTokenKind kind;
  std::string_view text;  // a view into the lexed SQL
};

// Splits `sql` into tokens whose texts, joined, give `sql` back. An unterminated literal or
// comment runs to the end of the text. The tokens point into `sql`.
std::vector<TSqlToken> LexSql(std::string_view sql);

// True for tokens that carry meaning (not blanks or comments).
inline bool IsSignificant(const TSqlToken& t) {
  return t.kind != TSqlTokenKind::kSpace && t.kind != TSqlTokenKind::kComment;
}
// True when `t` is the word `word`, ignoring ASCII letter case.
bool IsWord(const TSqlToken& t, std::string_view word);

// How a driver writes positional placeholders: SQLite "?1", PostgreSQL "$1".
enum class TPlaceholderStyle { kQuestion, kDollar };

// A statement whose named parameters were replaced by numbered placeholders. One name
// used several times gets one number.
struct TPositionalSql {
  std::string sql;
  // The distinct names (as first spelled) in order of first use; placeholder N takes
  // names[N - 1].
  std::vector<std::string> names;
};

TPositionalSql ToPositional(std::string_view sql, TPlaceholderStyle style);

// The value of every name, in order. Throws EDatabaseError "Parameter 'X' has no value"
// for a name that `params` does not set. The pointers point into `params`.
std::vector<const TValue*> ResolveParams(const std::vector<std::string>& names,
                                         const TSqlParams& params);

}  // namespace zoras
