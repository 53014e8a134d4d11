#include "settings/iniset.h"

#include "db/bodm.h"
#include "packet/value.h"

namespace zoras {
namespace {

// The one instance; LoadStartupSettings replaces it during the pool start.
TPoslDjvLU& StartupSettings() {
  static TPoslDjvLU settings;
  return settings;
}

}  // namespace

const TPoslDjvLU& PoslDjvLU() { return StartupSettings(); }

TINISETBODM::TINISETBODM() = default;

bool TINISETBODM::FindSetting(std::string_view key) {
  if (!tblINISET.Active()) tblINISET.Open();
  // Each lookup reads the table again, so a change made meanwhile is seen at once.
  return tblINISET.FindByKey({TValue::Text(std::string(key))});
}

std::string TINISETBODM::Vrednost() { return tblINISET.FieldByName("Vrednost").AsString(); }

bool TINISETBODM::SwitchOn(std::string_view key) {
  // Only the upper-case "D" turns a switch on; "d", "DA" or an empty value leave it off.
  return FindSetting(key) && Vrednost() == "D";
}

void TINISETBODM::LoadStartupSettings() {
  TPoslDjvLU settings;
  settings.SgsCheck = SwitchOn("PreverjanjeSoglasja");
  StartupSettings() = settings;
}

bool TINISETBODM::PortalNewValuation() { return SwitchOn("PortalNovoVrednotenje"); }
bool TINISETBODM::DtvoEnabled() { return SwitchOn("DTVO"); }
bool TINISETBODM::HasKpnPtf() { return SwitchOn("HasKpnPtf"); }
bool TINISETBODM::PortalRatesV2() { return SwitchOn("PortalTecajnica_v2"); }
bool TINISETBODM::BntTTEnabled() { return SwitchOn("BntTTEnabled"); }

std::string TINISETBODM::SettingsPacket() { return ProvidePacket(tblINISET); }

TINIBODM::TINIBODM() = default;

bool TINIBODM::FindIni(int id) {
  if (!tblINI.Active()) tblINI.Open();
  return tblINI.FindByKey({TValue::Integer(id)});
}

}  // namespace zoras
