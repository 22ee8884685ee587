#include "engine/capture_store.h"

#include <cstring>

namespace pw {

namespace {

// atomic_ref needs a mutable object; a load does not change it.
template <typename T>
T LoadRelaxed(const T& entry) {
  return std::atomic_ref<T>(const_cast<T&>(entry)).load(std::memory_order_relaxed);
}

uint32_t LoadLength(const CaptureStore& store, uint32_t k) {
  return LoadRelaxed(store.length_table[k]);
}

// Time entries are stored and loaded as two atomic fields (AppendDatagram).
static_assert(alignof(CaptureTime) >= std::atomic_ref<int64_t>::required_alignment);

CaptureTime LoadTime(const CaptureStore& store, uint32_t k) {
  return {LoadRelaxed(store.time_table[k].seconds),
          LoadRelaxed(store.time_table[k].nanoseconds)};
}

// Datagram `index`, which starts at `offset`, when it lies whole below the
// pool fill `fill`.
bool LocateAt(const CaptureStore& store, uint32_t index, uint64_t offset, uint64_t fill,
              DatagramLocation& where) {
  if (index >= kTableEntries) return false;
  const uint32_t length = LoadLength(store, index);
  if (length == 0 || offset + length > fill) return false;
  where.offset = static_cast<uint32_t>(offset);
  where.length = length;
  where.protocol = LoadRelaxed(store.protocol_table[index]);
  where.time = LoadTime(store, index);
  return true;
}

}  // namespace

// Every reader of the store reads below the pool fill and the sniff log's
// length (and the table entries of the datagrams below the fill), so what
// lies beyond them is never seen and is not cleared: a start touches no
// page of the 5 MB that its session may never fill. The first bytes of the
// pool and the log are cleared, so that both read as empty texts too.
void ResetCaptureStore(CaptureStore& store) {
  // The capture thread sets the pool fill to 0 again before it opens its
  // source; doing it here as well keeps a refused start (no thread) from
  // leaving the old fill in front of an empty pool.
  store.pool_fill.store(0, std::memory_order_release);
  store.sniff_log_length.store(0, std::memory_order_release);
  store.sniff_log[0] = '\0';
  store.byte_pool[0] = 0;
}

bool LocateDatagram(const CaptureStore& store, uint32_t index,
                    DatagramLocation& where) {
  if (index >= kTableEntries) return false;
  const uint64_t fill = store.pool_fill.load(std::memory_order_acquire);
  uint64_t offset = 0;
  for (uint32_t k = 0; k < index; ++k) {
    offset += LoadLength(store, k);
    if (offset > fill) return false;
  }
  return LocateAt(store, index, offset, fill, where);
}

bool DatagramWalk::next(DatagramLocation& where) {
  const uint64_t fill = store_.pool_fill.load(std::memory_order_acquire);
  if (!LocateAt(store_, index_, offset_, fill, where)) return false;
  ++index_;
  offset_ += where.length;
  return true;
}

StoredDatagrams StoredDatagramsOf(const CaptureStore& store) {
  const uint32_t fill = store.pool_fill.load(std::memory_order_acquire);
  uint64_t covered = 0;
  uint32_t count = 0;
  while (covered < fill && count < kTableEntries) covered += LoadLength(store, count++);
  // The lengths of the datagrams below an acquired fill add up to it
  // exactly; anything else is a store that no session wrote.
  if (covered != fill) return {};
  return {{store.byte_pool, fill},
          {store.length_table, count},
          {store.time_table, count}};
}

std::string_view SniffLogText(const CaptureStore& store) {
  return {store.sniff_log,
          store.sniff_log_length.load(std::memory_order_acquire)};
}

}  // namespace pw
