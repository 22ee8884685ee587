// Feeds arbitrary bytes through field parsing, filter, row text and store,
// and checks the store's invariants after every datagram.
//
// Input layout: one byte of switches (bit 0-4 tcp udp icmp igmp raw, bit 5
// both traffic), then the "from" and "to" field texts, each a length byte
// and that many bytes; then datagram records, each a 3-byte header (length
// high, length low, repeat) and up to `length` bytes, repeated cyclically to
// `length` when the input runs short, so that large datagrams and a full byte
// pool are reachable from small inputs.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "engine/capture_store.h"
#include "engine/filter.h"
#include "repeat_bytes.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

struct CountingRows final : pw::RowSink {
  uint32_t rows = 0;
  uint64_t log_bytes = 0;
  void add_row(std::string_view row) override {
    Check(row.size() <= pw::kRowTextMax);
    Check(!row.empty() && row[0] == '\t');
    size_t tabs = 0;
    for (char c : row) tabs += c == '\t';
    Check(tabs == 8);
    ++rows;
    log_bytes += row.size() + 2;
  }
};

// The store, reset once for the whole run.
pw::CaptureStore& Store() {
  static auto* store = [] {
    auto* fresh = new pw::CaptureStore();
    pw::ResetCaptureStore(*fresh);
    return fresh;
  }();
  return *store;
}

// A time of its own for every datagram, before 1970 for the first ones.
pw::CaptureTime TimeOf(uint32_t index) { return {static_cast<int64_t>(index) - 5000, index}; }

// Where the first and the last of `count` stored datagrams lie, that the
// index behind them names none, whatever an earlier session left in the
// length table, and that the stored datagrams are all of them with their
// times. Locating adds up the lengths before the index, and so does taking
// the stored datagrams, so this runs once per input rather than once per
// datagram.
void CheckLocations(const pw::CaptureStore& store, uint32_t count, uint64_t stored_bytes) {
  pw::DatagramLocation where{};
  if (count > 0) {
    Check(pw::LocateDatagram(store, 0, where));
    Check(where.offset == 0 && where.length == store.length_table[0]);
    Check(pw::LocateDatagram(store, count - 1, where));
    Check(where.offset + where.length == stored_bytes);
    Check(where.protocol == store.protocol_table[count - 1]);
    Check(where.time == TimeOf(count - 1));
  }
  Check(!pw::LocateDatagram(store, count, where));
  const pw::StoredDatagrams all = pw::StoredDatagramsOf(store);
  Check(all.pool.size() == stored_bytes);
  Check(all.lengths.size() == count && all.times.size() == count);
  for (uint32_t k = 0; k < count; ++k) Check(all.times[k] == TimeOf(k));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  auto take = [&](size_t n) {
    const std::string_view part = in.substr(0, n);
    in.remove_prefix(part.size());
    return part;
  };
  if (in.empty()) return 0;
  const uint8_t flags = static_cast<uint8_t>(take(1)[0]);
  const std::string_view from = take(in.empty() ? 0 : static_cast<uint8_t>(take(1)[0]));
  const std::string_view to = take(in.empty() ? 0 : static_cast<uint8_t>(take(1)[0]));
  const pw::ProtocolSwitches switches{(flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0,
                                      (flags & 8) != 0, (flags & 16) != 0};
  const pw::FilterSettings settings =
      pw::BuildFilterSettings(from, to, (flags & 32) != 0, switches);
  Check(std::strlen(settings.from.address) <= pw::kFieldTextMax);
  Check(std::strlen(settings.to.address) <= pw::kFieldTextMax);

  pw::CaptureStore& store = Store();
  static uint32_t count = 0;
  pw::ResetCaptureStore(store);
  count = 0;
  CountingRows rows;
  // One row cache per input, as a capture session has one.
  pw::RowMiddleCache cache;
  static uint8_t buffer[65536];
  uint64_t stored_bytes = 0;

  while (in.size() >= 3) {
    const std::string_view head = take(3);
    const size_t length = static_cast<uint8_t>(head[0]) << 8 | static_cast<uint8_t>(head[1]);
    const unsigned repeat = 1 + static_cast<uint8_t>(head[2]) % 16;
    const std::string_view bytes = take(length);
    if (bytes.empty()) {
      std::memset(buffer, 0, length);
    } else {
      pw::fuzz::RepeatBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), buffer,
                            length);
    }
    for (unsigned r = 0; r < repeat; ++r) {
      if (length < pw::kIpv4HeaderMin) continue;  // the capture loop drops these
      pw::RowText row;
      uint8_t protocol = 0;
      const uint32_t before = count;
      if (!pw::FilterAndDescribe(buffer, length, count, settings, row, protocol, &cache)) {
        continue;
      }
      // The cached row must equal the one formatted from scratch.
      pw::RowText plain;
      pw::FormatRowText(pw::ReadDatagramFacts(buffer, length), count, plain);
      Check(plain.view() == row.view());
      const pw::CaptureTime time = TimeOf(before);
      const pw::AppendOutcome outcome =
          pw::AppendDatagram(store, count, buffer, static_cast<uint32_t>(length), protocol,
                             time, row.view(), rows);
      if (outcome != pw::AppendOutcome::kStored) {
        Check(count == before);
        CheckLocations(store, count, stored_bytes);
        return 0;  // the session ends here
      }
      Check(count == before + 1);
      stored_bytes += length;
      Check(std::memcmp(store.byte_pool + stored_bytes - length, buffer, length) == 0);
      Check(protocol == 1 || protocol == 2 || protocol == 6 || protocol == 17 || protocol == 255);
      Check(store.protocol_table[before] == protocol);
      Check(store.time_table[before] == time);
      Check(store.pool_fill.load() == stored_bytes);
      Check(stored_bytes <= pw::kBytePoolSize);
      Check(rows.rows == count);
      // The log ends with this row's line, NUL-terminated (the lines before
      // it were checked when they were added).
      const std::string_view log = pw::SniffLogText(store);
      Check(log.size() == rows.log_bytes);
      const size_t line_start = log.size() - row.length - 2;
      Check(std::strlen(store.sniff_log + line_start) == row.length + 2u);
      Check(log.substr(line_start, row.length) == row.view());
      Check(log.substr(log.size() - 2) == "\r\n");
    }
  }
  CheckLocations(store, count, stored_bytes);
  return 0;
}
