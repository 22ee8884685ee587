#include "engine/filter.h"

#include <cstring>
#include <initializer_list>

#include "text/decimal.h"

namespace pw {

namespace {

void CopyText(std::string_view text, char (&out)[kFieldTextMax + 1]) {
  const size_t n = text.size() < kFieldTextMax ? text.size() : kFieldTextMax;
  // An empty view may hold no pointer at all, which memcpy must not get.
  if (n != 0) std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// The IPv6 address of "[ADDRESS]", or false.
bool ReadBracketedIpv6(std::string_view text, IpAddress& address) {
  return text.size() >= 2 && text.front() == '[' && text.back() == ']' &&
         ReadIpv6Text(text.substr(1, text.size() - 2), address);
}

AddressKey MakeAddressKey(std::string_view text) {
  AddressKey key{false, {}};
  uint32_t v4 = 0;
  if (ParseDottedQuad(text, v4)) {
    key = {true, IpAddress::V4(v4)};
  } else if (ReadBracketedIpv6(text, key.address) || ReadIpv6Text(text, key.address)) {
    key.matchable = true;
  }
  return key;
}

// The parts one after the other.
std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text.append(part);
  return text;
}

bool KeyMatches(const AddressKey& key, const IpAddress& address) {
  return key.matchable && key.address == address;
}

bool PassesAddressRule(const DatagramFacts& facts, const FilterSettings& s) {
  const bool from_any = s.from.mode == AddressMode::kAny;
  const bool to_any = s.to.mode == AddressMode::kAny;
  if (from_any && to_any) return true;
  if (from_any) return KeyMatches(s.to.key, facts.destination);
  if (to_any) return KeyMatches(s.from.key, facts.source);
  const bool forward = KeyMatches(s.from.key, facts.source) &&
                       KeyMatches(s.to.key, facts.destination);
  const bool reverse = KeyMatches(s.reverse_source_key, facts.source) &&
                       KeyMatches(s.reverse_destination_key, facts.destination);
  return forward || reverse;
}

}  // namespace

void ClearFilterSettings(FilterSettings& settings) {
  settings = FilterSettings{};
  for (FilterSide* side : {&settings.from, &settings.to}) {
    CopyText(kAnyField, side->address);
    side->mode = AddressMode::kAny;
  }
}

uint16_t ParsePortText(std::string_view text) {
  PortReading reading;
  return ReadPortText(text, reading);
}

uint16_t ReadPortText(std::string_view text, PortReading& reading) {
  reading = PortReading::kAny;
  if (text.empty() || text == "*") return 0;
  const LeadingNumber number = ReadLeadingNumber(text);
  const uint64_t value = number.digits.value;
  if (number.digits.count == 0 || value > 65535 || (number.negative && value != 0)) {
    reading = PortReading::kIgnored;
    return 0;
  }
  if (value == 0) return 0;
  reading = number.length < text.size() ? PortReading::kCut : PortReading::kNumber;
  return static_cast<uint16_t>(value);
}

void ParseFilterField(std::string_view field_text, FilterSide& side) {
  CopyText(field_text, side.address);
  const std::string_view text(side.address);
  IpAddress bare;
  if (ReadIpv6Text(text, bare)) {
    side.mode = AddressMode::kAddress;
    side.port = 0;
    side.port_reading = PortReading::kAny;
    side.key = {true, bare};
    return;
  }
  if (!text.empty() && text.front() == '[' && text.find(':') != std::string_view::npos) {
    // "[ADDRESS]", "[ADDRESS]:PORT"; anything else names no address. A
    // text without a colon keeps the rule below: any address, any port.
    const size_t close = text.find(']');
    side.mode = AddressMode::kAddress;
    side.port = 0;
    side.port_reading = PortReading::kAny;
    if (close != std::string_view::npos && close + 1 < text.size()) {
      if (text[close + 1] == ':') {
        side.port = ReadPortText(text.substr(close + 2), side.port_reading);
        side.address[close + 1] = '\0';
      } else {
        side.key = {false, {}};
        return;
      }
    }
    side.key = MakeAddressKey(side.address);
    return;
  }
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) {
    CopyText(kAnyField, side.address);
    side.mode = AddressMode::kAny;
    side.port = 0;
    side.port_reading = PortReading::kAny;
    side.key = MakeAddressKey(side.address);
    return;
  }
  side.port = ReadPortText(text.substr(colon + 1), side.port_reading);
  side.address[colon] = '\0';
  side.mode = std::strcmp(side.address, "*") == 0 ? AddressMode::kAny
                                                  : AddressMode::kAddress;
  side.key = MakeAddressKey(side.address);
}

void SetReversePair(FilterSettings& settings, bool both_traffic) {
  if (both_traffic && settings.from.port == 0 && settings.to.port == 0) {
    CopyText(settings.to.address, settings.reverse_source);
    CopyText(settings.from.address, settings.reverse_destination);
  } else {
    settings.reverse_source[0] = '\0';
    settings.reverse_destination[0] = '\0';
  }
  settings.reverse_source_key = MakeAddressKey(settings.reverse_source);
  settings.reverse_destination_key =
      MakeAddressKey(settings.reverse_destination);
}

FilterSettings BuildFilterSettings(std::string_view from_field,
                                   std::string_view to_field,
                                   bool both_traffic,
                                   const ProtocolSwitches& protocols) {
  FilterSettings settings;
  ClearFilterSettings(settings);
  ParseFilterField(from_field, settings.from);
  ParseFilterField(to_field, settings.to);
  SetReversePair(settings, both_traffic);
  settings.protocols = protocols;
  for (const StoredProtocol& p : kStoredProtocols) {
    if (!(protocols.*p.switched_on)) continue;
    const uint8_t rule = kProtocolPasses | (p.has_ports ? kProtocolHasPorts : 0);
    if (p.ipv4) settings.protocol_rule[0][p.number] = rule;
    if (p.ipv6) settings.protocol_rule[1][p.number] = rule;
  }
  return settings;
}

FieldJudgement JudgeFilterField(std::string_view field_text,
                                const ProtocolSwitches& protocols) {
  FilterSide side{};
  ParseFilterField(field_text, side);
  const std::string_view taken = field_text.substr(0, kFieldTextMax);
  const bool no_colon = side.mode == AddressMode::kAny && std::strcmp(side.address, kAnyField) == 0;
  bool ports_apply = false;
  std::string with_ports;  // "tcp and udp"
  for (const StoredProtocol& p : kStoredProtocols) {
    if (!p.has_ports) continue;
    ports_apply = ports_apply || protocols.*p.switched_on;
    if (!with_ports.empty()) with_ports += " and ";
    with_ports += p.name;
  }
  if (side.mode == AddressMode::kAddress && !side.key.matchable) {
    return {FieldVerdict::kMatchesNothing,
            side.address[0] == '\0'
                ? "matches nothing: the address before the colon is empty"
                : Joined({"matches nothing: no datagram's address is written \"", side.address,
                          "\""})};
  }
  if (no_colon && !taken.empty() && taken != "*") {
    return {FieldVerdict::kNoColon,
            Joined({"\"", taken, "\" has no colon: every address and port passes"})};
  }
  switch (side.port_reading) {
    case PortReading::kIgnored:
      return {FieldVerdict::kPortIgnored,
              "the port is no number from 1 to 65535: every port passes"};
    case PortReading::kCut:
      return {FieldVerdict::kPortCut, Joined({"the port is read as ", std::to_string(side.port),
                                              ": what follows the number is ignored"})};
    case PortReading::kNumber:
      if (!ports_apply) {
        return {FieldVerdict::kPortUnused, Joined({"the port is not used: only ", with_ports,
                                                   " have ports, and none is checked"})};
      }
      break;
    case PortReading::kAny:
      break;
  }
  return {};
}

bool PassesFilter(const DatagramFacts& facts, const FilterSettings& s) {
  if (!PassesAddressRule(facts, s)) return false;
  const uint8_t rule = s.protocol_rule[facts.family == IpFamily::kV6][facts.protocol];
  if (rule == 0) return false;
  // Port rule: only from the "from" side to the "to" side.
  if (rule & kProtocolHasPorts) {
    if (s.from.port != 0 && facts.source_port != s.from.port) return false;
    if (s.to.port != 0 && facts.destination_port != s.to.port) return false;
  }
  return true;
}

// The capture loop's step for every received datagram. Flattened: the
// facts and the filter are inlined into this one function.
#if defined(__GNUC__)
__attribute__((flatten))
#endif
bool FilterAndDescribe(const uint8_t* bytes, size_t length, uint64_t index,
                       const FilterSettings& settings, RowText& row,
                       uint8_t& protocol, RowMiddleCache* cache) {
  const DatagramFacts facts = ReadDatagramFacts(bytes, length);
  if (!PassesFilter(facts, settings)) return false;
  FormatRowText(facts, index, row, cache);
  protocol = facts.protocol;
  return true;
}

}  // namespace pw
