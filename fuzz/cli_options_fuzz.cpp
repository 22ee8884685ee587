// Any argument vector through the command-line parser: it never crashes,
// and it always gives either options or an error, never both. Accepted
// options are checked against what the parser promises the program: field
// texts in the one form the engine gets, numbers within their limits, no
// flag combination it refuses, an expression that is not blank.
//
// Input layout: the arguments, each ended by a zero byte (the last one may
// lack it). At most kMaxArgs arguments are taken.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "engine/capture_store.h"
#include "engine/filter.h"

namespace {

constexpr size_t kMaxArgs = 64;

void Check(bool ok) {
  if (!ok) std::abort();
}

std::vector<std::string_view> SplitArguments(const uint8_t* data, size_t size) {
  std::vector<std::string_view> args;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start < bytes.size() && args.size() < kMaxArgs) {
    const size_t end = std::min(bytes.find('\0', start), bytes.size());
    args.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

// A field as the engine gets it: ADDR:PORT in the parser's own form, which
// the engine parses to a side whose address can match a datagram.
void CheckField(const std::string& field) {
  std::string again;
  Check(pw::cli::ParseStrictField(field, again) && again == field);
  pw::FilterSide side{};
  pw::ParseFilterField(field, side);
  Check(side.mode == pw::AddressMode::kAny || side.key.matchable);
  Check((side.port == 0) == (field.substr(field.rfind(':') + 1) == "*"));
}

void CheckOptions(const pw::cli::CliOptions& o) {
  CheckField(o.from_field);
  CheckField(o.to_field);
  // Past the packet limit only with -w, which streams to its file.
  Check(o.count <= (o.write_file ? pw::cli::kStreamCountMax : pw::kPacketLimit));
  for (const uint32_t index : o.details) Check(index < pw::kPacketLimit);
  Check(!o.interface_text || !o.interface_text->empty());
  Check(!o.read_file || (!o.read_file->empty() && !o.interface_text));
  Check(!o.save_file(pw::SaveFormat::kSniffLog) || !o.save_file(pw::SaveFormat::kSniffLog)->empty());
  Check(!o.save_file(pw::SaveFormat::kPackets) || !o.save_file(pw::SaveFormat::kPackets)->empty());
  Check(!(o.save_file(pw::SaveFormat::kSniffLog) && o.save_file(pw::SaveFormat::kSniffLog) == o.save_file(pw::SaveFormat::kPackets)));
  Check(o.views.tcp_text != o.views.tcp_ascii);
  Check(o.expression.empty() || o.expression.find_first_not_of(" \t\n") != std::string::npos);
  if (o.both_traffic) {
    const pw::FilterSettings s =
        pw::BuildFilterSettings(o.from_field, o.to_field, true, o.protocols);
    Check(s.from.mode == pw::AddressMode::kAddress && s.to.mode == pw::AddressMode::kAddress);
    Check(s.reverse_source_key.matchable && s.reverse_destination_key.matchable);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> args = SplitArguments(data, size);
  const pw::cli::ParseResult r = pw::cli::ParseCommandLine(args);
  Check(r.ok == r.error.empty());
  if (r.ok) CheckOptions(r.options);
  // The same arguments give the same answer.
  const pw::cli::ParseResult again = pw::cli::ParseCommandLine(args);
  Check(again.ok == r.ok && again.error == r.error &&
        again.options.expression == r.options.expression);
  return 0;
}
