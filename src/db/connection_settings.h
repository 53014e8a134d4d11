// The database account the server logs in with: ZOR.INI, a small text file in the home
// folder or one of the two folders above it, holding the user name and password
// scrambled so that they cannot be read at a glance. The server only reads the file;
// `zorasctl scramble` produces its values.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zoras {

// The values of one ZOR.INI. Each is empty when the file or its line is missing.
struct TConnectionSettings {
  std::string user_name;        // USERNAME, descrambled
  std::string password;         // PASSWORD, descrambled
  std::string database_name;    // DATABASENAME, descrambled; not used by the server
  std::string test_production;  // TEST/PRODUKCIJA, as written; not used by the server
};

// The number of filler characters in front of every scrambled value.
inline constexpr size_t kScrambleFillerLength = 20;
// The longest text a ZOR.INI value can hold: 100 columns of hex pairs, less the filler.
inline constexpr size_t kMaxScrambledTextLength = 100 / 2 - kScrambleFillerLength;

// The ZOR.INI path for `folder` (made absolute against the working folder): folder/ZOR.INI
// if that file exists, else parent/ZOR.INI if that exists, else grandparent/ZOR.INI
// whether or not it exists. "/" is its own parent.
std::filesystem::path ConnectionSettingsPath(const std::filesystem::path& folder);

// Reads ZOR.INI for `folder` afresh. Never fails: a missing or unreadable file gives
// empty values, and the caller decides what a missing value means.
TConnectionSettings ReadConnectionSettings(const std::filesystem::path& folder);
// ReadConnectionSettings(HomeFolder()).
TConnectionSettings ReadConnectionSettings();

// The text a scrambled value stands for: hex pairs combined with the key "qvk", the
// first 20 characters (the filler) dropped. Non-hex characters count as 0 and a pair
// cut short at the end counts its missing digit as 0, so every input gives a result.
std::string Descramble(std::string_view value);

// The scrambled form of filler20 + text, as upper-case hex pairs, such that
// Descramble(Scramble(text, filler20)) == text. Throws std::invalid_argument unless
// filler20 has exactly 20 characters. Texts longer than kMaxScrambledTextLength give a
// value too long for ZOR.INI; refusing them is the caller's job.
std::string Scramble(std::string_view text, std::string_view filler20);

}  // namespace zoras
