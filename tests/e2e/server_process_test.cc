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

#include "support/raw_http.h"

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
  explicit ServerProcess(const std::string& boot_file) {
    home_ = fs::temp_directory_path() /
            ("zoras_e2e_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
    fs::remove_all(home_);
    fs::create_directories(home_);
    if (!boot_file.empty()) std::ofstream(home_ / "zoras.BOOT") << boot_file;
    const char* bin = std::getenv("ZORAS_BINARY_DIR");
    const std::string exe = std::string(bin ? bin : ".") + "/zoras";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setenv("ZORAS_HOME", home_.c_str(), 1);
      if (::chdir(home_.c_str()) != 0) _exit(127);
      int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
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

}  // namespace
}  // namespace zoras
