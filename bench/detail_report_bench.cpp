// The details report of a full-size Ethernet UDP datagram (1,500 bytes) and
// of the largest datagram (65,535 bytes, both views, cut to the report's
// capacity; and once with a payload of zero bytes), through the store as
// "packets in details" decodes it: locate, build the report, cut it into
// entries.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "decode/detail_report.h"
#include "engine/capture_store.h"
#include "engine/filter.h"

namespace {

struct NoRows final : pw::RowSink {
  void add_row(std::string_view) override {}
};

// A UDP datagram of `length` bytes whose payload cycles through all byte
// values, zero and line ends included; with `zeros`, a payload of zero bytes
// (padding) instead.
std::vector<uint8_t> UdpDatagram(uint32_t length, bool zeros = false) {
  std::vector<uint8_t> d(length);
  const uint8_t header[28] = {0x45, 0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
                              0, 1, 0, 0, 64, 17, 0, 0, 192, 168, 1, 20, 10, 1, 2, 3,
                              0xCF, 0x08, 0, 53, 0, 0, 0x12, 0x34};
  for (uint32_t i = 0; i < length; ++i) {
    d[i] = i < 28 ? header[i] : zeros ? 0 : static_cast<uint8_t>(i * 7);
  }
  return d;
}

void DecodeUdp(benchmark::State& state, uint32_t length, bool zeros = false) {
  auto store = std::make_unique<pw::CaptureStore>();
  pw::ResetCaptureStore(*store);
  NoRows rows;
  uint32_t count = 0;
  const std::vector<uint8_t> filler = UdpDatagram(60);
  for (int k = 0; k < 10; ++k) {
    pw::AppendDatagram(*store, count, filler.data(), 60, 17, {}, "", rows);
  }
  const std::vector<uint8_t> d = UdpDatagram(length, zeros);
  pw::AppendDatagram(*store, count, d.data(), length, 17, {}, "", rows);
  // The first-run options; a UDP datagram gets both views whatever they are.
  const pw::PayloadViewFlags flags{false, true, false};
  pw::DetailReport report;
  size_t entries = 0;
  for (auto _ : state) {
    pw::DecodePacket(*store, 10, flags, report);
    entries = report.entries.size();
    benchmark::DoNotOptimize(report.entries.data());
  }
  state.counters["entries"] = static_cast<double>(entries);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}

void BM_DetailReportUdp1500(benchmark::State& state) { DecodeUdp(state, 1500); }
BENCHMARK(BM_DetailReportUdp1500)->Unit(benchmark::kMicrosecond);

void BM_DetailReportUdp65535(benchmark::State& state) { DecodeUdp(state, 65535); }
BENCHMARK(BM_DetailReportUdp65535)->Unit(benchmark::kMicrosecond);

void BM_DetailReportUdp65535Zeros(benchmark::State& state) { DecodeUdp(state, 65535, true); }
BENCHMARK(BM_DetailReportUdp65535Zeros)->Unit(benchmark::kMicrosecond);

}  // namespace
