// Capture files at the size of a full store: writing the pcap of 10,000
// datagrams (819,200 bytes), and reading a 10,000-datagram file, each from
// and to memory and through a stdio stream on a temporary file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/capture_store.h"
#include "engine/packet_source.h"
#include "files/byte_stream.h"
#include "files/capture_file_reader.h"
#include "files/capture_file_writer.h"
#include "support/capture_file_builder.h"
#include "support/datagram_builder.h"

namespace {

// A full store's datagrams: 10,000 UDP datagrams of 28 to 127 bytes and one
// that takes the rest of the 819,200-byte pool, with times in nanoseconds.
struct FullStore {
  std::vector<uint8_t> pool;
  std::vector<uint32_t> lengths;
  std::vector<pw::CaptureTime> times;

  FullStore() {
    for (uint32_t k = 0; k < pw::kPacketLimit; ++k) {
      const size_t size = k + 1 < pw::kPacketLimit ? 28 + k % 100 : pw::kBytePoolSize - pool.size();
      const std::vector<uint8_t> d =
          pw::test::MakeDatagram({.protocol = 17, .payload_length = size - 28});
      pool.insert(pool.end(), d.begin(), d.end());
      lengths.push_back(static_cast<uint32_t>(d.size()));
      times.push_back({1700000000 + k / 1000, k * 100003u % 1000000000u});
    }
  }
};

const FullStore& Store() {
  static const FullStore store;
  return store;
}

std::vector<uint8_t> PcapOfFullStore() {
  pw::MemoryByteSink sink;
  std::string error;
  pw::WritePcapFile(sink, {Store().pool, Store().lengths, Store().lengths, Store().times}, error);
  return sink.bytes();
}

// The same datagrams in Ethernet frames, in pcapng with nanosecond times.
std::vector<uint8_t> PcapngOfFullStore() {
  pw::test::PcapngBuilder b;
  b.interface({.link_type = 1, .resolution = 9});
  size_t at = 0;
  for (size_t k = 0; k < Store().lengths.size(); ++k) {
    const auto* first = Store().pool.data() + at;
    at += Store().lengths[k];
    const pw::CaptureTime t = Store().times[k];
    b.packet(0, static_cast<uint64_t>(t.seconds) * 1000000000u + t.nanoseconds,
             pw::test::EthernetFrame(std::vector<uint8_t>(first, first + Store().lengths[k])));
  }
  return std::vector<uint8_t>(b.bytes().begin(), b.bytes().end());
}

void WriteToMemory(benchmark::State& state) {
  const FullStore& store = Store();
  std::string error;
  for (auto _ : state) {
    pw::MemoryByteSink sink;
    sink.reserve(24 + 16 * store.lengths.size() + store.pool.size());
    if (!pw::WritePcapFile(sink, {store.pool, store.lengths, store.lengths, store.times}, error)) {
      state.SkipWithError(error.c_str());
    }
    benchmark::DoNotOptimize(sink.bytes().data());
  }
}
BENCHMARK(WriteToMemory)->Unit(benchmark::kMillisecond);

void WriteToFile(benchmark::State& state) {
  const FullStore& store = Store();
  std::FILE* file = std::tmpfile();
  std::string error;
  for (auto _ : state) {
    std::rewind(file);
    pw::StdioByteSink sink(file);
    if (!pw::WritePcapFile(sink, {store.pool, store.lengths, store.lengths, store.times}, error)) {
      state.SkipWithError(error.c_str());
    }
  }
  std::fclose(file);
}
BENCHMARK(WriteToFile)->Unit(benchmark::kMillisecond);

// Reads every datagram of `input` into a receive buffer.
void ReadAll(benchmark::State& state, pw::CaptureFileReader& reader, pw::ByteInput& input,
             std::vector<uint8_t>& buffer) {
  if (!reader.open(input)) state.SkipWithError(reader.error().c_str());
  pw::CaptureRecord record;
  size_t datagrams = 0;
  while (reader.next(buffer.data(), buffer.size(), record) == pw::ReadOutcome::kDatagram) {
    ++datagrams;
  }
  if (datagrams != pw::kPacketLimit) state.SkipWithError(reader.error().c_str());
}

void ReadFromMemory(benchmark::State& state, std::vector<uint8_t> (*make)()) {
  const std::vector<uint8_t> file = make();
  pw::CaptureFileReader reader;
  std::vector<uint8_t> buffer(pw::kReceiveBufferSize);
  for (auto _ : state) {
    pw::MemoryByteInput input(file);
    ReadAll(state, reader, input, buffer);
  }
}
BENCHMARK_CAPTURE(ReadFromMemory, pcap, PcapOfFullStore)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadFromMemory, pcapng_ethernet, PcapngOfFullStore)
    ->Unit(benchmark::kMillisecond);

void ReadFromFile(benchmark::State& state, std::vector<uint8_t> (*make)()) {
  const std::vector<uint8_t> bytes = make();
  std::FILE* file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  pw::CaptureFileReader reader;
  std::vector<uint8_t> buffer(pw::kReceiveBufferSize);
  for (auto _ : state) {
    std::rewind(file);
    pw::StdioByteInput input(file);
    ReadAll(state, reader, input, buffer);
  }
  std::fclose(file);
}
BENCHMARK_CAPTURE(ReadFromFile, pcap, PcapOfFullStore)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadFromFile, pcapng_ethernet, PcapngOfFullStore)
    ->Unit(benchmark::kMillisecond);

}  // namespace
