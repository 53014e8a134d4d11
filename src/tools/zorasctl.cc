// zorasctl: the operator's tool beside the server.
//   zorasctl schema [--alias NAME]   creates the tables and sequences of a database
//   zorasctl scramble TEXT           prints the ZOR.INI value that stands for TEXT
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "base/errors.h"
#include "base/home.h"
#include "base/messages.h"
#include "db/aliases.h"
#include "db/connection_settings.h"
#include "db/database.h"
#include "db/schema_files.h"

namespace zoras {
namespace {

namespace fs = std::filesystem;

bool IsBlank(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) > ' ') return false;
  return true;
}

// The database `schema` works on: the alias, which must exist when it is named, else
// the default database.
TDatabaseTarget SchemaTarget(const std::optional<std::string>& alias) {
  const fs::path folder = HomeFolder();
  if (!alias) return DefaultDatabaseTarget(folder);
  const fs::path file = folder / kAliasesFileName;
  const TAliasRegistry registry = TAliasRegistry::Load(file);
  const TDatabaseTarget* target = registry.Find(*alias);
  if (target == nullptr) throw EZoras(Msg(msg::ecAliasUnknown, {*alias, file.string()}));
  return *target;
}

// SQLite needs no login; the server's account in ZOR.INI is what PostgreSQL gets, checked
// as the connection module checks it.
TDatabaseLogin SchemaLogin(const TDatabaseTarget& target) {
  if (target.driver == TDriverKind::kSQLite) return {};
  const TConnectionSettings settings = ReadConnectionSettings();
  if (IsBlank(settings.user_name)) throw EZoras(Msg(msg::ecErrorUsernameMissing));
  if (IsBlank(settings.password)) throw EZoras(Msg(msg::ecErrorPasswordMissing));
  return {settings.user_name, settings.password};
}

// Every statement runs in one transaction, so a failure (typically: the tables exist
// already) leaves the database as it was. The database's message says what failed.
void CreateSchema(TDbConnection& db) {
  db.Begin();
  try {
    try {
      db.ExecuteScript(DialectSetupScript(db.Driver()));
    } catch (const std::exception& e) {
      throw EZoras(Msg(msg::ecSchemaSetupFailed, {db.DriverName(), e.what()}));
    }
    for (const auto& [name, text] : SchemaFiles()) {
      try {
        db.ExecuteScript(text);
      } catch (const std::exception& e) {
        throw EZoras(Msg(msg::ecSchemaFileFailed, {name, e.what()}));
      }
    }
    db.Commit();
  } catch (...) {
    try {
      if (db.InTransaction()) db.Rollback();
    } catch (const std::exception&) {
      // The first failure is the one worth reporting.
    }
    throw;
  }
}

void RunSchema(const std::optional<std::string>& alias) {
  const TDatabaseTarget target = SchemaTarget(alias);
  const TDatabaseLogin login = SchemaLogin(target);
  std::error_code ec;
  const bool new_file = target.driver == TDriverKind::kSQLite && !fs::exists(target.database, ec);
  std::unique_ptr<TDbConnection> db = CreateDatabase(target, login);
  try {
    CreateSchema(*db);
  } catch (...) {
    // An empty file left behind would pass for a database that the server then opens
    // without complaint; without it the server points at this command.
    db.reset();
    if (new_file) {
      for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(target.database + suffix, ec);
    }
    throw;
  }
  std::cout << "Schema created in "
            << (target.alias.empty() ? target.database : "alias " + target.alias) << "\n";
}

// Letters and digits only, so that the filler never holds a character an editor or a
// shell would treat specially once descrambled by hand.
std::string RandomFiller() {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device source;
  std::uniform_int_distribution<size_t> pick(0, kAlphabet.size() - 1);
  std::string filler;
  for (size_t i = 0; i < kScrambleFillerLength; ++i) filler += kAlphabet[pick(source)];
  return filler;
}

std::string CheckScrambleText(const std::string& text) {
  if (text.empty()) return Msg(msg::ecScrambleTextEmpty);
  if (text.size() > kMaxScrambledTextLength)
    return Msg(msg::ecScrambleTextTooLong,
               {std::to_string(text.size()), std::to_string(kMaxScrambledTextLength)});
  return {};
}

int Main(int argc, char** argv) {
  CLI::App app{"ZORAS administration tool"};
  app.name("zorasctl");
  app.require_subcommand(1);

  CLI::App* schema = app.add_subcommand(
      "schema", "Create every table and sequence in the database (the default database " +
                    std::string(kDefaultDatabaseFileName) + " in the home folder, created " +
                    "when missing, unless an alias is named)");
  std::optional<std::string> alias;
  schema->add_option("--alias", alias,
                     "Alias of " + std::string(kAliasesFileName) + " in the home folder");

  CLI::App* scramble = app.add_subcommand(
      "scramble", "Print the scrambled ZOR.INI value (USERNAME, PASSWORD) for TEXT");
  std::string text;
  scramble
      ->add_option("TEXT", text,
                   "The user name or password, at most " + std::to_string(kMaxScrambledTextLength) +
                       " bytes")
      ->required()
      ->check(CLI::Validator(CheckScrambleText, "TEXT"));

  CLI11_PARSE(app, argc, argv);

  try {
    if (*schema) RunSchema(alias);
    if (*scramble) std::cout << Scramble(text, RandomFiller()) << "\n";
  } catch (const std::exception& e) {
    std::cerr << "zorasctl: " << e.what() << "\n";
    return 1;
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}

}  // namespace
}  // namespace zoras

int main(int argc, char** argv) { return zoras::Main(argc, argv); }
