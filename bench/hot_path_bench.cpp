// The capture thread's per-datagram path (filter, row text, append) against
// the floor of merely copying the datagram, its table entries and a
// 40-character row into the store. Their ratio shows how much the filter and the formatting cost on top
// of the copying that any capture must do.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "engine/capture_store.h"
#include "engine/filter.h"

namespace {

struct NoRows final : pw::RowSink {
  void add_row(std::string_view row) override { benchmark::DoNotOptimize(row.data()); }
};

// A 60-byte UDP datagram, 192.168.100.200:53000 -> 10.1.2.3:53.
void MakeUdp60(uint8_t (&d)[60]) {
  std::memset(d, 0, sizeof d);
  const uint8_t header[] = {0x45, 0,   0,  60, 0x12, 0x34, 0, 0, 64, 17,
                            0,    0,   192, 168, 100, 200, 10, 1, 2, 3};
  std::memcpy(d, header, sizeof header);
  d[20] = 0xCF;  // source port 53000
  d[21] = 0x08;
  d[23] = 53;
}

// A 68-byte UDP datagram over IPv6, 2001:db8:100::c8:53000 ->
// 2001:db8:1:2::3:53, of the same 20-byte payload.
void MakeUdp6(uint8_t (&d)[68]) {
  std::memset(d, 0, sizeof d);
  d[0] = 0x60;
  d[5] = 28;  // payload length
  d[6] = 17;
  d[7] = 64;
  const uint8_t source[16] = {0x20, 0x01, 0x0d, 0xb8, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xc8};
  const uint8_t destination[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 3};
  std::memcpy(d + 8, source, 16);
  std::memcpy(d + 24, destination, 16);
  d[40] = 0xCF;  // source port 53000
  d[41] = 0x08;
  d[43] = 53;
}

// Starts the session over without the full reset, which would dominate the
// measurement; both benchmarks do the same.
void Rewind(pw::CaptureStore& store, uint32_t& count) {
  count = 0;
  store.pool_fill.store(0, std::memory_order_relaxed);
  store.sniff_log_length.store(0, std::memory_order_relaxed);
}

// The capture loop's path for one received datagram. With `hosts` > 1 the
// source address changes with every datagram, cycling through that many
// hosts, so that the row cache mostly misses.
template <size_t N>
void HotPath(benchmark::State& state, const char* from, uint32_t hosts,
             void (*make)(uint8_t (&)[N]), size_t host_at) {
  auto store = std::make_unique<pw::CaptureStore>();
  auto cache = std::make_unique<pw::RowMiddleCache>();
  uint8_t datagram[N];
  make(datagram);
  const pw::FilterSettings settings =
      pw::BuildFilterSettings(from, "*:53", false, {true, true, false, false, false});
  NoRows rows;
  uint32_t count = 0;
  uint32_t host = 0;
  // A capture learns the length only at run time, as the floor does.
  uint32_t length = N;
  benchmark::DoNotOptimize(length);
  for (auto _ : state) {
    if (count == pw::kPacketLimit) Rewind(*store, count);
    // A capture time of its own, as a source delivers it with each datagram.
    const pw::CaptureTime time{1'700'000'000, count};
    if (hosts > 1) {
      host = host + 1 == hosts ? 0 : host + 1;
      datagram[host_at] = static_cast<uint8_t>(host >> 8);
      datagram[host_at + 1] = static_cast<uint8_t>(host);
    }
    pw::RowText row;
    uint8_t protocol = 0;
    if (pw::FilterAndDescribe(datagram, length, count, settings, row, protocol, cache.get())) {
      pw::AppendDatagram(*store, count, datagram, length, protocol, time, row.view(), rows,
                         sizeof row.text);
    }
  }
  benchmark::DoNotOptimize(store->byte_pool[0]);
  state.SetItemsProcessed(state.iterations());
}

void BM_HotPath(benchmark::State& state) {
  HotPath<60>(state, "192.168.100.200:*", 1, MakeUdp60, 14);
}
BENCHMARK(BM_HotPath);

// The same path for an IPv6 datagram, its source named in the from field.
void BM_HotPathIpv6(benchmark::State& state) {
  HotPath<68>(state, "[2001:db8:100::c8]:*", 1, MakeUdp6, 22);
}
BENCHMARK(BM_HotPathIpv6);

void BM_HotPathManyHosts(benchmark::State& state) {
  HotPath<60>(state, "*:*", 4096, MakeUdp60, 14);
}
BENCHMARK(BM_HotPathManyHosts);

void BM_CopyFloor(benchmark::State& state) {
  auto store = std::make_unique<pw::CaptureStore>();
  uint8_t datagram[60];
  MakeUdp60(datagram);
  const char row[] = "\t1234\tudp\t192.168.1.20\t53000\t10.1.2.3\t53";  // 40 characters
  static_assert(sizeof row - 1 == 40);
  // A capture learns both lengths only at run time; hide them from the
  // optimiser so that the floor copies the way a capture must.
  uint32_t length = sizeof datagram;
  uint32_t row_length = sizeof row - 1;
  benchmark::DoNotOptimize(length);
  benchmark::DoNotOptimize(row_length);
  uint32_t count = 0;
  for (auto _ : state) {
    if (count == pw::kPacketLimit) Rewind(*store, count);
    const uint32_t fill = store->pool_fill.load(std::memory_order_relaxed);
    store->protocol_table[count] = 17;
    store->length_table[count] = length;
    store->time_table[count] = {1'700'000'000, count};
    std::memcpy(store->byte_pool + fill, datagram, length);
    store->pool_fill.store(fill + length, std::memory_order_release);
    const uint32_t log = store->sniff_log_length.load(std::memory_order_relaxed);
    std::memcpy(store->sniff_log + log, row, row_length);
    std::memcpy(store->sniff_log + log + row_length, "\r\n", 3);
    store->sniff_log_length.store(log + row_length + 2, std::memory_order_release);
    ++count;
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(store->byte_pool[0]);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyFloor);

}  // namespace
