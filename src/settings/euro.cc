#include "settings/euro.h"

#include <cmath>
#include <memory>

#include "base/errors.h"
#include "base/messages.h"
#include "packet/value.h"
#include "settings/iniset.h"

namespace zoras {
namespace {

// The one instance; LoadEuroChangeover replaces it during the pool start.
TEuroSitKonv& Changeover() {
  static TEuroSitKonv changeover;
  return changeover;
}

bool InEuroPeriod(TDateTime date) { return date >= Changeover().DanOd; }

}  // namespace

const TEuroSitKonv& EuroSitKonv() { return Changeover(); }

TEUROOBDBODM::TEUROOBDBODM() = default;

void TEUROOBDBODM::LoadEuroChangeover() {
  TEuroSitKonv changeover;
  if (!tblEUROOBD.Active()) tblEUROOBD.Open();
  if (tblEUROOBD.FindByKey({TValue::Text("ES")})) {
    changeover.DanOd = tblEUROOBD.FieldByName("DANOD").AsDateTime();
    changeover.SfVltFrom = tblEUROOBD.FieldByName("SFVLTFROM").AsString();
    // An empty exponent leaves rates unchanged; read as 0 it would turn every rate into 1.
    if (!tblEUROOBD.FieldByName("TCJVLTFAKTOR").IsNull())
      changeover.TcjVltFaktor =
          static_cast<int>(tblEUROOBD.FieldByName("TCJVLTFAKTOR").AsInteger());
  }
  Changeover() = changeover;
}

std::string TEUROOBDBODM::EuroPacket() { return ProvidePacket(tblEUROOBD); }

double ConvertRate(TDateTime date, double value) {
  if (value == 0 || !InEuroPeriod(date)) return value;
  if (value < 0) throw EZoras(Msg(msg::ecNonPositiveBase));
  switch (const int exponent = Changeover().TcjVltFaktor) {
    case 1:
      return value;
    case -1:
      return 1 / value;
    default:
      return std::pow(value, exponent);
  }
}

std::string HomeCurrencyCode(TDateTime date) {
  return InEuroPeriod(date) ? Changeover().SfVltFrom : "S";
}

std::string HomeCurrencyLabel(TDateTime date) { return InEuroPeriod(date) ? "EUR" : "SIT"; }

void LoadSharedSettings(TDM& connection) {
  TBODM::CreateOnConnection<TEUROOBDBODM>(connection)->LoadEuroChangeover();
  TBODM::CreateOnConnection<TINISETBODM>(connection)->LoadStartupSettings();
}

}  // namespace zoras
