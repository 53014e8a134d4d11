#include "host/run_modes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/machine.h"

namespace zoras {
namespace {

std::string Trim(std::string s) {
  const char* ws = " \t\r\n";
  s.erase(0, s.find_first_not_of(ws));
  s.erase(s.find_last_not_of(ws) + 1);
  return s;
}

std::filesystem::path LockFilePath() {
  if (const char* f = std::getenv("ZORAS_LOCK_FILE"); f && *f) return f;
  if (access("/run/lock", W_OK) == 0) return "/run/lock/ZORAS.lock";
  return "/tmp/ZORAS.lock";
}

}  // namespace

TInstallAction FindInstallSwitch(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a.size() < 2 || (a[0] != '-' && a[0] != '/' && a[0] != '\\')) continue;
    const std::string_view name = std::string_view(a).substr(1);
    if (EqualsIgnoreCase(name, "INSTALL")) return TInstallAction::kInstall;
    if (EqualsIgnoreCase(name, "UNINSTALL")) return TInstallAction::kUninstall;
  }
  return TInstallAction::kNone;
}

std::filesystem::path ServiceUnitPath() {
  const char* dir = std::getenv("ZORAS_SYSTEMD_DIR");
  return std::filesystem::path(dir && *dir ? dir : "/etc/systemd/system") / "zoras.service";
}

std::string ServiceUnitText(const std::filesystem::path& executable,
                            const std::filesystem::path& home) {
  std::ostringstream u;
  u << "[Unit]\n"
    << "Description=ZORAS application server\n"
    << "After=network-online.target postgresql.service\n"
    << "Wants=network-online.target\n\n"
    << "[Service]\n"
    << "Type=notify\n"
    << "ExecStart=" << executable.string() << "\n"
    << "WorkingDirectory=" << home.string() << "\n"
    << "Environment=ZORAS_HOME=" << home.string() << "\n"
    << "KillSignal=SIGTERM\n"
    << "TimeoutStopSec=60\n"
    << "Restart=on-failure\n\n"
    << "[Install]\n"
    << "WantedBy=multi-user.target\n";
  return u.str();
}

std::string InstallService(const std::filesystem::path& executable,
                           const std::filesystem::path& home) {
  const std::filesystem::path unit = ServiceUnitPath();
  const std::filesystem::path tmp = unit.string() + ".tmp";
  {
    std::ofstream out(tmp, std::ios::trunc);
    out << ServiceUnitText(executable, home);
    out.close();
    if (!out)
      throw EZoras("Cannot write the service unit " + unit.string() + ": " + std::strerror(errno));
  }
  std::error_code ec;
  std::filesystem::rename(tmp, unit, ec);
  if (ec) {
    std::filesystem::remove(tmp, ec);
    throw EZoras("Cannot write the service unit " + unit.string() + ": " + ec.message());
  }
  return "Service " + std::string(kServiceName) + " installed as " + unit.string() +
         " (systemctl daemon-reload; systemctl enable --now zoras)";
}

std::string UninstallService() {
  const std::filesystem::path unit = ServiceUnitPath();
  std::error_code ec;
  if (!std::filesystem::remove(unit, ec)) {
    if (ec) throw EZoras("Cannot remove the service unit " + unit.string() + ": " + ec.message());
    throw EZoras("Service " + std::string(kServiceName) + " is not installed (" + unit.string() +
                 ")");
  }
  return "Service " + std::string(kServiceName) + " uninstalled (" + unit.string() + " removed)";
}

std::optional<std::string> ServiceAccount() {
  std::ifstream in(ServiceUnitPath());
  if (!in) return std::nullopt;
  std::string line, section, user = "root";
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line.front() == '[') {
      section = line;
      continue;
    }
    const size_t eq = line.find('=');
    if (section == "[Service]" && eq != std::string::npos && Trim(line.substr(0, eq)) == "User")
      user = Trim(line.substr(eq + 1));
  }
  return user;
}

bool IsServiceMode() {
  const std::optional<std::string> account = ServiceAccount();
  return account && EqualsIgnoreCase(*account, CurrentUserName());
}

std::optional<TInstanceLock> TInstanceLock::TryAcquire() {
  const std::filesystem::path path = LockFilePath();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0)
    throw EZoras("Cannot open the lock file " + path.string() + ": " + std::strerror(errno));
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return TInstanceLock(fd);
}

TInstanceLock::~TInstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

void NotifyServiceManager(const char* state) {
  const char* socket_path = std::getenv("NOTIFY_SOCKET");
  if (!socket_path || !*socket_path) return;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t len = std::strlen(socket_path);
  if (len >= sizeof addr.sun_path) return;
  std::memcpy(addr.sun_path, socket_path, len);
  if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';  // abstract socket
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  ::sendto(fd, state, std::strlen(state), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr),
           static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len));
  ::close(fd);
}

}  // namespace zoras
