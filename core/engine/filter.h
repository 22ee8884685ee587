// The packet filter.
//
// At every start the user's fields become FilterSettings: a "from" and a
// "to" field of the form address:port (an IPv6 address in brackets,
// [address]:port, or bare, without a port), "both traffic" and the five
// protocol switches. The capture thread then decides for every received
// datagram whether it is stored: the address rule, the protocol rule and
// the port rule, in that order.
//
// Field texts are taken leniently (a front end that wants strict fields
// checks them before it starts a session): any text is accepted, and an
// address that is not written as a datagram's IPv4 address is printed, nor
// is an IPv6 address in a form that inet_pton takes, simply matches
// nothing; a port text that is not a number in range means any port. An
// address matches datagrams of its own family only; "*" matches both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/row_text.h"
#include "packet/ipv4_header.h"

namespace pw {

// A field text is cut to this many characters when read: the longest
// bracketed IPv6 address that inet_pton takes, with a port,
// "[ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255]:65535".
inline constexpr size_t kFieldTextMax = 53;

// The field text that takes every datagram: any address, any port. What a
// field shows before the user types, and what a side without a colon
// becomes.
inline constexpr char kAnyField[] = "*:*";

enum class AddressMode : uint8_t {
  kAny,      // every address passes
  kAddress,  // the address text must name the datagram's address
};

// An address text prepared for comparison with a datagram's address. An
// IPv4 address text matches when it is the datagram's dotted decimal
// without leading zeros; an IPv6 one, bare or in brackets, when it names
// the datagram's address in any form that inet_pton takes. A text in any
// other form can never match; it gets matchable = false.
struct AddressKey {
  bool matchable;
  IpAddress address;
};

// How a side's port text was taken.
enum class PortReading : uint8_t {
  kAny,      // no port text, an empty one, "*" or a zero: any port
  kNumber,   // a number from 1 to 65,535, and nothing after it
  kIgnored,  // no number, or one outside 0 to 65,535: any port
  kCut,      // a number from 1 to 65,535 followed by other characters,
             // which are ignored
};

// One side ("from" or "to") of the filter.
struct FilterSide {
  // NUL-terminated: the text before the port's colon ("[::1]" of
  // "[::1]:80"), a bare IPv6 address as typed, or "*:*" without a colon.
  char address[kFieldTextMax + 1];
  AddressMode mode;
  uint16_t port;  // 0: any port
  AddressKey key;
  PortReading port_reading;  // how the port text was taken
};

// Built completely at every start by the functions below; read-only for the
// capture thread afterwards.
struct FilterSettings {
  FilterSide from;
  FilterSide to;
  // The reverse pair of "both traffic": a second (source, destination) pair
  // that passes the address rule. Empty texts match no datagram.
  char reverse_source[kFieldTextMax + 1];
  char reverse_destination[kFieldTextMax + 1];
  AddressKey reverse_source_key;
  AddressKey reverse_destination_key;
  ProtocolSwitches protocols;
  // What the switches make of each protocol number, for IPv4 ([0]) and IPv6
  // ([1]) datagrams: 0 (not stored, or switched off), or kProtocolPasses
  // with kProtocolHasPorts beside it for tcp and udp. Filled from
  // `protocols` by BuildFilterSettings, so that the capture thread reads
  // one byte.
  uint8_t protocol_rule[2][256];
};

inline constexpr uint8_t kProtocolPasses = 1;
inline constexpr uint8_t kProtocolHasPorts = 2;

// Any address and any port on both sides, no reverse pair, no protocol.
void ClearFilterSettings(FilterSettings& settings);

// Parses one field text (at most kFieldTextMax characters of it are taken)
// into a side:
//  - a bare IPv6 address (ReadIpv6Text takes the whole text): that address,
//    any port;
//  - a text that begins with "[" and holds a colon: the address in the
//    brackets; after "]" either nothing (any port) or a colon and the port
//    text. A text without "]", or with anything else after it, is an
//    address that matches nothing;
//  - otherwise the text after the last colon is the port ("*" or a
//    number), the text before it the address ("*" for any); without a colon
//    the side is any address, any port, with the address text "*:*".
void ParseFilterField(std::string_view field_text, FilterSide& side);

// Converts a port text the way the field parser does: "*" gives 0; otherwise
// leading white space, an optional sign and decimal digits up to the first
// other character; no digits, or a value outside 0 to 65,535, give 0.
uint16_t ParsePortText(std::string_view text);

// ParsePortText, and how the text was taken.
uint16_t ReadPortText(std::string_view text, PortReading& reading);

// What the filter makes of a field text, for a front end that tells its
// user before a start. The filter itself takes every text as it is; this
// names the texts that do not do what they look like.
enum class FieldVerdict : uint8_t {
  kTaken,           // taken as written
  kMatchesNothing,  // an address part that no datagram's address is written as
  kNoColon,         // a text without a colon (other than "*"): every address
                    // and port passes, the text is ignored
  kPortIgnored,     // a port part that is no port number: every port passes
  kPortCut,         // characters after the port number are ignored
  kPortUnused,      // a port, while no checked protocol has ports
};

struct FieldJudgement {
  FieldVerdict verdict = FieldVerdict::kTaken;
  std::string reason;  // one line that says why; empty when taken
};

// Judges `field_text` through ParseFilterField (the side's mode, its key's
// matchable flag, its port reading), with the protocol switches a start
// would read. The worst finding wins: matching nothing before an ignored
// text before an ignored or unused port.
FieldJudgement JudgeFilterField(std::string_view field_text, const ProtocolSwitches& protocols);

// Sets the reverse pair after both fields are parsed: with "both traffic"
// and neither port given, (to address, from address); otherwise empty.
void SetReversePair(FilterSettings& settings, bool both_traffic);

// Everything a start reads from the fields, in the order it reads them:
// the "from" field, the "to" field, "both traffic", the protocol switches.
FilterSettings BuildFilterSettings(std::string_view from_field,
                                   std::string_view to_field,
                                   bool both_traffic,
                                   const ProtocolSwitches& protocols);

// The filter decision: address rule, protocol rule, port rule, in that order.
bool PassesFilter(const DatagramFacts& facts, const FilterSettings& settings);

// Facts, decision and row in one step, for the capture thread. Returns true
// and fills `row` and `protocol` when the datagram is to be stored.
bool FilterAndDescribe(const uint8_t* bytes, size_t length, uint64_t index,
                       const FilterSettings& settings, RowText& row,
                       uint8_t& protocol, RowMiddleCache* cache = nullptr);

}  // namespace pw
