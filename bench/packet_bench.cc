// Writing and reading a large dataset packet: 10,000 order rows of 20 columns (~4 MB),
// the size of the biggest listings the services return.
#include <benchmark/benchmark.h>

#include <string>

#include "packet/mem_table.h"
#include "packet/packet_reader.h"
#include "packet/packet_writer.h"

namespace zoras {
namespace {

constexpr int kRows = 10000;

const char* const kNames[] = {"Novak Janez",         "Kovacic d.o.o.",    "Horvat Marija",
                              "Zupancic Ana Marija", "Potocnik & Krajnc", "Mlakar Peter"};
const char* const kStreets[] = {"Presernova cesta 12", "Trg republike 3", "Celovska 150",
                                "Dunajska cesta 5a", "Slovenska <ulica> 22"};

TMemTable MakeOrders() {
  TMemTable t;
  t.AddField({"IDNETNRC", TFieldType::kI4});
  t.AddField({"IDNETPAKET", TFieldType::kI4});
  t.AddField({"STATUS", TFieldType::kString, 1});
  t.AddField({"TRANSAKCIJA", TFieldType::kString, 1});
  t.AddField({"STRANKA", TFieldType::kString, 120});
  t.AddField({"NASLOV", TFieldType::kString, 90});
  t.AddField({"MTS", TFieldType::kString, 15});
  t.AddField({"OPOMBA", TFieldType::kString, 250});
  t.AddField({"KRTKDD", TFieldType::kString, 10});
  t.AddField({"SFVP", TFieldType::kI2});
  t.AddField({"LOT", TFieldType::kR8});
  t.AddField({"GLVTCJ", TFieldType::kR8});
  t.AddField({"AVANS", TFieldType::kR8});
  t.AddField({"VRDNRC", TFieldType::kR8});
  t.AddField({"DAN", TFieldType::kDate});
  t.AddField({"ROK", TFieldType::kDate});
  t.AddField({"VNESENO", TFieldType::kDateTime});
  t.AddField({"DANDOS", TFieldType::kDateTime});
  t.AddField({"SFRCN", TFieldType::kI4});
  t.AddField({"STNRCINT", TFieldType::kString, 20});
  t.Open();
  t.ReserveRows(kRows);
  const TDateTime day = TDateTime::Encode(2008, 3, 5);
  for (int i = 0; i < kRows; ++i) {
    const TDateTime entered = day.AddDays(i % 300).AddMs((i * 7919LL) % TDateTime::kMsPerDay);
    t.AppendRow({
        TValue::Integer(1000000 + i),
        TValue::Integer(200000 + i / 4),
        TValue::Text(i % 3 ? "P" : "Z"),
        TValue::Text(i % 2 ? "N" : "P"),
        TValue::Text(kNames[i % 6]),
        TValue::Text(kStreets[i % 5]),
        TValue::Text("1000 Ljubljana"),
        TValue::Text(i % 4 ? "nakup po trzni" : "limit \"do preklica\""),
        TValue::Text("KDD" + std::to_string(100000 + i % 9000)),
        TValue::Integer(i % 700),
        TValue::Float(10 + i % 1000),
        TValue::Float(12.37 + i * 0.01),
        TValue::Float(i % 5 ? 0 : 1500.5),
        TValue::Float((10 + i % 1000) * (12.37 + i * 0.01)),
        TValue::Date(day.AddDays(i % 30)),
        TValue::Date(day.AddDays(30 + i % 30)),
        TValue::DateTime(entered),
        TValue::DateTime(entered.AddDays(1).DatePart()),
        TValue::Integer(50000 + i % 1234),
        TValue::Text("OEN-LJ1-" + std::to_string(2008000 + i)),
    });
  }
  t.First();
  return t;
}

void BM_WritePacket(benchmark::State& state) {
  const TMemTable table = MakeOrders();
  size_t bytes = 0;
  for (auto _ : state) {
    std::string packet = DataSetToPacket(table, -1);
    bytes = packet.size();
    benchmark::DoNotOptimize(packet);
  }
  state.counters["packet_bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_WritePacket)->Unit(benchmark::kMillisecond);

void BM_ReadPacket(benchmark::State& state) {
  const std::string packet = DataSetToPacket(MakeOrders(), -1);
  for (auto _ : state) {
    TMemTable table = LoadPacket(packet);
    benchmark::DoNotOptimize(table);
  }
  state.counters["packet_bytes"] = static_cast<double>(packet.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * packet.size()));
}
BENCHMARK(BM_ReadPacket)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zoras

BENCHMARK_MAIN();
