// The message catalogue: every text the server shows a user, beside its message code.
// Lookup of a code gives its default text, so the code is only a name for the text.
#pragma once

#include <string>
#include <string_view>

namespace zoras {

struct TMessage {
  std::string_view code;
  std::string_view text;
};

// Formats a message the way its text asks: each "%s" or "%d" takes the next argument in
// turn (arguments are already text); "%%" is a percent sign. Missing arguments leave
// the placeholder out.
std::string FormatMessage(std::string_view text, std::initializer_list<std::string_view> args);

inline std::string Msg(const TMessage& m) { return std::string(m.text); }
inline std::string Msg(const TMessage& m, std::initializer_list<std::string_view> args) {
  return FormatMessage(m.text, args);
}

namespace msg {

// General
inline constexpr TMessage ecInternalError{"ecInternalError", "INTERNAL ERROR !"};
inline constexpr TMessage ecZORASVersion{"ecZORASVersion", "ZORAS verzija %s"};

// Conversions of text to values
inline constexpr TMessage ecInvalidInteger{"SInvalidInteger", "'%s' is not a valid integer value"};
inline constexpr TMessage ecInvalidFloat{"SInvalidFloat", "'%s' is not a valid floating point value"};
inline constexpr TMessage ecInvalidDate{"SInvalidDate", "'%s' is not a valid date"};
inline constexpr TMessage ecInvalidTime{"SInvalidTime", "'%s' is not a valid time"};
inline constexpr TMessage ecInvalidDateTime{"SInvalidDateTime", "'%s' is not a valid date and time"};
inline constexpr TMessage ecInvalidBoolean{"SInvalidBoolean", "'%s' is not a valid boolean value"};

// Data packets
inline constexpr TMessage ecFieldNotFound{"SFieldNotFound", "Field '%s' not found"};
inline constexpr TMessage ecListIndexError{"SListIndexError", "List index out of bounds (%d)"};

// Service host
inline constexpr TMessage ecNotImplemented{"ecNotImplemented", "Operation %s is not implemented yet"};
inline constexpr TMessage ecIOError{"SInOutError", "I/O error %d"};

}  // namespace msg
}  // namespace zoras
