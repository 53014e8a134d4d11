// The euro changeover: loading the row "ES", the home currency of a date and the
// conversion of exchange-rate values; and the shared settings loaded at pool start.
#include "settings/euro.h"

#include <gtest/gtest.h>

#include <functional>

#include "db/dm_test_util.h"
#include "settings/iniset.h"
#include "support/schema_db.h"

namespace zoras {
namespace {

TDateTime Day(int year, int month, int day) { return TDateTime::Encode(year, month, day); }

class EuroTest : public TSchemaDatabaseTest {
 protected:
  // Stores the row "ES" and loads it.
  void LoadChangeover(TDateTime dan_od, const std::string& code, int exponent) {
    dm_->dbZor().Execute("DELETE FROM EUROOBD");
    dm_->dbZor().Execute(
        "INSERT INTO EUROOBD (OZNAKA, DANOD, SFVLTFROM, TCJVLTFAKTOR) VALUES ('ES', :D, :C, :F)",
        {{"D", TValue::DateTime(dan_od)},
         {"C", TValue::Text(code)},
         {"F", TValue::Integer(exponent)}});
    TBODM::CreateOnConnection<TEUROOBDBODM>(*dm_)->LoadEuroChangeover();
  }
};

INSTANTIATE_TEST_SUITE_P(Drivers, EuroTest,
                         testing::Values(TDriverKind::kSQLite, TDriverKind::kPostgreSQL),
                         DriverTestName);

TEST_P(EuroTest, ChangeoverDaySeparatesThePeriods) {
  LoadChangeover(Day(2007, 1, 1), "E", -1);
  EXPECT_EQ(EuroSitKonv().DanOd, Day(2007, 1, 1));
  EXPECT_EQ(EuroSitKonv().SfVltFrom, "E");
  EXPECT_EQ(EuroSitKonv().TcjVltFaktor, -1);
  const struct {
    TDateTime date;
    const char* label;
    const char* code;
    double converted;  // of 239.64
  } cases[] = {
      {Day(2006, 12, 31), "SIT", "S", 239.64},
      {Day(2006, 12, 31).AddMs(TDateTime::kMsPerDay - 1), "SIT", "S", 239.64},
      {Day(2007, 1, 1), "EUR", "E", 1 / 239.64},
      {Day(2020, 6, 15), "EUR", "E", 1 / 239.64},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(HomeCurrencyLabel(c.date), c.label);
    EXPECT_EQ(HomeCurrencyCode(c.date), c.code);
    EXPECT_DOUBLE_EQ(ConvertRate(c.date, 239.64), c.converted);
    EXPECT_EQ(ConvertRate(c.date, 0), 0) << "0 stays 0 in either period";
  }
}

TEST_P(EuroTest, ExponentIsAppliedInTheEuroPeriod) {
  const struct {
    int exponent;
    double value;
    double converted;
  } cases[] = {{1, 239.64, 239.64}, {-1, 4, 0.25}, {2, 3, 9}, {-2, 2, 0.25}, {0, 5, 1}};
  for (const auto& c : cases) {
    LoadChangeover(Day(2007, 1, 1), "E", c.exponent);
    EXPECT_DOUBLE_EQ(ConvertRate(Day(2008, 1, 1), c.value), c.converted) << c.exponent;
    EXPECT_EQ(ConvertRate(Day(2006, 1, 1), c.value), c.value) << c.exponent;
  }
}

TEST_P(EuroTest, NegativeValueFailsOnlyInTheEuroPeriod) {
  LoadChangeover(Day(2007, 1, 1), "E", 1);
  EXPECT_EQ(ErrorText([] { ConvertRate(Day(2007, 1, 1), -1.5); }),
            "Cannot raise non positive base to power");
  EXPECT_EQ(ConvertRate(Day(2006, 12, 31), -1.5), -1.5);
}

// A row without an exponent leaves rates as they are instead of turning them into 1.
TEST_P(EuroTest, AnEmptyExponentLeavesRatesUnchanged) {
  dm_->dbZor().Execute(
      "INSERT INTO EUROOBD (OZNAKA, DANOD, SFVLTFROM) VALUES ('ES', '2007-01-01 00:00:00', 'E')");
  TBODM::CreateOnConnection<TEUROOBDBODM>(*dm_)->LoadEuroChangeover();
  EXPECT_EQ(EuroSitKonv().TcjVltFaktor, 1);
  EXPECT_EQ(ConvertRate(Day(2008, 1, 1), 239.64), 239.64);
}

TEST_P(EuroTest, WithoutTheRowEveryDateIsTheEuroPeriod) {
  LoadChangeover(Day(2007, 1, 1), "E", -1);
  dm_->dbZor().Execute("DELETE FROM EUROOBD");
  dm_->dbZor().Execute("INSERT INTO EUROOBD (OZNAKA, SFVLTFROM) VALUES ('XS', 'X')");
  TBODM::CreateOnConnection<TEUROOBDBODM>(*dm_)->LoadEuroChangeover();
  EXPECT_TRUE(EuroSitKonv().DanOd.IsZero());
  EXPECT_EQ(EuroSitKonv().TcjVltFaktor, 1);
  for (TDateTime date : {TDateTime(), Day(1950, 1, 1), Day(2006, 12, 31)}) {
    EXPECT_EQ(HomeCurrencyLabel(date), "EUR");
    EXPECT_EQ(HomeCurrencyCode(date), "");
    EXPECT_EQ(ConvertRate(date, 239.64), 239.64);
  }
}

TEST_P(EuroTest, EuroPacketHoldsTheTable) {
  LoadChangeover(Day(2007, 1, 1), "E", -1);
  const std::string packet = TBODM::CreateOnConnection<TEUROOBDBODM>(*dm_)->EuroPacket();
  EXPECT_NE(packet.find("TCJVLTFAKTOR"), std::string::npos) << packet;
  EXPECT_NE(packet.find("OZNAKA=\"ES\""), std::string::npos) << packet;
}

TEST_P(EuroTest, SharedSettingsLoadBothProcessObjects) {
  dm_->dbZor().Execute(
      "INSERT INTO EUROOBD (OZNAKA, DANOD, SFVLTFROM, TCJVLTFAKTOR) VALUES ('ES', :D, 'E', -1)",
      {{"D", TValue::DateTime(Day(2007, 1, 1))}});
  dm_->dbZor().Execute("INSERT INTO INISET (KLJUC, Vrednost) VALUES ('PreverjanjeSoglasja', 'D')");
  LoadSharedSettings(*dm_);
  EXPECT_EQ(EuroSitKonv().DanOd, Day(2007, 1, 1));
  EXPECT_EQ(HomeCurrencyCode(Day(2007, 1, 1)), "E");
  EXPECT_TRUE(PoslDjvLU().SgsCheck);

  dm_->dbZor().Execute("DELETE FROM EUROOBD");
  dm_->dbZor().Execute("DELETE FROM INISET");
  LoadSharedSettings(*dm_);
  EXPECT_TRUE(EuroSitKonv().DanOd.IsZero());
  EXPECT_FALSE(PoslDjvLU().SgsCheck);
}

}  // namespace
}  // namespace zoras
