#include "packet/filter.h"

#include <charconv>
#include <optional>

#include "base/errors.h"
#include "base/messages.h"
#include "base/regional.h"
#include "base/ascii.h"

namespace zoras {
namespace {

// Parentheses and NOT nest through recursion; a limit keeps hostile text from exhausting
// the stack. AND and OR chains are flat and do not count.
constexpr int kMaxDepth = 200;

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

enum class TTok { kEnd, kName, kText, kNumber, kOp, kLParen, kRParen, kComma };

struct TToken {
  TTok kind = TTok::kEnd;
  std::string text;  // name, text literal (unquoted), number or operator
  size_t pos = 0;    // 0-based offset of the token
  bool bracketed = false;
};

// Printable form of a character for a message.
std::string Shown(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7f) return std::string(1, c);
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("#$") + kHex[u >> 4] + kHex[u & 15];
}

// Three-way comparison of two values; nothing when either is null or they cannot be
// compared (text that is no number against a number, ...).
std::optional<int> Compare(const TValue& a, const TValue& b) {
  using K = TValue::Kind;
  if (a.IsNull() || b.IsNull()) return std::nullopt;
  auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  auto numeric = [](K k) {
    return k == K::kInteger || k == K::kFloat || k == K::kDecimal || k == K::kBoolean;
  };
  auto temporal = [](K k) { return k == K::kDate || k == K::kTime || k == K::kDateTime; };
  const K ka = a.kind(), kb = b.kind();
  if (ka == K::kText && kb == K::kText) return sign(a.text(), b.text());
  if (numeric(ka) && numeric(kb)) {
    if ((ka == K::kInteger || ka == K::kBoolean) && (kb == K::kInteger || kb == K::kBoolean))
      return sign(a.AsInteger(), b.AsInteger());
    return sign(a.AsFloat(), b.AsFloat());
  }
  if (temporal(ka) && temporal(kb)) return sign(a.AsDateTime(), b.AsDateTime());
  if (ka == K::kText || kb == K::kText) {
    const TValue& text = ka == K::kText ? a : b;
    const TValue& other = ka == K::kText ? b : a;
    const int flip = ka == K::kText ? 1 : -1;
    if (numeric(other.kind())) {
      double d;
      if (!TryParseClientFloat(text.text(), &d)) return std::nullopt;
      return flip * sign(d, other.AsFloat());
    }
    if (temporal(other.kind())) {
      TDateTime t;
      if (!regional::TryParseDateTime(text.text(), &t) && !regional::TryParseTime(text.text(), &t))
        return std::nullopt;
      return flip * sign(t, other.AsDateTime());
    }
  }
  return std::nullopt;
}

}  // namespace

class TFilterExpr::TParser {
 public:
  TParser(std::string_view text, TFilterExpr* expr) : text_(text), expr_(expr) { Advance(); }

  void Run() {
    if (tok_.kind == TTok::kEnd) {
      expr_->nodes_.push_back(TNode{});
      expr_->root_ = 0;
      return;
    }
    expr_->root_ = ParseOr(0);
    if (tok_.kind != TTok::kEnd) Unexpected();
  }

 private:
  [[noreturn]] void Fail(size_t pos, const std::string& detail) {
    throw EZoras(Msg(msg::ecFilterError, {std::to_string(pos + 1), detail}));
  }
  [[noreturn]] void Unexpected() {
    if (tok_.kind == TTok::kEnd) Fail(tok_.pos, Msg(msg::ecFilterUnexpectedEnd));
    Fail(tok_.pos, Msg(msg::ecFilterUnexpected, {TokenText()}));
  }
  std::string TokenText() const {
    switch (tok_.kind) {
      case TTok::kText:
        return "'" + tok_.text + "'";
      case TTok::kName:
        return tok_.bracketed ? "[" + tok_.text + "]" : tok_.text;
      default:
        return tok_.text;
    }
  }

  bool IsKeyword(std::string_view kw) const {
    return tok_.kind == TTok::kName && !tok_.bracketed && EqualsIgnoreCase(tok_.text, kw);
  }

  void Advance() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n'))
      ++pos_;
    tok_ = TToken{};
    tok_.pos = pos_;
    if (pos_ >= text_.size()) return;
    const char c = text_[pos_];
    if (c == '\'') {
      tok_.kind = TTok::kText;
      for (size_t i = pos_ + 1;; ++i) {
        if (i >= text_.size()) Fail(pos_, Msg(msg::ecFilterUnterminatedText));
        if (text_[i] == '\'') {
          if (i + 1 < text_.size() && text_[i + 1] == '\'') {
            tok_.text += '\'';
            ++i;
            continue;
          }
          pos_ = i + 1;
          return;
        }
        tok_.text += text_[i];
      }
    }
    if (c == '[') {
      const size_t end = text_.find(']', pos_ + 1);
      if (end == std::string_view::npos) Fail(pos_, Msg(msg::ecFilterUnterminatedName));
      tok_.kind = TTok::kName;
      tok_.bracketed = true;
      tok_.text = std::string(text_.substr(pos_ + 1, end - pos_ - 1));
      pos_ = end + 1;
      return;
    }
    if (IsNameStart(c)) {
      size_t end = pos_ + 1;
      while (end < text_.size() && IsNameChar(text_[end])) ++end;
      tok_.kind = TTok::kName;
      tok_.text = std::string(text_.substr(pos_, end - pos_));
      pos_ = end;
      return;
    }
    if (IsDigit(c) ||
        ((c == '-' || c == '+') && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1]))) {
      size_t end = pos_ + 1;
      while (end < text_.size() && IsDigit(text_[end])) ++end;
      if (end < text_.size() && text_[end] == '.') {
        ++end;
        while (end < text_.size() && IsDigit(text_[end])) ++end;
      }
      if (end < text_.size() && (text_[end] == 'e' || text_[end] == 'E')) {
        ++end;
        if (end < text_.size() && (text_[end] == '+' || text_[end] == '-')) ++end;
        while (end < text_.size() && IsDigit(text_[end])) ++end;
      }
      // A number runs into a name ("12AB") only in malformed text.
      while (end < text_.size() && (IsNameChar(text_[end]) || text_[end] == '.')) ++end;
      tok_.kind = TTok::kNumber;
      tok_.text = std::string(text_.substr(pos_, end - pos_));
      pos_ = end;
      return;
    }
    if (c == '<' || c == '>' || c == '=') {
      size_t len = 1;
      if (c != '=' && pos_ + 1 < text_.size() &&
          (text_[pos_ + 1] == '=' || (c == '<' && text_[pos_ + 1] == '>')))
        len = 2;
      tok_.kind = TTok::kOp;
      tok_.text = std::string(text_.substr(pos_, len));
      pos_ += len;
      return;
    }
    if (c == '(' || c == ')' || c == ',') {
      tok_.kind = c == '(' ? TTok::kLParen : (c == ')' ? TTok::kRParen : TTok::kComma);
      tok_.text = std::string(1, c);
      ++pos_;
      return;
    }
    Fail(pos_, Msg(msg::ecFilterUnexpected, {Shown(c)}));
  }

  int Add(TNode node) {
    expr_->nodes_.push_back(std::move(node));
    return static_cast<int>(expr_->nodes_.size() - 1);
  }

  void CheckDepth(int depth) {
    if (depth > kMaxDepth) Fail(tok_.pos, Msg(msg::ecFilterTooDeep));
  }

  int ParseOr(int depth) {
    int first = ParseAnd(depth);
    if (!IsKeyword("OR")) return first;
    TNode node;
    node.op = TOp::kOr;
    node.children.push_back(first);
    while (IsKeyword("OR")) {
      Advance();
      node.children.push_back(ParseAnd(depth));
    }
    return Add(std::move(node));
  }

  int ParseAnd(int depth) {
    int first = ParseNot(depth);
    if (!IsKeyword("AND")) return first;
    TNode node;
    node.op = TOp::kAnd;
    node.children.push_back(first);
    while (IsKeyword("AND")) {
      Advance();
      node.children.push_back(ParseNot(depth));
    }
    return Add(std::move(node));
  }

  int ParseNot(int depth) {
    CheckDepth(depth);
    if (IsKeyword("NOT")) {
      Advance();
      TNode node;
      node.op = TOp::kNot;
      node.children.push_back(ParseNot(depth + 1));
      return Add(std::move(node));
    }
    if (tok_.kind == TTok::kLParen) {
      Advance();
      int inner = ParseOr(depth + 1);
      if (tok_.kind != TTok::kRParen) {
        if (tok_.kind == TTok::kEnd) Fail(tok_.pos, Msg(msg::ecFilterExpected, {")"}));
        Unexpected();
      }
      Advance();
      return inner;
    }
    return ParsePredicate();
  }

  TOperand ParseOperand() {
    TOperand op;
    switch (tok_.kind) {
      case TTok::kName:
        if (!tok_.bracketed && (IsKeyword("AND") || IsKeyword("OR") || IsKeyword("NOT") ||
                                IsKeyword("IN") || IsKeyword("IS") || IsKeyword("NULL")))
          Fail(tok_.pos, Msg(msg::ecFilterOperandExpected));
        op.is_field = true;
        op.name = tok_.text;
        break;
      case TTok::kText:
        op.source = TValue::Text(tok_.text);
        break;
      case TTok::kNumber: {
        std::string_view s = tok_.text;
        if (s.front() == '+') s.remove_prefix(1);
        int64_t i;
        double d;
        auto ri = std::from_chars(s.data(), s.data() + s.size(), i);
        if (ri.ec == std::errc() && ri.ptr == s.data() + s.size()) {
          op.source = TValue::Integer(i);
        } else {
          auto rd = std::from_chars(s.data(), s.data() + s.size(), d);
          if (rd.ec != std::errc() || rd.ptr != s.data() + s.size())
            Fail(tok_.pos, Msg(msg::ecFilterBadNumber, {tok_.text}));
          op.source = TValue::Float(d);
        }
        op.number_text = std::string(s);
        break;
      }
      case TTok::kEnd:
        Fail(tok_.pos, Msg(msg::ecFilterUnexpectedEnd));
      default:
        Fail(tok_.pos, Msg(msg::ecFilterOperandExpected));
    }
    op.literal = op.source;
    Advance();
    return op;
  }

  int ParsePredicate() {
    TNode node;
    node.operands.push_back(ParseOperand());
    if (IsKeyword("IS")) {
      Advance();
      if (IsKeyword("NOT")) {
        node.negate = true;
        Advance();
      }
      if (!IsKeyword("NULL")) {
        if (tok_.kind == TTok::kEnd) Fail(tok_.pos, Msg(msg::ecFilterExpected, {"NULL"}));
        Unexpected();
      }
      Advance();
      node.op = TOp::kIsNull;
      return Add(std::move(node));
    }
    if (IsKeyword("NOT") || IsKeyword("IN")) {
      if (IsKeyword("NOT")) {
        node.negate = true;
        Advance();
        if (!IsKeyword("IN")) {
          if (tok_.kind == TTok::kEnd) Fail(tok_.pos, Msg(msg::ecFilterExpected, {"IN"}));
          Unexpected();
        }
      }
      Advance();
      if (tok_.kind != TTok::kLParen) {
        if (tok_.kind == TTok::kEnd) Fail(tok_.pos, Msg(msg::ecFilterExpected, {"("}));
        Unexpected();
      }
      Advance();
      node.operands.push_back(ParseOperand());
      while (tok_.kind == TTok::kComma) {
        Advance();
        node.operands.push_back(ParseOperand());
      }
      if (tok_.kind != TTok::kRParen) {
        if (tok_.kind == TTok::kEnd) Fail(tok_.pos, Msg(msg::ecFilterExpected, {")"}));
        Unexpected();
      }
      Advance();
      node.op = TOp::kIn;
      return Add(std::move(node));
    }
    if (tok_.kind != TTok::kOp) Fail(tok_.pos, Msg(msg::ecFilterOperatorExpected));
    const std::string op = tok_.text;
    node.op = op == "="    ? TOp::kEq
              : op == "<>" ? TOp::kNe
              : op == "<"  ? TOp::kLt
              : op == ">"  ? TOp::kGt
              : op == "<=" ? TOp::kLe
                           : TOp::kGe;
    Advance();
    node.operands.push_back(ParseOperand());
    return Add(std::move(node));
  }

  std::string_view text_;
  TFilterExpr* expr_;
  size_t pos_ = 0;
  TToken tok_;
};

TFilterExpr TFilterExpr::Parse(std::string_view text) {
  TFilterExpr expr;
  TParser(text, &expr).Run();
  return expr;
}

namespace {

// The literal of a comparison with a column, in the column's terms: a text literal read
// as the column reads text, a number literal as text for text columns.
TValue LiteralForField(const TFieldDef& field, const TValue& source, const std::string& number) {
  using K = TValue::Kind;
  const K target = StorageKind(field.type);
  if (source.kind() != K::kText) {
    if (target == K::kText) return TValue::Text(number);
    if (target == K::kDecimal && number.find_first_of("eE") == std::string::npos)
      return TValue::Decimal(number);
    return source;
  }
  if (target == K::kText) return source;
  if (target == K::kInteger || target == K::kFloat) {
    int64_t i;
    double d;
    if (regional::TryParseInt(source.text(), &i)) return TValue::Integer(i);
    if (TryParseClientFloat(source.text(), &d)) return TValue::Float(d);
    if (source.text().empty()) return TValue();
    throw EZoras(
        Msg(target == K::kInteger ? msg::ecInvalidInteger : msg::ecInvalidFloat, {source.text()}));
  }
  return ConvertToField(field, source);
}

}  // namespace

void TFilterExpr::Bind(const std::vector<TFieldDef>& fields) {
  auto resolve = [&](TOperand& op) {
    if (!op.is_field) return;
    op.field = -1;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (EqualsIgnoreCase(fields[i].name, op.name)) {
        op.field = static_cast<int>(i);
        break;
      }
    }
    if (op.field < 0) throw EZoras(Msg(msg::ecFieldNotFound, {op.name}));
  };
  for (TNode& node : nodes_) {
    for (TOperand& op : node.operands) resolve(op);
    if (node.operands.size() < 2) continue;
    if (node.op == TOp::kIn) {
      const TOperand& tested = node.operands[0];
      for (size_t i = 1; i < node.operands.size(); ++i) {
        TOperand& item = node.operands[i];
        if (tested.is_field && !item.is_field)
          item.literal = LiteralForField(fields[tested.field], item.source, item.number_text);
      }
    } else {
      TOperand& a = node.operands[0];
      TOperand& b = node.operands[1];
      if (a.is_field && !b.is_field)
        b.literal = LiteralForField(fields[a.field], b.source, b.number_text);
      if (b.is_field && !a.is_field)
        a.literal = LiteralForField(fields[b.field], a.source, a.number_text);
    }
  }
}

bool TFilterExpr::Matches(const std::vector<TValue>& row) const {
  if (root_ < 0) return true;
  return Eval(root_, row);
}

bool TFilterExpr::Eval(int index, const std::vector<TValue>& row) const {
  const TNode& node = nodes_[index];
  static const TValue kNull;
  auto value = [&](const TOperand& op) -> const TValue& {
    if (!op.is_field) return op.literal;
    return op.field >= 0 && static_cast<size_t>(op.field) < row.size() ? row[op.field] : kNull;
  };
  switch (node.op) {
    case TOp::kTrue:
      return true;
    case TOp::kAnd:
      for (int child : node.children)
        if (!Eval(child, row)) return false;
      return true;
    case TOp::kOr:
      for (int child : node.children)
        if (Eval(child, row)) return true;
      return false;
    case TOp::kNot:
      return !Eval(node.children[0], row);
    case TOp::kIsNull:
      return value(node.operands[0]).IsNull() != node.negate;
    case TOp::kIn: {
      const TValue& tested = value(node.operands[0]);
      if (tested.IsNull()) return false;
      bool found = false;
      for (size_t i = 1; i < node.operands.size() && !found; ++i) {
        auto c = Compare(tested, value(node.operands[i]));
        found = c && *c == 0;
      }
      return found != node.negate;
    }
    default: {
      auto c = Compare(value(node.operands[0]), value(node.operands[1]));
      if (!c) return false;
      switch (node.op) {
        case TOp::kEq:
          return *c == 0;
        case TOp::kNe:
          return *c != 0;
        case TOp::kLt:
          return *c < 0;
        case TOp::kGt:
          return *c > 0;
        case TOp::kLe:
          return *c <= 0;
        default:
          return *c >= 0;
      }
    }
  }
}

}  // namespace zoras
