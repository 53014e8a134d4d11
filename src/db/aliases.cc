#include "db/aliases.h"

#include <libpq-fe.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "base/ascii.h"
#include "base/errors.h"
#include "base/home.h"
#include "base/ini_file.h"
#include "base/messages.h"

namespace zoras {
namespace {

namespace fs = std::filesystem;

std::string_view Trim(std::string_view s) { return TrimBlanks(s); }

fs::path AbsoluteFolder(const fs::path& folder) {
  std::error_code ec;
  fs::path abs = folder.empty() ? fs::current_path(ec) : fs::absolute(folder, ec);
  return ec ? folder : abs;
}

// The login must come from ZOR.INI alone: a user or password in the connection string
// would either be overridden silently or win over ZOR.INI, depending on how the driver
// combines them.
void CheckConnectionString(const std::string& conninfo, const std::string& alias,
                           const std::string& file) {
  char* error = nullptr;
  std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)> options(
      PQconninfoParse(conninfo.c_str(), &error), &PQconninfoFree);
  if (!options) {
    std::string detail = error != nullptr ? std::string(Trim(error)) : "out of memory";
    PQfreemem(error);
    throw EZoras(Msg(msg::ecAliasBadConnectionString, {alias, file, detail}));
  }
  for (const PQconninfoOption* o = options.get(); o->keyword != nullptr; ++o) {
    if (o->val == nullptr || *o->val == '\0') continue;
    if (std::strcmp(o->keyword, "user") == 0 || std::strcmp(o->keyword, "password") == 0)
      throw EZoras(Msg(msg::ecAliasLoginInConnectionString, {alias, file, o->keyword}));
  }
}

TDatabaseTarget MakeTarget(const TIniSection& section, const fs::path& folder,
                           const std::string& file) {
  TDatabaseTarget target;
  target.alias = section.name;
  const std::string* driver = section.Value("Driver");
  if (driver != nullptr && EqualsIgnoreCase(*driver, "SQLite")) {
    target.driver = TDriverKind::kSQLite;
  } else if (driver != nullptr && EqualsIgnoreCase(*driver, "PostgreSQL")) {
    target.driver = TDriverKind::kPostgreSQL;
  } else {
    throw EZoras(
        Msg(msg::ecAliasBadDriver, {section.name, file, driver != nullptr ? *driver : ""}));
  }
  const std::string* database = section.Value("Database");
  if (database == nullptr || database->empty())
    throw EZoras(Msg(msg::ecAliasNoDatabase, {section.name, file}));
  if (target.driver == TDriverKind::kSQLite) {
    // operator/ keeps an absolute path as it is.
    target.database = (AbsoluteFolder(folder) / *database).lexically_normal().string();
  } else {
    CheckConnectionString(*database, section.name, file);
    target.database = *database;
  }
  return target;
}

}  // namespace

TAliasRegistry TAliasRegistry::Load(const fs::path& file) {
  const std::optional<std::string> text = ReadWholeFile(file, msg::ecAliasesUnreadable);
  if (!text) return TAliasRegistry();
  TAliasRegistry registry;
  for (const TIniSection& section : ParseIniSections(*text))
    registry.targets_.push_back(MakeTarget(section, file.parent_path(), file.string()));
  return registry;
}

const TDatabaseTarget* TAliasRegistry::Find(std::string_view alias) const {
  for (const TDatabaseTarget& t : targets_)
    if (EqualsIgnoreCase(t.alias, alias)) return &t;
  return nullptr;
}

TDatabaseTarget DefaultDatabaseTarget(const fs::path& folder) {
  TDatabaseTarget target;
  target.driver = TDriverKind::kSQLite;
  target.database = (AbsoluteFolder(folder) / kDefaultDatabaseFileName).lexically_normal().string();
  return target;
}

TDatabaseTarget ResolveDatabaseTarget(std::string_view alias, const fs::path& folder) {
  if (!alias.empty()) {
    const TAliasRegistry registry = TAliasRegistry::Load(folder / kAliasesFileName);
    if (const TDatabaseTarget* target = registry.Find(alias)) return *target;
  }
  return DefaultDatabaseTarget(folder);
}

TDatabaseTarget ResolveDatabaseTarget(std::string_view alias) {
  return ResolveDatabaseTarget(alias, HomeFolder());
}

}  // namespace zoras
