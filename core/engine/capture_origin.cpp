#include "engine/capture_origin.h"

#include <utility>

namespace pw {

CaptureOrigin NetworkOrigin(uint32_t address) {
  CaptureOrigin origin;
  origin.address = address;
  return origin;
}

CaptureOrigin DeviceOrigin(std::string device) {
  CaptureOrigin origin;
  origin.device = std::move(device);
  return origin;
}

CaptureOrigin FileOrigin(std::string path) {
  CaptureOrigin origin;
  origin.kind = CaptureOrigin::Kind::kFile;
  origin.file = std::move(path);
  return origin;
}

PrivilegeResult RightsToRead(const CaptureOrigin& origin, PrivilegeCheck& network_check) {
  if (origin.kind == CaptureOrigin::Kind::kFile) return {true, true};
  return network_check.check();
}

}  // namespace pw
