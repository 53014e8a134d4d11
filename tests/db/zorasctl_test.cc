// zorasctl as an operator runs it: scramble's output goes straight into ZOR.INI, schema
// creates the default database or the one an alias names. The binary is the one built
// beside this test (ZORAS_BINARY_DIR under CTest).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/home.h"
#include "db/connection_settings.h"
#include "db/database.h"

namespace zoras {
namespace {

namespace fs = std::filesystem;

struct TRun {
  int exit_code = -1;
  std::string out, err;
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path ZorasctlPath() {
  const char* dir = std::getenv("ZORAS_BINARY_DIR");
  return (dir != nullptr && *dir != '\0' ? fs::path(dir) : ExecutablePath().parent_path()) /
         "zorasctl";
}

// `conninfo` without its user and password, which an alias must not hold: the login
// comes from ZOR.INI.
std::string WithoutLogin(const std::string& conninfo) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    ADD_FAILURE() << "ZORAS_TEST_PG: " << (error != nullptr ? error : "out of memory");
    PQfreemem(error);
    return conninfo;
  }
  std::string out;
  for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    const std::string_view key = o->keyword;
    if (o->val == nullptr || key == "user" || key == "password") continue;
    std::string value;
    for (const char* c = o->val; *c != '\0'; ++c) {
      if (*c == '\\' || *c == '\'') value += '\\';
      value += *c;
    }
    out += (out.empty() ? "" : " ") + std::string(key) + "='" + value + "'";
  }
  PQconninfoFree(options);
  return out;
}

// A home folder top/a/home of its own (so no ZOR.INI above it is found) and a runner of
// zorasctl in it.
class ZorasctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(ZorasctlPath()))
      GTEST_FAIL() << ZorasctlPath() << " is missing: build the zorasctl target";
    top_ = fs::temp_directory_path() /
           ("zoras_ctl_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(top_);
    home_ = top_ / "a" / "home";
    fs::create_directories(home_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(top_, ec);
  }

  TRun Run(const std::vector<std::string>& args,
           const std::vector<std::pair<std::string, std::string>>& env = {}) {
    const fs::path out = top_ / "stdout.txt", err = top_ / "stderr.txt";
    const std::string exe = ZorasctlPath().string();
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("ZORAS_HOME", home_.c_str(), 1);
      for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
      const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) _exit(126);
      ::execv(exe.c_str(), argv.data());
      _exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    TRun r;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(out);
    r.err = ReadFile(err);
    return r;
  }

  void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream(home_ / name, std::ios::binary) << text;
  }

  // The ZOR.INI line for `key` with the value zorasctl scramble prints for `text`.
  std::string ZorIniLine(const std::string& key, const std::string& text) {
    const TRun r = Run({"scramble", text});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return key + "=" + r.out;
  }

  fs::path top_, home_;
};

TEST_F(ZorasctlTest, ScrambleOutputIsAZorIniValue) {
  for (const std::string& text :
       std::vector<std::string>{"zoras", "p@ss word", std::string(30, 'x'), "čšž"}) {
    const TRun r = Run({"scramble", text});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.back(), '\n');
    const std::string value = r.out.substr(0, r.out.size() - 1);
    EXPECT_EQ(value.size(), 2 * (20 + text.size())) << value;
    EXPECT_EQ(Descramble(value), text);
    // The filler is letters and digits: 30 zero pairs in front keep the key aligned and
    // move the filler past the 20 characters Descramble drops.
    const std::string filler = Descramble(std::string(60, '0') + value).substr(10, 20);
    EXPECT_EQ(filler.size(), 20u);
    for (char c : filler) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << filler;
  }

  // Read back the way the server reads it.
  WriteFile("ZOR.INI", ZorIniLine("USERNAME", "zoras") + ZorIniLine("PASSWORD", "geslo 1"));
  const TConnectionSettings s = ReadConnectionSettings(home_);
  EXPECT_EQ(s.user_name, "zoras");
  EXPECT_EQ(s.password, "geslo 1");

  // The same text twice: two fillers.
  EXPECT_NE(Run({"scramble", "same"}).out, Run({"scramble", "same"}).out);
}

TEST_F(ZorasctlTest, BadInput) {
  struct Case {
    std::vector<std::string> args;
    std::string err_part;
  };
  const std::vector<Case> cases = {
      {{"scramble", ""}, "The text to scramble must not be empty"},
      {{"scramble", std::string(31, 'x')},
       "The text to scramble has 31 bytes; a ZOR.INI value holds at most 30"},
      {{"scramble", "čšžčšžčšžčšžčšžč"}, "has 32 bytes"},
      {{"scramble"}, "TEXT is required"},
      {{"scramble", "a", "b"}, "b"},
      {{}, "subcommand"},
      {{"nonsense"}, "A subcommand is required"},
      {{"schema", "--alias"}, "alias"},
  };
  for (const Case& c : cases) {
    const TRun r = Run(c.args);
    const std::string what = c.args.empty() ? "(none)" : c.args[0] + " ...";
    EXPECT_NE(r.exit_code, 0) << what;
    EXPECT_EQ(r.out, "") << what;
    EXPECT_NE(r.err.find(c.err_part), std::string::npos) << what << ": " << r.err;
  }
  const TRun help = Run({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("scramble"), std::string::npos) << help.out;
}

TEST_F(ZorasctlTest, SchemaCreatesTheDefaultDatabase) {
  const fs::path db = home_ / "zoras.db";
  const TRun first = Run({"schema"});
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_TRUE(fs::is_regular_file(db));
  EXPECT_NE(first.out.find(db.string()), std::string::npos) << first.out;
  // The server's way of opening it now works.
  TDatabaseTarget target{"", TDriverKind::kSQLite, db.string()};
  const int64_t objects = OpenDatabase(target, {})
                              ->Query("SELECT COUNT(*) AS N FROM sqlite_master")
                              .FieldByName("N")
                              .AsInteger();
  EXPECT_GT(objects, 0) << "the dialect setup created nothing";

  // A second run either changes nothing or fails with the database's reason and leaves
  // the database as it was.
  const TRun second = Run({"schema"});
  if (second.exit_code != 0) {
    EXPECT_NE(second.err.find("exist"), std::string::npos) << second.err;
  }
  EXPECT_EQ(OpenDatabase(target, {})
                ->Query("SELECT COUNT(*) AS N FROM sqlite_master")
                .FieldByName("N")
                .AsInteger(),
            objects);
}

TEST_F(ZorasctlTest, SchemaAliases) {
  WriteFile("aliases.ini",
            "[LOCAL]\nDriver=SQLite\nDatabase=data/local.db\n"
            "[PG]\nDriver=PostgreSQL\nDatabase=host=/nonexistent dbname=zoras\n");
  fs::create_directory(home_ / "data");

  const TRun local = Run({"schema", "--alias", "local"});
  ASSERT_EQ(local.exit_code, 0) << local.err;
  EXPECT_TRUE(fs::is_regular_file(home_ / "data" / "local.db"));
  EXPECT_FALSE(fs::exists(home_ / "zoras.db"));

  struct Case {
    std::string alias, zor_ini, err;
  };
  const std::vector<Case> cases = {
      {"NONE", "",
       "zorasctl: Unknown database alias 'NONE' (not in " + (home_ / "aliases.ini").string() +
           ")\n"},
      // The login is checked before the database is reached, as the server checks it.
      {"PG", "", "zorasctl: Manjka Database username.\n"},
      {"PG", ZorIniLine("USERNAME", "zoras") + "PASSWORD=" + std::string(40, '0') + "\n",
       "zorasctl: Manjka Database Password.\n"},
  };
  for (const Case& c : cases) {
    WriteFile("ZOR.INI", c.zor_ini);
    const TRun r = Run({"schema", "--alias", c.alias});
    EXPECT_EQ(r.exit_code, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }

  // A database that cannot be reached: its error, and no file of ours left behind.
  WriteFile("aliases.ini", "[BAD]\nDriver=SQLite\nDatabase=no/such/folder/x.db\n");
  const TRun bad = Run({"schema", "--alias", "BAD"});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_EQ(bad.err.rfind("zorasctl: ", 0), 0u) << bad.err;
  EXPECT_EQ(bad.out, "");
}

// Against the PostgreSQL test cluster: the alias's database gets the schema, in a schema
// of the test's own (PGOPTIONS sets the search path of zorasctl's connection).
TEST_F(ZorasctlTest, SchemaOnPostgreSQL) {
  const char* pg = std::getenv("ZORAS_TEST_PG");
  if (pg == nullptr || *pg == '\0') GTEST_SKIP() << "ZORAS_TEST_PG is not set";
  const char* user_env = std::getenv("ZORAS_TEST_PG_USER");
  const char* password_env = std::getenv("ZORAS_TEST_PG_PASSWORD");
  const std::string user = user_env != nullptr ? user_env : "";
  // Trust authentication never asks for it, but ZOR.INI must hold one.
  const std::string password =
      password_env != nullptr && *password_env != '\0' ? password_env : "unused";
  const TDatabaseTarget target{"", TDriverKind::kPostgreSQL, pg};
  const TDatabaseLogin login{user, password_env != nullptr ? password_env : ""};
  const std::string schema = "zt_ctl_" + std::to_string(getpid());

  WriteFile("aliases.ini", "[ZORASPG]\nDriver=PostgreSQL\nDatabase=" + WithoutLogin(pg) + "\n");
  WriteFile("ZOR.INI", ZorIniLine("USERNAME", user) + ZorIniLine("PASSWORD", password));
  OpenDatabase(target, login)->Execute("CREATE SCHEMA " + schema);
  const std::vector<std::pair<std::string, std::string>> env = {
      {"PGOPTIONS", "-c search_path=" + schema}};
  const std::string count_objects =
      "SELECT (SELECT COUNT(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
      "WHERE n.nspname = '" +
      schema +
      "') + (SELECT COUNT(*) FROM pg_proc p JOIN "
      "pg_namespace n ON n.oid = p.pronamespace WHERE n.nspname = '" +
      schema + "') AS N";

  struct TDropSchema {
    const TDatabaseTarget& target;
    const TDatabaseLogin& login;
    const std::string& schema;
    ~TDropSchema() {
      try {
        OpenDatabase(target, login)->Execute("DROP SCHEMA " + schema + " CASCADE");
      } catch (const std::exception&) {
      }
    }
  } drop{target, login, schema};

  const TRun first = Run({"schema", "--alias", "zoraspg"}, env);
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_EQ(first.out, "Schema created in alias ZORASPG\n");
  const int64_t objects =
      OpenDatabase(target, login)->Query(count_objects).FieldByName("N").AsInteger();
  EXPECT_GT(objects, 0) << "the dialect setup created nothing in " << schema;

  const TRun second = Run({"schema", "--alias", "ZORASPG"}, env);
  if (second.exit_code != 0) {
    EXPECT_NE(second.err.find("exist"), std::string::npos) << second.err;
  }
  EXPECT_EQ(OpenDatabase(target, login)->Query(count_objects).FieldByName("N").AsInteger(),
            objects);
}

}  // namespace
}  // namespace zoras
