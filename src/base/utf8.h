// UTF-8 checks for text that enters the server from outside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zoras {

// Offset of the first byte that does not begin a well-formed UTF-8 sequence (overlong
// forms, surrogates and code points above U+10FFFF are not well-formed); npos when the
// whole text is well-formed.
size_t FindInvalidUtf8(std::string_view text);
inline bool IsValidUtf8(std::string_view text) {
  return FindInvalidUtf8(text) == std::string_view::npos;
}

// Appends the UTF-8 form of a code point; false (nothing appended) for U+0000, a
// surrogate or a value above U+10FFFF.
bool AppendUtf8(uint32_t cp, std::string* out);

// The first `max_chars` characters of UTF-8 `text` (all of it when shorter).
std::string CutUtf8(std::string_view text, size_t max_chars);

}  // namespace zoras
