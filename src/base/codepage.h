// Conversion between the server's UTF-8 and Windows-1250, the code page of the stored
// passwords and of the portal's transport.
#pragma once

#include <string>
#include <string_view>

namespace zoras {

// The Windows-1250 bytes of UTF-8 `text`. False (and `out` unspecified) when the text is
// not UTF-8 or holds a character Windows-1250 cannot represent.
bool Utf8ToWindows1250(std::string_view text, std::string* out);

// The UTF-8 text of Windows-1250 `bytes`. False for the five byte values the code page
// leaves undefined.
bool Windows1250ToUtf8(std::string_view bytes, std::string* out);

}  // namespace zoras
