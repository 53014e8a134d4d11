#include "db/connection_settings.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "base/ascii.h"
#include "base/home.h"

namespace zoras {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kScrambleKey = "qvk";
constexpr size_t kMaxValueColumns = 100;
constexpr size_t kMaxDescrambledLength = 100;

// Control characters count as blanks too, so a CR left by a CR LF line end or a tab
// never becomes part of a key or value.
std::string_view Trim(std::string_view s) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  c = AsciiUpper(c);
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// The key occupies the first key.size() columns and the value starts one column after
// it. Because the key is cut out by column before trimming, a line indented by a blank
// does not match.
bool MatchKey(std::string_view line, std::string_view key, std::string* value) {
  if (!EqualsIgnoreCase(Trim(line.substr(0, key.size())), key)) return false;
  const size_t start = key.size() + 1;
  *value = start < line.size() ? std::string(Trim(line.substr(start, kMaxValueColumns))) : "";
  return true;
}

fs::path AbsoluteFolder(const fs::path& folder) {
  std::error_code ec;
  fs::path abs = folder.empty() ? fs::current_path(ec) : fs::absolute(folder, ec);
  if (ec) abs = folder;
  abs = abs.lexically_normal();
  // "/a/b/" names the folder b; without this its parent would come out as "/a/b".
  if (!abs.has_filename() && abs.has_relative_path()) abs = abs.parent_path();
  return abs;
}

bool FileExists(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

}  // namespace

fs::path ConnectionSettingsPath(const fs::path& folder) {
  static constexpr const char* kFileName = "ZOR.INI";
  fs::path dir = AbsoluteFolder(folder);
  for (int level = 0; level < 2; ++level) {
    if (FileExists(dir / kFileName)) return dir / kFileName;
    dir = dir.parent_path();  // "/" stays "/"
  }
  return dir / kFileName;
}

TConnectionSettings ReadConnectionSettings(const fs::path& folder) {
  TConnectionSettings result;
  std::ifstream in(ConnectionSettingsPath(folder), std::ios::binary);
  if (!in) return result;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string_view rest = text;
  // Editors on other systems like to put a byte order mark in front of the first key.
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);

  std::string user_name, password, database_name;
  while (!rest.empty()) {
    const size_t eol = rest.find_first_of("\r\n");
    const std::string_view line = rest.substr(0, eol);
    rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
    std::string value;
    // Each match overwrites, so the last line of a key wins.
    if (MatchKey(line, "USERNAME", &value)) {
      user_name = std::move(value);
    } else if (MatchKey(line, "PASSWORD", &value)) {
      password = std::move(value);
    } else if (MatchKey(line, "DATABASENAME", &value)) {
      database_name = std::move(value);
    } else if (MatchKey(line, "TEST/PRODUKCIJA", &value)) {
      result.test_production = std::move(value);
    }
  }
  result.user_name = Descramble(user_name);
  result.password = Descramble(password);
  result.database_name = Descramble(database_name);
  return result;
}

TConnectionSettings ReadConnectionSettings() { return ReadConnectionSettings(HomeFolder()); }

std::string Descramble(std::string_view value) {
  std::string out;
  size_t n = 0;  // pairs read; the key restarts at its first character for every value
  for (size_t i = 0; i < value.size(); i += 2, ++n) {
    const int high = HexDigit(value[i]);
    const int low = i + 1 < value.size() ? HexDigit(value[i + 1]) : 0;
    if (n < kScrambleFillerLength) continue;
    if (out.size() == kMaxDescrambledLength) break;
    out += static_cast<char>((high << 4 | low) ^ kScrambleKey[n % kScrambleKey.size()]);
  }
  return out;
}

std::string Scramble(std::string_view text, std::string_view filler20) {
  if (filler20.size() != kScrambleFillerLength)
    throw std::invalid_argument("Scramble: the filler must have exactly 20 characters");
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string plain(filler20);
  plain += text;
  std::string out;
  out.reserve(plain.size() * 2);
  for (size_t n = 0; n < plain.size(); ++n) {
    const auto c = static_cast<unsigned char>(plain[n] ^ kScrambleKey[n % kScrambleKey.size()]);
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
  }
  return out;
}

}  // namespace zoras
