#include "host/boot_settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "base/errors.h"
#include "base/home.h"

namespace zoras {
namespace {

struct TValueCase {
  const char* name;
  std::string_view ini;
  std::string_view key;
  std::string_view expected;
};

TEST(BootSettingsTest, ParsesIniConventions) {
  const TValueCase cases[] = {
      {"lower-case section and key", "[zoras]\nasport=8080\n", "ASPORT", "8080"},
      {"key looked up in any case", "[ZORAS]\nDebugLog=D\n", "debuglog", "D"},
      {"blanks trimmed", "[ZORAS]\n \t ALIAS  =  zor db \t\n", "ALIAS", "zor db"},
      {"blanks in section header", "[ ZORAS ]\nALIAS=a\n", "ALIAS", "a"},
      {"quotes removed, inner blanks kept", "[ZORAS]\nALIAS=\" a b \"\n", "ALIAS", " a b "},
      {"unmatched quote kept", "[ZORAS]\nALIAS=\"ab\n", "ALIAS", "\"ab"},
      {"equals sign inside the value", "[ZORAS]\nALIAS=a=b\n", "ALIAS", "a=b"},
      {"empty value", "[ZORAS]\nALIAS=\n", "ALIAS", ""},
      {"semicolon comment", "[ZORAS]\n;ALIAS=x\n", "ALIAS", ""},
      {"hash comment", "[ZORAS]\n  # ALIAS=x\n", "ALIAS", ""},
      {"line without equals sign", "[ZORAS]\nALIAS\nMAXCON=3\n", "MAXCON", "3"},
      {"first of duplicates wins", "[ZORAS]\nALIAS=first\nalias=second\n", "ALIAS", "first"},
      {"BOM and CR LF", "\xEF\xBB\xBF[ZORAS]\r\nASPORT=80\r\nALIAS=x\r\n", "ASPORT", "80"},
      {"last line without line end", "[ZORAS]\nASPORT=81", "ASPORT", "81"},
      {"missing section", "ASPORT=80\n[OTHER]\nASPORT=81\n", "ASPORT", ""},
      {"section ends at the next one", "[ZORAS]\nMAXCON=3\n[OTHER]\nASPORT=81\n", "ASPORT", ""},
      {"section given twice", "[ZORAS]\nMAXCON=3\n[X]\n[ZORAS]\nASPORT=82\n", "ASPORT", "82"},
      {"similar section name", "[ZORAS2]\nASPORT=80\n", "ASPORT", ""},
      {"absent key", "[ZORAS]\nASPORT=80\n", "ALIAS", ""},
      {"empty text", "", "ASPORT", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TBootSettings::Parse(c.ini).Value(c.key), c.expected) << c.name;
  }
}

TEST(BootSettingsTest, EntriesKeepFileOrderAndDuplicates) {
  const auto s = TBootSettings::Parse("[Zoras]\nMaxCon=3\nALIAS=a\nmaxcon=4\n");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"MaxCon", "3"}, {"ALIAS", "a"}, {"maxcon", "4"}};
  EXPECT_EQ(s.Entries(), expected);
  EXPECT_EQ(s.IntOr("MAXCON", 0), 3);
}

struct TIntCase {
  std::string_view ini;      // the [ZORAS] line, or "" for an absent key
  std::optional<int> value;  // nothing: not an integer
  std::string_view shown;    // the text the strict error quotes
};

TEST(BootSettingsTest, ConvertsIntegers) {
  const TIntCase cases[] = {
      {"K=12", 12, ""},
      {"K=+12", 12, ""},
      {"K=-3", -3, ""},
      {"K=007", 7, ""},
      {"K=\" 42 \"", 42, ""},
      {"K=2147483647", 2147483647, ""},
      {"K=-2147483648", -2147483647 - 1, ""},
      {"K=2147483648", std::nullopt, "2147483648"},
      {"K=-2147483649", std::nullopt, "-2147483649"},
      {"K=99999999999999999999", std::nullopt, "99999999999999999999"},
      {"K=abc", std::nullopt, "abc"},
      {"K=12abc", std::nullopt, "12abc"},
      {"K=1.5", std::nullopt, "1.5"},
      {"K=1 000", std::nullopt, "1 000"},
      {"K=0x10", std::nullopt, "0x10"},
      {"K=+-1", std::nullopt, "+-1"},
      {"K=-", std::nullopt, "-"},
      {"K=", std::nullopt, ""},
      {"", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    const auto s = TBootSettings::Parse("[ZORAS]\n" + std::string(c.ini) + "\n");
    SCOPED_TRACE(c.ini);
    if (c.value) {
      EXPECT_EQ(s.IntOr("K", 77), *c.value);
      EXPECT_EQ(s.StrictInt("k"), *c.value);
    } else {
      EXPECT_EQ(s.IntOr("K", 77), 77);
      try {
        s.StrictInt("K");
        ADD_FAILURE() << "no error";
      } catch (const EZoras& e) {
        EXPECT_EQ(e.what(), "'" + std::string(c.shown) + "' is not a valid integer value");
      }
    }
  }
}

TEST(BootSettingsTest, OptionsTakeTheirDefaults) {
  for (const char* ini : {"",
                          "[ZORAS]\nMAXCON=x\nMINCON=\nREQTO=1,5\nIDLETO=a\nCLEANUP=-\n"
                          "SIDTO=abc\n"}) {
    SCOPED_TRACE(ini);
    const auto s = TBootSettings::Parse(ini);
    const TBootOptions o = ReadBootOptions(s);
    EXPECT_EQ(o.max_connections, 5);
    EXPECT_EQ(o.min_connections, 1);
    EXPECT_EQ(o.request_timeout_seconds, 10);
    EXPECT_EQ(o.idle_timeout_minutes, 10);
    EXPECT_EQ(o.cleanup_interval_minutes, 60);
    EXPECT_EQ(o.session_timeout_minutes, 10);
    EXPECT_EQ(s.SessionTimeout(), 10);
    EXPECT_EQ(o.alias, "");
    EXPECT_EQ(o.debug_log, "");
  }
}

TEST(BootSettingsTest, OptionsReadEveryKey) {
  const auto s = TBootSettings::Parse(
      "[zoras]\nasport=8080\nmaxcon=8\nmincon=0\nreqto=3\nidleto=4\ncleanup=-5\nsidto=30\n"
      "alias=ZORDB\ndebuglog=d\n");
  const TBootOptions o = ReadBootOptions(s);
  EXPECT_EQ(ReadServerPort(s), 8080);
  EXPECT_EQ(o.max_connections, 8);
  EXPECT_EQ(o.min_connections, 0);
  EXPECT_EQ(o.request_timeout_seconds, 3);
  EXPECT_EQ(o.idle_timeout_minutes, 4);
  EXPECT_EQ(o.cleanup_interval_minutes, -5);  // no range checks
  EXPECT_EQ(o.session_timeout_minutes, 30);
  EXPECT_EQ(s.SessionTimeout(), 30);
  EXPECT_EQ(o.alias, "ZORDB");
  EXPECT_EQ(o.debug_log, "d");
}

TEST(BootSettingsTest, ServerPortIsStrict) {
  struct {
    const char* ini;
    const char* message;
  } cases[] = {
      {"[ZORAS]\nASPORT=abc\n", "'abc' is not a valid integer value"},
      {"[ZORAS]\nMAXCON=3\n", "'' is not a valid integer value"},
      {"", "'' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    try {
      ReadServerPort(TBootSettings::Parse(c.ini));
      ADD_FAILURE() << c.ini;
    } catch (const EZoras& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

class BootFileTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zoras_boot_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    if (const char* home = std::getenv("ZORAS_HOME")) saved_home_ = home;
  }
  void TearDown() override {
    if (saved_home_)
      ::setenv("ZORAS_HOME", saved_home_->c_str(), 1);
    else
      ::unsetenv("ZORAS_HOME");
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
  std::optional<std::string> saved_home_;
};

TEST_F(BootFileTest, LoadsFileAndTreatsAbsentFileAsEmpty) {
  std::ofstream(dir_ / "zoras.BOOT", std::ios::binary) << "[ZORAS]\r\nASPORT=8080\r\n";
  EXPECT_EQ(TBootSettings::LoadFile(dir_ / "zoras.BOOT").Value("ASPORT"), "8080");
  EXPECT_TRUE(TBootSettings::LoadFile(dir_ / "missing.BOOT").Entries().empty());
}

TEST_F(BootFileTest, UnreadableFileIsAnError) {
  // A folder where the file should be: it exists, so silently ignoring it would hide
  // the operator's mistake behind a missing ASPORT.
  std::filesystem::create_directories(dir_ / "zoras.BOOT");
  EXPECT_THROW(TBootSettings::LoadFile(dir_ / "zoras.BOOT"), EZoras);
}

TEST_F(BootFileTest, BootFileLivesInTheHomeFolder) {
  ::unsetenv("ZORAS_HOME");
  const std::filesystem::path exe = ExecutablePath();
  EXPECT_EQ(exe.filename(), "host_tests");
  EXPECT_TRUE(exe.is_absolute());
  EXPECT_EQ(HomeFolder(), exe.parent_path());
  EXPECT_EQ(BootFilePath(exe), exe.parent_path() / "host_tests.BOOT");

  ::setenv("ZORAS_HOME", "", 1);
  EXPECT_EQ(HomeFolder(), exe.parent_path());

  ::setenv("ZORAS_HOME", dir_.c_str(), 1);
  EXPECT_EQ(HomeFolder(), dir_);
  EXPECT_EQ(BootFilePath("/opt/zoras/bin/zoras"), dir_ / "zoras.BOOT");
  EXPECT_EQ(BootFilePath("C:/ZORAS/x.exe"), dir_ / "x.BOOT");
  EXPECT_EQ(BootFilePath("zoras.tar.gz"), dir_ / "zoras.tar.BOOT");
}

TEST_F(BootFileTest, ProcessWideListIsReplacedWhole) {
  SetBootSettings(TBootSettings::Parse("[ZORAS]\nSIDTO=15\n"));
  EXPECT_EQ(BootSettings().SessionTimeout(), 15);
  ::setenv("ZORAS_HOME", dir_.c_str(), 1);
  std::ofstream(dir_ / "host_tests.BOOT") << "[ZORAS]\nASPORT=9000\n";
  LoadBootSettings();
  EXPECT_EQ(ReadServerPort(BootSettings()), 9000);
  EXPECT_EQ(BootSettings().SessionTimeout(), 10);
  SetBootSettings(TBootSettings());
  EXPECT_TRUE(BootSettings().Entries().empty());
}

}  // namespace
}  // namespace zoras
