// Prepares a home folder the way an operator does before the first start: ZOR.INI with
// the scrambled database login, and the default database made by `zorasctl schema`.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace zoras::testing {

inline std::string BinaryDir() {
  const char* bin = std::getenv("ZORAS_BINARY_DIR");
  return bin ? bin : ".";
}

// Runs a command and returns its standard output; empty when it fails.
inline std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (::pclose(p) != 0) return {};
  return out;
}

// The ZOR.INI value of `text`, from the real tool.
inline std::string Scrambled(const std::string& text) {
  std::string v = RunCommand(BinaryDir() + "/zorasctl scramble '" + text + "'");
  while (!v.empty() && (v.back() == '\n' || v.back() == '\r')) v.pop_back();
  return v;
}

// Writes ZOR.INI (unless `with_login` is false) and creates the default database
// (unless `with_database` is false) in `home`. Returns false when a step failed.
inline bool PrepareServerHome(const std::filesystem::path& home, bool with_login = true,
                              bool with_database = true) {
  if (with_login) {
    const std::string user = Scrambled("zoras"), password = Scrambled("zoras");
    if (user.empty() || password.empty()) return false;
    std::ofstream(home / "ZOR.INI") << "USERNAME=" << user << "\r\nPASSWORD=" << password << "\r\n";
  }
  if (with_database &&
      RunCommand("ZORAS_HOME='" + home.string() + "' " + BinaryDir() + "/zorasctl schema").empty())
    return false;
  return true;
}

}  // namespace zoras::testing
