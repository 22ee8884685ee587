// Capture store: what one capture session has captured, in fixed-size arrays.
//
// The capture thread is the only writer; the UI thread reads (details report,
// save commands). There is no lock. Publication works like this:
// a datagram's protocol entry, length entry, time entry and bytes are written
// first, then the pool fill is advanced with a release store, and only then
// is its row listed. A reader that loads the pool fill with acquire semantics
// may read every byte below it, and the table entries of the datagrams that
// fill it. Table entries are read and written through atomic_ref so that a
// reader summing lengths never races the writer, even on entries of an
// earlier session.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "engine/capture_time.h"

namespace pw {

inline constexpr uint32_t kBytePoolSize = 819200;
inline constexpr uint32_t kTableEntries = 16384;
inline constexpr uint32_t kSniffLogSize = 4096000;
// A session ends by itself when this many datagrams are stored.
inline constexpr uint32_t kPacketLimit = 10000;

struct CaptureStore {
  // The stored datagrams back to back, each from the first byte of its IP
  // header (IPv4 or IPv6), exactly as received.
  uint8_t byte_pool[kBytePoolSize];
  // Bytes of the byte pool in use; the next datagram goes to this offset.
  std::atomic<uint32_t> pool_fill;
  // Entry k: received length of datagram k. Never cleared: entries at and
  // beyond the current count may hold values of an earlier session.
  uint32_t length_table[kTableEntries];
  // Entry k: datagram k's original length, before it was cut to what was
  // received (at least its received length). Never cleared, like the
  // length table.
  uint32_t original_length_table[kTableEntries];
  // Entry k: when datagram k was captured, as its source gave it. Never
  // cleared, like the length table.
  CaptureTime time_table[kTableEntries];
  // Entry k: protocol number of datagram k (1, 2, 6, 17 or 255 of IPv4;
  // 6, 17, 58 or 255 of IPv6).
  uint8_t protocol_table[kTableEntries];
  // One line per stored datagram: its row text and "\r\n"; NUL-terminated.
  char sniff_log[kSniffLogSize];
  // Length of the sniff log's text (the offset of its NUL), published after
  // each line is complete so that a save taken during a capture sees whole
  // lines only.
  std::atomic<uint32_t> sniff_log_length;
};

// Where a stored datagram lies in the byte pool.
struct DatagramLocation {
  uint32_t offset;
  uint32_t length;
  uint8_t protocol;
  CaptureTime time;
};

// Every datagram stored since the last start, as the capture-file writer
// takes them: the pool up to the fill, and the length and time entries of
// the datagrams that fill it, in packet-index order.
struct StoredDatagrams {
  std::span<const uint8_t> pool;
  std::span<const uint32_t> lengths;
  std::span<const uint32_t> original_lengths;
  std::span<const CaptureTime> times;
};

// Receives the rows of stored datagrams (the main list, or the terminal).
// Called on the capture thread; must return only when the row is listed.
class RowSink {
 public:
  virtual void add_row(std::string_view row) = 0;

 protected:
  ~RowSink() = default;
};

enum class AppendOutcome {
  kStored,
  // The datagram does not fit in the rest of the byte pool; nothing was
  // stored. The session ends as it does at the packet limit.
  kPoolFull,
  // The session already holds kPacketLimit datagrams; nothing was stored.
  kLimitReached,
};

// Empties the store for a new session: the pool fill and the sniff log
// length become 0, and with them every reader sees an empty store. The
// bytes beyond them (the pool, the log, the tables) are left as they are,
// unseen until the new session overwrites them. Runs on the UI thread
// while no capture thread exists.
void ResetCaptureStore(CaptureStore& store);

namespace store_detail {
template <typename T>
inline void StoreRelaxed(T& entry, T value) {
  std::atomic_ref<T>(entry).store(value, std::memory_order_relaxed);
}
}  // namespace store_detail

// Stores one accepted datagram, captured at `time`, as packet `count`, in
// this order: protocol entry, length entries, time entry, count + 1, bytes
// into the pool at the pool fill and the pool fill advanced, the row listed
// through `rows`, the row and "\r\n" appended to the sniff log. A datagram
// that does not fit in the rest of the pool is not stored at all. Capture
// thread only; allocates nothing. `original`: the datagram's length before
// it was cut to `length` (0, or anything less than `length`, stores
// `length`). `row_room` (at least row.size()) is how
// many bytes may be read at row.data(): a short row (most IPv4 rows) whose
// room holds a 64-byte block is copied as that block, when the log has
// room for it (the bytes past the row's end lie beyond the log's length,
// where no reader looks, until the next row overwrites them). Inline: the
// capture thread calls it for every datagram.
inline AppendOutcome AppendDatagram(CaptureStore& store, uint32_t& count,
                                    const uint8_t* bytes, uint32_t length,
                                    uint8_t protocol, CaptureTime time,
                                    std::string_view row, RowSink& rows,
                                    size_t row_room = 0, uint32_t original = 0) {
  using store_detail::StoreRelaxed;
  if (count >= kPacketLimit) return AppendOutcome::kLimitReached;
  const uint32_t fill = store.pool_fill.load(std::memory_order_relaxed);
  if (length > kBytePoolSize - fill) return AppendOutcome::kPoolFull;

  const uint32_t k = count;
  StoreRelaxed(store.protocol_table[k], protocol);
  StoreRelaxed(store.length_table[k], length);
  StoreRelaxed(store.original_length_table[k], original > length ? original : length);
  // A time entry is two atomic fields rather than one 16-byte atomic, which
  // the processor may not store lock-free. Each field is whole on its own;
  // a reader takes an entry only once the pool fill it acquired covers the
  // datagram, so both fields are then those of that datagram.
  StoreRelaxed(store.time_table[k].seconds, time.seconds);
  StoreRelaxed(store.time_table[k].nanoseconds, time.nanoseconds);
  count = k + 1;
  std::memcpy(store.byte_pool + fill, bytes, length);
  store.pool_fill.store(fill + length, std::memory_order_release);

  rows.add_row(row);

  // A row has at most kRowTextLongest characters, so 10,000 lines fit
  // several times over; the check only guards the log against a caller
  // that breaks that rule.
  const uint32_t log_len = store.sniff_log_length.load(std::memory_order_relaxed);
  const size_t room = kSniffLogSize - log_len;
  char* at = store.sniff_log + log_len;
  constexpr size_t kBlock = 64;
  if (row.size() + 3 <= kBlock && row_room >= kBlock && room >= kBlock) {
    std::memcpy(at, row.data(), kBlock);
  } else if (row.size() + 3 <= room) {
    std::memcpy(at, row.data(), row.size());
  } else {
    return AppendOutcome::kStored;
  }
  at[row.size()] = '\r';
  at[row.size() + 1] = '\n';
  at[row.size() + 2] = '\0';
  store.sniff_log_length.store(log_len + static_cast<uint32_t>(row.size()) + 2,
                               std::memory_order_release);
  return AppendOutcome::kStored;
}

// Calls `each` with every line of `text`, a piece of the sniff log, without
// its "\r\n" (a last line without one included). Both front ends list the
// log's fresh lines through it.
template <typename Each>
void ForEachSniffLogLine(std::string_view text, Each each) {
  while (!text.empty()) {
    const size_t end = text.find("\r\n");
    each(text.substr(0, end));
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 2);
  }
}

// Finds packet `index` by adding up the lengths before it, with its
// protocol and time entries. Returns false when the index names no datagram
// that lies whole below the pool fill (an index of an earlier session, or
// beyond the tables). Any thread.
bool LocateDatagram(const CaptureStore& store, uint32_t index,
                    DatagramLocation& where);

// LocateDatagram for readers that take the datagrams one after another
// (rows as they are printed): each step finds the next datagram from where
// the one before ended, without adding up every length before it. Any
// thread, like LocateDatagram.
class DatagramWalk {
 public:
  explicit DatagramWalk(const CaptureStore& store) : store_(store) {}

  // Locates the next datagram (packet 0 first) and moves on to the one
  // after it; false, without moving, while it does not lie whole below the
  // pool fill.
  bool next(DatagramLocation& where);

  // Back to packet 0, for a new session.
  void restart() {
    index_ = 0;
    offset_ = 0;
  }

 private:
  const CaptureStore& store_;
  uint32_t index_ = 0;
  uint64_t offset_ = 0;  // where datagram index_ starts
};

// The datagrams stored since the last start, as far as the pool fill read
// now covers them. The store keeps no count: it is the number of length
// entries, from entry 0 on, whose sum reaches the pool fill, so entries of
// an earlier session beyond it are never taken. (A datagram of 0 bytes,
// which a session never stores, adds nothing to the fill; at the end it is
// not counted.) Empty before anything is stored. Any thread: a capture may
// be running, and the spans stay valid and unchanged until the next start.
StoredDatagrams StoredDatagramsOf(const CaptureStore& store);

// The sniff log's complete lines as published so far. Any thread.
std::string_view SniffLogText(const CaptureStore& store);

}  // namespace pw
