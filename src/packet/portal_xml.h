// Small XML element writers and readers of the portal protocol. The writers give the
// element's text; the readers take one child element of a parsed node.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"

namespace zoras {

// <name>text</name> with the text escaped by EscapeXmlAttr; the empty text when `text` is
// empty and `force` is clear.
std::string XmlTextElement(std::string_view name, std::string_view text, bool force);
// <name>value</name> with the value's first ',' turned into '.'; an empty value is written
// as 0 when `zero` is set, else as empty content.
std::string XmlNumberElement(std::string_view name, std::string_view value, bool zero);
// As XmlNumberElement for a value that is not empty; <name/> when it is.
std::string XmlOptionalNumberElement(std::string_view name, std::string_view value);
// XmlTextElement of `date` formatted with the date-time `pattern`
// (regional::FormatDateTimePattern); the zero date gives the empty text.
std::string XmlDateElement(std::string_view name, std::string_view pattern, TDateTime date,
                           bool force);

// The text of the first child element `child` of `node`, as it is (UTF-8); `def` when
// there is no such child or `child` is empty.
std::string GetChildText(const pugi::xml_node& node, std::string_view child, std::string_view def);
// The child's text as a decimal integer with optional sign; `def` when absent, empty or
// not an integer.
int64_t GetChildInt(const pugi::xml_node& node, std::string_view child, int64_t def);
// The child's text as a number with the regional decimal comma (a point is not accepted);
// `def` when absent, empty or not such a number.
double GetChildFloat(const pugi::xml_node& node, std::string_view child, double def);
// The child's text read by position as yyyy-mm-dd (characters 1-4, 6-7, 9-10; anything
// after is ignored); `def` when absent or not a valid date.
TDateTime GetChildDate(const pugi::xml_node& node, std::string_view child, TDateTime def);
// "true" gives true and "false" false (exactly, lower case); anything else gives `def`.
bool GetChildBool(const pugi::xml_node& node, std::string_view child, bool def);
// Every non-empty child `child`, each as an SQL string literal ('it''s'), joined by ','
// ("'EUR','USD'"); `def` when there is none.
std::string GetChildValueList(const pugi::xml_node& node, std::string_view child,
                              std::string_view def);

// True when `text` equals one of the entries exactly (letter case matters).
bool IsInList(std::string_view text, std::initializer_list<std::string_view> list);
bool IsInList(std::string_view text, const std::vector<std::string>& list);

}  // namespace zoras
