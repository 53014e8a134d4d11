#include "packet/portal_xml.h"

#include "base/regional.h"
#include "packet/text_packet.h"

namespace zoras {
namespace {

std::string Element(std::string_view name, std::string_view content) {
  std::string out;
  out.reserve(2 * name.size() + content.size() + 5);
  out += '<';
  out += name;
  out += '>';
  out += content;
  out += "</";
  out += name;
  out += '>';
  return out;
}

std::string FirstCommaToPoint(std::string_view value) {
  std::string out(value);
  if (const size_t comma = out.find(','); comma != std::string::npos) out[comma] = '.';
  return out;
}

// The first child element named `name`; pugixml's own lookup wants a NUL-terminated name.
pugi::xml_node Child(const pugi::xml_node& node, std::string_view name) {
  if (name.empty()) return pugi::xml_node();
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && name == c.name()) return c;
  return pugi::xml_node();
}

}  // namespace

std::string XmlTextElement(std::string_view name, std::string_view text, bool force) {
  if (text.empty() && !force) return std::string();
  return Element(name, EscapeXmlAttr(text));
}

std::string XmlNumberElement(std::string_view name, std::string_view value, bool zero) {
  if (value.empty()) return Element(name, zero ? "0" : "");
  return Element(name, FirstCommaToPoint(value));
}

std::string XmlOptionalNumberElement(std::string_view name, std::string_view value) {
  if (value.empty()) {
    std::string out = "<";
    out += name;
    out += "/>";
    return out;
  }
  return Element(name, FirstCommaToPoint(value));
}

std::string XmlDateElement(std::string_view name, std::string_view pattern, TDateTime date,
                           bool force) {
  const std::string text =
      date.IsZero() ? std::string() : regional::FormatDateTimePattern(pattern, date);
  return XmlTextElement(name, text, force);
}

std::string GetChildText(const pugi::xml_node& node, std::string_view child, std::string_view def) {
  const pugi::xml_node c = Child(node, child);
  if (!c) return std::string(def);
  return c.text().get();
}

int64_t GetChildInt(const pugi::xml_node& node, std::string_view child, int64_t def) {
  const pugi::xml_node c = Child(node, child);
  int64_t v = 0;
  if (!c || !regional::TryParseInt(c.text().get(), &v)) return def;
  return v;
}

double GetChildFloat(const pugi::xml_node& node, std::string_view child, double def) {
  const pugi::xml_node c = Child(node, child);
  double v = 0;
  if (!c || !regional::TryParseFloat(c.text().get(), &v)) return def;
  return v;
}

TDateTime GetChildDate(const pugi::xml_node& node, std::string_view child, TDateTime def) {
  const pugi::xml_node c = Child(node, child);
  if (!c) return def;
  const std::string_view text = c.text().get();
  auto part = [&text](size_t from, size_t n, int64_t* out) {
    return from < text.size() && regional::TryParseInt(text.substr(from, n), out);
  };
  int64_t y, m, d;
  if (!part(0, 4, &y) || !part(5, 2, &m) || !part(8, 2, &d)) return def;
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return def;
  return TDateTime::TryEncodeDate(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d))
      .value_or(def);
}

bool GetChildBool(const pugi::xml_node& node, std::string_view child, bool def) {
  const pugi::xml_node c = Child(node, child);
  if (!c) return def;
  const std::string_view text = c.text().get();
  if (text == "true") return true;
  if (text == "false") return false;
  return def;
}

std::string GetChildValueList(const pugi::xml_node& node, std::string_view child,
                              std::string_view def) {
  std::string out;
  if (child.empty()) return std::string(def);
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element || child != c.name()) continue;
    const std::string_view text = c.text().get();
    if (text.empty()) continue;
    if (!out.empty()) out += ',';
    out += '\'';
    for (char ch : text) {
      if (ch == '\'') out += '\'';
      out += ch;
    }
    out += '\'';
  }
  return out.empty() ? std::string(def) : out;
}

bool IsInList(std::string_view text, std::initializer_list<std::string_view> list) {
  for (std::string_view entry : list)
    if (entry == text) return true;
  return false;
}

bool IsInList(std::string_view text, const std::vector<std::string>& list) {
  for (const std::string& entry : list)
    if (entry == text) return true;
  return false;
}

}  // namespace zoras
