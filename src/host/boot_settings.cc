#include "host/boot_settings.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/errors.h"
#include "base/messages.h"
#include "base/home.h"

namespace zoras {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

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
  if (ini_text.substr(0, 3) == "\xEF\xBB\xBF") ini_text.remove_prefix(3);
  bool in_section = false;
  while (!ini_text.empty()) {
    const size_t eol = ini_text.find('\n');
    std::string_view line = Trim(ini_text.substr(0, eol));
    ini_text.remove_prefix(eol == std::string_view::npos ? ini_text.size() : eol + 1);

    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      name = name.substr(0, name.find(']'));
      in_section = SameText(Trim(name), kBootSection);
      continue;
    }
    if (!in_section) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = Trim(line.substr(0, eq));
    std::string_view value = Trim(line.substr(eq + 1));
    if (key.empty()) continue;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    result.entries_.emplace_back(std::string(key), std::string(value));
  }
  return result;
}

TBootSettings TBootSettings::LoadFile(const std::filesystem::path& file) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!f) {
    if (errno == ENOENT) return TBootSettings();
    throw EZoras(Msg(msg::ecBootFileUnreadable, {file.string(), std::strerror(errno)}));
  }
  std::string text;
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) text.append(buf, n);
  if (std::ferror(f.get()))
    throw EZoras(Msg(msg::ecBootFileUnreadable, {file.string(), std::strerror(errno)}));
  return Parse(text);
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
