// How the server runs on Linux: install or uninstall mode (a systemd unit takes the place
// of the service registration), service mode under systemd, or desktop mode in the
// foreground of a terminal; and the rule that only one serving instance runs at a time.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zoras {

inline constexpr const char* kServiceName = "ZORAS";

enum class TInstallAction { kNone, kInstall, kUninstall };

// The INSTALL or UNINSTALL switch among the arguments (after the program name): any
// letter case, introduced by '-', '/' or '\'.
TInstallAction FindInstallSwitch(const std::vector<std::string>& args);

// The unit file: $ZORAS_SYSTEMD_DIR (tests) or /etc/systemd/system, + "zoras.service".
std::filesystem::path ServiceUnitPath();

// The unit text for running `executable` with its files in `home`.
std::string ServiceUnitText(const std::filesystem::path& executable,
                            const std::filesystem::path& home);

// Writes or removes the unit file. Returns the line to show the operator; throws EZoras
// when the file cannot be written, or on uninstall when no unit is installed.
std::string InstallService(const std::filesystem::path& executable,
                           const std::filesystem::path& home);
std::string UninstallService();

// The account the installed unit runs the server as: its User= (root when the unit names
// none); nothing when no unit is installed or it cannot be read.
std::optional<std::string> ServiceAccount();

// True when the process runs as the account the unit is configured for (letter case
// ignored): then the server is in service mode.
bool IsServiceMode();

// The single-instance rule: a lock named ZORAS, held while the object lives and released
// by the system when the process dies. The lock file is $ZORAS_LOCK_FILE (tests), else
// /run/lock/ZORAS.lock, or /tmp/ZORAS.lock where /run/lock is not writable.
class TInstanceLock {
 public:
  // Nothing when another process holds the lock. Throws EZoras when the lock file
  // cannot be opened at all.
  static std::optional<TInstanceLock> TryAcquire();

  TInstanceLock(TInstanceLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TInstanceLock& operator=(TInstanceLock&&) = delete;
  ~TInstanceLock();

 private:
  explicit TInstanceLock(int fd) : fd_(fd) {}
  int fd_;
};

// Tells systemd (when it started us with a notification socket) that the server is
// ready, or that it is stopping. Does nothing outside systemd.
void NotifyServiceManager(const char* state);

}  // namespace zoras
