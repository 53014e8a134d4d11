// Text packets: small packets whose fields are all text (string, WIDTH 255) or floating
// point (r8), built and patched as text without an XML parser, and the name=value lists
// operations assemble their rows in. Meant for packets of a handful of rows.
//
// The builders do not escape values; callers pass values that need no escaping or pass
// them through EscapeXmlAttr first.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zoras {

// Ordered NAME=value lines. Lookup by name takes the first line whose name matches
// exactly, else the first that matches ignoring ASCII letter case.
class TNameValueList {
 public:
  TNameValueList() = default;
  // Splits `text` into lines at CR LF or a bare LF; a final line break adds no line.
  explicit TNameValueList(std::string_view text);

  // The value of `name`; the empty text when no line has that name.
  std::string Value(std::string_view name) const;
  // The value of `name`, or nothing when no line has that name.
  std::optional<std::string> Find(std::string_view name) const;
  // Replaces the value of the line with that name, or appends a line.
  void Set(std::string_view name, std::string_view value);
  // Appends a line NAME=value without looking for an existing one.
  void Add(std::string_view name, std::string_view value);

  size_t Count() const { return lines_.size(); }
  // Line i, its name (the text before the first '=', empty without one) and its value.
  const std::string& Line(size_t i) const { return lines_[i]; }
  std::string_view Name(size_t i) const;
  std::string_view ValueAt(size_t i) const;
  // Every line followed by CR LF.
  std::string Text() const;

 private:
  int IndexOf(std::string_view name) const;  // -1 when absent
  std::vector<std::string> lines_;
};

// The lines of a text split at CR LF or a bare LF; a final line break adds no line.
std::vector<std::string> SplitLines(std::string_view text);

// `text` with '"' as "&quot;", '&' as "&amp;", '<' as "&lt;", '>' as "&gt;" and every other
// character unchanged; the text ends at its first NUL character.
std::string EscapeXmlAttr(std::string_view text);

// The multi-packet entry of a packet: <BEGIN DATAPACKET="name"/>, the packet and
// <END DATAPACKET="name"/>.
std::string WrapPacket(std::string_view name, std::string_view packet);

// A text packet with fields `names` and no rows; a field is r8 when its name followed by
// ';' occurs in `float_list` ("ZNESEK;KOLICINA;"), else string. Empty for no names.
std::string NewTextPacket(const std::vector<std::string>& names, std::string_view float_list);

// `packet` with one more row of the fields `names`, values taken from `values` by name
// (empty when absent); published under `output_names` when that is not empty. An empty
// packet starts a new text packet. Marked floating-point values lose every '.' and then
// have ',' turned into '.' (1.234,56 becomes 1234.56); "|#" in a value becomes CR LF.
// Returns the packet unchanged when `names` is empty or when a non-empty packet has no
// "</ROWDATA>". Throws EZoras "INTERNAL ERROR !" when `output_names` is not empty and
// its length differs from that of `names`.
std::string AppendTextRow(const std::vector<std::string>& names,
                          const std::vector<std::string>& output_names,
                          const TNameValueList& values, std::string_view packet,
                          std::string_view float_list);

// AppendTextRow with the name=value list given as text.
std::string MakeRowPacket(const std::vector<std::string>& names,
                          const std::vector<std::string>& output_names,
                          std::string_view name_value_text, std::string_view packet,
                          std::string_view float_list);

// `packet` with one more string field `name` whose value in the n-th row is the n-th line
// of `values_text`. Returns the packet unchanged when the name is empty or the packet has
// no "</FIELDS>". Throws EZoras "List index out of bounds (%d)" when `values_text` has
// fewer lines than the packet has rows.
std::string AddTextColumn(std::string_view name, std::string_view values_text,
                          std::string_view packet);

// The one-row `packet` with more string fields `names` (published under `output_names`
// when given) whose values come from the name=value text, appended to its row (to the
// last row when there are several; with no row only the fields are added). Returns the
// packet unchanged when `names` is empty or it has no "</FIELDS>". Throws EZoras
// "INTERNAL ERROR !" on output names of another length.
std::string AddRowFields(const std::vector<std::string>& names,
                         const std::vector<std::string>& output_names,
                         std::string_view name_value_text, std::string_view packet);

// Every CR LF, then every other CR, then every other LF replaced by "|#".
std::string EncodeLineBreaks(std::string_view text);
// Every "|#" replaced by CR LF.
std::string DecodeLineBreaks(std::string_view text);

}  // namespace zoras
