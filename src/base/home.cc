#include "base/home.h"

#include <cstdlib>
#include <system_error>

namespace zoras {

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe;
}

std::filesystem::path HomeFolder() {
  const char* home = std::getenv("ZORAS_HOME");
  if (home != nullptr && *home != '\0') return home;
  return ExecutablePath().parent_path();
}

std::filesystem::path BootFilePath(const std::filesystem::path& executable) {
  return HomeFolder() / executable.filename().replace_extension(".BOOT");
}

}  // namespace zoras
