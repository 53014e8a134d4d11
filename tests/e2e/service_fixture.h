// The whole server in the test process over a scratch database on either driver: real
// HTTP on a free port, the real services, a clock the test sets. Seeds the users every
// login test needs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/clock.h"
#include "base/datetime.h"
#include "packet/base64.h"
#include "services/server.h"
#include "support/schema_db.h"
#include "support/soap_client.h"

namespace zoras {

// Base64 of a password, as USR.Gsl stores it (ASCII passwords only here).
inline std::string StoredPassword(std::string_view password) {
  std::string out;
  AppendBase64(out, password);
  return out;
}

class TServiceTest : public TSchemaDatabaseTest {
 protected:
  // 15 June 2026, 10:00: the clock every test starts from.
  static TDateTime T0() { return TDateTime::Encode(2026, 6, 15, 10, 0, 0); }

  void SetUp() override {
    TSchemaDatabaseTest::SetUp();
    if (IsSkipped()) return;
    SetClockForTesting(T0());
    db_->Run(
        "INSERT INTO SFRGT (SFRGT, NZV) VALUES ('063', 'Prijava v poslovalnico');\n"
        "INSERT INTO SFRGT (SFRGT, NZV) VALUES ('061', 'Prijava v centralo');\n"
        "INSERT INTO ORG (SfOrg, Krt, Nzv, Mst, Fax, SfOsb) VALUES "
        "(1, 'LJ', 'Poslovalnica Ljubljana', 'Ljubljana', '01 300 00 01', 900);\n"
        "INSERT INTO OSB (SfOsb, Nzv, Ime, Akt) VALUES (100, 'Kovač', 'Ana', 'D');\n"
        "INSERT INTO INI (IDINI, MinGsl, SprGslDni) VALUES (1, 6, 0);\n"
        "INSERT INTO GRP (IdGrp, Nzv, LimSfDjv) VALUES (10, 'Zaledna pisarna', NULL);\n"
        "INSERT INTO GRPUSR (IdGrp, Usr) VALUES (10, 'centrala');\n"
        "INSERT INTO GRPRGT (IdGrp, SfRgt) VALUES (10, '061');\n");
    AddUser("ana", "Ana2026!", "063");
    AddUser("centrala", "Centrala1", "");
    AddUser("novak", "novak", "063");
    AddUser("kratek", "abcde", "063");
    StartServer(10);
  }

  void TearDown() override {
    server_.reset();
    ResetClockForTesting();
  }

  // A user with `right` held directly (none when empty), active, password changed
  // today, unit 1, person 100.
  void AddUser(const std::string& user, const std::string& password, const std::string& right) {
    db_->Run("INSERT INTO USR (Usr, Gsl, Akt, GslNap, DanSprGsl, SfOrg, SfOsb) VALUES ('" + user +
             "', '" + StoredPassword(password) + "', 'D', 0, '2026-06-15', 1, 100)");
    if (!right.empty())
      db_->Run("INSERT INTO RGT (IdRgt, Usr, SfRgt) VALUES (" + std::to_string(++right_ids_) +
               ", '" + user + "', '" + right + "')");
  }

  void StartServer(int session_timeout_minutes) {
    server_.reset();
    TPoolOptions pool;
    pool.max_connections = 5;
    pool.min_connections = 1;
    THttpServerOptions http;
    http.address = "127.0.0.1";
    http.port = 0;
    TScratchDatabase* db = db_.get();
    server_ = std::make_unique<TZorasServer>(pool, http, session_timeout_minutes,
                                             [db] { return db->Open(); });
    server_->Start();
  }

  testing::TSoapReply Branch(const std::string& op,
                             const std::vector<std::pair<std::string, std::string>>& params = {},
                             const std::string& cookie = {}) {
    return testing::CallSoap(server_->Port(), "IZORPoslovalnica", op, params, cookie);
  }
  testing::TSoapReply Hq(const std::string& op,
                         const std::vector<std::pair<std::string, std::string>>& params = {},
                         const std::string& cookie = {}) {
    return testing::CallSoap(server_->Port(), "IZORCentrala", op, params, cookie);
  }

  // Logs in to the branch service and returns the session header's Cookie; empty (and
  // a test failure) when the login did not open a session.
  std::string LogIn(const std::string& user, const std::string& password) {
    const testing::TSoapReply r = Branch("Login", {{"AUsername", user}, {"APassword", password}});
    std::string sid;
    if (!r.fault) {
      sid = testing::SidOf(r.Result());
    } else if (r.detail_class == "EPasswordExpiredException") {
      sid = r.detail.count("SID") ? r.detail.at("SID") : "";
    }
    EXPECT_EQ(sid.size(), 32u) << r.body;
    return testing::Cookie(sid, user);
  }

  // One value of the database, as text ("" for none / NULL).
  std::string Value(const std::string& sql) {
    TMemTable rows = db_->Open()->Query(sql);
    rows.First();
    if (rows.IsEmpty()) return "";
    return rows.Field(0).AsString();
  }

  void Advance(int64_t ms) { SetClockForTesting(Now().AddMs(ms)); }

  std::unique_ptr<TZorasServer> server_;
  int right_ids_ = 0;
};

inline constexpr int64_t kMinute = 60 * 1000;

}  // namespace zoras
