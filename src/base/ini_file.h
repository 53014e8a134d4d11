// INI text as the server's settings files write it (the boot file, aliases.ini):
// "[section]" headers and "key=value" lines.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/messages.h"

namespace zoras {

struct TIniSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> entries;  // file order

  // The first value of `key` (letter case ignored); nullptr when the section has none.
  const std::string* Value(std::string_view key) const;
};

// The sections in file order. Section and key names ignore ASCII letter case; a section
// given twice is read as one. Blanks around names and values are trimmed, a value in
// double quotes loses them, lines starting with ';' or '#' are comments, lines without
// '=' or with an empty key are ignored, and so are entries before the first section and
// sections without a name. A UTF-8 byte order mark is skipped; lines end in LF or CR LF.
std::vector<TIniSection> ParseIniSections(std::string_view text);

// The whole content of a file; nothing when it does not exist. Any other failure throws
// EZoras with `unreadable` formatted with the path and the system's reason.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file,
                                         const TMessage& unreadable);

}  // namespace zoras
