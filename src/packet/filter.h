// Filter expressions of in-memory tables: "STATUS <> '0'", "SIF IN ('N','P')",
// "(A = 1 OR B = 'x') AND NOT C = 2". Parsed once, evaluated for each row.
//
// Grammar (keywords in any letter case, NOT binding tighter than AND, AND than OR):
//   expr      := term { OR term }
//   term      := factor { AND factor }
//   factor    := NOT factor | '(' expr ')' | predicate
//   predicate := operand ( cmp operand | IS [NOT] NULL | [NOT] IN '(' operand {',' operand} ')' )
//   cmp       := = | <> | < | > | <= | >=
//   operand   := field name | [field name] | 'text' ('' is a quote) | number (decimal point)
// Field names are matched ignoring ASCII letter case. Any comparison with a null value is
// false, <> included; text compares byte by byte, letter case included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "packet/value.h"

namespace zoras {

class TFilterExpr {
 public:
  // An expression that every row passes.
  TFilterExpr() = default;

  // Parses `text`; blank text gives the expression every row passes. Throws EZoras
  // "Filter expression error at position %d: %s" (position 1-based) on malformed text.
  static TFilterExpr Parse(std::string_view text);

  // Resolves the field names against `fields` (the table's columns, in order) and converts
  // each literal compared with a column to that column's type. Must precede Matches.
  // Throws EZoras "Field '%s' not found", or the conversion's message for a literal that
  // does not fit its column ('x' against an integer column).
  void Bind(const std::vector<TFieldDef>& fields);

  // True when the row passes. `row` holds one value per bound field, in field order.
  bool Matches(const std::vector<TValue>& row) const;

 private:
  struct TOperand {
    bool is_field = false;
    std::string name;         // field name as written
    int field = -1;           // bound field index
    TValue literal;           // the literal, converted by Bind when compared with a field
    TValue source;            // the literal as written
    std::string number_text;  // the text of a number literal
  };
  enum class TOp : uint8_t { kTrue, kAnd, kOr, kNot, kEq, kNe, kLt, kGt, kLe, kGe, kIn, kIsNull };
  struct TNode {
    TOp op = TOp::kTrue;
    bool negate = false;             // IS NOT NULL, NOT IN
    std::vector<int> children;       // kAnd, kOr, kNot: node indices
    std::vector<TOperand> operands;  // comparisons: 2; kIn: the tested operand, then the list
  };
  class TParser;

  bool Eval(int node, const std::vector<TValue>& row) const;

  std::vector<TNode> nodes_;
  int root_ = -1;
};

}  // namespace zoras
