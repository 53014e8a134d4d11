#include "db/dm.h"

#include <atomic>

#include "base/errors.h"
#include "base/messages.h"
#include "db/aliases.h"
#include "db/connection_settings.h"

namespace zoras {
namespace {

// Blanks and control characters count as nothing, so a ZOR.INI line holding only spaces
// is as good as a missing one.
bool IsBlank(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) > ' ') return false;
  return true;
}

std::unique_ptr<TDbConnection> OpenTarget(const TDatabaseTarget& target) {
  const TConnectionSettings settings = ReadConnectionSettings();
  if (IsBlank(settings.user_name)) throw EZoras(Msg(msg::ecErrorUsernameMissing));
  if (IsBlank(settings.password)) throw EZoras(Msg(msg::ecErrorPasswordMissing));
  // The values go to the database as they are written: a password may end in a blank.
  return OpenDatabase(target, {settings.user_name, settings.password});
}

std::string NextSessionName() {
  static std::atomic<uint64_t> counter{0};
  return "sZor" + std::to_string(++counter);
}

}  // namespace

std::unique_ptr<TDbConnection> OpenZorConnection(std::string_view alias) {
  return OpenTarget(ResolveDatabaseTarget(alias));
}

TDM::TDM(std::unique_ptr<TDbConnection> connection, std::string database_name)
    : db_(std::move(connection)),
      database_name_(std::move(database_name)),
      session_name_(NextSessionName()) {}

std::unique_ptr<TDM> TDM::Open(std::string_view alias) {
  const TDatabaseTarget target = ResolveDatabaseTarget(alias);
  return std::make_unique<TDM>(OpenTarget(target), target.alias);
}

TDM::~TDM() = default;

}  // namespace zoras
