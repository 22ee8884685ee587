#include "files/capture_file_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "files/pcap_format.h"
#include "packet/byte_order.h"
#include "packet/link_layer.h"

namespace pw {

namespace {

// pcapng block types and the fixed parts of their bodies (after the type
// and the leading length, before the options and the trailing length).
constexpr uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
constexpr uint32_t kInterfaceBlock = 1;
constexpr uint32_t kSimplePacketBlock = 3;
constexpr uint32_t kEnhancedPacketBlock = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr uint32_t kBlockFrame = 12;        // type, length, trailing length
constexpr uint32_t kSectionFixed = 16;      // magic, version, section length
constexpr uint32_t kInterfaceFixed = 8;     // link type, reserved, snap length
constexpr uint32_t kEnhancedFixed = 20;     // interface, time, lengths
constexpr uint32_t kSimpleFixed = 4;        // original length

constexpr uint16_t kOptionEnd = 0;
constexpr uint16_t kOptionTimeResolution = 9;  // if_tsresol
constexpr uint16_t kOptionTimeOffset = 14;     // if_tsoffset

// Reads the fields of a file (or of a pcapng section) in its byte order.
struct ByteOrder {
  bool big = false;
  uint16_t u16(const uint8_t* p) const { return big ? Be16(p) : Le16(p); }
  uint32_t u32(const uint8_t* p) const { return big ? Be32(p) : Le32(p); }
  uint64_t u64(const uint8_t* p) const {
    const uint64_t first = u32(p);
    const uint64_t second = u32(p + 4);
    return big ? first << 32 | second : second << 32 | first;
  }
};

uint32_t Padded(uint32_t size) { return (size + 3u) & ~3u; }

// Time stamps counted in steps of 10^-exponent seconds, or of 2^-exponent
// seconds when `binary`. Microseconds unless an interface says otherwise.
struct TimeResolution {
  bool binary = false;
  uint8_t exponent = 6;
};

constexpr uint64_t kPowersOfTen[20] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull,
    100000000ull, 1000000000ull, 10000000000ull, 100000000000ull, 1000000000000ull,
    10000000000000ull, 100000000000000ull, 1000000000000000ull, 10000000000000000ull,
    100000000000000000ull, 1000000000000000000ull, 10000000000000000000ull};

// The if_tsresol value: bit 7 chooses powers of two, the rest is the
// exponent. False for resolutions a 64-bit count cannot carry.
bool ParseResolution(uint8_t value, TimeResolution& resolution) {
  resolution.binary = (value & 0x80) != 0;
  resolution.exponent = static_cast<uint8_t>(value & 0x7F);
  return resolution.exponent < (resolution.binary ? 64 : 20);
}

// floor(fraction * 10^9 / 2^bits) for fraction < 2^bits, bits < 64, exact
// and without overflow: the product is formed as a high part and its low
// 32 bits.
uint64_t BinaryFractionToNanoseconds(uint64_t fraction, unsigned bits) {
  if (bits <= 32) return fraction * kNanosecondsPerSecond >> bits;
  const uint64_t low = (fraction & 0xFFFFFFFFu) * kNanosecondsPerSecond;
  const uint64_t high = (fraction >> 32) * kNanosecondsPerSecond + (low >> 32);
  return high >> (bits - 32);
}

int64_t SaturatingAdd(int64_t a, int64_t b) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  if (b > 0 && a > kMax - b) return kMax;
  if (b < 0 && a < kMin - b) return kMin;
  return a + b;
}

// The time of a pcapng time stamp: `units` steps of the resolution since
// 1970, plus the interface's offset in seconds. Saturates at the ends of
// the seconds' range; the nanoseconds are cut, not rounded.
CaptureTime UnitsToTime(uint64_t units, TimeResolution resolution, int64_t offset) {
  uint64_t seconds = 0;
  uint64_t nanoseconds = 0;
  const unsigned e = resolution.exponent;
  if (resolution.binary) {
    seconds = units >> e;
    nanoseconds = BinaryFractionToNanoseconds(units & ((uint64_t{1} << e) - 1), e);
  } else {
    seconds = units / kPowersOfTen[e];
    const uint64_t fraction = units % kPowersOfTen[e];
    nanoseconds = e <= 9 ? fraction * kPowersOfTen[9 - e] : fraction / kPowersOfTen[e - 9];
  }
  constexpr uint64_t kMax = std::numeric_limits<int64_t>::max();
  const int64_t whole = static_cast<int64_t>(std::min(seconds, kMax));
  return {SaturatingAdd(whole, offset), static_cast<uint32_t>(nanoseconds)};
}

struct Interface {
  int link_type = 0;
  uint32_t snap_length = 0;  // 0: no limit
  TimeResolution resolution;
  int64_t offset_seconds = 0;
};

// How many of the asked-for bytes a read got.
enum class Got { kAll, kNone, kPart };

// What reading one record or block gave.
enum class Step {
  kFrame,    // a frame is in the frame buffer, described by `pending`
  kNothing,  // nothing to hand out (a block of another kind); read on
  kEnd,
  kFailed,
};

std::string Text(uint64_t n) { return std::to_string(n); }

}  // namespace

struct CaptureFileReader::State {
  enum class Phase { kReading, kEnded, kFailed };

  ByteInput* input = nullptr;
  RecordSelector* selector = nullptr;
  int selector_link_type = -1;  // the link type the selector was readied for
  uint64_t offset = 0;  // bytes of the input read or skipped so far
  std::unique_ptr<uint8_t[]> frame;  // kMaxRecordBytes
  CaptureFileFormat format = CaptureFileFormat::kNone;
  Phase phase = Phase::kFailed;
  std::string error = "no capture file is open";
  ByteOrder order;
  uint64_t records = 0;
  uint64_t skipped = 0;
  // The record or block being read, for error texts.
  uint64_t unit_number = 0;
  uint64_t unit_start = 0;
  // The file's link type and snapshot length, or its first interface's.
  int link_type = -1;
  uint32_t snapshot = 0;
  // pcap: the time stamps' resolution.
  bool nanoseconds = false;
  // pcapng: the current section's interfaces, and the blocks so far.
  std::vector<Interface> interfaces;
  uint64_t blocks = 0;
  // The frame in the frame buffer.
  struct {
    int link_type = 0;
    uint32_t captured = 0;
    uint32_t original = 0;
    CaptureTime time;
  } pending;

  void reset(ByteInput& in);
  Got read(uint8_t* to, size_t size);
  bool skip(uint64_t size);
  bool fail(std::string why);
  Step failed(std::string why);
  std::string where() const;
  Step cut_short();
  Step end_of_input();
  bool deliver(uint8_t* buffer, size_t capacity, CaptureRecord& record);
  bool selected();

  bool open_pcap(const uint8_t* magic);
  Step next_pcap_record();

  bool open_pcapng(uint8_t* head);
  Step next_block();
  Step block(const uint8_t* head);
  Step finish_block(uint32_t length, uint32_t rest, Step step);
  Step section_header(const uint8_t* head);
  Step interface_block(uint32_t body, uint32_t& used);
  Step interface_options(Interface& interface, uint32_t room, uint32_t& used);
  Step interface_option(Interface& interface, uint16_t code, uint16_t size);
  Step enhanced_block(uint32_t body, uint32_t& used);
  Step simple_block(uint32_t body, uint32_t& used);
  Step take_frame(int frame_link_type, uint32_t captured, uint32_t original, CaptureTime time);
  Step invalid_length(uint32_t length);
};

void CaptureFileReader::State::reset(ByteInput& in) {
  input = &in;
  offset = 0;
  if (!frame) frame.reset(new uint8_t[kMaxRecordBytes]);
  format = CaptureFileFormat::kNone;
  phase = Phase::kReading;
  error.clear();
  order = {};
  records = skipped = unit_number = unit_start = blocks = 0;
  selector_link_type = link_type = -1;
  snapshot = 0;
  interfaces.clear();
  interfaces.reserve(kMaxInterfaces);
}

Got CaptureFileReader::State::read(uint8_t* to, size_t size) {
  if (size == 0) return Got::kAll;
  const size_t n = input->read(to, size);
  offset += n;
  return n == size ? Got::kAll : n == 0 ? Got::kNone : Got::kPart;
}

bool CaptureFileReader::State::skip(uint64_t size) {
  offset += size;
  return input->skip(size);
}

bool CaptureFileReader::State::fail(std::string why) {
  phase = Phase::kFailed;
  error = std::move(why);
  return false;
}

Step CaptureFileReader::State::failed(std::string why) {
  fail(std::move(why));
  return Step::kFailed;
}

std::string CaptureFileReader::State::where() const {
  return (format == CaptureFileFormat::kPcap ? "record " : "block ") + Text(unit_number) +
         " (at byte " + Text(unit_start) + ")";
}

Step CaptureFileReader::State::cut_short() {
  const std::string& why = input->error();
  return failed(why.empty() ? "cut short in the middle of " + where() : where() + ": " + why);
}

// The input ended where a record or block could start: the end of the
// file, unless reading failed.
Step CaptureFileReader::State::end_of_input() {
  if (!input->error().empty()) return failed(where() + ": " + input->error());
  phase = Phase::kEnded;
  return Step::kEnd;
}

bool CaptureFileReader::State::deliver(uint8_t* buffer, size_t capacity,
                                       CaptureRecord& record) {
  DatagramSpan span{};
  if (!FindIpDatagram(pending.link_type, frame.get(), pending.captured, span)) {
    ++skipped;
    return false;
  }
  if (!selected()) return false;
  const size_t length = std::min(span.length, capacity);
  if (length > 0) std::memcpy(buffer, frame.get() + span.offset, length);
  record.time = pending.time;
  record.length = length;
  record.captured = span.length;
  const size_t original = pending.original > span.offset ? pending.original - span.offset : 0;
  record.original = std::max(original, span.length);
  return true;
}

// Whether the selector, if any, takes the pending frame. A selector that
// cannot be readied for the frame's link type fails the reading.
bool CaptureFileReader::State::selected() {
  if (selector == nullptr) return true;
  if (pending.link_type != selector_link_type) {
    if (!selector->prepare(pending.link_type)) {
      return fail(where() + ": cannot select among frames of link type " +
                  LinkTypeText(pending.link_type) + ": " + selector->error());
    }
    selector_link_type = pending.link_type;
  }
  return selector->takes({pending.link_type, frame.get(), pending.captured, pending.original});
}

Step CaptureFileReader::State::take_frame(int frame_link_type, uint32_t captured,
                                          uint32_t original, CaptureTime time) {
  if (captured > kMaxRecordBytes) {
    return failed(where() + ": captured length " + Text(captured) + " is more than " +
                  Text(kMaxRecordBytes));
  }
  if (read(frame.get(), captured) != Got::kAll) return cut_short();
  ++records;
  pending.link_type = frame_link_type;
  pending.captured = captured;
  pending.original = original;
  pending.time = time;
  return Step::kFrame;
}

// ---------------------------------------------------------------------------
// Classic pcap: a 24-byte file header, then records of a 16-byte header
// (seconds, fraction, captured length, original length) and the frame.

bool CaptureFileReader::State::open_pcap(const uint8_t* magic) {
  format = CaptureFileFormat::kPcap;
  order.big = Be32(magic) == kPcapMicrosecondMagic || Be32(magic) == kPcapNanosecondMagic;
  nanoseconds = order.u32(magic) == kPcapNanosecondMagic;
  uint8_t header[kPcapFileHeaderBytes - 4];  // behind the magic
  if (read(header, sizeof header) != Got::kAll) {
    return fail(input->error().empty() ? "cut short in the file header" : input->error());
  }
  const uint16_t major = order.u16(header);
  const uint16_t minor = order.u16(header + 2);
  if (major != 2) {
    return fail("pcap version " + Text(major) + "." + Text(minor) + " is not supported");
  }
  // The upper 16 bits carry the frame check sequence's length, which the
  // link stripping leaves out anyway.
  link_type = static_cast<int>(order.u32(header + 16) & 0xFFFF);
  snapshot = order.u32(header + 12) != 0 ? order.u32(header + 12) : kMaxRecordBytes;
  if (!IsSupportedLinkType(link_type)) {
    return fail("link type " + Text(static_cast<uint64_t>(link_type)) + " is not supported");
  }
  return true;
}

Step CaptureFileReader::State::next_pcap_record() {
  unit_start = offset;
  unit_number = records + 1;
  uint8_t header[kPcapRecordHeaderBytes];
  const Got got = read(header, sizeof header);
  if (got == Got::kNone) return end_of_input();
  if (got == Got::kPart) return cut_short();
  const uint32_t fraction = order.u32(header + 4);
  const CaptureTime time = NormalisedTime(
      order.u32(header), nanoseconds ? fraction : uint64_t{fraction} * 1000);
  return take_frame(link_type, order.u32(header + 8), order.u32(header + 12), time);
}

// ---------------------------------------------------------------------------
// pcapng: blocks of a type, a length, a body and the length again. `head`
// holds the first eight bytes of a block.

bool CaptureFileReader::State::open_pcapng(uint8_t* head) {
  format = CaptureFileFormat::kPcapng;
  unit_number = blocks = 1;
  if (read(head + 4, 4) != Got::kAll) {
    cut_short();
    return false;
  }
  Step step = section_header(head);
  // Up to the first interface, so that a file of a link type the program
  // cannot read is refused here, as a classic pcap file is. Packet blocks
  // before it fail: they name an interface that is not described.
  while (step == Step::kNothing && interfaces.empty()) step = next_block();
  if (step == Step::kFailed) return false;
  if (interfaces.empty()) return true;
  link_type = interfaces[0].link_type;
  snapshot = interfaces[0].snap_length != 0 ? interfaces[0].snap_length : kMaxRecordBytes;
  if (!IsSupportedLinkType(link_type)) {
    return fail("link type " + Text(static_cast<uint64_t>(link_type)) + " is not supported");
  }
  return true;
}

Step CaptureFileReader::State::next_block() {
  unit_start = offset;
  unit_number = ++blocks;
  uint8_t head[8];
  const Got got = read(head, sizeof head);
  if (got == Got::kNone) return end_of_input();
  if (got == Got::kPart) return cut_short();
  return block(head);
}

Step CaptureFileReader::State::invalid_length(uint32_t length) {
  return failed(where() + ": block length " + Text(length) + " is not valid");
}

Step CaptureFileReader::State::block(const uint8_t* head) {
  const uint32_t type = order.u32(head);
  if (type == kSectionHeaderBlock) return section_header(head);
  const uint32_t length = order.u32(head + 4);
  if (length < kBlockFrame || length % 4 != 0) return invalid_length(length);
  const uint32_t body = length - kBlockFrame;
  uint32_t used = 0;
  Step step = Step::kNothing;
  if (type == kInterfaceBlock) step = interface_block(body, used);
  if (type == kEnhancedPacketBlock) step = enhanced_block(body, used);
  if (type == kSimplePacketBlock) step = simple_block(body, used);
  if (step == Step::kFailed) return step;
  return finish_block(length, body - used, step);
}

// Passes over the `rest` of the body and checks the trailing length; a
// frame read from the block is handed out only when the block is whole.
Step CaptureFileReader::State::finish_block(uint32_t length, uint32_t rest, Step step) {
  uint8_t trailer[4];
  if (!skip(rest) || read(trailer, sizeof trailer) != Got::kAll) return cut_short();
  const uint32_t trailing = order.u32(trailer);
  if (trailing != length) {
    return failed(where() + ": the length at its end (" + Text(trailing) +
                  ") differs from the length at its start (" + Text(length) + ")");
  }
  return step;
}

// A section header: sets the byte order of the section and forgets the
// interfaces of the one before.
Step CaptureFileReader::State::section_header(const uint8_t* head) {
  uint8_t fixed[kSectionFixed];
  if (read(fixed, 4) != Got::kAll) return cut_short();
  if (Le32(fixed) == kByteOrderMagic) {
    order.big = false;
  } else if (Be32(fixed) == kByteOrderMagic) {
    order.big = true;
  } else {
    return failed(where() + ": the byte-order magic is not valid");
  }
  const uint32_t length = order.u32(head + 4);
  if (length < kBlockFrame + kSectionFixed || length % 4 != 0) return invalid_length(length);
  if (read(fixed + 4, kSectionFixed - 4) != Got::kAll) return cut_short();
  const uint16_t major = order.u16(fixed + 4);
  if (major != 1) {
    return failed(where() + ": pcapng version " + Text(major) + "." +
                  Text(order.u16(fixed + 6)) + " is not supported");
  }
  interfaces.clear();
  return finish_block(length, length - kBlockFrame - kSectionFixed, Step::kNothing);
}

Step CaptureFileReader::State::interface_block(uint32_t body, uint32_t& used) {
  if (body < kInterfaceFixed) return invalid_length(body + kBlockFrame);
  if (interfaces.size() == kMaxInterfaces) {
    return failed(where() + ": more than " + Text(kMaxInterfaces) +
                  " interfaces in one section");
  }
  uint8_t fixed[kInterfaceFixed];
  if (read(fixed, sizeof fixed) != Got::kAll) return cut_short();
  Interface interface;
  interface.link_type = order.u16(fixed);
  interface.snap_length = order.u32(fixed + 4);
  used = kInterfaceFixed;
  const Step step = interface_options(interface, body - kInterfaceFixed, used);
  if (step == Step::kNothing) interfaces.push_back(interface);
  return step;
}

// The options of an interface description: a code, a length and a value
// padded to four bytes each, up to the end-of-options code or the end of
// the body. Only the time resolution and offset are kept.
Step CaptureFileReader::State::interface_options(Interface& interface, uint32_t room,
                                                 uint32_t& used) {
  while (room >= 4) {
    uint8_t head[4];
    if (read(head, sizeof head) != Got::kAll) return cut_short();
    used += 4;
    room -= 4;
    const uint16_t code = order.u16(head);
    const uint16_t size = order.u16(head + 2);
    if (code == kOptionEnd) break;
    const uint32_t padded = Padded(size);
    if (padded > room) {
      return failed(where() + ": option " + Text(code) + " runs past the end of the block");
    }
    const Step step = interface_option(interface, code, size);
    if (step != Step::kNothing) return step;
    used += padded;
    room -= padded;
  }
  return Step::kNothing;
}

// Reads (or passes over) the value of one option and its padding.
Step CaptureFileReader::State::interface_option(Interface& interface, uint16_t code,
                                                uint16_t size) {
  uint32_t taken = 0;
  if (code == kOptionTimeResolution || code == kOptionTimeOffset) {
    const uint16_t expected = code == kOptionTimeResolution ? 1 : 8;
    if (size != expected) {
      return failed(where() + ": option " + Text(code) + " has length " + Text(size) +
                    " instead of " + Text(expected));
    }
    uint8_t value[8];
    if (read(value, size) != Got::kAll) return cut_short();
    taken = size;
    if (code == kOptionTimeOffset) {
      interface.offset_seconds = static_cast<int64_t>(order.u64(value));
    } else if (!ParseResolution(value[0], interface.resolution)) {
      return failed(where() + ": time resolution " + Text(value[0]) + " is not supported");
    }
  }
  if (!skip(Padded(size) - taken)) return cut_short();
  return Step::kNothing;
}

Step CaptureFileReader::State::enhanced_block(uint32_t body, uint32_t& used) {
  if (body < kEnhancedFixed) return invalid_length(body + kBlockFrame);
  uint8_t fixed[kEnhancedFixed];
  if (read(fixed, sizeof fixed) != Got::kAll) return cut_short();
  const uint32_t id = order.u32(fixed);
  if (id >= interfaces.size()) {
    return failed(where() + ": interface " + Text(id) + " is not described");
  }
  const uint32_t captured = order.u32(fixed + 12);
  if (captured <= kMaxRecordBytes && Padded(captured) > body - kEnhancedFixed) {
    return failed(where() + ": captured length " + Text(captured) +
                  " does not fit in the block");
  }
  const Interface& interface = interfaces[id];
  const uint64_t units = uint64_t{order.u32(fixed + 4)} << 32 | order.u32(fixed + 8);
  used = kEnhancedFixed + captured;
  return take_frame(interface.link_type, captured, order.u32(fixed + 16),
                    UnitsToTime(units, interface.resolution, interface.offset_seconds));
}

// A simple packet block belongs to the section's first interface and
// carries no time: its datagram gets time 0. It holds the original length
// only; what it captured is bounded by that, the snapshot length and the
// block.
Step CaptureFileReader::State::simple_block(uint32_t body, uint32_t& used) {
  if (body < kSimpleFixed) return invalid_length(body + kBlockFrame);
  if (interfaces.empty()) return failed(where() + ": interface 0 is not described");
  uint8_t fixed[kSimpleFixed];
  if (read(fixed, sizeof fixed) != Got::kAll) return cut_short();
  const Interface& interface = interfaces[0];
  const uint32_t original = order.u32(fixed);
  uint32_t captured = std::min(original, body - kSimpleFixed);
  if (interface.snap_length != 0) captured = std::min(captured, interface.snap_length);
  used = kSimpleFixed + captured;
  return take_frame(interface.link_type, captured, original, CaptureTime{});
}

// ---------------------------------------------------------------------------

CaptureFileReader::CaptureFileReader() : state_(std::make_unique<State>()) {}

CaptureFileReader::~CaptureFileReader() = default;

bool CaptureFileReader::open(ByteInput& input) {
  State& s = *state_;
  s.reset(input);
  uint8_t head[8];
  const Got got = s.read(head, 4);
  if (got != Got::kAll) {
    if (!input.error().empty()) return s.fail(input.error());
    return s.fail(got == Got::kNone ? "the file is empty" : "not a pcap or pcapng file");
  }
  const uint32_t magic = Le32(head);
  if (magic == kPcapMicrosecondMagic || magic == kPcapNanosecondMagic ||
      Be32(head) == kPcapMicrosecondMagic || Be32(head) == kPcapNanosecondMagic) {
    return s.open_pcap(head);
  }
  if (magic == kSectionHeaderBlock) return s.open_pcapng(head);
  return s.fail("not a pcap or pcapng file");
}

ReadOutcome CaptureFileReader::next(uint8_t* buffer, size_t capacity, CaptureRecord& record) {
  State& s = *state_;
  while (s.phase == State::Phase::kReading) {
    const Step step =
        s.format == CaptureFileFormat::kPcap ? s.next_pcap_record() : s.next_block();
    if (step == Step::kFrame && s.deliver(buffer, capacity, record)) {
      return ReadOutcome::kDatagram;
    }
  }
  return s.phase == State::Phase::kEnded ? ReadOutcome::kEnd : ReadOutcome::kFailed;
}

void CaptureFileReader::select_with(RecordSelector* selector) {
  state_->selector = selector;
  state_->selector_link_type = -1;
}

const std::string& CaptureFileReader::error() const { return state_->error; }

int CaptureFileReader::link_type() const { return state_->link_type; }

uint32_t CaptureFileReader::snapshot_length() const { return state_->snapshot; }

CaptureFileFormat CaptureFileReader::format() const { return state_->format; }

uint64_t CaptureFileReader::records() const { return state_->records; }

uint64_t CaptureFileReader::skipped() const { return state_->skipped; }

}  // namespace pw
