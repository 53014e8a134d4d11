#include "host/debug_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "base/clock.h"
#include "host/boot_settings.h"

namespace zoras {
namespace {

using namespace std::literals;

const TDateTime kMarch5 = TDateTime::Encode(2008, 3, 5, 14, 2, 11, 250);

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class DebugLogTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zoras_log_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    SetDebugLogFolderForTesting(dir_);
    SetClockForTesting(kMarch5);
    SetDebugLog("D");
  }
  void TearDown() override {
    SetDebugLogFolderForTesting({});
    ResetClockForTesting();
    SetBootSettings(TBootSettings());
    std::filesystem::remove_all(dir_);
  }
  static void SetDebugLog(const std::string& value) {
    SetBootSettings(TBootSettings::Parse("[ZORAS]\nDEBUGLOG=" + value + "\n"));
  }
  std::string Log(TDateTime day) const { return ReadFile(dir_ / DebugLogFileName(day)); }
  std::filesystem::path dir_;
};

TEST_F(DebugLogTest, SwitchesFollowDebugLogExactly) {
  struct {
    const char* ini;
    bool debug, register_import;
  } cases[] = {
      {"[ZORAS]\nDEBUGLOG=D\n", true, false},
      {"[zoras]\ndebuglog = D \n", true, false},
      {"[ZORAS]\nDEBUGLOG=d\n", false, false},
      {"[ZORAS]\nDEBUGLOG=1\n", false, true},
      {"[ZORAS]\nDEBUGLOG=DD\n", false, false},
      {"[ZORAS]\nDEBUGLOG=\n", false, false},
      {"", false, false},
  };
  for (const auto& c : cases) {
    SetBootSettings(TBootSettings::Parse(c.ini));
    EXPECT_EQ(DebugLogEnabled(), c.debug) << c.ini;
    EXPECT_EQ(RegisterImportLogEnabled(), c.register_import) << c.ini;
  }
}

TEST_F(DebugLogTest, WritesExactLines) {
  EXPECT_EQ(DebugLogFileName(kMarch5), "zoras_log_20080305.log");
  WriteDebugLine("USER1", "TZORPoslovalnica.GetOrders: START");
  WriteDebugLine("", "TZORPoslovalnica.Login: START");
  EXPECT_EQ(Log(kMarch5),
            "05.03.2008 14:02:11 USR=USER1: TZORPoslovalnica.GetOrders: START\r\n"
            "05.03.2008 14:02:11 USR=: TZORPoslovalnica.Login: START\r\n");
}

TEST_F(DebugLogTest, WritesErrorEntryWithMaskedBody) {
  WriteDebugErrorEntry("Bad request",
                       "<Login>\n<APassword xsi:type=\"xsd:string\">tajno</APassword>\n</Login>");
  EXPECT_EQ(Log(kMarch5),
            "05.03.2008 14:02:11 Bad request\r\n"
            "05.03.2008 14:02:11 TWSWBBridge.DoCommandGet RequestInfo:\r\n"
            "<Login>\n<APassword xsi:type=\"xsd:string\">*****</APassword>\n</Login>\r\n");
}

TEST_F(DebugLogTest, EachDayHasItsOwnFile) {
  const TDateTime next_day = TDateTime::Encode(2008, 3, 6, 0, 0, 1);
  SetClockForTesting(TDateTime::Encode(2008, 3, 5, 23, 59, 59));
  WriteDebugLine("U", "one");
  SetClockForTesting(next_day);
  WriteDebugLine("U", "two");
  EXPECT_EQ(Log(kMarch5), "05.03.2008 23:59:59 USR=U: one\r\n");
  EXPECT_EQ(Log(next_day), "06.03.2008 00:00:01 USR=U: two\r\n");
}

TEST_F(DebugLogTest, NoFileWhenOff) {
  for (const char* value : {"d", "1", ""}) {
    SetDebugLog(value);
    WriteDebugLine("U", "message");
    WriteDebugErrorEntry("error", "<APassword>x</APassword>");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(DebugLogTest, DefaultsToWorkingDirectory) {
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  SetDebugLogFolderForTesting({});
  WriteDebugLine("U", "here");
  std::filesystem::current_path(saved);
  EXPECT_EQ(Log(kMarch5), "05.03.2008 14:02:11 USR=U: here\r\n");
}

TEST_F(DebugLogTest, UnwritableFileIsReportedNotThrown) {
  std::ofstream(dir_ / "file") << "x";
  const std::filesystem::path bad = dir_ / "file" / "sub";
  SetDebugLogFolderForTesting(bad);
  testing::internal::CaptureStderr();
  WriteDebugLine("U", "lost");
  WriteDebugErrorEntry("error", "body");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find((bad / "zoras_log_20080305.log").string()), std::string::npos) << err;
  EXPECT_NE(err.find("Not a directory"), std::string::npos) << err;
}

TEST_F(DebugLogTest, ConcurrentWritersGiveWholeLines) {
  constexpr int kThreads = 4, kLines = 100;
  std::vector<std::thread> threads;
  std::set<std::string> expected;
  for (int t = 0; t < kThreads; ++t) {
    const std::string message(3000, static_cast<char>('a' + t));
    expected.insert("05.03.2008 14:02:11 USR=T" + std::to_string(t) + ": " + message);
    threads.emplace_back([t, message] {
      for (int i = 0; i < kLines; ++i) WriteDebugLine("T" + std::to_string(t), message);
    });
  }
  for (auto& th : threads) th.join();

  const std::string log = Log(kMarch5);
  int count = 0;
  for (size_t pos = 0; pos < log.size(); ++count) {
    const size_t end = log.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    ASSERT_TRUE(expected.count(log.substr(pos, end - pos))) << "mixed line " << count;
    pos = end + 2;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

TEST(MaskPasswordsTest, MasksEveryPasswordElement) {
  const std::string m = "<APassword xsi:type=\"xsd:string\">*****</APassword>";
  const std::string mn = "<ANewPassword xsi:type=\"xsd:string\">*****</ANewPassword>";
  const std::string mc = "<AConfirmPassword xsi:type=\"xsd:string\">*****</AConfirmPassword>";
  const struct {
    const char* name;
    std::string body, expected;
  } cases[] = {
      {"no password", "<Login><AUsername>U</AUsername></Login>",
       "<Login><AUsername>U</AUsername></Login>"},
      {"Login password",
       "<AUsername xsi:type=\"xsd:string\">U</AUsername>"
       "<APassword xsi:type=\"xsd:string\">tajno</APassword><x/>",
       "<AUsername xsi:type=\"xsd:string\">U</AUsername>" + m + "<x/>"},
      {"no attributes", "<APassword>tajno</APassword>", m},
      {"empty password", "<APassword></APassword>", m},
      {"namespace prefix", "<ns1:APassword xsi:type=\"xsd:string\">s</ns1:APassword>", m},
      {"end tag with blanks", "<APassword>s</APassword \r\n>", m},
      {"several occurrences", "<APassword>a</APassword>-<APassword>b</APassword>", m + "-" + m},
      {"ChangePassword",
       "<APassword>a</APassword><ANewPassword>b</ANewPassword>"
       "<AConfirmPassword>c</AConfirmPassword>",
       m + mn + mc},
      {"self-closing", "<APassword/><APassword xsi:nil=\"true\" />",
       "<APassword/><APassword xsi:nil=\"true\" />"},
      {"self-closing then a password", "<APassword/><APassword>s</APassword>", "<APassword/>" + m},
      {"unterminated", "<APassword>tajno", "<APassword>tajno"},
      {"unterminated, then another name", "<APassword>a<ANewPassword>b</ANewPassword>",
       "<APassword>a" + mn},
      {"nested start tags", "<APassword>a<APassword>b</APassword>c</APassword>",
       m + "c</APassword>"},
      {"longer name", "<APasswordX>s</APasswordX>", "<APasswordX>s</APasswordX>"},
      {"name with a leading letter", "<XAPassword>s</XAPassword>", "<XAPassword>s</XAPassword>"},
      {"end tag of a longer name", "<APassword>s</APasswordX>", "<APassword>s</APasswordX>"},
      {"end tag alone", "s</APassword>", "s</APassword>"},
      {"no closing bracket", "<APassword s</APassword>", "<APassword s</APassword>"},
      {"line breaks kept", "a\r\n<APassword>\ns\n</APassword>\r\nb", "a\r\n" + m + "\r\nb"},
      {"garbage", std::string("\xff<\0<<APassword a=\xfe>\x01</APassword><<"sv),
       std::string("\xff<\0<"sv) + m + "<<"},
      {"empty body", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskPasswords(c.body), c.expected) << c.name;
}

// A quadratic search would take minutes on these bodies; a linear pass takes moments.
TEST(MaskPasswordsTest, StaysLinearOnHostileBodies) {
  std::string open;
  for (int i = 0; i < 200'000; ++i) open += "<APassword>";
  EXPECT_EQ(MaskPasswords(open + "</ANewPassword>"), open + "</ANewPassword>");
  EXPECT_EQ(MaskPasswords(open + "</APassword>"),
            "<APassword xsi:type=\"xsd:string\">*****</APassword>");

  std::string unclosed;
  for (int i = 0; i < 200'000; ++i) unclosed += "<x:APassword ";
  EXPECT_EQ(MaskPasswords(unclosed + "></APassword>"),
            unclosed.substr(0, unclosed.size() - 13) +
                "<APassword xsi:type=\"xsd:string\">*****</APassword>");
}

}  // namespace
}  // namespace zoras
