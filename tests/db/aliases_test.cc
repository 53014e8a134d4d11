// aliases.ini: the entries a connection can open, what a bad entry reports, and the
// fall-back to the default database.
#include "db/aliases.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/errors.h"

namespace zoras {
namespace {

namespace fs = std::filesystem;

class AliasesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::temp_directory_path() /
            ("zoras_aliases_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(home_);
    fs::create_directories(home_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(home_, ec);
  }

  fs::path WriteAliases(const std::string& text) {
    std::ofstream(home_ / "aliases.ini", std::ios::binary) << text;
    return home_ / "aliases.ini";
  }

  // The message Load() throws for `text`, or "(no error)".
  std::string LoadError(const std::string& text) {
    try {
      TAliasRegistry::Load(WriteAliases(text));
    } catch (const EZoras& e) {
      return e.what();
    }
    return "(no error)";
  }

  fs::path home_;
};

TEST_F(AliasesTest, Entries) {
  const TAliasRegistry registry = TAliasRegistry::Load(
      WriteAliases("\xEF\xBB\xBF; test aliases\r\n"
                   "Driver=SQLite\n"  // before any section: belongs to no alias
                   "[Local]\r\n"
                   "Driver=sqlite\r\n"
                   "Database = data/../db/local.db\r\n"
                   "\n"
                   "[ ABS ]\n"
                   "Driver=SQLite\n"
                   "Database=\"/var/lib/zoras/abs.db\"\n"
                   "[PROD]\n"
                   "# the server database\n"
                   "Driver=PostgreSQL\n"
                   "Database=host=db1 port=5433 dbname=zoras\n"
                   "[local]\n"  // the same section again: its first Database counts
                   "Database=other.db\n"));

  ASSERT_EQ(registry.Targets().size(), 3u);
  struct Case {
    std::string lookup;
    std::string alias;
    TDriverKind driver;
    std::string database;
  };
  const std::vector<Case> cases = {
      {"LOCAL", "Local", TDriverKind::kSQLite, (home_ / "db" / "local.db").string()},
      {"abs", "ABS", TDriverKind::kSQLite, "/var/lib/zoras/abs.db"},
      {"Prod", "PROD", TDriverKind::kPostgreSQL, "host=db1 port=5433 dbname=zoras"},
  };
  for (const Case& c : cases) {
    const TDatabaseTarget* t = registry.Find(c.lookup);
    ASSERT_NE(t, nullptr) << c.lookup;
    EXPECT_EQ(t->alias, c.alias);
    EXPECT_EQ(t->driver, c.driver) << c.lookup;
    EXPECT_EQ(t->database, c.database);
  }
  EXPECT_EQ(registry.Find("NONE"), nullptr);
  EXPECT_EQ(registry.Find(""), nullptr);
}

TEST_F(AliasesTest, BadEntriesNameFileAndAlias) {
  const std::string file = (home_ / "aliases.ini").string();
  struct Case {
    std::string text, expected;
  };
  const std::vector<Case> cases = {
      {"[A]\nDriver=Oracle\nDatabase=x\n",
       "Alias 'A' in " + file + ": unknown Driver 'Oracle' (SQLite or PostgreSQL expected)"},
      {"[A]\nDatabase=x\n",
       "Alias 'A' in " + file + ": unknown Driver '' (SQLite or PostgreSQL expected)"},
      {"[OK]\nDriver=SQLite\nDatabase=ok.db\n[B]\nDriver=SQLite\n",
       "Alias 'B' in " + file + " has no Database"},
      {"[B]\nDriver=PostgreSQL\nDatabase=\n", "Alias 'B' in " + file + " has no Database"},
      {"[C]\nDriver=PostgreSQL\nDatabase=host=db1 user=zoras\n",
       "Alias 'C' in " + file +
           ": the connection string must not set user (user and password come from ZOR.INI)"},
      {"[C]\nDriver=PostgreSQL\nDatabase=postgresql://u:pw@db1/zoras\n",
       "Alias 'C' in " + file +
           ": the connection string must not set user (user and password come from ZOR.INI)"},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(c.text), c.expected);

  // libpq's own message tells what is wrong with the string.
  const std::string bad = LoadError("[D]\nDriver=PostgreSQL\nDatabase=host=db1 nonsense\n");
  EXPECT_EQ(bad.rfind("Alias 'D' in " + file + ": invalid PostgreSQL connection string: ", 0), 0u)
      << bad;
}

TEST_F(AliasesTest, MissingAndUnreadableFiles) {
  EXPECT_TRUE(TAliasRegistry::Load(home_ / "aliases.ini").Targets().empty());
  fs::create_directory(home_ / "aliases.ini");
  try {
    TAliasRegistry::Load(home_ / "aliases.ini");
    ADD_FAILURE() << "a folder read as a registry";
  } catch (const EZoras& e) {
    EXPECT_EQ(std::string(e.what()).rfind(
                  "Cannot read the alias registry " + (home_ / "aliases.ini").string() + ": ", 0),
              0u)
        << e.what();
  }
}

TEST_F(AliasesTest, Resolve) {
  const std::string default_db = (home_ / "zoras.db").string();
  // No registry at all.
  TDatabaseTarget t = ResolveDatabaseTarget("PROD", home_);
  EXPECT_EQ(t.alias, "");
  EXPECT_EQ(t.driver, TDriverKind::kSQLite);
  EXPECT_EQ(t.database, default_db);

  WriteAliases("[PROD]\nDriver=PostgreSQL\nDatabase=dbname=zoras\n");
  t = ResolveDatabaseTarget("prod", home_);
  EXPECT_EQ(t.alias, "PROD");
  EXPECT_EQ(t.driver, TDriverKind::kPostgreSQL);
  EXPECT_EQ(t.database, "dbname=zoras");
  EXPECT_EQ(ResolveDatabaseTarget("OTHER", home_).database, default_db);

  // A broken registry is reported once an alias is asked for, and ignored without one.
  WriteAliases("[PROD]\nDriver=DB2\n");
  EXPECT_THROW(ResolveDatabaseTarget("PROD", home_), EZoras);
  EXPECT_EQ(ResolveDatabaseTarget("", home_).database, default_db);
}

}  // namespace
}  // namespace zoras
