#include "packet/packet_reader.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/messages.h"
#include "base/utf8.h"
#include "packet/base64.h"

namespace zoras {
namespace {

// Longest piece of a bad value quoted in a message.
constexpr size_t kQuoteLimit = 64;

void LineColumn(std::string_view text, size_t offset, size_t* line, size_t* column) {
  if (offset > text.size()) offset = text.size();
  *line = 1;
  size_t line_start = 0;
  for (size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++*line;
      line_start = i + 1;
    }
  }
  *column = offset - line_start + 1;
}

std::string Quoted(std::string_view value) {
  if (value.size() <= kQuoteLimit) return std::string(value);
  size_t n = kQuoteLimit;
  while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80) --n;
  return std::string(value.substr(0, n)) + "...";
}

// The parser runs without entity handling, so that this reader decides what a reference
// may be: the five XML entities and numeric character references, nothing else. A raw
// '<' or a stray '&' makes the value invalid. NeedsDecoding is false for a value that
// holds neither '&' nor '<' and can be used as it is.
bool NeedsDecoding(std::string_view raw) {
  for (char c : raw)
    if (c == '&' || c == '<') return true;
  return false;
}

bool DecodeReferences(std::string_view raw, std::string* out) {
  out->clear();
  out->reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '<') return false;
    if (c != '&') {
      *out += c;
      continue;
    }
    const size_t semi = raw.find(';', i + 1);
    if (semi == std::string_view::npos || semi - i > 12) return false;
    const std::string_view ref = raw.substr(i + 1, semi - i - 1);
    i = semi;
    if (ref == "lt") {
      *out += '<';
    } else if (ref == "gt") {
      *out += '>';
    } else if (ref == "amp") {
      *out += '&';
    } else if (ref == "apos") {
      *out += '\'';
    } else if (ref == "quot") {
      *out += '"';
    } else if (ref.size() >= 2 && ref[0] == '#') {
      const bool hex = ref[1] == 'x';
      const std::string_view digits = ref.substr(hex ? 2 : 1);
      uint32_t cp = 0;
      auto r = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
      if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size() ||
          !AppendUtf8(cp, out))
        return false;
    } else {
      return false;
    }
  }
  return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// True when `text` ends with "</name", optional white space and '>'.
bool EndsWithEndTag(std::string_view text, std::string_view name) {
  if (text.empty() || text.back() != '>') return false;
  text.remove_suffix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  if (text.size() < name.size() + 2) return false;
  return text.substr(text.size() - name.size()) == name &&
         text.substr(text.size() - name.size() - 2, 2) == "</";
}

bool IsBlank(std::string_view text) {
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

class TReader {
 public:
  explicit TReader(std::string_view text) : text_(text) {}

  TMemTable Run() {
    size_t bad = FindInvalidUtf8(text_);
    if (const void* nul = std::memchr(text_.data(), 0, text_.size()))
      bad = std::min(bad, static_cast<size_t>(static_cast<const char*>(nul) - text_.data()));
    if (bad != std::string_view::npos) {
      size_t line, column;
      LineColumn(text_, bad, &line, &column);
      throw EZoras(Msg(msg::ecPacketInvalidUtf8, {std::to_string(line), std::to_string(column)}));
    }
    // pugixml parses in place; the buffer must live as long as the document.
    buffer_ = std::make_unique<char[]>(text_.size());
    std::memcpy(buffer_.get(), text_.data(), text_.size());
    const pugi::xml_parse_result result = doc_.load_buffer_inplace(
        buffer_.get(), text_.size(), pugi::parse_declaration | pugi::parse_doctype,
        pugi::encoding_utf8);
    if (!result) {
      size_t line, column;
      LineColumn(text_, static_cast<size_t>(result.offset), &line, &column);
      throw EZoras(Msg(msg::ecPacketMalformed,
                       {std::to_string(line), std::to_string(column), result.description()}));
    }
    CheckProlog();
    CheckOutsideRoot();
    const pugi::xml_node root = doc_.document_element();
    if (std::strcmp(root.name(), "DATAPACKET") != 0) throw EZoras(Msg(msg::ecPacketNoDataPacket));
    const pugi::xml_node fields = root.child("METADATA").child("FIELDS");
    if (!fields) throw EZoras(Msg(msg::ecPacketNoFields));
    ReadFields(fields);
    table_.Open();
    ReadRows(root.child("ROWDATA"));
    table_.First();
    return std::move(table_);
  }

 private:
  void CheckProlog() {
    for (pugi::xml_node n = doc_.first_child(); n; n = n.next_sibling()) {
      if (n.type() == pugi::node_doctype) throw EZoras(Msg(msg::ecPacketDoctype));
      if (n.type() == pugi::node_declaration) {
        const pugi::xml_attribute enc = n.attribute("encoding");
        if (enc && !EqualsIgnoreCase(enc.value(), "UTF-8") &&
            !EqualsIgnoreCase(enc.value(), "UTF8"))
          throw EZoras(Msg(msg::ecPacketEncoding, {enc.value()}));
      }
    }
  }

  [[noreturn]] void Malformed(size_t offset, const TMessage& detail) {
    size_t line, column;
    LineColumn(text_, offset, &line, &column);
    throw EZoras(
        Msg(msg::ecPacketMalformed, {std::to_string(line), std::to_string(column), Msg(detail)}));
  }

  // The parser lets text before and after the root element pass, and more than one root;
  // a packet is one element with nothing around it but the declaration, comments,
  // processing instructions and white space.
  void CheckOutsideRoot() {
    const pugi::xml_node root = doc_.document_element();
    if (!root) return;
    for (pugi::xml_node n = root.next_sibling(); n; n = n.next_sibling())
      if (n.type() == pugi::node_element) Malformed(n.offset_debug() - 1, msg::ecPacketSecondRoot);

    // Before the root: a byte order mark, then white space, <?...?> and <!--...-->.
    const size_t root_start = static_cast<size_t>(root.offset_debug() - 1);
    size_t i = text_.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (i < root_start) {
      size_t close = std::string_view::npos;
      if (IsSpace(text_[i])) {
        ++i;
        continue;
      }
      if (text_.compare(i, 2, "<?") == 0) {
        close = text_.find("?>", i + 2);
        if (close != std::string_view::npos) close += 2;
      } else if (text_.compare(i, 4, "<!--") == 0) {
        close = text_.find("-->", i + 4);
        if (close != std::string_view::npos) close += 3;
      }
      if (close == std::string_view::npos || close > root_start)
        Malformed(i, msg::ecPacketOutsideRoot);
      i = close;
    }

    // After the root: from the end, drop white space, comments and processing
    // instructions; what is left must end with the root's end tag, or with "/>" for an
    // empty root.
    size_t end = text_.size();
    while (end > root_start) {
      size_t open = std::string_view::npos;
      if (IsSpace(text_[end - 1])) {
        --end;
        continue;
      }
      if (end - root_start >= 3 && text_.compare(end - 3, 3, "-->") == 0)
        open = text_.rfind("<!--", end - 3);
      else if (end - root_start >= 2 && text_.compare(end - 2, 2, "?>") == 0)
        open = text_.rfind("<?", end - 2);
      if (open == std::string_view::npos || open <= root_start) break;
      end = open;
    }
    const std::string_view body = text_.substr(0, end);
    const bool closed =
        EndsWithEndTag(body, root.name()) ||
        (!root.first_child() && body.size() >= 2 && body.substr(body.size() - 2) == "/>");
    if (!closed) {
      // Point at the stray text: the first character after the last '>' before it.
      size_t from = end;
      while (from > root_start && text_[from - 1] != '>') --from;
      while (from < end && IsSpace(text_[from])) ++from;
      Malformed(from, msg::ecPacketOutsideRoot);
    }
  }

  // The attribute's text with references decoded; a bad reference is a bad value.
  std::string_view Text(std::string_view raw, const std::string& field, size_t row) {
    if (!NeedsDecoding(raw)) return raw;
    if (!DecodeReferences(raw, &scratch_)) BadValue(raw, field, row);
    return scratch_;
  }

  [[noreturn]] void BadValue(std::string_view raw, const std::string& field, size_t row) {
    throw EZoras(Msg(msg::ecPacketBadValue, {Quoted(raw), field, std::to_string(row)}));
  }

  [[noreturn]] void BadFieldAttr(std::string_view attr, std::string_view raw,
                                 const std::string& field) {
    throw EZoras(Msg(msg::ecPacketFieldAttr, {attr, Quoted(raw), field}));
  }

  std::string FieldAttr(pugi::xml_node f, const char* name, const std::string& field) {
    const std::string_view raw = f.attribute(name).value();
    if (!NeedsDecoding(raw)) return std::string(raw);
    std::string out;
    if (!DecodeReferences(raw, &out)) BadFieldAttr(name, raw, field);
    return out;
  }

  int FieldInt(pugi::xml_node f, const char* name, const std::string& field) {
    const std::string text = FieldAttr(f, name, field);
    if (text.empty()) return 0;
    int v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < 0)
      BadFieldAttr(name, text, field);
    return v;
  }

  void ReadFields(pugi::xml_node fields) {
    size_t index = 0;
    for (pugi::xml_node f = fields.child("FIELD"); f; f = f.next_sibling("FIELD")) {
      ++index;
      TFieldDef def;
      def.name = FieldAttr(f, "attrname", std::to_string(index));
      if (def.name.empty()) throw EZoras(Msg(msg::ecPacketFieldNoName, {std::to_string(index)}));
      const std::string type = FieldAttr(f, "fieldtype", def.name);
      if (!ParseFieldType(type, FieldAttr(f, "SUBTYPE", def.name), &def.type))
        throw EZoras(Msg(msg::ecPacketFieldType, {type, def.name}));
      def.width = FieldInt(f, "WIDTH", def.name);
      def.decimals = FieldInt(f, "DECIMALS", def.name);
      def.required = EqualsIgnoreCase(FieldAttr(f, "required", def.name), "true");
      def.readonly = EqualsIgnoreCase(FieldAttr(f, "readonly", def.name), "true");
      table_.AddField(std::move(def));
    }
    for (const TFieldDef& def : table_.FieldDefs()) names_.push_back(def.name.c_str());
  }

  // The column of a row attribute. Writers put the attributes in column order, so the
  // column after the previous one is tried first.
  int ColumnOf(const char* name, size_t* next) const {
    const size_t n = names_.size();
    if (*next < n && std::strcmp(names_[*next], name) == 0) return static_cast<int>((*next)++);
    for (size_t i = 0; i < n; ++i) {
      if (std::strcmp(names_[i], name) == 0) {
        *next = i + 1;
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  void ReadRows(pugi::xml_node rowdata) {
    if (!rowdata) return;
    size_t count = 0;
    for (pugi::xml_node r = rowdata.child("ROW"); r; r = r.next_sibling("ROW")) ++count;
    table_.ReserveRows(count);
    const std::vector<TFieldDef>& defs = table_.FieldDefs();
    size_t row_number = 0;
    for (pugi::xml_node r = rowdata.child("ROW"); r; r = r.next_sibling("ROW")) {
      ++row_number;
      std::vector<TValue> values(defs.size());
      size_t next = 0;
      for (pugi::xml_attribute a = r.first_attribute(); a; a = a.next_attribute()) {
        const int column = ColumnOf(a.name(), &next);
        if (column < 0) continue;
        const TFieldDef& def = defs[column];
        const char* raw = a.value();
        values[column] = Convert(def, std::string_view(raw, std::strlen(raw)), row_number);
      }
      table_.AppendRow(std::move(values));
    }
  }

  TValue Convert(const TFieldDef& def, std::string_view raw, size_t row) {
    const std::string_view text = Text(raw, def.name, row);
    if (def.type == TFieldType::kString) return TValue::Text(std::string(text));
    // An empty attribute is what the text builders write for a missing number; in a
    // bin.hex column it is the base64 text of an empty value.
    if (text.empty())
      return def.type == TFieldType::kMemo || def.type == TFieldType::kBinary ? TValue::Text("")
                                                                              : TValue();
    const char* b = text.data();
    const char* e = b + text.size();
    switch (def.type) {
      case TFieldType::kI1:
      case TFieldType::kI2:
      case TFieldType::kI4:
      case TFieldType::kI8:
      case TFieldType::kUI1:
      case TFieldType::kUI2:
      case TFieldType::kUI4: {
        int64_t v = 0;
        auto r = std::from_chars(b, e, v);
        if (r.ec != std::errc() || r.ptr != e || !IntegerFits(def.type, v))
          BadValue(raw, def.name, row);
        return TValue::Integer(v);
      }
      case TFieldType::kR8: {
        double v = 0;
        // from_chars also reads "inf" and "nan", which no column holds.
        auto r = std::from_chars(b, e, v, std::chars_format::general);
        if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v)) BadValue(raw, def.name, row);
        return TValue::Float(v);
      }
      case TFieldType::kFixed: {
        TValue v;
        if (text.find(',') != std::string_view::npos || !TryParseDecimal(text, &v))
          BadValue(raw, def.name, row);
        return v;
      }
      case TFieldType::kBoolean:
        if (EqualsIgnoreCase(text, "TRUE")) return TValue::Boolean(true);
        if (EqualsIgnoreCase(text, "FALSE")) return TValue::Boolean(false);
        BadValue(raw, def.name, row);
      case TFieldType::kDate: {
        TDateTime d;
        if (!ParseDate(text, &d)) BadValue(raw, def.name, row);
        return TValue::Date(d);
      }
      case TFieldType::kTime: {
        TDateTime t;
        if (!ParseTime(text, &t)) BadValue(raw, def.name, row);
        return TValue::Time(t);
      }
      case TFieldType::kDateTime: {
        TDateTime d, t;
        const bool ok = text.size() == 8
                            ? ParseDate(text, &d)
                            : text.size() > 9 && text[8] == 'T' &&
                                  ParseDate(text.substr(0, 8), &d) && ParseTime(text.substr(9), &t);
        if (!ok) BadValue(raw, def.name, row);
        return TValue::DateTime(d.AddMs(t.MsOfDay()));
      }
      case TFieldType::kMemo:
      case TFieldType::kBinary: {
        std::string bytes;
        if (!DecodeBase64(text, &bytes) || (def.type == TFieldType::kMemo && !IsValidUtf8(bytes)))
          BadValue(raw, def.name, row);
        return TValue::Text(std::move(bytes));
      }
      case TFieldType::kString:
        break;
    }
    return TValue::Text(std::string(text));
  }

  static bool Digits(std::string_view s, size_t from, size_t n, int* out) {
    if (from + n > s.size()) return false;
    int v = 0;
    for (size_t i = from; i < from + n; ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
      v = v * 10 + (s[i] - '0');
    }
    *out = v;
    return true;
  }

  // YYYYMMDD
  static bool ParseDate(std::string_view s, TDateTime* out) {
    int y, m, d;
    if (s.size() != 8 || !Digits(s, 0, 4, &y) || !Digits(s, 4, 2, &m) || !Digits(s, 6, 2, &d))
      return false;
    auto v = TDateTime::TryEncodeDate(y, m, d);
    if (!v) return false;
    *out = *v;
    return true;
  }

  // HH:MM:SSsss (seconds * 1000 + milliseconds in five digits), or HH:MM:SS.
  static bool ParseTime(std::string_view s, TDateTime* out) {
    int h, m, sms;
    if ((s.size() != 11 && s.size() != 8) || !Digits(s, 0, 2, &h) || s[2] != ':' ||
        !Digits(s, 3, 2, &m) || s[5] != ':' || !Digits(s, 6, s.size() - 6, &sms))
      return false;
    if (s.size() == 8) sms *= 1000;
    auto v = TDateTime::TryEncodeTime(h, m, sms / 1000, sms % 1000);
    if (!v) return false;
    *out = *v;
    return true;
  }

  std::string_view text_;
  std::unique_ptr<char[]> buffer_;
  pugi::xml_document doc_;
  TMemTable table_;
  std::vector<const char*> names_;  // column names, for the row attribute lookup
  std::string scratch_;
};

}  // namespace

TMemTable LoadPacket(std::string_view text) {
  if (IsBlank(text)) return TMemTable();
  return TReader(text).Run();
}

}  // namespace zoras
