// Base64 (RFC 4648, with padding) for the bin.hex columns of data packets.
#pragma once

#include <string>
#include <string_view>

namespace zoras {

// Appends the base64 text of `bytes` to `out`.
void AppendBase64(std::string& out, std::string_view bytes);

// Decodes base64 text; white space between the characters is skipped (packets from other
// writers may break long values into lines). False when the text is not base64.
bool DecodeBase64(std::string_view text, std::string* bytes);

}  // namespace zoras
