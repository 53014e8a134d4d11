#include "security/sessions.h"

#include <random>

#include "base/clock.h"
#include "base/machine.h"
#include "base/messages.h"
#include "base/utf8.h"
#include "db/sql_text.h"
#include "db/transaction.h"
#include "security/activity.h"
#include "security/session_exceptions.h"
#include "security/users.h"

namespace zoras {
namespace {

constexpr std::string_view kProgramName = "ZORAS";
constexpr std::string_view kFindSession = "SELECT * FROM SES WHERE SID = :SID";
// Renews the session only while it is still valid, so a check racing with the expiry
// or with a login that takes the row over cannot revive it.
constexpr std::string_view kRenewSession =
    "UPDATE SES SET TID = :TID WHERE SID = :SID AND TID >= :EXPIRED";
// The session with what the call context needs of its user, in one round trip.
constexpr std::string_view kFindSessionUser =
    "SELECT S.SID, S.Usr, S.TID, S.SfApp, U.Usr AS UsrRow, U.SfOrg, U.LimSfDjv "
    "FROM SES S LEFT JOIN USR U ON U.Usr = S.Usr WHERE S.SID = :SID";
constexpr std::string_view kDeleteSession = "DELETE FROM SES WHERE SID = :SID";
constexpr std::string_view kUserSessions =
    "SELECT SID, TID FROM SES WHERE Usr = :USR ORDER BY Usr, SID";
// Takes an expired row only while it is still expired and still has the identifier read:
// of two logins that picked the same row, one changes it and the other changes nothing.
constexpr std::string_view kReuseSession =
    "UPDATE SES SET SID = :SID, Usr = :USR, TID = :TID, SfApp = :SFAPP, SfBtc = :SFBTC, "
    "CMP = :CMP WHERE SID = :OLDSID AND TID < :EXPIRED";
constexpr std::string_view kInsertSession =
    "INSERT INTO SES (SID, Usr, TID, SfApp, SfBtc, CMP) "
    "VALUES (:SID, :USR, :TID, :SFAPP, :SFBTC, :CMP)";

constexpr int64_t kMsPerMinute = 60 * 1000;

[[noreturn]] void ThrowRelogin() { throw ESessionSecurityException(Msg(msg::ecSessionRelogin)); }

}  // namespace

std::string NewSessionId() {
  thread_local std::mt19937_64 random{[] {
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
  }()};
  uint64_t high = random(), low = random();
  high = (high & ~0xF000ULL) | 0x4000ULL;                       // version 4
  low = (low & 0x3FFFFFFFFFFFFFFFULL) | 0x8000000000000000ULL;  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string id(32, '0');
  for (int i = 0; i < 16; ++i) {
    id[15 - i] = kHex[(high >> (4 * i)) & 0xF];
    id[31 - i] = kHex[(low >> (4 * i)) & 0xF];
  }
  return id;
}

TSESBODM::TSESBODM(int timeout_minutes) : timeout_minutes_(timeout_minutes) {}

bool TSESBODM::IsValid(TDateTime tid) const {
  return Now().Ms() - tid.Ms() <= int64_t{timeout_minutes_} * kMsPerMinute;
}

TNameValueList TSESBODM::ReadSessionHeader(const std::optional<std::string>& cookie) {
  return cookie ? TNameValueList(*cookie) : TNameValueList();
}

void TSESBODM::FindValidSession(std::string_view sid) {
  qSES.SQL().SetText(kFindSession);
  qSES.ParamByName("SID").AsString(sid);
  qSES.Open();
  if (qSES.IsEmpty() || !IsValid(qSES.FieldByName("TID").AsDateTime())) ThrowRelogin();
}

void TSESBODM::FillUserContext(std::string_view user) {
  TDM& connection = RequireConnection();
  auto users = CreateOnConnection<TUSRBODM>(connection);
  if (!users->FindUser(user)) return;
  SetUserContext(user, users->qUSR.FieldByName("SfOrg").AsInteger(),
                 users->qUSR.FieldByName("LimSfDjv").AsString());
}

void TSESBODM::SetUserContext(std::string_view user, int64_t sf_org, std::string_view own_list) {
  TDM& connection = RequireConnection();
  TCallContext& context = connection.CallContext();
  context.SfOrg = static_cast<int>(sf_org);
  context.SfDjvList = QuotedCharList(MergeActivityList(connection, user, own_list), ",");
}

std::string TSESBODM::OpenSession(std::string_view user, std::string_view password,
                                  std::string_view application) {
  TDM& connection = RequireConnection();
  TCallContext& context = connection.CallContext();
  context.Usr = std::string(user);
  context.SfApp = std::string(application);
  FillUserContext(user);

  // One transaction: a valid login leaves its counter reset, its session and its trail
  // together or not at all, while a refused one keeps the attempt it counted.
  std::string sid;
  RunInTransaction(
      connection.dbZor(),
      [&] {
        std::optional<std::string> demand;
        {
          auto users = CreateOnConnection<TUSRBODM>(connection);
          try {
            users->CheckLogin(user, password);
          } catch (const EPasswordExpiredException& e) {
            demand = e.what();
          }
        }
        sid = NewSessionId();
        StoreSession(user, sid, application);
        context.SID = sid;
        auto trail = CreateOnConnection<TACTBODM>(connection);
        trail->RecordSessionEvent(kProgramName, "I");
        if (demand) throw EPasswordExpiredException(*demand, sid, std::string(user));
      },
      TOnRefusal::kKeep);
  return sid;
}

void TSESBODM::StoreSession(std::string_view user, std::string_view sid,
                            std::string_view application) {
  TDbConnection& db = RequireConnection().dbZor();
  const TDateTime now = Now();
  const TDateTime expired = now.AddMs(-int64_t{timeout_minutes_} * kMsPerMinute);
  TSqlParams params;
  params.Set("SID", TValue::Text(std::string(sid)))
      .Set("USR", TValue::Text(CutUtf8(user, 20)))
      .Set("TID", TValue::DateTime(now))
      .Set("SFAPP", TValue::Text(std::string(application)))
      .Set("SFBTC", TValue::Text(""))
      .Set("CMP", TValue::Text(ServerComputerName()));

  TSqlParams by_user;
  by_user.Set("USR", TValue::Text(CutUtf8(user, 20)));
  TMemTable rows = db.Query(kUserSessions, by_user);
  for (rows.First(); !rows.Eof(); rows.Next()) {
    if (IsValid(rows.FieldByName("TID").AsDateTime())) continue;
    TSqlParams reuse = params;
    reuse.Set("OLDSID", rows.FieldByName("SID").Value()).Set("EXPIRED", TValue::DateTime(expired));
    if (db.Execute(kReuseSession, reuse) == 1) return;
  }
  db.Execute(kInsertSession, params);
}

void TSESBODM::CheckSession(std::string_view sid) {
  const TDateTime now = Now();
  TSqlParams params;
  params.Set("TID", TValue::DateTime(now))
      .Set("SID", TValue::Text(std::string(sid)))
      .Set("EXPIRED", TValue::DateTime(now.AddMs(-int64_t{timeout_minutes_} * kMsPerMinute)));
  if (RequireConnection().dbZor().Execute(kRenewSession, params) != 1) ThrowRelogin();
  // Read the row again: it may have gone between the renewal and now.
  qSES.SQL().SetText(kFindSessionUser);
  qSES.ParamByName("SID").AsString(sid);
  qSES.Open();
  if (qSES.IsEmpty() || !IsValid(qSES.FieldByName("TID").AsDateTime())) ThrowRelogin();
  TDM& connection = RequireConnection();
  TCallContext& context = connection.CallContext();
  context.SID = qSES.FieldByName("SID").AsString();
  context.Usr = qSES.FieldByName("Usr").AsString();
  context.SfApp = qSES.FieldByName("SfApp").AsString();
  if (!qSES.FieldByName("UsrRow").IsNull())
    SetUserContext(context.Usr, qSES.FieldByName("SfOrg").AsInteger(),
                   qSES.FieldByName("LimSfDjv").AsString());
  qSES.Close();
}

void TSESBODM::CloseSession(std::string_view sid) {
  FindValidSession(sid);
  qSES.Close();
  TDM& connection = RequireConnection();
  RunInTransaction(connection.dbZor(), [&] {
    TSqlParams params;
    params.Set("SID", TValue::Text(std::string(sid)));
    connection.dbZor().Execute(kDeleteSession, params);
    auto trail = CreateOnConnection<TACTBODM>(connection);
    trail->RecordSessionEvent(kProgramName, "O");
  });
}

}  // namespace zoras
