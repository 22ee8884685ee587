#include "ui/about_text.h"

#include <cstdint>
#include <string>

#include "engine/capture_store.h"

#ifndef PW_VERSION
#define PW_VERSION "0.0.0"
#endif

namespace pw {
namespace {

// The packet limit as the text shows it ("10,000").
std::string GroupedNumber(uint32_t value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(',');
    grouped.push_back(digits[i]);
  }
  return grouped;
}

}  // namespace

std::string_view ProgramVersion() { return PW_VERSION; }

std::string_view AboutText() {
  static constexpr char kBefore[] =
      "Pebblewire\r\n"
      "version " PW_VERSION "\r\n"
      "a small IPv4 packet monitor\r\n"
      "\r\n"
      "Pebblewire lists every IPv4 datagram that passes one local interface:\r\n"
      "number, protocol, source and destination address and port, total\r\n"
      "length and time-to-live. It sends nothing on the network.\r\n"
      "\r\n"
      "GETTING STARTED\r\n"
      "Choose an interface address under \"bind to interface:\", pick the\r\n"
      "protocols, and press \"go!\". The \"from:\" and \"to:\" fields take\r\n"
      "address:port, with * for any part (\"*:*\" shows everything);\r\n"
      "\"both traffic\" also shows the replies between the two hosts.\r\n"
      "A session holds up to ";
  static constexpr char kAfter[] =
      " datagrams. Capturing needs the rights\r\n"
      "of the Administrators group.\r\n"
      "A right click on the list opens the menu: decode the selected\r\n"
      "datagram field by field, save the row log as text or the captured\r\n"
      "datagrams as raw bytes or as a pcap file that other tools open,\r\n"
      "open a pcap or pcapng file (which needs no such rights) and set\r\n"
      "the options. Opening a capture file with Pebblewire opens it too.\r\n"
      "Options and the last filter fields are kept in gravlin.ini in your\r\n"
      "application-data folder, under Gravlin.\r\n"
      "\r\n"
      "HELP AND NEWER VERSIONS\r\n"
      "The README that comes with Pebblewire describes building, running\r\n"
      "and every option. Newer versions are published where you obtained\r\n"
      "this copy, together with a list of what changed; the version line\r\n"
      "above tells which one you have.\r\n"
      "\r\n"
      "REPORTING PROBLEMS\r\n"
      "Please report problems to the Pebblewire project's issue tracker.\r\n"
      "Say which version you use, copy the first row of the list (it names\r\n"
      "your system), describe what you did, what you expected and what\r\n"
      "happened. A saved row log or packets file helps, as long as it holds\r\n"
      "nothing you may not share.\r\n"
      "\r\n"
      "TERMS OF USE\r\n"
      "Pebblewire is provided \"as is\", without warranty of any kind,\r\n"
      "express or implied, including the warranties of merchantability,\r\n"
      "fitness for a particular purpose and non-infringement. In no event\r\n"
      "shall the authors be liable for any claim, damages or other\r\n"
      "liability arising from the use of the program.\r\n"
      "You may use, copy and pass on Pebblewire free of charge. Watch only\r\n"
      "networks that you own or are permitted to monitor, and respect the\r\n"
      "privacy of the people whose traffic you see: captured datagrams may\r\n"
      "contain personal data.\r\n";
  static const std::string text = [] {
    std::string whole(kBefore);
    whole += GroupedNumber(kPacketLimit);
    whole += kAfter;
    return whole;
  }();
  return text;
}

}  // namespace pw
