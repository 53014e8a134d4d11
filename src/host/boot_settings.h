// The boot settings: the entries of section [ZORAS] of the boot file next to the
// executable (see home.h), read once at start-up and only read afterwards. A change to
// the file takes effect at the next start.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zoras {

// The one section of the boot file the server reads.
inline constexpr std::string_view kBootSection = "ZORAS";

// The keys read anywhere in the server; there are no others.
namespace boot_key {
inline constexpr std::string_view kAsPort = "ASPORT";
inline constexpr std::string_view kMaxCon = "MAXCON";
inline constexpr std::string_view kMinCon = "MINCON";
inline constexpr std::string_view kReqTo = "REQTO";
inline constexpr std::string_view kIdleTo = "IDLETO";
inline constexpr std::string_view kCleanup = "CLEANUP";
inline constexpr std::string_view kSidTo = "SIDTO";
inline constexpr std::string_view kAlias = "ALIAS";
inline constexpr std::string_view kDebugLog = "DEBUGLOG";
}  // namespace boot_key

// The name=value list of one boot file, in file order. The file follows the usual INI
// conventions: section and key names ignore letter case; blanks around keys and values
// are trimmed; lines starting with ';' or '#' are comments; lines without '=' are
// ignored; a value in matching double quotes loses them; a UTF-8 BOM and CR LF line
// ends are accepted. A section given twice is read as one.
class TBootSettings {
 public:
  TBootSettings() = default;  // empty list

  // The entries of every [ZORAS] section of `ini_text`; other sections are skipped.
  static TBootSettings Parse(std::string_view ini_text);
  // Parse() of the file's content; an absent file gives the empty list. Throws EZoras
  // when the file exists but cannot be read.
  static TBootSettings LoadFile(const std::filesystem::path& file);

  // The value of the first entry named `key` (letter case ignored); "" when absent.
  std::string Value(std::string_view key) const;
  // The value read as a decimal integer (optional sign, digits, must fit an int);
  // `default_value` when absent, empty or not such an integer.
  int IntOr(std::string_view key, int default_value) const;
  // As IntOr() without a default: throws EZoras "'%s' is not a valid integer value"
  // with the value's text ("" when absent).
  int StrictInt(std::string_view key) const;
  // SIDTO in minutes; 10 unless SIDTO is an integer.
  int SessionTimeout() const;

  // Every entry as written (key case kept, duplicates kept), in file order.
  const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

// The keys that have defaults. Each is read leniently: an absent, empty or non-numeric
// value gives the default shown. No range checks are made.
struct TBootOptions {
  // MAXCON: the largest number of database connections the pool holds. Must be >= 1.
  int max_connections = 5;
  // MINCON: connections opened at start; 0 closes the first connection again once the
  // start-up settings are loaded.
  int min_connections = 1;
  // REQTO: seconds a request waits for a free connection before it fails.
  int request_timeout_seconds = 10;
  // IDLETO: minutes after which the clean-up closes an idle connection.
  int idle_timeout_minutes = 10;
  // CLEANUP: minutes between two runs of the pool clean-up.
  int cleanup_interval_minutes = 60;
  // SIDTO: minutes since its last activity after which a session is no longer valid.
  int session_timeout_minutes = 10;
  // ALIAS: the database alias every connection opens when the alias registry knows it;
  // empty for none.
  std::string alias;
  // DEBUGLOG: "D" turns on the daily debug log, "1" the bank register import's error
  // log; compared exactly (see debug_log.h).
  std::string debug_log;
};

// The options from `settings`, each key absent or unusable taking its default.
TBootOptions ReadBootOptions(const TBootSettings& settings);

// ASPORT, the HTTP port, which has no default. Throws EZoras "'%s' is not a valid
// integer value" when it is absent or not an integer.
int ReadServerPort(const TBootSettings& settings);

// The process-wide list. Written once at start-up before any other thread exists, then
// only read, without locks.
const TBootSettings& BootSettings();
// Replaces the process-wide list. For start-up and tests only: not safe while other
// threads read the list.
void SetBootSettings(TBootSettings settings);
// Start-up: loads BootFilePath(ExecutablePath()) into the process-wide list. Throws
// EZoras when the file exists but cannot be read.
void LoadBootSettings();

}  // namespace zoras
