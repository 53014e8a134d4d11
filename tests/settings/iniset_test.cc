// The INISET switches (start-up and runtime) and the INI row.
#include "settings/iniset.h"

#include <gtest/gtest.h>

#include <functional>

#include "packet/mem_table.h"
#include "packet/packet_reader.h"
#include "support/schema_db.h"

namespace zoras {
namespace {

class IniSetTest : public TSchemaDatabaseTest {
 protected:
  // Stores `value` under `key` (null: the key's row is removed).
  void SetSetting(const std::string& key, const TValue& value) {
    dm_->dbZor().Execute("DELETE FROM INISET WHERE KLJUC = :K", {{"K", TValue::Text(key)}});
    if (!value.IsNull())
      dm_->dbZor().Execute("INSERT INTO INISET (KLJUC, Vrednost) VALUES (:K, :V)",
                           {{"K", TValue::Text(key)}, {"V", value}});
  }
};

INSTANTIATE_TEST_SUITE_P(Drivers, IniSetTest,
                         testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         DriverTestName);

TEST_P(IniSetTest, ConsentCheckIsOnOnlyForUpperCaseD) {
  const struct {
    TValue value;  // null: no row
    bool on;
  } cases[] = {
      {TValue::Text("D"), true},   {TValue::Text("d"), false}, {TValue::Text("DA"), false},
      {TValue::Text(" D"), false}, {TValue::Text("N"), false}, {TValue::Text(""), false},
      {TValue(), false},
  };
  auto settings = TBODM::CreateOnConnection<TINISETBODM>(*dm_);
  for (const auto& c : cases) {
    SetSetting("PreverjanjeSoglasja", c.value);
    settings->LoadStartupSettings();
    EXPECT_EQ(PoslDjvLU().SgsCheck, c.on) << "value '" << c.value.AsString() << "'";
  }
}

TEST_P(IniSetTest, StartupSwitchKeepsItsValueUntilLoadedAgain) {
  SetSetting("PreverjanjeSoglasja", TValue::Text("D"));
  TBODM::CreateOnConnection<TINISETBODM>(*dm_)->LoadStartupSettings();
  SetSetting("PreverjanjeSoglasja", TValue::Text("N"));
  EXPECT_TRUE(PoslDjvLU().SgsCheck) << "a change in the table needs a restart";
  TBODM::CreateOnConnection<TINISETBODM>(*dm_)->LoadStartupSettings();
  EXPECT_FALSE(PoslDjvLU().SgsCheck);
}

TEST_P(IniSetTest, EachRuntimeSwitchReadsItsOwnKey) {
  const struct {
    const char* key;
    std::function<bool(TINISETBODM&)> reader;
  } switches[] = {
      {"PortalNovoVrednotenje", &TINISETBODM::PortalNewValuation},
      {"DTVO", &TINISETBODM::DtvoEnabled},
      {"HasKpnPtf", &TINISETBODM::HasKpnPtf},
      {"PortalTecajnica_v2", &TINISETBODM::PortalRatesV2},
      {"BntTTEnabled", &TINISETBODM::BntTTEnabled},
  };
  auto settings = TBODM::CreateOnConnection<TINISETBODM>(*dm_);
  for (const auto& on : switches) {
    for (const auto& s : switches) SetSetting(s.key, TValue::Text(s.key == on.key ? "D" : "d"));
    for (const auto& s : switches)
      EXPECT_EQ(s.reader(*settings), s.key == on.key) << s.key << " with " << on.key << " on";
  }
}

TEST_P(IniSetTest, RuntimeSwitchSeesTheTableChangeAtTheNextCall) {
  // One module throughout: nothing is cached between calls.
  auto settings = TBODM::CreateOnConnection<TINISETBODM>(*dm_);
  EXPECT_FALSE(settings->BntTTEnabled()) << "no row";
  SetSetting("BntTTEnabled", TValue::Text("D"));
  EXPECT_TRUE(settings->BntTTEnabled());
  // Changed by another request's connection.
  NewConnection()->dbZor().Execute("UPDATE INISET SET Vrednost = 'N' WHERE KLJUC = 'BntTTEnabled'");
  EXPECT_FALSE(settings->BntTTEnabled());
}

TEST_P(IniSetTest, FindSettingGivesTheValue) {
  SetSetting("ImeKljuca", TValue::Text("vrednost 'x'"));
  auto settings = TBODM::CreateOnConnection<TINISETBODM>(*dm_);
  ASSERT_TRUE(settings->FindSetting("ImeKljuca"));
  EXPECT_EQ(settings->Vrednost(), "vrednost 'x'");
  EXPECT_FALSE(settings->FindSetting("imekljuca")) << "the key is matched exactly";
  EXPECT_FALSE(settings->FindSetting("Ime'Kljuca"));
}

TEST_P(IniSetTest, SettingsPacketHoldsEveryRow) {
  SetSetting("A", TValue::Text("1"));
  SetSetting("B", TValue::Text("D"));
  TMemTable packet = LoadPacket(TBODM::CreateOnConnection<TINISETBODM>(*dm_)->SettingsPacket());
  ASSERT_EQ(packet.RecordCount(), 2u);
  packet.First();
  EXPECT_EQ(packet.FieldByName("KLJUC").AsString(), "A");
  packet.Next();
  EXPECT_EQ(packet.FieldByName("Vrednost").AsString(), "D");
}

TEST_P(IniSetTest, FindIniFindsTheInstallationRow) {
  auto ini = TBODM::CreateOnConnection<TINIBODM>(*dm_);
  EXPECT_FALSE(ini->FindIni(1)) << "no row yet";
  dm_->dbZor().Execute("INSERT INTO INI (IDINI, SfVlnF, SfBnt, MinGsl) VALUES (1, 'F', 7, 6)");
  ASSERT_TRUE(ini->FindIni(1));
  EXPECT_EQ(ini->tblINI.FieldByName("SfVlnF").AsString(), "F");
  EXPECT_EQ(ini->tblINI.FieldByName("SfBnt").AsInteger(), 7);
  EXPECT_EQ(ini->tblINI.FieldByName("MinGsl").AsInteger(), 6);
  EXPECT_FALSE(ini->FindIni(2));
}

}  // namespace
}  // namespace zoras
