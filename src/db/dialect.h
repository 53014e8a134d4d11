// What differs between the databases: the statements are written in DB2 forms (NEXTVAL FOR,
// SYSIBM.SYSDUMMY1, DECODE, NVL, TO_DATE, CHAR() of a number); each driver rewrites here
// what its database lacks, and reads result columns the same way on every database.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/database.h"
#include "db/sql_params.h"
#include "packet/value.h"

namespace zoras {

// Rewrites one statement, or a script of statements, for `driver`. Both drivers: a
// `SYSIBM.SYSDUMMY1` table becomes a one-row derived table, and the column names
// `Limit` and `DEC` (keywords there) are quoted. PostgreSQL: `NEXTVAL FOR x` becomes
// `nextval('x')`, `CHAR(` used as a function becomes `zoras_char(`, and a derived table
// without a correlation name gets one. SQLite: `LEFT(` becomes `zoras_left(` (LEFT is a
// keyword there), the parentheses around the members of a UNION go (SQLite refuses
// them), and CURRENT_DATE becomes the server's local date (SQLite's own is in UTC),
// except in DDL.
std::string TranslateSql(std::string_view sql, TDriverKind driver);

// "SELECT NEXTVAL FOR <sequence> [AS <column>] FROM SYSIBM.SYSDUMMY1", any letter case
// and spacing. The sequence name is upper-cased; the column keeps the statement's
// spelling ("NEXTVAL" when there is no alias).
struct TNextValQuery {
  std::string sequence;
  std::string column;
};
std::optional<TNextValQuery> MatchNextValQuery(std::string_view sql);

// True when the statement uses NEXTVAL FOR anywhere.
bool UsesNextValFor(std::string_view sql);

// "CREATE SEQUENCE <name> [AS <type>] [START WITH n] [INCREMENT BY m]" (DB2 options such
// as NO CYCLE, CACHE n or MINVALUE n are accepted and ignored), and "DROP SEQUENCE
// <name>". Names are upper-cased.
struct TSequenceDdl {
  bool drop = false;
  std::string name;
  int64_t start = 1;
  int64_t increment = 1;
};
std::optional<TSequenceDdl> MatchSequenceDdl(std::string_view sql);

// Maps a declared column type ("VARCHAR(20)", "DECIMAL(18,2)", "double precision") to a
// packet field; false for a type the table of the database layer does not name.
bool FieldFromDeclaredType(std::string_view declared, TFieldDef* field);

// What the first select list of a statement says about its result columns.
struct TSelectList {
  // The select list's words and quoted names, in order, for the spelling of columns.
  std::vector<std::string> words;
  // Every word of the statement, in order.
  std::vector<std::string> all_words;
  // One entry per item when no item is `*` or `x.*` (else empty): for an item that is a
  // text literal, a string field as wide as the literal; for CAST(... AS type), the field
  // of that type; otherwise nullopt.
  std::vector<std::optional<TFieldDef>> item_fields;
};
TSelectList AnalyzeSelectList(std::string_view sql);

// The spelling of a result column that the database reported as `reported` (PostgreSQL:
// lower case): the first select-list word equal to it ignoring case, else the schema's
// spelling (SetSchemaSpellings), else the first such word anywhere in the statement, else
// upper case.
std::string SpellColumn(std::string_view reported, const TSelectList& select);
// The first select-list word equal to `reported` ignoring case, if any.
std::optional<std::string> SpellFromSelectList(std::string_view reported,
                                               const TSelectList& select);

// Renames repeated column names the way datasets do: KRT, KRT_1, KRT_2.
void MakeColumnNamesUnique(std::vector<TFieldDef>* fields);

// Number of characters (code points) of UTF-8 text.
int Utf8Length(std::string_view text);

// The shortest text that reads back as `v`, with a decimal point ("12.5", "1e+20").
std::string FloatText(double v);

// ISO forms used on the wire: "2008-03-05", "2008-03-05 14:02:11[.250]", "14:02:11[.250]".
std::string IsoDate(TDateTime d);
std::string IsoDateTime(TDateTime dt);
std::string IsoTime(TDateTime t);
// Reads "YYYY-MM-DD" optionally followed by ' ' or 'T' and a time "HH:MM[:SS[.f...]]";
// digits beyond milliseconds are dropped. False when not such a text or not a valid date.
bool ParseIsoDateTime(std::string_view text, TDateTime* out, bool* has_time = nullptr);
// Reads "HH:MM[:SS[.f...]]".
bool ParseIsoTime(std::string_view text, TDateTime* out);

// TO_DATE for the DB2/Oracle patterns: yyyy, mm, dd, hh/hh24, mi, ss and literal
// separators, any letter case. The ISO date text (with the time when the pattern has
// one); false when the text does not match the pattern or is no valid date.
bool ToDateText(std::string_view text, std::string_view pattern, std::string* out);

}  // namespace zoras
