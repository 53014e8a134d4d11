#include "settings/identifiers.h"

#include <exception>
#include <string>

#include "base/errors.h"
#include "base/messages.h"
#include "db/database.h"
#include "db/transaction.h"
#include "packet/value.h"

namespace zoras {
namespace {

// Key and sequence names are written into the statements, so only plain names pass:
// ASCII letters, digits and '_', not starting with a digit.
bool IsPlainSqlName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name) {
    const bool ok =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

void CheckPlainSqlName(std::string_view name) {
  if (!IsPlainSqlName(name)) throw EZoras(Msg(msg::ecInvalidSqlName, {"TIDBODM", name}));
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The class name the sequence message reports for a failure.
std::string ErrorClassName(const std::exception& e) {
  if (const auto* remotable = dynamic_cast<const ERemotableException*>(&e))
    return remotable->ClassName();
  if (dynamic_cast<const EDatabaseError*>(&e) != nullptr) return "EDatabaseError";
  if (dynamic_cast<const EZoras*>(&e) != nullptr) return "EZoras";
  return "Exception";
}

}  // namespace

int64_t TIDBODM::NextId(std::string_view key) {
  if (EqualsIgnoreCase(key, "IdAct")) return NextSequenceValue("ACT", "IDACT");
  if (EqualsIgnoreCase(key, "KATOSBID")) return NextSequenceValue("KATOSB", "KATOSBID");
  CheckPlainSqlName(key);
  const std::string k(key);
  TDbConnection& db = RequireConnection().dbZor();
  for (int attempt = 0; attempt < kIdUpdateAttempts; ++attempt) {
    try {
      TSavepoint scope(db, "zoras_counter");
      qID.SQL().SetText("SELECT " + k + " FROM ID WHERE Id = 1");
      qID.Open();
      if (qID.IsEmpty()) continue;  // no counter row: nothing to update
      const TValue old = qID.DataSet().Field(0).Value();
      qID.Close();
      const int64_t v = old.IsNull() ? 0 : old.AsInteger();
      if (old.IsNull()) {
        qID.SQL().SetText("UPDATE ID SET " + k + " = :New WHERE Id = 1 AND " + k + " IS NULL");
      } else {
        qID.SQL().SetText("UPDATE ID SET " + k + " = :New WHERE Id = 1 AND " + k + " = :Old");
        qID.ParamByName("Old").AsInteger(v);
      }
      qID.ParamByName("New").AsInteger(v + 1);
      // No row changed: another request took this value first; read again.
      if (qID.ExecSQL() != 1) continue;
      scope.Keep();
      return v + 1;
    } catch (const EZoras&) {
      // A failed attempt is never reported by itself.
    }
  }
  throw EZoras(Msg(msg::ecWarningIDWriteNotSucc, {key}));
}

int64_t TIDBODM::NextSequenceValue(std::string_view table, std::string_view column) {
  std::string base;
  if (table.empty()) {
    base = column;
  } else if (column.empty()) {
    base = table;
  } else {
    base = std::string(table) + "_" + std::string(column);
  }
  CheckPlainSqlName(base);
  try {
    qSequence.SQL().SetText("SELECT NEXTVAL FOR " + base + "_SEQ AS NewId FROM SYSIBM.SYSDUMMY1");
    qSequence.Open();
    const int64_t value = qSequence.FieldByName("NewId").AsInteger();
    qSequence.Close();
    return value;
  } catch (const std::exception& e) {
    throw EZoras(Msg(msg::ecErrorSequence, {ErrorClassName(e), base, e.what()}));
  }
}

int64_t TGENIDBODM::NextGenId(std::string_view name) {
  const TValue gen_name = TValue::Text(std::string(name));
  TDbConnection& db = RequireConnection().dbZor();
  for (int attempt = 0; attempt < kIdUpdateAttempts; ++attempt) {
    try {
      TSavepoint scope(db, "zoras_counter");
      qGENID.SQL().SetText("SELECT ID FROM GENID WHERE GENNAME = :GENNAME");
      qGENID.ParamByName("GENNAME").AsValue(gen_name);
      qGENID.Open();
      int64_t next = 1;
      if (qGENID.IsEmpty()) {
        // First use. When another request makes the row at the same time, one of the
        // two inserts fails on the primary key and that request simply tries again.
        qGENID.SQL().SetText("INSERT INTO GENID (GENNAME, ID) VALUES (:GENNAME, :New)");
      } else {
        const TValue old = qGENID.FieldByName("ID").Value();
        next = (old.IsNull() ? 0 : old.AsInteger()) + 1;
        if (old.IsNull()) {
          qGENID.SQL().SetText(
              "UPDATE GENID SET ID = :New WHERE GENNAME = :GENNAME AND ID IS NULL");
        } else {
          qGENID.SQL().SetText("UPDATE GENID SET ID = :New WHERE GENNAME = :GENNAME AND ID = :Old");
          qGENID.ParamByName("Old").AsValue(old);
        }
      }
      qGENID.Close();
      qGENID.ParamByName("GENNAME").AsValue(gen_name);
      qGENID.ParamByName("New").AsInteger(next);
      if (qGENID.ExecSQL() != 1) continue;
      scope.Keep();
      return next;
    } catch (const EZoras&) {
      // A failed attempt is never reported by itself.
    }
  }
  throw EZoras(Msg(msg::ecErrorGENID, {name}));
}

}  // namespace zoras
