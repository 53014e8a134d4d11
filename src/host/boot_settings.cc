#include "host/boot_settings.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/home.h"
#include "base/ini_file.h"
#include "base/messages.h"

namespace zoras {
namespace {

std::string_view Trim(std::string_view s) { return TrimBlanks(s); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// Optional sign and decimal digits only, after trimming; the value must fit an int.
// Hex forms and digit grouping are not integers here.
bool ParseInt(std::string_view text, int* out) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  // Accumulate as a negative number so that INT_MIN fits.
  long long v = 0;
  for (char c : text) {
    v = v * 10 - (c - '0');
    if (v < -2147483648LL) return false;
  }
  if (!negative) {
    v = -v;
    if (v > 2147483647LL) return false;
  }
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

TBootSettings TBootSettings::Parse(std::string_view ini_text) {
  TBootSettings result;
  for (TIniSection& section : ParseIniSections(ini_text))
    if (SameText(section.name, kBootSection)) result.entries_ = std::move(section.entries);
  return result;
}

TBootSettings TBootSettings::LoadFile(const std::filesystem::path& file) {
  const std::optional<std::string> text = ReadWholeFile(file, msg::ecBootFileUnreadable);
  return text ? Parse(*text) : TBootSettings();
}

std::string TBootSettings::Value(std::string_view key) const {
  for (const auto& [name, value] : entries_)
    if (SameText(name, key)) return value;
  return {};
}

int TBootSettings::IntOr(std::string_view key, int default_value) const {
  int v;
  return ParseInt(Value(key), &v) ? v : default_value;
}

int TBootSettings::StrictInt(std::string_view key) const {
  const std::string text = Value(key);
  int v;
  if (!ParseInt(text, &v)) throw EZoras(Msg(msg::ecInvalidInteger, {text}));
  return v;
}

int TBootSettings::SessionTimeout() const {
  return IntOr(boot_key::kSidTo, TBootOptions().session_timeout_minutes);
}

TBootOptions ReadBootOptions(const TBootSettings& settings) {
  TBootOptions o;
  o.max_connections = settings.IntOr(boot_key::kMaxCon, o.max_connections);
  o.min_connections = settings.IntOr(boot_key::kMinCon, o.min_connections);
  o.request_timeout_seconds = settings.IntOr(boot_key::kReqTo, o.request_timeout_seconds);
  o.idle_timeout_minutes = settings.IntOr(boot_key::kIdleTo, o.idle_timeout_minutes);
  o.cleanup_interval_minutes = settings.IntOr(boot_key::kCleanup, o.cleanup_interval_minutes);
  o.session_timeout_minutes = settings.SessionTimeout();
  o.alias = settings.Value(boot_key::kAlias);
  o.debug_log = settings.Value(boot_key::kDebugLog);
  return o;
}

int ReadServerPort(const TBootSettings& settings) { return settings.StrictInt(boot_key::kAsPort); }

namespace {
TBootSettings& ProcessSettings() {
  // Never destroyed: request threads may still read it while the process exits.
  static TBootSettings* settings = new TBootSettings();
  return *settings;
}
}  // namespace

const TBootSettings& BootSettings() { return ProcessSettings(); }

void SetBootSettings(TBootSettings settings) { ProcessSettings() = std::move(settings); }

void LoadBootSettings() {
  SetBootSettings(TBootSettings::LoadFile(BootFilePath(ExecutablePath())));
}

}  // namespace zoras
