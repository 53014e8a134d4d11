// ZOR.INI: where it is found, how its fixed-column lines are read, and the scrambled
// form of its values.
#include "db/connection_settings.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zoras {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFiller = "ABCDEFGHIJKLMNOPQRST";

std::string S(std::string_view text) { return Scramble(text, kFiller); }

// A folder tree top/a/b/home that the test owns, so that no ZOR.INI of the machine's
// (in /tmp, say) is found by the upward search.
class ZorIniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    top_ = fs::temp_directory_path() /
           ("zoras_zorini_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(top_);
    home_ = top_ / "a" / "b" / "home";
    fs::create_directories(home_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(top_, ec);
  }

  void Write(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
  }

  fs::path top_, home_;
};

// --- Descrambling

TEST(DescrambleTest, KnownValue) {
  // Worked out by hand: each byte of filler + "zoras" exclusive-or "qvk" repeated.
  const std::string value = "30342835332D363E223B3D273C38242127392222111E040A02";
  EXPECT_EQ(Descramble(value), "zoras");
  EXPECT_EQ(S("zoras"), value);
}

TEST(DescrambleTest, Edges) {
  const std::string filler(40, '0');  // 20 pairs, all dropped
  struct Case {
    std::string value, expected, why;
  };
  const std::vector<Case> cases = {
      {"", "", "empty value"},
      {filler.substr(0, 38), "", "fewer than 20 characters"},
      {filler, "", "exactly the 20 filler characters"},
      // The 21st pair is combined with the key's third character, 'k' (0x6B).
      {filler + "ZZ", "k", "non-hex characters count 0"},
      {filler + "G!", "k", "non-hex characters count 0, second digit too"},
      {filler + "2", "K", "a pair cut short counts its missing low digit 0 (0x20)"},
      {filler + "3a", std::string(1, '\x51'), "lower-case hex digits (0x3A ^ 0x6B)"},
      {filler + "202020", "KQV", "the key cycles k, q, v from the 21st pair"},
  };
  for (const Case& c : cases) EXPECT_EQ(Descramble(c.value), c.expected) << c.why;
}

TEST(ScrambleTest, RoundTrip) {
  std::string all_bytes;
  for (int i = 0; i < 30; ++i) all_bytes += static_cast<char>(i * 8 + 7);
  for (const std::string& text : {std::string("x"), std::string("Pass word!"), std::string("čšž"),
                                  all_bytes, std::string(" a ")}) {
    const std::string value = S(text);
    EXPECT_EQ(value.size(), 2 * (20 + text.size()));
    EXPECT_EQ(value.find_first_not_of("0123456789ABCDEF"), std::string::npos) << value;
    EXPECT_EQ(Descramble(value), text);
  }
  EXPECT_THROW(Scramble("x", "short"), std::invalid_argument);
  EXPECT_THROW(Scramble("x", std::string(21, 'A')), std::invalid_argument);
}

// --- Reading the file

TEST_F(ZorIniTest, Lines) {
  struct Case {
    std::string file;
    TConnectionSettings expected;
    std::string why;
  };
  const std::string long_text(40, 'x');
  const std::vector<Case> cases = {
      {"USERNAME=" + S("alice") + "\nPASSWORD=" + S("secret") + "\nDATABASENAME=" + S("zoras") +
           "\nTEST/PRODUKCIJA=PRODUKCIJA\n",
       {"alice", "secret", "zoras", "PRODUKCIJA"},
       "every key; the marker is not scrambled"},
      {"username=" + S("alice") + "\nPassWord=" + S("pw"),
       {"alice", "pw", "", ""},
       "keys ignore letter case; no final line end"},
      {" USERNAME=" + S("alice") + "\n\tPASSWORD=" + S("pw") + "\n",
       {},
       "a key preceded by a blank is not one"},
      {"USERNAME=" + std::string(40, '4') + "\n", {}, "20 characters are only filler"},
      {"USERNAME=" + S("abc") + "\nPASSWORD=" + S("abc") + "\n",
       {"abc", "abc", "", ""},
       "the key starts afresh for each value (23 pairs would shift it)"},
      {"USERNAME=" + S("first") + "\nUSERNAME=" + S("last") + "\n",
       {"last", "", "", ""},
       "the last line of a key wins"},
      {"USERNAME:" + S("a") + "\nPASSWORD " + S("b") + "\n",
       {"a", "b", "", ""},
       "the separator column may hold any character"},
      {"USERNAME=   " + S("alice") + "   \r\nPASSWORD=" + S("pw") + "\r\n",
       {"alice", "pw", "", ""},
       "values are trimmed; CR LF line ends"},
      {"USERNAME=" + S(long_text) + "\n",
       {long_text.substr(0, 30), "", "", ""},
       "a value is cut at 100 columns"},
      {"USERNAME\nPASSWORD=\n", {}, "keys without values"},
      {"\xEF\xBB\xBFUSERNAME=" + S("alice") + "\n",
       {"alice", "", "", ""},
       "a byte order mark in front of the first key"},
      {"; USERNAME=" + S("alice") + "\nUSER=" + S("bob") + "\n[ZOR]\n",
       {},
       "lines that match no key"},
  };
  for (const Case& c : cases) {
    Write(home_ / "ZOR.INI", c.file);
    const TConnectionSettings got = ReadConnectionSettings(home_);
    EXPECT_EQ(got.user_name, c.expected.user_name) << c.why;
    EXPECT_EQ(got.password, c.expected.password) << c.why;
    EXPECT_EQ(got.database_name, c.expected.database_name) << c.why;
    EXPECT_EQ(got.test_production, c.expected.test_production) << c.why;
  }
}

TEST_F(ZorIniTest, FileSearch) {
  const fs::path b = home_.parent_path(), a = b.parent_path();
  struct Case {
    std::vector<fs::path> files;  // folders holding a ZOR.INI
    fs::path expected_folder;
    bool found;
  };
  const std::vector<Case> cases = {
      {{home_, b, a}, home_, true},
      {{b, a}, b, true},
      {{a}, a, true},
      // The great-grandparent is not searched: the path stays in the grandparent.
      {{top_}, a, false},
      {{}, a, false},
  };
  for (const Case& c : cases) {
    for (const fs::path& dir : {home_, b, a, top_}) fs::remove(dir / "ZOR.INI");
    for (const fs::path& dir : c.files) Write(dir / "ZOR.INI", "USERNAME=" + S("u") + "\n");
    const std::string where = c.expected_folder.string();
    EXPECT_EQ(ConnectionSettingsPath(home_), c.expected_folder / "ZOR.INI") << where;
    EXPECT_EQ(ReadConnectionSettings(home_).user_name, c.found ? "u" : "") << where;
  }
}

TEST_F(ZorIniTest, FolderForms) {
  Write(home_.parent_path() / "ZOR.INI", "");
  // A trailing separator still names the folder itself.
  EXPECT_EQ(ConnectionSettingsPath(home_.string() + "/"), home_.parent_path() / "ZOR.INI");
  // A folder named ZOR.INI is not the file.
  fs::create_directory(home_ / "ZOR.INI");
  EXPECT_EQ(ConnectionSettingsPath(home_), home_.parent_path() / "ZOR.INI");
  // "/" has no parent; the search stays there.
  EXPECT_EQ(ConnectionSettingsPath("/"), fs::path("/ZOR.INI"));
  EXPECT_EQ(ConnectionSettingsPath("/zoras_no_such_dir"), fs::path("/ZOR.INI"));
}

TEST_F(ZorIniTest, UnreadableFileGivesEmptyValues) {
  Write(home_ / "ZOR.INI", "USERNAME=" + S("alice") + "\n");
  fs::permissions(home_ / "ZOR.INI", fs::perms::none);
  if (std::ifstream(home_ / "ZOR.INI")) GTEST_SKIP() << "running as root: permissions ignored";
  EXPECT_EQ(ReadConnectionSettings(home_).user_name, "");
}

}  // namespace
}  // namespace zoras
