// The users module apart from the login: the activity list merged from the user's groups
// and the user packet with its looked-up values.
#include "security/users.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "packet/mem_table.h"
#include "packet/packet_reader.h"
#include "support/schema_db.h"

namespace zoras {
namespace {

TValue TextOrNull(const char* text) { return text ? TValue::Text(text) : TValue(); }

class UsersTest : public TSchemaDatabaseTest {
 protected:
  void Run(const std::string& sql, const TSqlParams& params = {}) {
    dm_->dbZor().Execute(sql, params);
  }
  void AddUser(const std::string& user, const char* activities) {
    Run("INSERT INTO USR (Usr, Akt, GslNap, LimSfDjv) VALUES (:USR, 'D', 0, :LIM)",
        {{"USR", TValue::Text(user)}, {"LIM", TextOrNull(activities)}});
  }
  void AddGroup(int group, const char* activities) {
    Run("INSERT INTO GRP (IdGrp, Nzv, LimSfDjv) VALUES (:GRP, 'Skupina', :LIM)",
        {{"GRP", TValue::Integer(group)}, {"LIM", TextOrNull(activities)}});
  }
  void Join(int group, const std::string& user) {
    Run("INSERT INTO GRPUSR (IdGrp, Usr) VALUES (:GRP, :USR)",
        {{"GRP", TValue::Integer(group)}, {"USR", TValue::Text(user)}});
  }
};

INSTANTIATE_TEST_SUITE_P(Drivers, UsersTest,
                         testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         DriverTestName);

TEST_P(UsersTest, ActivityListMergesTheGroupsLetters) {
  // A group's list; kNotInGrp: a GRPUSR row whose group has no GRP row.
  static constexpr const char* kNotInGrp = "(no GRP row)";
  const struct {
    const char* own;                  // nullptr: NULL
    std::vector<const char*> groups;  // in IdGrp order; nullptr: NULL
    const char* expected;
  } cases[] = {
      {"", {"U"}, ""},  // no limit of one's own, whatever the groups say
      {nullptr, {"U"}, ""},
      {"?", {"U"}, ""},
      {"?BU", {"U", "K"}, "BUK"},
      {"B", {"K", "U"}, "BKU"},  // groups in IdGrp order
      {"B", {"UK", "KZ"}, "BUKZ"},
      {"B", {"?UK"}, "BUK"},  // the groups' "?" goes too
      {"B", {"U", ""}, "B"},  // a group without limit: the user's own list alone
      {"B", {"", "U"}, "B"},
      {"B", {"U", nullptr}, "B"},
      {"B", {"?"}, "B"},
      {"?BU", {}, "BU"},
      {"BU", {}, "BU"},
      {"B", {kNotInGrp, "K"}, "BK"},
  };
  for (const auto& c : cases) {
    std::string label = std::string("own '") + (c.own ? c.own : "NULL") + "' groups";
    for (const char* g : c.groups) label += std::string(" '") + (g ? g : "NULL") + "'";
    Run("DELETE FROM USR");
    Run("DELETE FROM GRP");
    Run("DELETE FROM GRPUSR");
    AddUser("ANA", c.own);
    // Another user's group must not count.
    AddUser("BOR", "B");
    AddGroup(100, "Z");
    Join(100, "BOR");
    int id = 0;
    for (const char* g : c.groups) {
      ++id;
      if (g != kNotInGrp) AddGroup(id, g);
      Join(id, "ANA");
    }
    auto users = TBODM::CreateOnConnection<TUSRBODM>(*dm_);
    ASSERT_TRUE(users->FindUser("ANA")) << label;
    EXPECT_EQ(users->ActivityList(), c.expected) << label;
  }
}

class UserPacketTest : public UsersTest {
 protected:
  void SetUp() override {
    UsersTest::SetUp();
    if (IsSkipped()) return;
    Run("INSERT INTO OSB (SfOsb, Nzv, Ime) VALUES (100, 'Čebašek', 'Žiga')");
    Run("INSERT INTO OSB (SfOsb, Nzv, Ime) VALUES (200, 'Banka d.d.', NULL)");
    Run("INSERT INTO ORG (SfOrg, Nzv, Mst, Fax, SfOsb) "
        "VALUES (7, 'Poslovalnica Center', 'Ljubljana', '01 234 56 78', 200)");
    Run("INSERT INTO USR (Usr, Akt, GslNap, SfOrg, SfOsb, SfDjv, InitMenuItem) "
        "VALUES ('ZCEBASEK', 'D', 0, 7, 100, 'B', 'mnuPogodbe')");
    // A unit and a person that do not exist.
    Run("INSERT INTO USR (Usr, Akt, GslNap, SfOrg, SfOsb) VALUES ('SIROTA', 'D', 0, 8, 101)");
  }

  // The one row of the user's packet.
  TMemTable PacketOf(const std::string& user) {
    auto users = TBODM::CreateOnConnection<TUSRBODM>(*dm_);
    const std::string packet = users->UserPacket(user);
    TMemTable rows = LoadPacket(packet);
    EXPECT_EQ(rows.RecordCount(), 1u) << packet;
    rows.First();
    return rows;
  }
};

INSTANTIATE_TEST_SUITE_P(Drivers, UserPacketTest,
                         testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         DriverTestName);

TEST_P(UserPacketTest, CarriesTheUsersRowAndLookedUpValues) {
  TMemTable row = PacketOf("ZCEBASEK");
  EXPECT_EQ(row.FieldByName("Usr").AsString(), "ZCEBASEK");
  EXPECT_EQ(row.FieldByName("SfDjv").AsString(), "B");
  EXPECT_EQ(row.FieldByName("InitMenuItem").AsString(), "mnuPogodbe");
  EXPECT_EQ(row.FieldByName("SfOrg").AsInteger(), 7);
  EXPECT_EQ(row.FieldByName("UsrLKP").AsString(), "Čebašek Žiga");
  EXPECT_EQ(row.FieldByName("SfOrgLkp").AsString(), "Poslovalnica Center");
  EXPECT_EQ(row.FieldByName("OrgMstLkp").AsString(), "Ljubljana");
  EXPECT_EQ(row.FieldByName("OrgFaxLkp").AsString(), "01 234 56 78");
  EXPECT_EQ(row.FieldByName("SfOsbOrg").AsInteger(), 200);
}

TEST_P(UserPacketTest, LookUpsOfMissingUnitAndPersonAreEmpty) {
  TMemTable row = PacketOf("SIROTA");
  EXPECT_EQ(row.FieldByName("Usr").AsString(), "SIROTA");
  for (const char* name : {"UsrLKP", "SfOrgLkp", "OrgMstLkp", "OrgFaxLkp", "SfOsbOrg"})
    EXPECT_EQ(row.FieldByName(name).AsString(), "") << name;
}

TEST_P(UserPacketTest, UnknownUserGivesNoPacket) {
  auto users = TBODM::CreateOnConnection<TUSRBODM>(*dm_);
  EXPECT_EQ(users->UserPacket("NIHCE"), "");
  EXPECT_EQ(users->UserPacket("zcebasek"), "") << "names are compared exactly";
  EXPECT_EQ(users->UserPacket(""), "");
}

}  // namespace
}  // namespace zoras
