// The zoras binary as an operator runs it: boot file next to it (ZORAS_HOME), the
// start-up error for a bad ASPORT, the debug log in the working folder, a clean stop on
// SIGTERM and SIGINT.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <sys/un.h>
#include <cstring>
#include <regex>

#include "base/machine.h"

#include "support/raw_http.h"
#include "support/server_home.h"

namespace zoras {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

uint16_t FreePort() {
  // Bind port 0, read what the system chose, release it.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// A zoras process with its own home folder, which is also its working folder.
class ServerProcess {
 public:
  // Each process gets its own home; `lock_file` and `unit_dir` may be shared between
  // processes of one test (they default to files in the home).
  explicit ServerProcess(const std::string& boot_file, std::vector<std::string> args = {},
                         fs::path lock_file = {}, fs::path unit_dir = {},
                         std::string notify_socket = {}, bool with_login = true,
                         bool with_database = true) {
    home_ = fs::temp_directory_path() /
            ("zoras_e2e_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
    fs::remove_all(home_);
    fs::create_directories(home_);
    if (!boot_file.empty()) std::ofstream(home_ / "zoras.BOOT") << boot_file;
    EXPECT_TRUE(testing::PrepareServerHome(home_, with_login, with_database));
    if (lock_file.empty()) lock_file = home_ / "ZORAS.lock";
    if (unit_dir.empty()) unit_dir = home_;
    const std::string exe = BinaryPath();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setenv("ZORAS_HOME", home_.c_str(), 1);
      ::setenv("ZORAS_LOCK_FILE", lock_file.c_str(), 1);
      ::setenv("ZORAS_SYSTEMD_DIR", unit_dir.c_str(), 1);
      if (!notify_socket.empty())
        ::setenv("NOTIFY_SOCKET", notify_socket.c_str(), 1);
      else
        ::unsetenv("NOTIFY_SOCKET");
      if (::chdir(home_.c_str()) != 0) _exit(127);
      int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(err, 2);
      std::vector<char*> argv{const_cast<char*>(exe.c_str())};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(exe.c_str(), argv.data());
      _exit(127);
    }
  }
  ~ServerProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    fs::remove_all(home_);
  }

  // Waits until the port answers; false when the process ended first.
  bool WaitServing(uint16_t port) {
    for (int i = 0; i < 200; ++i) {
      testing::RawConnection c(port);
      if (c.Ok() && c.Send(testing::Get("/wsdl")) && testing::StatusOf(c.ReadResponse(1s)) == 200)
        return true;
      if (Exited(0ms)) return false;
      std::this_thread::sleep_for(25ms);
    }
    return false;
  }

  // True when the process has ended within `timeout`; its exit code is then ExitCode().
  bool Exited(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    do {
      int status = 0;
      if (!exited_ && ::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (exited_) return true;
      std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < until);
    return exited_;
  }

  void Signal(int sig) { ::kill(pid_, sig); }
  static std::string BinaryPath() {
    const char* bin = std::getenv("ZORAS_BINARY_DIR");
    return std::string(bin ? bin : ".") + "/zoras";
  }
  int ExitCode() const { return exit_code_; }
  const fs::path& Home() const { return home_; }
  std::string Stdout() const { return ReadFile(home_ / "stdout.txt"); }
  std::string Stderr() const { return ReadFile(home_ / "stderr.txt"); }

 private:
  static inline int counter_ = 0;
  fs::path home_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int exit_code_ = -1;
};

TEST(ServerProcess, RefusesToStartWithoutAValidPort) {
  struct Case {
    const char* boot;
    const char* error;
  } cases[] = {
      {"", "zoras: '' is not a valid integer value\n"},
      {"[OTHER]\nASPORT=8080\n", "zoras: '' is not a valid integer value\n"},
      {"[ZORAS]\nASPORT=abc\n", "zoras: 'abc' is not a valid integer value\n"},
  };
  for (const Case& c : cases) {
    ServerProcess p(c.boot);
    ASSERT_TRUE(p.Exited(10s)) << c.boot;
    EXPECT_NE(p.ExitCode(), 0) << c.boot;
    EXPECT_EQ(p.Stderr(), c.error) << c.boot;
  }
}

TEST(ServerProcess, ServesFromALowerCaseBootFileAndStopsOnSignals) {
  for (int sig : {SIGTERM, SIGINT}) {
    const uint16_t port = FreePort();
    ServerProcess p("; boot settings\n[zoras]\nasport = " + std::to_string(port) +
                    "\ndebuglog=D\n");
    ASSERT_TRUE(p.WaitServing(port)) << p.Stderr();
    EXPECT_NE(p.Stdout().find("ZORAS verzija "), std::string::npos);

    // A request that fails before any operation runs lands in the day's log, in the
    // working folder.
    testing::RawConnection c(port);
    ASSERT_TRUE(c.Send(testing::Post("/soap", "<not-soap")));
    EXPECT_EQ(testing::StatusOf(c.ReadResponse()), 500);
    bool logged = false;
    for (const auto& f : fs::directory_iterator(p.Home()))
      if (f.path().filename().string().rfind("zoras_log_", 0) == 0)
        logged = ReadFile(f.path()).find("TWSWBBridge.DoCommandGet RequestInfo:\r\n<not-soap") !=
                 std::string::npos;
    EXPECT_TRUE(logged);

    p.Signal(sig);
    ASSERT_TRUE(p.Exited(10s));
    EXPECT_EQ(p.ExitCode(), 0);
    EXPECT_TRUE(p.Stderr().empty()) << p.Stderr();
  }
}

std::string Boot(uint16_t port) { return "[ZORAS]\nASPORT=" + std::to_string(port) + "\n"; }

TEST(ServerProcess, DoesNotServeWithoutItsDatabaseOrLogin) {
  struct Case {
    bool login, database;
    std::string error;
  } cases[] = {
      {true, false, "zoras.db does not exist; create it with: zorasctl schema"},
      {false, true, "zoras: Manjka Database username.\n"},
  };
  for (const Case& c : cases) {
    const uint16_t port = FreePort();
    ServerProcess p(Boot(port), {}, {}, {}, {}, c.login, c.database);
    ASSERT_TRUE(p.Exited(10s));
    EXPECT_EQ(p.ExitCode(), 1);
    EXPECT_NE(p.Stderr().find(c.error), std::string::npos) << p.Stderr();
    testing::RawConnection conn(port);
    EXPECT_FALSE(conn.Ok());
  }
}

TEST(ServerProcess, DesktopModeShowsTheVersionAndASecondInstanceEndsAtOnce) {
  const fs::path lock = fs::temp_directory_path() / ("zoras_lock_" + std::to_string(::getpid()));
  const uint16_t port = FreePort();
  ServerProcess first(Boot(port), {}, lock);
  ASSERT_TRUE(first.WaitServing(port)) << first.Stderr();
  EXPECT_TRUE(
      std::regex_search(first.Stdout(), std::regex("^ZORAS verzija \\d+\\.\\d+\\.\\d+\\.\\d+\n")))
      << first.Stdout();

  ServerProcess second(Boot(FreePort()), {}, lock);
  ASSERT_TRUE(second.Exited(10s));
  EXPECT_EQ(second.ExitCode(), 0);
  EXPECT_EQ(second.Stderr(), "ZORAS že teče v ozadju !\n");
  EXPECT_TRUE(first.WaitServing(port));

  // Installing takes no lock, so it works beside the serving instance.
  ServerProcess install(Boot(FreePort()), {"-install"}, lock);
  ASSERT_TRUE(install.Exited(10s));
  EXPECT_EQ(install.ExitCode(), 0) << install.Stderr();
  first.Signal(SIGTERM);
  ASSERT_TRUE(first.Exited(10s));
  fs::remove(lock);
}

TEST(ServerProcess, InstallAndUninstallWriteAndRemoveTheUnit) {
  const fs::path units = fs::temp_directory_path() / ("zoras_units_" + std::to_string(::getpid()));
  fs::create_directories(units);
  {
    ServerProcess p(Boot(FreePort()), {"-InStAlL"}, {}, units);
    ASSERT_TRUE(p.Exited(10s));
    EXPECT_EQ(p.ExitCode(), 0) << p.Stderr();
    const std::string unit = ReadFile(units / "zoras.service");
    EXPECT_NE(unit.find("ExecStart=" + ServerProcess::BinaryPath()), std::string::npos) << unit;
    EXPECT_NE(unit.find("Environment=ZORAS_HOME=" + p.Home().string()), std::string::npos);
    EXPECT_NE(unit.find("Type=notify"), std::string::npos);
  }
  for (const char* sw : {"/UNINSTALL", "\\uninstall"}) {
    ServerProcess p(Boot(FreePort()), {sw}, {}, units);
    ASSERT_TRUE(p.Exited(10s));
    if (std::string(sw) == "/UNINSTALL") {
      EXPECT_EQ(p.ExitCode(), 0) << p.Stderr();
      EXPECT_FALSE(fs::exists(units / "zoras.service"));
    } else {
      // Nothing left to remove: a clear error.
      EXPECT_NE(p.ExitCode(), 0);
      EXPECT_NE(p.Stderr().find("is not installed"), std::string::npos) << p.Stderr();
    }
  }
  // A bad port stops even the install, as the server object is made first.
  ServerProcess bad("[ZORAS]\nASPORT=x\n", {"-install"}, {}, units);
  ASSERT_TRUE(bad.Exited(10s));
  EXPECT_NE(bad.ExitCode(), 0);
  EXPECT_FALSE(fs::exists(units / "zoras.service"));
  fs::remove_all(units);
}

TEST(ServerProcess, ServiceModeReportsReadinessToTheServiceManager) {
  const fs::path units = fs::temp_directory_path() / ("zoras_svc_" + std::to_string(::getpid()));
  fs::create_directories(units);
  std::ofstream(units / "zoras.service")
      << "[Unit]\nDescription=x\n\n[Service]\nUser=" << CurrentUserName() << "\n";
  const std::string sock_path = (units / "notify.sock").string();
  const int sock = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, sock_path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  auto receive = [sock]() {
    pollfd p{sock, POLLIN, 0};
    if (::poll(&p, 1, 10'000) <= 0) return std::string();
    char buf[256];
    const ssize_t n = ::recv(sock, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
  };

  const uint16_t port = FreePort();
  ServerProcess p(Boot(port), {}, {}, units, sock_path);
  EXPECT_EQ(receive(), "READY=1");
  ASSERT_TRUE(p.WaitServing(port)) << p.Stderr();
  EXPECT_EQ(p.Stdout().find("ZORAS verzija"), std::string::npos);
  p.Signal(SIGTERM);
  EXPECT_EQ(receive(), "STOPPING=1");
  ASSERT_TRUE(p.Exited(10s));
  EXPECT_EQ(p.ExitCode(), 0);
  ::close(sock);
  fs::remove_all(units);
}

}  // namespace
}  // namespace zoras
