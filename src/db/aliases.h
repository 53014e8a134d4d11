// The alias registry: aliases.ini in the home folder names the databases a connection
// can open. One section per alias:
//
//   [ZORAS]
//   Driver=PostgreSQL
//   Database=host=db1 dbname=zoras
//
//   [LOCAL]
//   Driver=SQLite
//   Database=data/zoras.db
//
// Driver is SQLite (Database a file path, relative to the registry's folder) or
// PostgreSQL (Database a libpq connection string). User and password never come from
// here but from ZOR.INI (connection_settings.h). The file follows the boot file's INI
// conventions: names ignore letter case, blanks around keys and values are trimmed,
// ';' and '#' start comment lines, a section given twice is read as one and the first
// value of a key counts.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "db/database.h"

namespace zoras {

class TAliasRegistry {
 public:
  TAliasRegistry() = default;  // knows no alias

  // The aliases of `file`. A missing file gives the empty registry. Throws EZoras naming
  // the file when it exists but cannot be read, and naming the file and alias for an
  // entry with an unknown or missing Driver, no Database, or a PostgreSQL connection
  // string that libpq rejects or that holds a user or password.
  static TAliasRegistry Load(const std::filesystem::path& file);

  // The alias named `alias` (letter case ignored), or nullptr when there is none. The
  // pointer stays valid while the registry lives.
  const TDatabaseTarget* Find(std::string_view alias) const;

  // Every alias, in file order. SQLite paths are absolute.
  const std::vector<TDatabaseTarget>& Targets() const { return targets_; }

 private:
  std::vector<TDatabaseTarget> targets_;
};

// The file name of the registry in its folder.
inline constexpr std::string_view kAliasesFileName = "aliases.ini";
// The file name of the default SQLite database in its folder.
inline constexpr std::string_view kDefaultDatabaseFileName = "zoras.db";

// The target a connection with this ALIAS opens: the alias from folder/aliases.ini when
// the registry knows it, else the default SQLite database folder/zoras.db (its alias
// empty). An empty alias does not read the registry. Throws EZoras as Load() does.
TDatabaseTarget ResolveDatabaseTarget(std::string_view alias, const std::filesystem::path& folder);
// ResolveDatabaseTarget(alias, HomeFolder()).
TDatabaseTarget ResolveDatabaseTarget(std::string_view alias);

// The default SQLite database of `folder`, as an absolute path.
TDatabaseTarget DefaultDatabaseTarget(const std::filesystem::path& folder);

}  // namespace zoras
