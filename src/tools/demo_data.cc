#include "tools/demo_data.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "packet/base64.h"

namespace zoras {
namespace {

constexpr std::array<TDemoUser, 3> kUsers = {{
    {"ana", "Ana2026!", "branch clerk, Poslovalnica Ljubljana (branch service)"},
    {"centrala", "Centrala1", "headquarters, group \"Zaledna pisarna\" (headquarters service)"},
    {"novak", "novak",
     "branch clerk, Poslovalnica Maribor (branch service); the first login demands a new "
     "password"},
}};

using TRow = std::vector<std::pair<std::string_view, TValue>>;

// Table and column names are this file's own constants; every value is bound.
void Insert(TDbConnection& db, std::string_view table, const TRow& row) {
  std::string columns, values;
  TSqlParams params;
  for (const auto& [column, value] : row) {
    if (!columns.empty()) {
      columns += ", ";
      values += ", ";
    }
    columns += column;
    values += ":";
    values += column;
    params.Set(column, value);
  }
  db.Execute("INSERT INTO " + std::string(table) + " (" + columns + ") VALUES (" + values + ")",
             params);
}

TValue Text(std::string_view text) { return TValue::Text(std::string(text)); }
TValue Int(int64_t value) { return TValue::Integer(value); }
TValue Day(int year, int month, int day) {
  return TValue::Date(TDateTime::Encode(year, month, day));
}

// A natural person ("F") or, with an empty first name, a firm ("P").
struct TPerson {
  int sf_osb;
  std::string_view ime, nzv, nsl, pst, mst, tel, fax, email;
  int born_year, born_month, born_day;  // 0 for a firm
};

// The branches' own records first, then the clerks.
constexpr std::array<TPerson, 5> kPersons = {{
    {1, "", "Vrednostnice d.d., Poslovalnica Ljubljana", "Slovenska cesta 56", "1000", "Ljubljana",
     "01 300 41 00", "01 300 41 99", "ljubljana@vrednostnice.si", 0, 0, 0},
    {2, "", "Vrednostnice d.d., Poslovalnica Maribor", "Partizanska cesta 12", "2000", "Maribor",
     "02 229 31 00", "02 229 31 99", "maribor@vrednostnice.si", 0, 0, 0},
    {3, "Ana", "Kovač", "Celovška cesta 112", "1000", "Ljubljana", "041 512 334", "",
     "ana.kovac@vrednostnice.si", 1988, 4, 12},
    {4, "Marko", "Horvat", "Trubarjeva ulica 7", "1000", "Ljubljana", "031 208 775", "",
     "marko.horvat@vrednostnice.si", 1979, 9, 3},
    {5, "Janez", "Novak", "Gosposka ulica 21", "2000", "Maribor", "040 663 190", "",
     "janez.novak@vrednostnice.si", 1992, 1, 27},
}};

void InsertSettings(TDbConnection& db) {
  // The password rules are the ones the login checks (six characters, a change every 90
  // days); the rate lists and bank codes are the ones order entry and headquarters use.
  Insert(db, "INI",
         {{"IDINI", Int(1)},
          {"MinGsl", Int(6)},
          {"SprGslDni", Int(90)},
          {"SfBnt", Int(1)},
          {"SfBntTT", Int(2)},
          {"SfVlnF", Text("F")},
          {"SfVlnP", Text("P")}});
  // The tolar gave way to the euro on 1 January 2007 at 239,64 SIT for one euro; rates
  // of the euro period are quoted the other way round, hence the exponent -1.
  Insert(db, "EUROOBD",
         {{"OZNAKA", Text("ES")},
          {"DANOD", TValue::DateTime(TDateTime::Encode(2007, 1, 1))},
          {"SFVLTFROM", Text("E")},
          {"SFVLTTO", Text("S")},
          {"TCJVLT", TValue::Float(239.64)},
          {"TCJVLTFAKTOR", Int(-1)}});
  for (const auto& [key, value] :
       {std::pair{"PreverjanjeSoglasja", "D"}, std::pair{"BntTTEnabled", "N"}})
    Insert(db, "INISET", {{"KLJUC", Text(key)}, {"Vrednost", Text(value)}});
}

void InsertBranches(TDbConnection& db) {
  for (const TPerson& p : kPersons) {
    const bool firm = p.ime.empty();
    TRow row = {{"SfOsb", Int(p.sf_osb)},
                {"SfDrz", Text("S")},
                {"Nzv", Text(p.nzv)},
                {"Nsl", Text(p.nsl)},
                {"Pst", Text(p.pst)},
                {"Mst", Text(p.mst)},
                {"SfSos", Text(firm ? "P" : "F")},
                {"Tel", Text(p.tel)},
                {"EMail", Text(p.email)},
                {"SfDrzNsl", Text("S")},
                {"Akt", Text("D")}};
    if (!firm) {
      row.emplace_back("Ime", Text(p.ime));
      row.emplace_back("Roj", Day(p.born_year, p.born_month, p.born_day));
      row.emplace_back("RojSfDrz", Text("S"));
    }
    if (!p.fax.empty()) row.emplace_back("Fax", Text(p.fax));
    Insert(db, "OSB", row);
  }
  Insert(db, "ORG",
         {{"SfOrg", Int(1)},
          {"Krt", Text("LJ")},
          {"Nzv", Text("Poslovalnica Ljubljana")},
          {"Mst", Text("Ljubljana")},
          {"Fax", Text(kPersons[0].fax)},
          {"SfOsb", Int(kPersons[0].sf_osb)}});
  Insert(db, "ORG",
         {{"SfOrg", Int(2)},
          {"Krt", Text("MB")},
          {"Nzv", Text("Poslovalnica Maribor")},
          {"Mst", Text("Maribor")},
          {"Fax", Text(kPersons[1].fax)},
          {"SfOsb", Int(kPersons[1].sf_osb)}});
  // Persons get their keys from the ID counter; the next one must follow these.
  int max_sf_osb = 0;
  for (const TPerson& p : kPersons) max_sf_osb = std::max(max_sf_osb, p.sf_osb);
  db.Execute("UPDATE ID SET SfOsb = :SFOSB WHERE Id = 1", {{"SFOSB", Int(max_sf_osb)}});
}

void InsertRights(TDbConnection& db) {
  // 061 and 063 are the login rights of the two services; the other two give the
  // rights tables more than one row per holder.
  for (const auto& [code, name] :
       {std::pair{"061", "Prijava v centralo"}, std::pair{"062", "Potrjevanje naročil"},
        std::pair{"063", "Prijava v poslovalnico"}, std::pair{"064", "Vnos naročil"}})
    Insert(db, "SFRGT", {{"SFRGT", Text(code)}, {"NZV", Text(name)}});

  Insert(db, "GRP", {{"IdGrp", Int(1)}, {"Nzv", Text("Zaledna pisarna")}});
  for (const char* code : {"061", "062"})
    Insert(db, "GRPRGT", {{"IdGrp", Int(1)}, {"SfRgt", Text(code)}});
  Insert(db, "GRPUSR", {{"IdGrp", Int(1)}, {"Usr", Text("centrala")}});

  int id_rgt = 0;
  for (const char* user : {"ana", "novak"}) {
    for (const char* code : {"063", "064"})
      Insert(db, "RGT", {{"IdRgt", Int(++id_rgt)}, {"Usr", Text(user)}, {"SfRgt", Text(code)}});
  }
}

void InsertUsers(TDbConnection& db, TDateTime today) {
  struct TAccount {
    const TDemoUser& user;
    int sf_org, sf_osb;
    std::string_view lim_sf_djv;  // empty: every activity
  };
  const TAccount accounts[] = {
      {kUsers[0], 1, 3, ""},
      {kUsers[1], 1, 4, ""},
      {kUsers[2], 2, 5, "BU"},
  };
  for (const TAccount& a : accounts) {
    std::string gsl;
    AppendBase64(gsl, a.user.password);
    TRow row = {{"Usr", Text(a.user.name)},
                {"Gsl", Text(gsl)},
                {"Akt", Text("D")},
                {"GslNap", Int(0)},
                {"DanSprGsl", TValue::Date(today)},
                {"SfOrg", Int(a.sf_org)},
                {"SfOsb", Int(a.sf_osb)}};
    if (!a.lim_sf_djv.empty()) row.emplace_back("LimSfDjv", Text(a.lim_sf_djv));
    Insert(db, "USR", row);
  }
}

}  // namespace

std::span<const TDemoUser> DemoUsers() { return kUsers; }

void InsertDemoData(TDbConnection& db, TDateTime today) {
  InsertSettings(db);
  InsertBranches(db);
  InsertRights(db);
  InsertUsers(db, today);
}

}  // namespace zoras
