// Where a session's datagrams come from: the network on one interface, or a
// capture file. A front end resolves it before each start (the Windows
// program from its interface field and open-file command, the Linux front
// end from -i and -r) and hands it to the session, which opens its packet
// source on it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/privilege.h"

namespace pw {

struct CaptureOrigin {
  enum class Kind : uint8_t { kNetwork, kFile };
  Kind kind = Kind::kNetwork;
  // kNetwork: the interface, as each platform's source names it. A raw
  // socket binds to `address` (wire order, first byte highest; 0: no
  // interface was named); a capture library captures on `device` ("lo",
  // "eth0", "any"), or, when it is empty, on the device that `address`
  // names.
  uint32_t address = 0;
  std::string device{};
  // kFile: the capture file, as fopen takes its name.
  std::string file{};
};

// The network on the interface of `address` (wire order).
CaptureOrigin NetworkOrigin(uint32_t address);
// The network on the capture device `device`.
CaptureOrigin DeviceOrigin(std::string device);
// The capture file `path`.
CaptureOrigin FileOrigin(std::string path);

// Whether a start may read from `origin`: reading a capture file needs no
// right to capture, so `network_check` is asked only for the network. Each
// front end asks this before it starts a session.
PrivilegeResult RightsToRead(const CaptureOrigin& origin, PrivilegeCheck& network_check);

}  // namespace pw
