// zorasctl: the operator's tool beside the server.
//   zorasctl schema [--alias NAME]   creates the tables and sequences of a database
//   zorasctl scramble TEXT           prints the ZOR.INI value that stands for TEXT
//   zorasctl demo [--dir FOLDER]     prepares a folder the server runs in, with demo data
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "base/clock.h"
#include "base/errors.h"
#include "base/home.h"
#include "base/messages.h"
#include "db/aliases.h"
#include "db/connection_settings.h"
#include "db/database.h"
#include "db/schema_files.h"
#include "tools/demo_data.h"

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

// The dialect setup and every schema file, on the caller's transaction. The database's
// message says what failed (typically: the tables exist already).
void CreateSchemaObjects(TDbConnection& db) {
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
}

// Runs `build` on the database of `target` in one transaction, so that a failure leaves
// the database as it was. A SQLite file that did not exist before is removed again on
// failure: an empty file left behind would pass for a database that the server then
// opens without complaint, while without it the server points at `zorasctl schema`.
void BuildDatabase(const TDatabaseTarget& target, const TDatabaseLogin& login,
                   const std::function<void(TDbConnection&)>& build) {
  std::error_code ec;
  const bool new_file = target.driver == TDriverKind::kSQLite && !fs::exists(target.database, ec);
  std::unique_ptr<TDbConnection> db = CreateDatabase(target, login);
  try {
    db->Begin();
    build(*db);
    db->Commit();
  } catch (...) {
    try {
      if (db->InTransaction()) db->Rollback();
    } catch (const std::exception&) {
      // The first failure is the one worth reporting.
    }
    db.reset();
    if (new_file) {
      for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(target.database + suffix, ec);
    }
    throw;
  }
}

void RunSchema(const std::optional<std::string>& alias) {
  const TDatabaseTarget target = SchemaTarget(alias);
  BuildDatabase(target, SchemaLogin(target), CreateSchemaObjects);
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

// The demo's boot file: the port the README's calls use, a small pool and the debug log.
constexpr std::string_view kDemoBootText =
    "[ZORAS]\nASPORT=8080\nMAXCON=5\nMINCON=1\nREQTO=10\nSIDTO=10\nDEBUGLOG=D\n";
// The database login of the demo; SQLite ignores it, but the server requires one.
constexpr std::string_view kDemoLogin = "zoras";

// Writes `text` to a new file; false, with the file untouched, when it exists already.
bool WriteNewFile(const fs::path& file, std::string_view text) {
  std::error_code ec;
  if (fs::exists(file, ec)) return false;
  std::ofstream out(file, std::ios::binary);
  out << text;
  out.close();
  if (!out) throw EZoras(Msg(msg::ecDemoFileFailed, {file.string()}));
  return true;
}

// Name, then value, in columns.
std::string Columns(std::string_view first, size_t width, std::string_view rest) {
  std::string line = "  " + std::string(first);
  line.resize(std::max(line.size() + 1, width + 2), ' ');
  return line + std::string(rest);
}

void RunDemo(const std::optional<std::string>& dir) {
  const fs::path given = dir ? fs::path(*dir) : HomeFolder();
  std::error_code ec;
  const fs::path folder = fs::absolute(given, ec);
  if (ec) throw EZoras(Msg(msg::ecDemoFolderFailed, {given.string(), ec.message()}));
  // The demo's users and settings assume an empty database; merging them into one that
  // holds data would only half work, so an existing database is left alone.
  const TDatabaseTarget target = DefaultDatabaseTarget(folder);
  if (fs::exists(target.database, ec))
    throw EZoras(Msg(msg::ecDemoDatabaseExists, {target.database}));
  const bool new_folder = fs::create_directories(folder, ec);
  if (ec) throw EZoras(Msg(msg::ecDemoFolderFailed, {folder.string(), ec.message()}));

  // The database first: when it fails, no boot file or ZOR.INI is left behind either.
  try {
    BuildDatabase(target, {}, [](TDbConnection& db) {
      CreateSchemaObjects(db);
      try {
        InsertDemoData(db, Now());
      } catch (const std::exception& e) {
        throw EZoras(Msg(msg::ecDemoDataFailed, {e.what()}));
      }
    });
  } catch (...) {
    if (new_folder) fs::remove(folder, ec);  // only while empty
    throw;
  }

  // An operator's own boot file or login is worth more than the demo's.
  const auto report = [](const fs::path& file, bool written, std::string_view what) {
    std::cout << Columns(file.filename().string(), 11,
                         written ? "written (" + std::string(what) + ")"
                                 : std::string("exists already, left as it was"))
              << "\n";
  };
  std::cout << "Demo folder " << folder.string() << "\n";
  const fs::path boot = folder / "zoras.BOOT";
  report(boot, WriteNewFile(boot, kDemoBootText), "port 8080, debug log on");
  const fs::path zor_ini = folder / "ZOR.INI";
  const std::string zor_ini_text = "USERNAME=" + Scramble(kDemoLogin, RandomFiller()) +
                                   "\r\nPASSWORD=" + Scramble(kDemoLogin, RandomFiller()) + "\r\n";
  report(zor_ini, WriteNewFile(zor_ini, zor_ini_text), "database login zoras");
  std::cout << Columns(kDefaultDatabaseFileName, 11, "created (the schema and the demo data)")
            << "\nDemo users (user name, password):\n";
  for (const TDemoUser& u : DemoUsers())
    std::cout << Columns(u.name, 11, Columns(u.password, 11, u.who).substr(2)) << "\n";
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

  CLI::App* demo = app.add_subcommand(
      "demo", "Prepare a folder the server runs in: " + std::string(kDefaultDatabaseFileName) +
                  " with the schema and demo users, zoras.BOOT and ZOR.INI (both kept when " +
                  "present); refused when the database exists");
  std::optional<std::string> demo_dir;
  demo->add_option("--dir", demo_dir,
                   "The folder, created when missing (default: the home folder)");

  CLI11_PARSE(app, argc, argv);

  try {
    if (*schema) RunSchema(alias);
    if (*scramble) std::cout << Scramble(text, RandomFiller()) << "\n";
    if (*demo) RunDemo(demo_dir);
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
