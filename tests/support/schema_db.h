// A scratch database with every schema file applied, on either driver, and a connection
// module on it: the base of the tests of the business data modules.
//
//   class UsersTest : public TSchemaDatabaseTest {};
//   INSTANTIATE_TEST_SUITE_P(Drivers, UsersTest,
//                            testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
//                            DriverTestName);
//   TEST_P(UsersTest, X) { auto users = TBODM::CreateOnConnection<TUSRBODM>(*dm_); ... }
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "db/database.h"
#include "db/db_test_util.h"
#include "db/dm.h"
#include "db/schema_files.h"

namespace zoras {

class TSchemaDatabaseTest : public TDriverTest {
 protected:
  void SetUp() override {
    TDriverTest::SetUp();
    if (IsSkipped()) return;
    // Result columns are spelled as the schema spells them, as in the server.
    static std::once_flag spellings;
    std::call_once(spellings, [] {
      std::string ddl;
      for (const auto& [name, text] : SchemaFiles()) ddl += text + "\n";
      SetSchemaSpellings(ddl);
    });
    for (const auto& [name, text] : SchemaFiles()) db_->Run(text);
    dm_ = NewConnection();
  }

  // A connection module on a new connection to the database (another request's).
  std::unique_ptr<TDM> NewConnection() const { return std::make_unique<TDM>(db_->Open(), ""); }

  // Declared after db_ (in the base), so it is closed before the database goes.
  std::unique_ptr<TDM> dm_;
};

}  // namespace zoras
