#include "security/users.h"

#include "base/clock.h"
#include "base/codepage.h"
#include "base/messages.h"
#include "base/regional.h"
#include "base/utf8.h"
#include "db/sql_text.h"
#include "db/transaction.h"
#include "packet/base64.h"
#include "packet/packet_writer.h"
#include "security/activity.h"
#include "security/rights.h"
#include "security/session_exceptions.h"
#include "settings/iniset.h"

namespace zoras {
namespace {

constexpr std::string_view kFindUser = "SELECT * FROM USR WHERE Usr = :USR";
constexpr std::string_view kSaveUser =
    "UPDATE USR SET Gsl = :GSL, GslNap = :GSLNAP, DanSprGsl = :DANSPRGSL WHERE Usr = :USR";
constexpr std::string_view kFindFailedLogin = "SELECT * FROM USRATH WHERE UsrAth = :USRATH";
constexpr std::string_view kInsertFailedLogin =
    "INSERT INTO USRATH (UsrAth, DanVns) VALUES (:USRATH, :DANVNS)";
constexpr std::string_view kPersonName =
    "SELECT O.Nzv, O.Ime FROM USR U, OSB O WHERE U.Usr = :USR AND O.SfOsb = U.SfOsb";
constexpr std::string_view kGroupActivities =
    "SELECT G.LimSfDjv FROM GRPUSR U, GRP G WHERE U.Usr = :USR AND G.IdGrp = U.IdGrp "
    "ORDER BY U.IdGrp";
constexpr std::string_view kUnit = "SELECT Nzv, Mst, Fax, SfOsb FROM ORG WHERE SfOrg = :SFORG";

// The right a login to each application needs; none for the portal.
std::string_view LoginRight(std::string_view application) {
  if (application == "P") return "063";
  if (application == "C") return "061";
  return {};
}

size_t CharCount(std::string_view utf8) {
  size_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string WithoutQuestionMark(std::string text) {
  if (!text.empty() && text.front() == '?') text.erase(0, 1);
  return text;
}

// The stored form of a password: Base64 of its Windows-1250 bytes, as the existing
// user administration writes it.
bool EncodePassword(std::string_view password, std::string* stored) {
  std::string bytes;
  if (!Utf8ToWindows1250(password, &bytes)) return false;
  stored->clear();
  AppendBase64(*stored, bytes);
  return true;
}

TFieldDecl CalculatedField(std::string name, TFieldType type, int size) {
  TFieldDecl decl;
  decl.name = std::move(name);
  decl.type = type;
  decl.size = size;
  decl.calculated = true;
  return decl;
}

}  // namespace

std::string UserPersonName(TDM& connection, std::string_view user) {
  TSqlParams params;
  params.Set("USR", TValue::Text(std::string(user)));
  TMemTable rows = connection.dbZor().Query(kPersonName, params);
  rows.First();
  if (rows.IsEmpty()) return {};
  std::string name = rows.FieldByName("Nzv").AsString();
  const std::string first = rows.FieldByName("Ime").AsString();
  if (!first.empty()) name += (name.empty() ? "" : " ") + first;
  return name;
}

TUSRBODM::TUSRBODM() = default;

bool TUSRBODM::FindUser(std::string_view user) {
  qUSR.SQL().SetText(kFindUser);
  qUSR.ParamByName("USR").AsString(user);
  qUSR.Open();
  return !qUSR.IsEmpty();
}

void TUSRBODM::SaveUser() {
  TSqlParams params;
  params.Set("GSL", qUSR.FieldByName("Gsl").Value())
      .Set("GSLNAP", qUSR.FieldByName("GslNap").Value())
      .Set("DANSPRGSL", qUSR.FieldByName("DanSprGsl").Value())
      .Set("USR", qUSR.FieldByName("Usr").Value());
  if (RequireConnection().dbZor().Execute(kSaveUser, params) != 1)
    throw EZoras(Msg(msg::ecRecordChanged));
  RecordUser("^");
}

void TUSRBODM::RecordUser(std::string_view kind) {
  auto trail = CreateOnConnection<TACTBODM>(RequireConnection());
  trail->RecordActivity(qUSR, kind, "USR", "Usr");
}

void TUSRBODM::CountFailedAttempt() {
  TSavepoint step(RequireConnection().dbZor(), "zoras_usr_count");
  try {
    qUSR.FieldByName("GslNap").SetInteger(qUSR.FieldByName("GslNap").AsInteger() + 1);
    SaveUser();
    step.Keep();
  } catch (const std::exception&) {
    // The refusal that follows is what the caller needs to see.
  }
}

std::string TUSRBODM::StoredPassword() {
  std::string bytes, text;
  if (!DecodeBase64(qUSR.FieldByName("Gsl").AsString(), &bytes) || !Windows1250ToUtf8(bytes, &text))
    throw EZoras(Msg(msg::ecErrorDecodePassword, {Msg(msg::ecInvalidBase64)}));
  return text;
}

int TUSRBODM::MinimumPasswordLength() {
  if (!min_password_length_) {
    auto ini = CreateOnConnection<TINIBODM>(RequireConnection());
    min_password_length_ =
        ini->FindIni(1) ? static_cast<int>(ini->tblINI.FieldByName("MinGsl").AsInteger()) : 0;
  }
  return *min_password_length_;
}

int TUSRBODM::PasswordMaxAgeDays() {
  auto ini = CreateOnConnection<TINIBODM>(RequireConnection());
  return ini->FindIni(1) ? static_cast<int>(ini->tblINI.FieldByName("SprGslDni").AsInteger()) : 0;
}

void TUSRBODM::RecordUnknownUser(std::string_view user) {
  TDM& connection = RequireConnection();
  TFQuery failed(this, "qUSRATH");
  failed.SQL().SetText(kFindFailedLogin);
  // USRATH holds names of at most 20 characters; longer ones are kept cut.
  const std::string name = CutUtf8(user, 20);
  failed.ParamByName("USRATH").AsString(name);
  failed.Open();
  if (failed.IsEmpty()) {
    TSqlParams params;
    params.Set("USRATH", TValue::Text(name)).Set("DANVNS", TValue::DateTime(Now()));
    TSavepoint step(connection.dbZor(), "zoras_usrath");
    try {
      connection.dbZor().Execute(kInsertFailedLogin, params);
      step.Keep();
    } catch (const EDatabaseError&) {
      step.Undo();
      // Another request inserted the name at the same moment; its row is read below.
    }
    failed.Open();
  }
  if (!failed.IsEmpty()) {
    auto trail = CreateOnConnection<TACTBODM>(connection);
    trail->RecordActivity(failed, "U", "USRATH", "UsrAth");
  }
}

void TUSRBODM::CheckLogin(std::string_view user, std::string_view password) {
  TDM& connection = RequireConnection();
  const std::string name(user);
  // 1. Known user.
  if (!FindUser(user)) {
    RecordUnknownUser(user);
    throw ESessionSecurityException(Msg(msg::ecUserNoRights, {name}));
  }
  // 2. Active.
  if (qUSR.FieldByName("Akt").AsString() != "D") {
    RecordUser("t");
    throw ESessionSecurityException(Msg(msg::ecUserInactive, {name}));
  }
  // 3. Entitled to the application.
  if (const std::string_view right = LoginRight(connection.CallContext().SfApp); !right.empty()) {
    auto rights = CreateOnConnection<TRGTBODM>(connection);
    rights->RequireRight(right);
  }
  // 4. Not locked.
  if (qUSR.FieldByName("GslNap").AsInteger() > 2) {
    RecordUser("t");
    throw ESessionSecurityException(Msg(msg::ecUserLocked, {name}));
  }
  const TDateTime today = Now().DatePart();
  // 5. Within the last allowed day.
  if (!qUSR.FieldByName("DanGsl").IsNull()) {
    const TDateTime last_day = qUSR.FieldByName("DanGsl").AsDateTime().DatePart();
    if (today > last_day) {
      RecordUser("D");
      CountFailedAttempt();
      throw ESessionSecurityException(
          Msg(msg::ecLoginDateExceeded, {regional::FormatDate(last_day)}));
    }
  }
  // 6, 7. The right password.
  if (StoredPassword() != password) {
    RecordUser("T");
    CountFailedAttempt();
    throw ESessionSecurityException(Msg(msg::ecWrongPassword));
  }
  // 8. Whether it must be changed.
  std::string demand;
  const int min_length = MinimumPasswordLength();
  const int max_age = PasswordMaxAgeDays();
  if (password == qUSR.FieldByName("Usr").AsString()) {
    demand = Msg(msg::ecFirstLoginPasswordChange);
  } else if (min_length > 0 && CharCount(password) < static_cast<size_t>(min_length)) {
    demand = Msg(msg::ecPasswordTooShort, {std::to_string(min_length)});
  } else if (max_age > 0) {
    const auto changed = qUSR.FieldByName("DanSprGsl");
    if (changed.IsNull() || today > changed.AsDateTime().DatePart().AddDays(max_age)) {
      RecordUser("D");
      demand = Msg(msg::ecPasswordMustChange);
    }
  }
  // 9. A valid login.
  qUSR.FieldByName("GslNap").SetInteger(0);
  SaveUser();
  // 10.
  if (!demand.empty()) {
    const TCallContext& context = connection.CallContext();
    throw EPasswordExpiredException(demand, context.SID, context.Usr);
  }
}

void TUSRBODM::ChangePassword(std::string_view new_password, std::string_view confirmation) {
  // The stored password stays even when the login with it is then refused.
  RunInTransaction(
      RequireConnection().dbZor(), [&] { ChangeAndCheck(new_password, confirmation); },
      TOnRefusal::kKeep);
}

void TUSRBODM::ChangeAndCheck(std::string_view new_password, std::string_view confirmation) {
  const std::string user = RequireConnection().CallContext().Usr;
  if (!FindUser(user)) throw ESessionSecurityException(Msg(msg::ecUserNoRights, {user}));
  if (new_password != confirmation)
    throw EPasswordExpiredException(Msg(msg::ecPasswordConfirmDiffers), "", "");
  if (StoredPassword() == new_password)
    throw EPasswordExpiredException(Msg(msg::ecPasswordUnchanged), "", "");
  const int min_length = MinimumPasswordLength();
  if (min_length > 0 && CharCount(new_password) < static_cast<size_t>(min_length))
    throw EPasswordExpiredException(Msg(msg::ecPasswordTooShort, {std::to_string(min_length)}), "",
                                    "");
  // Longer passwords do not fit USR.Gsl; storing a cut one would lock the user out.
  if (CharCount(new_password) > static_cast<size_t>(kMaxPasswordLength))
    throw EPasswordExpiredException(
        Msg(msg::ecPasswordTooLong, {std::to_string(kMaxPasswordLength)}), "", "");
  std::string stored;
  if (!EncodePassword(new_password, &stored))
    throw EPasswordExpiredException(Msg(msg::ecPasswordCharacter), "", "");
  qUSR.FieldByName("Gsl").SetString(stored);
  qUSR.FieldByName("DanSprGsl").SetValue(TValue::Date(Now()));
  SaveUser();
  CheckLogin(user, new_password);
}

std::string MergeActivityList(TDM& connection, std::string_view user, std::string_view own_list) {
  const std::string own = WithoutQuestionMark(std::string(own_list));
  if (own.empty()) return {};
  TSqlParams params;
  params.Set("USR", TValue::Text(std::string(user)));
  TMemTable groups = connection.dbZor().Query(kGroupActivities, params);
  std::string merged = own;
  for (groups.First(); !groups.Eof(); groups.Next()) {
    const std::string letters = WithoutQuestionMark(groups.FieldByName("LimSfDjv").AsString());
    if (letters.empty()) return own;
    for (char c : letters)
      if (merged.find(c) == std::string::npos) merged += c;
  }
  return merged;
}

std::string TUSRBODM::ActivityList() {
  return MergeActivityList(RequireConnection(), qUSR.FieldByName("Usr").AsString(),
                           qUSR.FieldByName("LimSfDjv").AsString());
}

std::string TUSRBODM::UserPacket(std::string_view user) {
  TFQuery packet(this, "qUSRPacket");
  packet.SQL().SetText(kFindUser);
  packet.ParamByName("USR").AsString(user);
  packet.DeclareField(CalculatedField("UsrLKP", TFieldType::kString, 121));
  packet.DeclareField(CalculatedField("SfOrgLkp", TFieldType::kString, 80));
  packet.DeclareField(CalculatedField("OrgMstLkp", TFieldType::kString, 40));
  packet.DeclareField(CalculatedField("OrgFaxLkp", TFieldType::kString, 20));
  packet.DeclareField(CalculatedField("SfOsbOrg", TFieldType::kI4, 0));
  TDM& connection = RequireConnection();
  packet.OnCalcFields = [&connection](TSqlDataSet& row) {
    row.FieldByName("UsrLKP").SetString(
        UserPersonName(connection, row.FieldByName("Usr").AsString()));
    if (row.FieldByName("SfOrg").IsNull()) return;
    TSqlParams params;
    params.Set("SFORG", row.FieldByName("SfOrg").Value());
    TMemTable unit = connection.dbZor().Query(kUnit, params);
    unit.First();
    if (unit.IsEmpty()) return;
    row.FieldByName("SfOrgLkp").SetValue(unit.FieldByName("Nzv").Value());
    row.FieldByName("OrgMstLkp").SetValue(unit.FieldByName("Mst").Value());
    row.FieldByName("OrgFaxLkp").SetValue(unit.FieldByName("Fax").Value());
    row.FieldByName("SfOsbOrg").SetValue(unit.FieldByName("SfOsb").Value());
  };
  packet.Open();
  if (packet.IsEmpty()) return {};
  return DataSetToPacket(packet.DataSet(), -1);
}

}  // namespace zoras
