// The installation's settings in the database: the named switches of INISET and the
// installation row of INI. The start-up switches are read once when the pool starts;
// every other switch is read on the request's connection at each use.
#pragma once

#include <string>
#include <string_view>

#include "db/bodm.h"
#include "db/table.h"

namespace zoras {

// The switches read once at pool start and kept for the life of the process. Written
// only by LoadStartupSettings, before requests are served; read without locks.
struct TPoslDjvLU {
  // PreverjanjeSoglasja: the client-consent check is on (reported as SGSINISET).
  bool SgsCheck = false;
};

// The process's start-up switches; every switch off until LoadStartupSettings ran.
const TPoslDjvLU& PoslDjvLU();

class TINISETBODM : public TBODM {
 public:
  TINISETBODM();

  // Opens the table when closed and finds the row of `key`; true when it exists, and
  // Vrednost() is then its value. Throws the database's error.
  bool FindSetting(std::string_view key);
  // The value of the row FindSetting found.
  std::string Vrednost();

  // Replaces the process's start-up switches with those stored now. Called by the pool
  // start on its first connection.
  void LoadStartupSettings();

  // The runtime switches: true exactly when the key's value is "D".
  bool PortalNewValuation();  // PortalNovoVrednotenje
  bool DtvoEnabled();         // DTVO
  bool HasKpnPtf();           // HasKpnPtf
  bool PortalRatesV2();       // PortalTecajnica_v2
  bool BntTTEnabled();        // BntTTEnabled

  // The whole table as a data packet (dspINISET).
  std::string SettingsPacket();

  TFilter tblINISET{this, "tblINISET", "INISET", "KLJUC"};

 private:
  // True when the key's row exists and its value is exactly "D".
  bool SwitchOn(std::string_view key);
};

class TINIBODM : public TBODM {
 public:
  TINIBODM();

  // Opens the table when closed and finds the row IDINI = `id`; true when it exists, and
  // its columns are then readable through tblINI. Throws the database's error.
  bool FindIni(int id);

  TFilter tblINI{this, "tblINI", "INI", "IDINI"};
};

}  // namespace zoras
