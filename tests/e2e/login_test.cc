// Login, the session check, Logout and ChangePassword of both services over SOAP, on
// both drivers: the messages and fault classes, what each leaves in USR, SES, USRATH and
// the activity trail, session expiry and the reuse of expired session rows.
#include <regex>
#include <set>
#include <thread>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/version.h"
#include "e2e/service_fixture.h"
#include "host/boot_settings.h"
#include "host/debug_log.h"
#include "settings/euro.h"
#include "settings/iniset.h"

namespace zoras {
namespace {

using testing::TSoapReply;

class LoginTest : public TServiceTest {};

const std::regex kSid("[0-9A-F]{32}");

TEST_P(LoginTest, LoginAnswersTheSessionPacketAndRecordsTheLogin) {
  const TSoapReply r = Branch("Login", {{"AUsername", "ana"}, {"APassword", "Ana2026!"}});
  ASSERT_FALSE(r.fault) << r.body;
  std::smatch m;
  const std::string packet = r.Result();
  ASSERT_TRUE(std::regex_search(packet, m, std::regex("SID=\"([0-9A-F]{32})\" USR=\"ana\"")))
      << packet;
  const std::string sid = m[1];
  EXPECT_NE(packet.find("attrname=\"SID\" fieldtype=\"string\""), std::string::npos);

  EXPECT_EQ(Value("SELECT Usr FROM SES WHERE SID = '" + sid + "'"), "ana");
  EXPECT_EQ(Value("SELECT SfApp FROM SES WHERE SID = '" + sid + "'"), "P");
  EXPECT_EQ(Value("SELECT SfBtc FROM SES WHERE SID = '" + sid + "'"), "");
  // The valid login resets the counter (a "^" of USR), then the login itself.
  EXPECT_EQ(Value("SELECT COUNT(*) FROM ACT"), "2");
  EXPECT_EQ(Value("SELECT Tbl FROM ACT WHERE SfAct = '^'"), "USR");
  EXPECT_EQ(Value("SELECT Id FROM ACT WHERE SfAct = '^'"), "ana");
  EXPECT_NE(Value("SELECT Cnt FROM ACT WHERE SfAct = '^'").find("ana#|Usr#|"), std::string::npos);
  EXPECT_EQ(Value("SELECT Tbl FROM ACT WHERE SfAct = 'I'"), "ZORAS");
  EXPECT_EQ(Value("SELECT Id FROM ACT WHERE SfAct = 'I'"), "V=" + FileVersion());
  EXPECT_EQ(Value("SELECT Usr FROM ACT WHERE SfAct = 'I'"), "ana");
  EXPECT_EQ(Value("SELECT SfApp FROM ACT WHERE SfAct = 'I'"), "P");
  EXPECT_EQ(Value("SELECT SfOrg FROM ACT WHERE SfAct = 'I'"), "1");

  // The user name comes back in the letter case and form it was passed.
  db_->Run("INSERT INTO USR (Usr, Gsl, Akt, GslNap, DanSprGsl) VALUES ('a&b', '" +
           StoredPassword("Geslo123") + "', 'D', 0, '2026-06-15')");
  db_->Run("INSERT INTO RGT (IdRgt, Usr, SfRgt) VALUES (99, 'a&b', '063')");
  const TSoapReply amp = Branch("Login", {{"AUsername", "a&b"}, {"APassword", "Geslo123"}});
  ASSERT_FALSE(amp.fault) << amp.body;
  EXPECT_NE(amp.Result().find("USR=\"a&amp;b\""), std::string::npos) << amp.Result();
}

TEST_P(LoginTest, EachRefusedLoginAnswersItsMessageAndWritesNoSession) {
  db_->Run("INSERT INTO USR (Usr, Gsl, Akt, GslNap) VALUES ('nekdo', '" + StoredPassword("x") +
           "', 'N', 0)");
  db_->Run("INSERT INTO USR (Usr, Gsl, Akt, GslNap, DanGsl) VALUES ('potekel', '" +
           StoredPassword("Potekel1") + "', 'D', 0, '2026-06-14')");
  db_->Run("INSERT INTO RGT (IdRgt, Usr, SfRgt) VALUES (50, 'potekel', '063')");
  db_->Run("INSERT INTO USR (Usr, Gsl, Akt, GslNap) VALUES ('pokvarjen', '***', 'D', 0)");
  db_->Run("INSERT INTO RGT (IdRgt, Usr, SfRgt) VALUES (51, 'pokvarjen', '063')");
  struct Case {
    std::string user, password, fault_class, message, trail_kind, trail_table;
  } cases[] = {
      {"nobody", "x", "ESessionSecurityException", "Uporabnik nobody nima dovolj pravic !", "U",
       "USRATH"},
      {"nekdo", "x", "ESessionSecurityException", "Uporabnik nekdo ni aktiven !", "t", "USR"},
      {"centrala", "Centrala1", "", "Dostop do \"Prijava v poslovalnico\" ni dovoljen !", "", ""},
      {"potekel", "Potekel1", "ESessionSecurityException",
       "Prijava s tem uporabniškim imenom je bila dovoljena samo do 14.06.2026 !", "D", "USR"},
      {"pokvarjen", "x", "", "Napaka pri odkodiranju gesla. Sporočilo: Invalid Base64 text", "",
       ""},
      {"ana", "ana2026!", "ESessionSecurityException", "Vpisali ste napačno geslo !", "T", "USR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    const std::string before = Value("SELECT COUNT(*) FROM ACT");
    const TSoapReply r = Branch("Login", {{"AUsername", c.user}, {"APassword", c.password}});
    ASSERT_TRUE(r.fault) << r.body;
    EXPECT_EQ(r.status, 500);
    EXPECT_EQ(r.fault_string, c.message);
    EXPECT_EQ(r.detail_class, c.fault_class);
    EXPECT_EQ(r.fault_code, c.fault_class.empty() ? "SOAP-ENV:Server" : "SOAP-ENV:");
    EXPECT_EQ(Value("SELECT COUNT(*) FROM SES"), "0");
    if (!c.trail_kind.empty()) {
      EXPECT_EQ(Value("SELECT Tbl FROM ACT WHERE SfAct = '" + c.trail_kind + "'"), c.trail_table);
      EXPECT_EQ(Value("SELECT Id FROM ACT WHERE SfAct = '" + c.trail_kind + "'"), c.user);
    } else {
      EXPECT_EQ(Value("SELECT COUNT(*) FROM ACT"), before);
    }
  }
  EXPECT_EQ(Value("SELECT UsrAth FROM USRATH"), "nobody");
  // The expired account and the wrong password count as wrong attempts.
  EXPECT_EQ(Value("SELECT GslNap FROM USR WHERE Usr = 'potekel'"), "1");
  EXPECT_EQ(Value("SELECT GslNap FROM USR WHERE Usr = 'ana'"), "1");
  // A second unknown attempt keeps the one USRATH row.
  Branch("Login", {{"AUsername", "nobody"}, {"APassword", "y"}});
  EXPECT_EQ(Value("SELECT COUNT(*) FROM USRATH"), "1");
  EXPECT_EQ(Value("SELECT COUNT(*) FROM ACT WHERE SfAct = 'U'"), "2");
}

TEST_P(LoginTest, ThreeWrongPasswordsLockTheUser) {
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Branch("Login", {{"AUsername", "ana"}, {"APassword", "wrong"}}).fault_string,
              "Vpisali ste napačno geslo !");
  const TSoapReply r = Branch("Login", {{"AUsername", "ana"}, {"APassword", "Ana2026!"}});
  EXPECT_EQ(r.fault_string,
            "Uporabnik ana je zaklenjen, zaradi večkratnega napačnega vnosa gesla !");
  EXPECT_EQ(r.detail_class, "ESessionSecurityException");
  EXPECT_EQ(Value("SELECT GslNap FROM USR WHERE Usr = 'ana'"), "3");
  EXPECT_EQ(Value("SELECT COUNT(*) FROM ACT WHERE SfAct = 't'"), "1");
}

TEST_P(LoginTest, TwoWrongPasswordsAreForgottenAtTheNextValidLogin) {
  Branch("Login", {{"AUsername", "ana"}, {"APassword", "wrong"}});
  Branch("Login", {{"AUsername", "ana"}, {"APassword", "wrong"}});
  EXPECT_FALSE(Branch("Login", {{"AUsername", "ana"}, {"APassword", "Ana2026!"}}).fault);
  EXPECT_EQ(Value("SELECT GslNap FROM USR WHERE Usr = 'ana'"), "0");
}

TEST_P(LoginTest, TheLastAllowedDayStillAdmits) {
  db_->Run("UPDATE USR SET DanGsl = '2026-06-15' WHERE Usr = 'ana'");
  SetClockForTesting(TDateTime::Encode(2026, 6, 15, 23, 59, 59));
  EXPECT_FALSE(Branch("Login", {{"AUsername", "ana"}, {"APassword", "Ana2026!"}}).fault);
  SetClockForTesting(TDateTime::Encode(2026, 6, 16, 0, 0, 0));
  EXPECT_EQ(Branch("Login", {{"AUsername", "ana"}, {"APassword", "Ana2026!"}}).fault_string,
            "Prijava s tem uporabniškim imenom je bila dovoljena samo do 15.06.2026 !");
}

TEST_P(LoginTest, APasswordChangeDemandStillOpensAUsableSession) {
  db_->Run("UPDATE INI SET SprGslDni = 30");
  db_->Run("INSERT INTO USR (Usr, Gsl, Akt, GslNap, DanSprGsl) VALUES ('star', '" +
           StoredPassword("Staro123") + "', 'D', 0, '2026-05-15')");
  db_->Run("INSERT INTO RGT (IdRgt, Usr, SfRgt) VALUES (60, 'star', '063')");
  db_->Run("INSERT INTO USR (Usr, Gsl, Akt, GslNap) VALUES ('brez', '" +
           StoredPassword("Brez1234") + "', 'D', 0)");
  db_->Run("INSERT INTO RGT (IdRgt, Usr, SfRgt) VALUES (61, 'brez', '063')");
  struct Case {
    std::string user, password, message;
  } cases[] = {
      {"novak", "novak", "Ob prvi prijavi je zamenjava gesla obvezna !"},
      {"kratek", "abcde", "Geslo je krajše od 6 znakov !"},
      // Changed 31 days ago with a 30-day limit; never changed counts as long ago.
      {"star", "Staro123", "Geslo je potrebno zamenjati !"},
      {"brez", "Brez1234", "Geslo je potrebno zamenjati !"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    const TSoapReply r = Branch("Login", {{"AUsername", c.user}, {"APassword", c.password}});
    ASSERT_EQ(r.detail_class, "EPasswordExpiredException") << r.body;
    EXPECT_EQ(r.fault_code, "SOAP-ENV:");
    EXPECT_EQ(r.fault_string, c.message);
    EXPECT_EQ(r.detail.at("USR"), c.user);
    const std::string sid = r.detail.at("SID");
    EXPECT_TRUE(std::regex_match(sid, kSid)) << sid;
    // The session is open and the counter is reset.
    EXPECT_EQ(Value("SELECT Usr FROM SES WHERE SID = '" + sid + "'"), c.user);
    EXPECT_EQ(Value("SELECT GslNap FROM USR WHERE Usr = '" + c.user + "'"), "0");
    EXPECT_EQ(Value("SELECT COUNT(*) FROM ACT WHERE SfAct = 'I' AND Usr = '" + c.user + "'"), "1");
    // It takes the new password.
    const TSoapReply change =
        Branch("ChangePassword", {{"ANewPassword", "Novo2026x"}, {"AConfirmPassword", "Novo2026x"}},
               testing::Cookie(sid, c.user));
    EXPECT_FALSE(change.fault) << change.body;
    EXPECT_FALSE(Branch("Login", {{"AUsername", c.user}, {"APassword", "Novo2026x"}}).fault);
  }
  // The password age is a "D" in the trail.
  EXPECT_EQ(Value("SELECT COUNT(*) FROM ACT WHERE SfAct = 'D'"), "2");
}

TEST_P(LoginTest, ChangePasswordKeepsItsRules) {
  const std::string cookie = LogIn("ana", "Ana2026!");
  const std::string stored = StoredPassword("Ana2026!");
  struct Case {
    std::string new_password, confirmation, message;
  } cases[] = {
      {"Novo12345", "Novo12346", "Novo geslo in potrditev gesla sta različni !"},
      {"Ana2026!", "Ana2026!", "Staro in novo geslo sta enaka !"},
      {"Kratk", "Kratk", "Geslo je krajše od 6 znakov !"},
      // USR.Gsl holds 18 characters: a longer password would be cut and lock the user out.
      {"Devetnajst-znakov19", "Devetnajst-znakov19", "Geslo je daljše od 18 znakov !"},
      {"Geslo中2026", "Geslo中2026", "Geslo vsebuje znak, ki ga ni mogoče shraniti !"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.new_password);
    const TSoapReply r =
        Branch("ChangePassword",
               {{"ANewPassword", c.new_password}, {"AConfirmPassword", c.confirmation}}, cookie);
    EXPECT_EQ(r.fault_string, c.message);
    EXPECT_EQ(r.detail_class, "EPasswordExpiredException");
    EXPECT_EQ(r.detail.at("SID"), "");
    EXPECT_EQ(Value("SELECT Gsl FROM USR WHERE Usr = 'ana'"), stored);
  }

  // Eighteen characters fit; a Slovenian letter is one character of the stored form.
  Advance(kMinute);
  const TSoapReply ok = Branch(
      "ChangePassword",
      {{"ANewPassword", "Osemnajst-znakov18"}, {"AConfirmPassword", "Osemnajst-znakov18"}}, cookie);
  EXPECT_FALSE(ok.fault) << ok.body;
  EXPECT_EQ(Value("SELECT Gsl FROM USR WHERE Usr = 'ana'"), StoredPassword("Osemnajst-znakov18"));
  EXPECT_EQ(Value("SELECT DanSprGsl FROM USR WHERE Usr = 'ana'"), "15.06.2026");
  const TSoapReply sumnik =
      Branch("ChangePassword", {{"ANewPassword", "Šumnik2026"}, {"AConfirmPassword", "Šumnik2026"}},
             cookie);
  EXPECT_FALSE(sumnik.fault) << sumnik.body;
  EXPECT_EQ(Value("SELECT Gsl FROM USR WHERE Usr = 'ana'"), StoredPassword("\x8Aumnik2026"));
  EXPECT_FALSE(Branch("Login", {{"AUsername", "ana"}, {"APassword", "Šumnik2026"}}).fault);

  // A new password equal to the user name is stored, and the call then demands another.
  AddUser("marjeta", "Marjeta1", "063");
  const TSoapReply same_as_name =
      Branch("ChangePassword", {{"ANewPassword", "marjeta"}, {"AConfirmPassword", "marjeta"}},
             LogIn("marjeta", "Marjeta1"));
  EXPECT_EQ(same_as_name.fault_string, "Ob prvi prijavi je zamenjava gesla obvezna !");
  EXPECT_EQ(same_as_name.detail_class, "EPasswordExpiredException");
  EXPECT_EQ(Value("SELECT Gsl FROM USR WHERE Usr = 'marjeta'"), StoredPassword("marjeta"));
}

TEST_P(LoginTest, SessionsExpireAfterSidtoMinutesWithoutACall) {
  const std::string cookie = LogIn("ana", "Ana2026!");
  const std::string not_built = "Operation GetOrders is not implemented yet";
  const std::vector<std::pair<std::string, std::string>> params = {{"AXMLDPRequest", ""},
                                                                   {"AXMLMPDPResponse", ""}};
  // Just inside the time-out: accepted, and the session renewed from then.
  Advance(10 * kMinute);
  EXPECT_EQ(Branch("GetOrders", params, cookie).fault_string, not_built);
  Advance(10 * kMinute);
  EXPECT_EQ(Branch("GetOrders", params, cookie).fault_string, not_built);
  // One second too late.
  Advance(10 * kMinute + 1000);
  const TSoapReply late = Branch("GetOrders", params, cookie);
  EXPECT_EQ(late.fault_string, "Potrebna je ponovna prijava !");
  EXPECT_EQ(late.detail_class, "ESessionSecurityException");
  EXPECT_EQ(late.fault_code, "SOAP-ENV:");

  // With SIDTO = 0 every check after the login fails.
  StartServer(0);
  const std::string zero = LogIn("ana", "Ana2026!");
  Advance(1);
  EXPECT_EQ(Branch("GetOrders", params, zero).fault_string, "Potrebna je ponovna prijava !");
}

TEST_P(LoginTest, CallsWithoutAValidSessionAreRefusedFirst) {
  const std::vector<std::pair<std::string, std::string>> orders = {{"AXMLDPRequest", ""},
                                                                   {"AXMLMPDPResponse", ""}};
  struct Case {
    std::string op;
    std::vector<std::pair<std::string, std::string>> params;
    std::string cookie;
  } cases[] = {
      {"Logout", {}, ""},
      {"ChangePassword", {{"ANewPassword", "a"}, {"AConfirmPassword", "a"}}, ""},
      {"GetOrders", orders, ""},
      {"GetOrders", orders, testing::Cookie("0123456789ABCDEF0123456789ABCDEF", "ana")},
      {"GetOrders", orders, "USR=ana"},
      {"SaveOsbDetail", {{"AXMLDPREQUEST", ""}}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op + " " + c.cookie);
    const TSoapReply r = Branch(c.op, c.params, c.cookie);
    EXPECT_EQ(r.fault_string, "Potrebna je ponovna prijava !");
    EXPECT_EQ(r.detail_class, "ESessionSecurityException");
  }
  // The notice needs no session.
  EXPECT_EQ(Branch("GetObvestilo", {{"ASif", "1"}}).fault_string,
            "Operation GetObvestilo is not implemented yet");
  EXPECT_EQ(Hq("GetOrders", orders).fault_string, "Potrebna je ponovna prijava !");
  // Nothing of that reached the trail.
  EXPECT_EQ(Value("SELECT COUNT(*) FROM ACT"), "0");
}

TEST_P(LoginTest, LogoutEndsTheSession) {
  const std::string cookie = LogIn("ana", "Ana2026!");
  const TSoapReply out = Branch("Logout", {}, cookie);
  EXPECT_FALSE(out.fault) << out.body;
  EXPECT_EQ(Value("SELECT COUNT(*) FROM SES"), "0");
  EXPECT_EQ(Value("SELECT Tbl FROM ACT WHERE SfAct = 'O'"), "ZORAS");
  EXPECT_EQ(Value("SELECT Id FROM ACT WHERE SfAct = 'O'"), "V=" + FileVersion());
  // The check filled the call context the trail row reads.
  EXPECT_EQ(Value("SELECT Usr FROM ACT WHERE SfAct = 'O'"), "ana");
  EXPECT_EQ(Value("SELECT SfApp FROM ACT WHERE SfAct = 'O'"), "P");
  EXPECT_EQ(Value("SELECT SfOrg FROM ACT WHERE SfAct = 'O'"), "1");
  EXPECT_EQ(Branch("Logout", {}, cookie).fault_string, "Potrebna je ponovna prijava !");
}

TEST_P(LoginTest, ANewLoginReusesAnExpiredRowOfTheUser) {
  const std::string first = LogIn("ana", "Ana2026!");
  const std::string second = LogIn("ana", "Ana2026!");  // both valid: two rows
  EXPECT_EQ(Value("SELECT COUNT(*) FROM SES"), "2");
  Advance(11 * kMinute);
  const std::string third = LogIn("ana", "Ana2026!");
  EXPECT_EQ(Value("SELECT COUNT(*) FROM SES"), "2");
  EXPECT_EQ(Branch("Logout", {}, first).fault_string, "Potrebna je ponovna prijava !");
  EXPECT_FALSE(Branch("Logout", {}, third).fault);
}

// Logins racing for the same expired rows each get a session of their own.
TEST_P(LoginTest, SimultaneousLoginsNeverShareASessionRow) {
  for (int i = 0; i < 3; ++i) LogIn("ana", "Ana2026!");
  Advance(11 * kMinute);
  constexpr int kLogins = 8;
  std::vector<std::string> cookies(kLogins);
  std::vector<std::thread> threads;
  for (int i = 0; i < kLogins; ++i)
    threads.emplace_back([&, i] {
      const TSoapReply r = testing::CallSoap(server_->Port(), "IZORPoslovalnica", "Login",
                                             {{"AUsername", "ana"}, {"APassword", "Ana2026!"}});
      cookies[i] = testing::Cookie(testing::SidOf(r.Result()), "ana");
    });
  for (auto& t : threads) t.join();
  std::set<std::string> distinct(cookies.begin(), cookies.end());
  EXPECT_EQ(distinct.size(), size_t{kLogins});
  EXPECT_EQ(Value("SELECT COUNT(*) FROM SES"), std::to_string(kLogins));
  for (const std::string& cookie : cookies) EXPECT_FALSE(Branch("Logout", {}, cookie).fault);
}

TEST_P(LoginTest, HeadquartersNeedsItsOwnRight) {
  const TSoapReply hq = Hq("Login", {{"AUsername", "centrala"}, {"APassword", "Centrala1"}});
  ASSERT_FALSE(hq.fault) << hq.body;
  const std::string sid = testing::SidOf(hq.Result());
  ASSERT_EQ(sid.size(), 32u) << hq.Result();
  EXPECT_EQ(Value("SELECT SfApp FROM SES WHERE SID = '" + sid + "'"), "C");
  EXPECT_EQ(Value("SELECT SfApp FROM ACT WHERE SfAct = 'I'"), "C");
  const std::string cookie = testing::Cookie(sid, "centrala");
  EXPECT_EQ(Hq("UnlockOrder", {{"AIdNetPaket", "1"}}, cookie).fault_string,
            "Operation UnlockOrder is not implemented yet");
  const TSoapReply change =
      Hq("ChangePassword", {{"ANewPassword", "x"}, {"AConfirmPassword", "y"}}, cookie);
  EXPECT_EQ(change.fault_string, "Novo geslo in potrditev gesla sta različni !");
  EXPECT_FALSE(Hq("Logout", {}, cookie).fault);

  EXPECT_EQ(Hq("Login", {{"AUsername", "ana"}, {"APassword", "Ana2026!"}}).fault_string,
            "Dostop do \"Prijava v centralo\" ni dovoljen !");
}

TEST_P(LoginTest, TheBranchFrameLogsEachCallAndHeadquartersNothing) {
  const std::filesystem::path folder = db_->Folder().empty()
                                           ? std::filesystem::temp_directory_path() /
                                                 ("zoras_log_test_" + std::to_string(::getpid()))
                                           : db_->Folder();
  std::filesystem::create_directories(folder);
  SetDebugLogFolderForTesting(folder);
  SetBootSettings(TBootSettings::Parse("[ZORAS]\nDEBUGLOG=D\n"));
  const std::string cookie = LogIn("ana", "Ana2026!");
  Branch("ChangePassword", {{"ANewPassword", "x"}, {"AConfirmPassword", "y"}}, cookie);
  Branch("Logout", {}, cookie);
  Hq("Login", {{"AUsername", "centrala"}, {"APassword", "Centrala1"}});
  SetBootSettings(TBootSettings());
  SetDebugLogFolderForTesting({});

  std::ifstream in(folder / DebugLogFileName(Now()), std::ios::binary);
  std::string line, lines;
  while (std::getline(in, line)) lines += line.substr(20) + "\n";  // without the time
  EXPECT_EQ(lines,
            "USR=: TZORPoslovalnica.LogIn: START\r\n"
            "USR=: TZORPoslovalnica.LogIn: END\r\n"
            "USR=: TZORPoslovalnica.ChangePassword: START\r\n"
            "USR=ana: TZORPoslovalnica.ChangePassword: SOAP Request received\r\n"
            "USR=: TZORPoslovalnica.LogOut: START\r\n"
            "USR=ana: TZORPoslovalnica.LogOut: END\r\n");
  if (db_->Folder().empty()) std::filesystem::remove_all(folder);
}

// The pool's first connection loads the process-wide settings before the server listens.
TEST_P(LoginTest, StartingTheServerLoadsTheEuroChangeoverAndTheStartUpSwitches) {
  db_->Run(
      "INSERT INTO EUROOBD (OZNAKA, DANOD, SFVLTFROM, TCJVLTFAKTOR) VALUES "
      "('ES', '2007-01-01 00:00:00', 'E', -1);\n"
      "INSERT INTO INISET (KLJUC, Vrednost) VALUES ('PreverjanjeSoglasja', 'D');\n");
  StartServer(10);
  EXPECT_EQ(EuroSitKonv().SfVltFrom, "E");
  EXPECT_EQ(EuroSitKonv().TcjVltFaktor, -1);
  EXPECT_EQ(HomeCurrencyLabel(TDateTime::Encode(2006, 12, 31)), "SIT");
  EXPECT_TRUE(PoslDjvLU().SgsCheck);
  // A change in the table waits for the next start.
  db_->Run("UPDATE INISET SET Vrednost = 'N'");
  EXPECT_TRUE(PoslDjvLU().SgsCheck);
  StartServer(10);
  EXPECT_FALSE(PoslDjvLU().SgsCheck);
}

INSTANTIATE_TEST_SUITE_P(Drivers, LoginTest,
                         ::testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         DriverTestName);

}  // namespace
}  // namespace zoras
