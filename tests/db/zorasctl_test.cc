// zorasctl as an operator runs it: scramble's output goes straight into ZOR.INI, schema
// creates the default database or the one an alias names, demo prepares a folder the
// server runs in. The binary is the one built beside this test (ZORAS_BINARY_DIR under
// CTest).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/home.h"
#include "base/ini_file.h"
#include "db/connection_settings.h"
#include "db/database.h"
#include "packet/base64.h"

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
      {{"demo", "--dir"}, "dir"},
      // A folder that cannot be made: the path is a file.
      {{"demo", "--dir", (home_ / "plain.txt").string()},
       "Cannot create the demo folder " + (home_ / "plain.txt").string()},
  };
  WriteFile("plain.txt", "not a folder");
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
  EXPECT_NE(help.out.find("demo"), std::string::npos) << help.out;
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

// One query's rows, each as its columns' display texts joined by '|'.
std::vector<std::string> Rows(TDbConnection& db, const std::string& sql,
                              const TSqlParams& params = {}) {
  TMemTable t = db.Query(sql, params);
  std::vector<std::string> rows;
  for (t.First(); !t.Eof(); t.Next()) {
    std::string row;
    for (size_t i = 0; i < t.FieldCount(); ++i) row += (i ? "|" : "") + t.Value(i).AsString();
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> FilesOf(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(ZorasctlTest, DemoPreparesAFolderTheServerRunsIn) {
  const fs::path dir = top_ / "demo" / "new";  // two levels that do not exist yet
  const TRun r = Run({"demo", "--dir", dir.string()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(FilesOf(dir), (std::vector<std::string>{"ZOR.INI", "zoras.BOOT", "zoras.db"}));

  const std::vector<TIniSection> boot = ParseIniSections(ReadFile(dir / "zoras.BOOT"));
  ASSERT_EQ(boot.size(), 1u);
  EXPECT_EQ(boot[0].name, "ZORAS");
  EXPECT_EQ(boot[0].entries, (std::vector<std::pair<std::string, std::string>>{{"ASPORT", "8080"},
                                                                               {"MAXCON", "5"},
                                                                               {"MINCON", "1"},
                                                                               {"REQTO", "10"},
                                                                               {"SIDTO", "10"},
                                                                               {"DEBUGLOG", "D"}}));
  const TConnectionSettings login = ReadConnectionSettings(dir);
  EXPECT_EQ(login.user_name, "zoras");
  EXPECT_EQ(login.password, "zoras");

  const TDatabaseTarget target{"", TDriverKind::kSQLite, (dir / "zoras.db").string()};
  std::unique_ptr<TDbConnection> db = OpenDatabase(target, {});
  const TDateTime today = Now().DatePart();

  // Each user: stored password, state, unit and person, and the rights held directly or
  // through a group. Only the login rights matter to the server: 063 for the branch
  // service, 061 for headquarters; centrala holds 061 through the group alone.
  struct UserCase {
    std::string user, password;
    int64_t sf_org;
    std::string direct_rights, all_rights;
  };
  const std::vector<UserCase> users = {
      {"ana", "Ana2026!", 1, "063,064", "063,064"},
      {"centrala", "Centrala1", 1, "", "061,062"},
      {"novak", "novak", 2, "063,064", "063,064"},
  };
  EXPECT_EQ(Rows(*db, "SELECT Usr FROM USR ORDER BY Usr"),
            (std::vector<std::string>{"ana", "centrala", "novak"}));
  for (const UserCase& c : users) {
    SCOPED_TRACE(c.user);
    const TSqlParams user{{"USR", TValue::Text(c.user)}};
    TMemTable u = db->Query(
        "SELECT U.Gsl, U.Akt, U.GslNap, U.DanGsl, U.DanSprGsl, U.SfOrg, O.Akt AS OsbAkt, "
        "G.Nzv AS OrgNzv FROM USR U JOIN OSB O ON O.SfOsb = U.SfOsb "
        "JOIN ORG G ON G.SfOrg = U.SfOrg WHERE U.Usr = :USR",
        user);
    ASSERT_EQ(u.RecordCount(), 1u) << "the user's person or unit is missing";
    std::string password;
    ASSERT_TRUE(DecodeBase64(u.FieldByName("Gsl").AsString(), &password));
    EXPECT_EQ(password, c.password);
    EXPECT_EQ(u.FieldByName("Akt").AsString(), "D");
    EXPECT_EQ(u.FieldByName("OsbAkt").AsString(), "D");
    EXPECT_EQ(u.FieldByName("GslNap").Value(), TValue::Integer(0));
    EXPECT_TRUE(u.FieldByName("DanGsl").IsNull());
    EXPECT_EQ(u.FieldByName("DanSprGsl").AsDateTime(), today);
    EXPECT_EQ(u.FieldByName("SfOrg").AsInteger(), c.sf_org);
    const auto joined = [](const std::vector<std::string>& rows) {
      std::string out;
      for (const std::string& row : rows) out += (out.empty() ? "" : ",") + row;
      return out;
    };
    EXPECT_EQ(joined(Rows(*db, "SELECT SfRgt FROM RGT WHERE Usr = :USR ORDER BY SfRgt", user)),
              c.direct_rights);
    EXPECT_EQ(joined(Rows(*db,
                          "SELECT SfRgt FROM RGT WHERE Usr = :USR UNION SELECT R.SfRgt FROM "
                          "GRPRGT R JOIN GRPUSR M ON M.IdGrp = R.IdGrp WHERE M.Usr = :USR "
                          "ORDER BY 1",
                          user)),
              c.all_rights);
    // The printout names every user with the password.
    EXPECT_NE(r.out.find("  " + c.user), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" " + c.password + " "), std::string::npos) << r.out;
  }
  EXPECT_EQ(Rows(*db, "SELECT G.Nzv FROM GRP G JOIN GRPUSR M ON M.IdGrp = G.IdGrp"),
            std::vector<std::string>{"Zaledna pisarna"});
  // The login failure message names the right by these texts.
  EXPECT_EQ(Rows(*db, "SELECT NZV FROM SFRGT WHERE SFRGT IN ('061', '063') ORDER BY SFRGT"),
            (std::vector<std::string>{"Prijava v centralo", "Prijava v poslovalnico"}));

  EXPECT_EQ(Rows(*db,
                 "SELECT MinGsl, SprGslDni, SfVlnF, SfVlnP, SfBnt, SfBntTT FROM INI "
                 "WHERE IDINI = 1"),
            std::vector<std::string>{"6|90|F|P|1|2"});
  TMemTable euro =
      db->Query("SELECT DANOD, SFVLTFROM, TCJVLTFAKTOR, SFVLTTO FROM EUROOBD WHERE OZNAKA = 'ES'");
  ASSERT_EQ(euro.RecordCount(), 1u);
  EXPECT_EQ(euro.FieldByName("DANOD").AsDateTime(), TDateTime::Encode(2007, 1, 1));
  EXPECT_EQ(euro.FieldByName("SFVLTFROM").AsString(), "E");
  EXPECT_EQ(euro.FieldByName("TCJVLTFAKTOR").AsInteger(), -1);
  EXPECT_EQ(euro.FieldByName("SFVLTTO").AsString(), "S");
  EXPECT_EQ(Rows(*db, "SELECT KLJUC, Vrednost FROM INISET ORDER BY KLJUC"),
            (std::vector<std::string>{"BntTTEnabled|N", "PreverjanjeSoglasja|D"}));
  // Each branch's own person exists, and the person counter is past every person.
  EXPECT_EQ(Rows(*db,
                 "SELECT G.SfOrg, G.Krt, G.Nzv, G.Mst FROM ORG G JOIN OSB O ON O.SfOsb = "
                 "G.SfOsb ORDER BY G.SfOrg"),
            (std::vector<std::string>{"1|LJ|Poslovalnica Ljubljana|Ljubljana",
                                      "2|MB|Poslovalnica Maribor|Maribor"}));
  EXPECT_EQ(Rows(*db, "SELECT COUNT(*) FROM ID I WHERE I.SfOsb = (SELECT MAX(SfOsb) FROM OSB)"),
            std::vector<std::string>{"1"});
  db.reset();

  // A second run refuses before it touches anything.
  std::vector<std::string> before;
  for (const std::string& name : FilesOf(dir)) before.push_back(ReadFile(dir / name));
  const TRun again = Run({"demo", "--dir", dir.string()});
  EXPECT_EQ(again.exit_code, 1);
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(again.err, "zorasctl: The database " + target.database +
                           " exists already; the demo needs a new one (remove the file "
                           "first). Nothing was changed\n");
  std::vector<std::string> after;
  for (const std::string& name : FilesOf(dir)) after.push_back(ReadFile(dir / name));
  EXPECT_TRUE(before == after) << "a refused demo changed a file";
}

// Without --dir the demo goes to the home folder; an operator's boot file and login
// stay as they are, and only the database is new.
TEST_F(ZorasctlTest, DemoKeepsExistingBootFileAndLogin) {
  const std::string boot = "[ZORAS]\r\nASPORT=9090\r\nALIAS=\r\n";
  const std::string zor_ini = ZorIniLine("USERNAME", "me") + ZorIniLine("PASSWORD", "mine");
  WriteFile("zoras.BOOT", boot);
  WriteFile("ZOR.INI", zor_ini);
  const TRun r = Run({"demo"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(ReadFile(home_ / "zoras.BOOT"), boot);
  EXPECT_EQ(ReadFile(home_ / "ZOR.INI"), zor_ini);
  // The report line of each file says it was left alone.
  for (const std::string name : {"zoras.BOOT", "ZOR.INI"}) {
    const size_t start = r.out.find("  " + name + " ");
    ASSERT_NE(start, std::string::npos) << r.out;
    const std::string line = r.out.substr(start, r.out.find('\n', start) - start);
    EXPECT_NE(line.find("exists already, left as it was"), std::string::npos) << line;
  }
  EXPECT_NE(r.out.find(home_.string()), std::string::npos) << r.out;
  const TDatabaseTarget target{"", TDriverKind::kSQLite, (home_ / "zoras.db").string()};
  EXPECT_EQ(
      OpenDatabase(target, {})->Query("SELECT COUNT(*) AS N FROM USR").FieldByName("N").AsInteger(),
      3);
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
