#include "base/machine.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace zoras {

std::string ServerComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  std::string s(name);
  if (s.size() > 20) s.resize(20);
  return s;
}

std::string CurrentUserName() {
  const uid_t uid = geteuid();
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found) return pw.pw_name;
  return std::to_string(uid);
}

}  // namespace zoras
