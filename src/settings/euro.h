// The changeover of the home currency to the euro: one row of EUROOBD (OZNAKA = 'ES'),
// read once at pool start into a process-wide object. It tells which home currency
// applies on a date and converts exchange-rate values quoted differently after it.
#pragma once

#include <string>

#include "base/datetime.h"
#include "db/bodm.h"
#include "db/table.h"

namespace zoras {

// Written only by LoadEuroChangeover, before requests are served; read without locks.
struct TEuroSitKonv {
  TDateTime DanOd;        // the changeover day; dates on or after it are the euro period
  std::string SfVltFrom;  // the home-currency code of the euro period
  int TcjVltFaktor = 1;   // exponent of exchange-rate values in the euro period
};

// The process's changeover; the initial values until LoadEuroChangeover ran.
const TEuroSitKonv& EuroSitKonv();

class TEUROOBDBODM : public TBODM {
 public:
  TEUROOBDBODM();

  // Replaces the process's changeover with the stored row "ES"; without the row the
  // initial values stay (every date is the euro period, empty code, exponent 1).
  void LoadEuroChangeover();
  // The whole table as a data packet.
  std::string EuroPacket();

  TFilter tblEUROOBD{this, "tblEUROOBD", "EUROOBD", "OZNAKA"};
};

// `value` raised to the exponent when it is not 0 and `date` is in the euro period,
// else `value`. Throws EZoras "Cannot raise non positive base to power" for a negative
// value in the euro period.
double ConvertRate(TDateTime date, double value);

// The home-currency code on `date`: the euro period's code, "S" before the changeover.
std::string HomeCurrencyCode(TDateTime date);
// "EUR" on or after the changeover day, "SIT" before it.
std::string HomeCurrencyLabel(TDateTime date);

// Loads the process-wide settings on the pool's first connection: the euro changeover
// and the start-up switches. The pool's start hook.
void LoadSharedSettings(TDM& connection);

}  // namespace zoras
