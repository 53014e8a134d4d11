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
#include "base/messages.h"

namespace zoras {
namespace {

namespace fs = std::filesystem;

struct TSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> entries;

  // The first value of `key`; nullptr when the section has none.
  const std::string* Value(std::string_view key) const {
    for (const auto& [k, v] : entries)
      if (EqualsIgnoreCase(k, key)) return &v;
    return nullptr;
  }
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The same reading rules as the boot file, for every section. Entries before the first
// section and sections without a name belong to no alias and are dropped.
std::vector<TSection> ParseIni(std::string_view text) {
  std::vector<TSection> sections;
  TSection* current = nullptr;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    std::string_view line = Trim(text.substr(0, eol));
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);

    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      name = Trim(name.substr(0, name.find(']')));
      current = nullptr;
      if (name.empty()) continue;
      for (TSection& s : sections)
        if (EqualsIgnoreCase(s.name, name)) current = &s;
      if (current == nullptr) current = &sections.emplace_back(TSection{std::string(name), {}});
      continue;
    }
    if (current == nullptr) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = Trim(line.substr(0, eq));
    std::string_view value = Trim(line.substr(eq + 1));
    if (key.empty()) continue;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    current->entries.emplace_back(std::string(key), std::string(value));
  }
  return sections;
}

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

TDatabaseTarget MakeTarget(const TSection& section, const fs::path& folder,
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
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!f) {
    if (errno == ENOENT) return TAliasRegistry();
    throw EZoras(Msg(msg::ecAliasesUnreadable, {file.string(), std::strerror(errno)}));
  }
  std::string text;
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) text.append(buf, n);
  if (std::ferror(f.get()))
    throw EZoras(Msg(msg::ecAliasesUnreadable, {file.string(), std::strerror(errno)}));

  TAliasRegistry registry;
  for (const TSection& section : ParseIni(text))
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
