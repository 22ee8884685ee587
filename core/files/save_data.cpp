#include "files/save_data.h"

#include <string>

#include "files/byte_stream.h"
#include "files/capture_file_writer.h"
#include "files/pcap_format.h"

namespace pw {

std::string_view SniffLogSaveData(const CaptureStore& store) {
  return SniffLogText(store);
}

std::span<const uint8_t> PacketsSaveData(const CaptureStore& store) {
  // The fill is read first: the bytes below it are complete (release store
  // by the capture thread), and the first byte is among them when it is > 0.
  const uint32_t fill = store.pool_fill.load(std::memory_order_acquire);
  if (fill == 0 || store.byte_pool[0] == 0) return {};
  return {store.byte_pool, fill};
}

std::vector<uint8_t> PcapSaveData(const CaptureStore& store) {
  const StoredDatagrams stored = StoredDatagramsOf(store);
  if (stored.lengths.empty()) return {};
  MemoryByteSink sink;
  sink.reserve(kPcapFileHeaderBytes + stored.lengths.size() * kPcapRecordHeaderBytes +
               stored.pool.size());
  // The spans of StoredDatagramsOf agree with each other, and memory does
  // not fail: the writer has no reason to refuse.
  std::string error;
  if (!WritePcapFile(sink, stored, error)) return {};
  return sink.bytes();
}

std::vector<uint8_t> SniffLogSaveBytes(const CaptureStore& store) {
  const std::string_view log = SniffLogSaveData(store);
  return {log.begin(), log.end()};
}

std::vector<uint8_t> PacketsSaveBytes(const CaptureStore& store) {
  const std::span<const uint8_t> pool = PacketsSaveData(store);
  return {pool.begin(), pool.end()};
}

}  // namespace pw
