// Rights: held directly, through a group, for one data item; the refusal message and the
// answer cache of one module.
#include "security/rights.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/schema_db.h"

namespace zoras {
namespace {

class RightsTest : public TSchemaDatabaseTest {
 protected:
  void SetUp() override {
    TSchemaDatabaseTest::SetUp();
    if (IsSkipped()) return;
    Run("INSERT INTO SFRGT (SFRGT, NZV) VALUES ('063', 'Prijava v poslovalnico')");
    Run("INSERT INTO SFRGT (SFRGT, NZV) VALUES ('061', 'Prijava v centralo')");
  }

  void Run(const std::string& sql, const TSqlParams& params = {}) {
    dm_->dbZor().Execute(sql, params);
  }
  void GrantUser(const std::string& user, const std::string& code) {
    Run("INSERT INTO RGT (IdRgt, Usr, SfRgt) VALUES (:ID, :USR, :RGT)",
        {{"ID", TValue::Integer(++next_rgt_)},
         {"USR", TValue::Text(user)},
         {"RGT", TValue::Text(code)}});
  }
  void Join(int group, const std::string& user) {
    Run("INSERT INTO GRPUSR (IdGrp, Usr) VALUES (:GRP, :USR)",
        {{"GRP", TValue::Integer(group)}, {"USR", TValue::Text(user)}});
  }
  void GrantGroup(int group, const std::string& code) {
    Run("INSERT INTO GRPRGT (IdGrp, SfRgt) VALUES (:GRP, :RGT)",
        {{"GRP", TValue::Integer(group)}, {"RGT", TValue::Text(code)}});
  }

  // A new rights module asking for `user`.
  std::unique_ptr<TRGTBODM> RightsOf(const std::string& user) {
    dm_->CallContext().Usr = user;
    return TBODM::CreateOnConnection<TRGTBODM>(*dm_);
  }

  int next_rgt_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Drivers, RightsTest,
                         testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         DriverTestName);

TEST_P(RightsTest, RightHeldDirectlyOrThroughAGroup) {
  GrantUser("ANA", "063");
  Join(10, "BOR");
  GrantGroup(10, "063");
  Join(20, "CENE");       // a group without rights
  GrantGroup(30, "061");  // a group nobody is in
  Join(10, "O'HARA");     // the name is a value, never statement text
  GrantUser("ZALA", "063");
  const struct {
    const char* user;
    const char* code;
    bool granted;
  } cases[] = {
      {"ANA", "063", true},    {"ANA", "061", false},    {"BOR", "063", true},
      {"BOR", "061", false},   {"CENE", "063", false},   {"CENE", "061", false},
      {"O'HARA", "063", true}, {"NOBODY", "063", false}, {"", "063", false},
      {"ana", "063", false},  // names are compared exactly
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RightsOf(c.user)->HasRight(c.code), c.granted) << c.user << " " << c.code;
  }
}

TEST_P(RightsTest, DataItemRightIsApartFromTheRightWithoutItem) {
  Run("INSERT INTO RGTUSRDATA (USR, SFRGT, IDDATA) VALUES ('ANA', '070', 'A1')");
  Join(10, "BOR");
  Run("INSERT INTO RGTGRPDATA (IDGRP, SFRGT, IDDATA) VALUES (10, '070', 'B2')");
  GrantUser("ANA", "071");
  GrantGroup(10, "072");
  Join(20, "CENE");
  const struct {
    const char* user;
    const char* code;
    const char* item;
    bool granted;
  } cases[] = {
      {"ANA", "070", "A1", true},   // RGTUSRDATA
      {"ANA", "070", "B2", false},  // another item
      {"ANA", "070", "", false},    // an item right is no right without item
      {"BOR", "070", "B2", true},   // RGTGRPDATA of the user's group
      {"BOR", "070", "A1", false},  // another user's item right
      {"BOR", "070", "", false},   {"CENE", "070", "B2", false},  // another group's item right
      {"ANA", "071", "", true},                                   // RGT
      {"ANA", "071", "X", false},  // a right without item is no item right
      {"BOR", "072", "", true},    // GRPRGT
      {"BOR", "072", "X", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RightsOf(c.user)->HasRight(c.code, c.item), c.granted)
        << c.user << " " << c.code << " item '" << c.item << "'";
  }
}

TEST_P(RightsTest, RefusalNamesTheRightBySfrgtName) {
  GrantUser("ANA", "063");
  auto rights = RightsOf("ANA");
  EXPECT_NO_THROW(rights->RequireRight("063"));
  const struct {
    const char* code;
    const char* message;
  } cases[] = {
      {"061", "Dostop do \"Prijava v centralo\" ni dovoljen !"},
      {"099", "Dostop do \"\" ni dovoljen !"},  // not in SFRGT
  };
  for (const auto& c : cases) {
    try {
      rights->RequireRight(c.code);
      ADD_FAILURE() << c.code << " granted";
    } catch (const EZoras& e) {
      EXPECT_EQ(std::string(e.what()), c.message) << c.code;
    }
  }
}

TEST_P(RightsTest, ModuleAnswersFromItsCacheANewModuleAsksAgain) {
  GrantUser("ANA", "063");
  auto first = RightsOf("ANA");
  ASSERT_TRUE(first->HasRight("063"));
  ASSERT_FALSE(first->HasRight("061"));

  // Another request changes the rights and the names.
  auto other = NewConnection();
  other->dbZor().Execute("DELETE FROM RGT WHERE Usr = 'ANA'");
  other->dbZor().Execute("INSERT INTO RGT (IdRgt, Usr, SfRgt) VALUES (99, 'ANA', '061')");

  EXPECT_TRUE(first->HasRight("063")) << "granted answer kept";
  EXPECT_NO_THROW(first->RequireRight("063"));
  EXPECT_FALSE(first->HasRight("061")) << "refused answer kept";
  EXPECT_FALSE(first->HasRight("063", "X")) << "an item is a question of its own";

  auto second = RightsOf("ANA");
  EXPECT_FALSE(second->HasRight("063"));
  EXPECT_TRUE(second->HasRight("061"));
}

TEST_P(RightsTest, RightNamesAreReadOncePerModule) {
  auto first = RightsOf("ANA");
  EXPECT_THROW(first->RequireRight("099"), EZoras);  // loads the names
  NewConnection()->dbZor().Execute(
      "UPDATE SFRGT SET NZV = 'Prijava v zaledje' WHERE SFRGT = '061'");
  const auto message = [](TRGTBODM& rights) {
    try {
      rights.RequireRight("061");
    } catch (const EZoras& e) {
      return std::string(e.what());
    }
    return std::string("(granted)");
  };
  EXPECT_EQ(message(*first), "Dostop do \"Prijava v centralo\" ni dovoljen !");
  EXPECT_EQ(message(*RightsOf("ANA")), "Dostop do \"Prijava v zaledje\" ni dovoljen !");
}

}  // namespace
}  // namespace zoras
