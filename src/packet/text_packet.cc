#include "packet/text_packet.h"

#include "base/errors.h"
#include "base/messages.h"
#include "base/ascii.h"
#include "packet/packet_format.h"

namespace zoras {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kFieldsEnd = "</FIELDS>";
constexpr std::string_view kRowDataBegin = "<ROWDATA>";
constexpr std::string_view kRowDataEnd = "</ROWDATA>";
constexpr std::string_view kRowBegin = "<ROW";
constexpr std::string_view kEmptyElementEnd = "/>";

// Trimming takes away spaces and control characters, as the string lists that these
// patchers stand in for always did.
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return TrimRight(s);
}

bool IsFloatField(std::string_view name, std::string_view float_list) {
  if (float_list.empty()) return false;
  std::string marked(name);
  marked += ';';
  return float_list.find(marked) != std::string_view::npos;
}

void AppendFieldLine(std::string& out, std::string_view name, bool is_float) {
  out += "<FIELD attrname=\"";
  out += name;
  out += is_float ? "\" fieldtype=\"r8\"/>" : "\" fieldtype=\"string\" WIDTH=\"255\"/>";
  out += kCrLf;
}

void AppendAttribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += value;
  out += '"';
}

void CheckOutputNames(const std::vector<std::string>& names,
                      const std::vector<std::string>& output_names) {
  if (!output_names.empty() && output_names.size() != names.size())
    throw EZoras(Msg(msg::ecInternalError));
}

// A text packet with no rows; field i is r8 when is_float[i].
std::string BuildTextPacket(const std::vector<std::string>& names,
                            const std::vector<bool>& is_float) {
  std::string out;
  out += packet_format::kHead;
  for (size_t i = 0; i < names.size(); ++i) AppendFieldLine(out, names[i], is_float[i]);
  out += packet_format::kMiddle;
  out += packet_format::kTail;
  return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (true) {
    const size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace

// ---- TNameValueList

TNameValueList::TNameValueList(std::string_view text) : lines_(SplitLines(text)) {}

std::string_view TNameValueList::Name(size_t i) const {
  const std::string_view line = lines_[i];
  const size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string_view() : line.substr(0, eq);
}

std::string_view TNameValueList::ValueAt(size_t i) const {
  const std::string_view line = lines_[i];
  const size_t eq = line.find('=');
  return eq == std::string_view::npos ? std::string_view() : line.substr(eq + 1);
}

int TNameValueList::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].find('=') != std::string::npos && Name(i) == name) return static_cast<int>(i);
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].find('=') != std::string::npos && EqualsIgnoreCase(Name(i), name))
      return static_cast<int>(i);
  return -1;
}

std::string TNameValueList::Value(std::string_view name) const {
  const int i = IndexOf(name);
  return i < 0 ? std::string() : std::string(ValueAt(static_cast<size_t>(i)));
}

std::optional<std::string> TNameValueList::Find(std::string_view name) const {
  const int i = IndexOf(name);
  if (i < 0) return std::nullopt;
  return std::string(ValueAt(static_cast<size_t>(i)));
}

void TNameValueList::Set(std::string_view name, std::string_view value) {
  std::string line(name);
  line += '=';
  line += value;
  const int i = IndexOf(name);
  if (i < 0)
    lines_.push_back(std::move(line));
  else
    lines_[static_cast<size_t>(i)] = std::move(line);
}

void TNameValueList::Add(std::string_view name, std::string_view value) {
  std::string line(name);
  line += '=';
  line += value;
  lines_.push_back(std::move(line));
}

std::string TNameValueList::Text() const {
  std::string out;
  for (const std::string& line : lines_) {
    out += line;
    out += kCrLf;
  }
  return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) {
      lines.emplace_back(text.substr(pos));
      break;
    }
    size_t end = lf;
    if (end > pos && text[end - 1] == '\r') --end;
    lines.emplace_back(text.substr(pos, end - pos));
    pos = lf + 1;
  }
  return lines;
}

// ---- Builders and patchers

std::string EscapeXmlAttr(std::string_view text) {
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  // One pass into room for the worst case ("&quot;" for every character), then trimmed.
  std::string out(text.size() * 6, '\0');
  char* p = out.data();
  auto put = [&p](std::string_view s) {
    for (char c : s) *p++ = c;
  };
  for (char c : text) {
    switch (c) {
      case '"':
        put("&quot;");
        break;
      case '&':
        put("&amp;");
        break;
      case '<':
        put("&lt;");
        break;
      case '>':
        put("&gt;");
        break;
      default:
        *p++ = c;
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
  return out;
}

std::string WrapPacket(std::string_view name, std::string_view packet) {
  std::string out;
  out.reserve(packet.size() + 2 * name.size() + 48);
  out += "<BEGIN DATAPACKET=\"";
  out += name;
  out += "\"/>";
  out += packet;
  out += "<END DATAPACKET=\"";
  out += name;
  out += "\"/>";
  return out;
}

std::string NewTextPacket(const std::vector<std::string>& names, std::string_view float_list) {
  if (names.empty()) return std::string();
  std::vector<bool> is_float;
  for (const std::string& name : names) is_float.push_back(IsFloatField(name, float_list));
  return BuildTextPacket(names, is_float);
}

std::string AppendTextRow(const std::vector<std::string>& names,
                          const std::vector<std::string>& output_names,
                          const TNameValueList& values, std::string_view packet,
                          std::string_view float_list) {
  if (names.empty()) return std::string(packet);
  CheckOutputNames(names, output_names);
  const std::vector<std::string>& published = output_names.empty() ? names : output_names;
  std::vector<bool> is_float;
  for (const std::string& name : names) is_float.push_back(IsFloatField(name, float_list));

  std::string result = packet.empty() ? BuildTextPacket(published, is_float) : std::string(packet);
  const size_t end = result.find(kRowDataEnd);
  // A packet without "</ROWDATA>" has nowhere to take a row; it is returned unchanged.
  if (end == std::string::npos) return result;

  std::string row = "<ROW ";
  for (size_t i = 0; i < names.size(); ++i) {
    std::string value = values.Value(names[i]);
    if (is_float[i] && !value.empty()) {
      // Numbers arrive in the regional form 1.234,56 and leave as 1234.56.
      std::string number;
      for (char c : value)
        if (c != '.') number += c == ',' ? '.' : c;
      value = std::move(number);
    }
    if (value.find("|#") != std::string::npos) value = DecodeLineBreaks(value);
    AppendAttribute(row, published[i], value);
  }
  row += "/>";
  row += kCrLf;
  result.insert(end, row);
  return result;
}

std::string MakeRowPacket(const std::vector<std::string>& names,
                          const std::vector<std::string>& output_names,
                          std::string_view name_value_text, std::string_view packet,
                          std::string_view float_list) {
  return AppendTextRow(names, output_names, TNameValueList(name_value_text), packet, float_list);
}

std::string AddTextColumn(std::string_view name, std::string_view values_text,
                          std::string_view packet) {
  if (name.empty()) return std::string(packet);
  const size_t fields_end = packet.find(kFieldsEnd);
  if (fields_end == std::string_view::npos) return std::string(packet);

  std::string p(packet);
  std::string field_line;
  AppendFieldLine(field_line, name, false);
  p.insert(fields_end, field_line);

  const size_t rowdata = p.find(kRowDataBegin);
  if (rowdata == std::string::npos) return p;
  const size_t rows_begin = rowdata + kRowDataBegin.size();
  const size_t rowdata_end = p.find(kRowDataEnd, rows_begin);
  const size_t region_end = rowdata_end == std::string::npos ? p.size() : rowdata_end;

  const std::vector<std::string> lines = SplitLines(values_text);
  std::string rebuilt;
  size_t first_row = std::string::npos;
  size_t after_rows = rows_begin;
  size_t n = 0;
  for (size_t pos = rows_begin;;) {
    const size_t row = p.find(kRowBegin, pos);
    if (row == std::string::npos || row >= region_end) break;
    const size_t close = p.find(kEmptyElementEnd, row);
    // A row that is never closed ends the walk; it stays in the text after the rows.
    if (close == std::string::npos || close >= region_end) break;
    if (first_row == std::string::npos) first_row = row;
    if (n >= lines.size()) throw EZoras(Msg(msg::ecListIndexError, {std::to_string(n)}));
    rebuilt += TrimRight(std::string_view(p).substr(row, close - row));
    AppendAttribute(rebuilt, name, lines[n]);
    rebuilt += kEmptyElementEnd;
    rebuilt += kCrLf;
    ++n;
    pos = after_rows = close + kEmptyElementEnd.size();
  }
  if (n == 0) return p;
  // Whatever stood between the rows is replaced by the rebuilt rows; a packet without
  // "</ROWDATA>" keeps what followed its last row.
  const size_t tail = rowdata_end == std::string::npos ? after_rows : rowdata_end;
  return p.substr(0, first_row) + rebuilt + p.substr(tail);
}

std::string AddRowFields(const std::vector<std::string>& names,
                         const std::vector<std::string>& output_names,
                         std::string_view name_value_text, std::string_view packet) {
  if (names.empty()) return std::string(packet);
  CheckOutputNames(names, output_names);
  const size_t fields_end = packet.find(kFieldsEnd);
  if (fields_end == std::string_view::npos) return std::string(packet);
  const std::vector<std::string>& published = output_names.empty() ? names : output_names;

  std::string p(packet);
  std::string field_lines;
  for (const std::string& name : published) AppendFieldLine(field_lines, name, false);
  p.insert(fields_end, field_lines);

  // Without ROWDATA, its end, or a row inside it there is no row to extend: only the
  // fields are added.
  const size_t rowdata = p.find(kRowDataBegin);
  if (rowdata == std::string::npos) return p;
  const size_t rows_begin = rowdata + kRowDataBegin.size();
  const size_t rowdata_end = p.find(kRowDataEnd, rows_begin);
  if (rowdata_end == std::string::npos) return p;
  const size_t row = p.find(kRowBegin, rows_begin);
  if (row == std::string::npos || row >= rowdata_end) return p;

  // The values are written as given: this patcher decodes no line breaks.
  const TNameValueList values(name_value_text);
  std::string_view old_row = Trim(std::string_view(p).substr(row, rowdata_end - row));
  old_row.remove_suffix(old_row.size() >= 2 ? 2 : old_row.size());
  std::string new_row(old_row);
  for (size_t i = 0; i < names.size(); ++i)
    AppendAttribute(new_row, published[i], values.Value(names[i]));
  new_row += kEmptyElementEnd;
  new_row += kCrLf;
  p.replace(row, rowdata_end - row, new_row);
  return p;
}

std::string EncodeLineBreaks(std::string_view text) {
  // Equivalent to replacing every CR LF, then every remaining CR, then every remaining LF.
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += "|#";
      ++i;
    } else if (c == '\r' || c == '\n') {
      out += "|#";
    } else {
      out += c;
    }
  }
  return out;
}

std::string DecodeLineBreaks(std::string_view text) { return ReplaceAll(text, "|#", kCrLf); }

}  // namespace zoras
