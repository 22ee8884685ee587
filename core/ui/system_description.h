// System description: the text that names the running system in the first
// row of the main list, and whether the system belongs to the Windows
// 95/98/Me family, which cannot capture and is refused.
#pragma once

#include <cstdint>
#include <string_view>

namespace pw {

// The platform ids that the system's version record reports.
inline constexpr uint32_t kPlatform95Family = 1;
inline constexpr uint32_t kPlatformNtFamily = 2;

// The fields of the system's version record that the description uses.
struct SystemVersion {
  uint32_t platform_id = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  std::string_view service_pack;  // e.g. "Service Pack 2"; may be empty
};

// Room for the description: 63 characters and the terminator. A longer
// composed text (a long service-pack text) is cut.
inline constexpr size_t kSystemDescriptionMax = 63;

struct SystemDescription {
  char text[kSystemDescriptionMax + 1];
  bool pre2000;  // the 95/98/Me family: capturing is refused
  std::string_view view() const { return text; }
};

SystemDescription DescribeSystem(const SystemVersion& version);

}  // namespace pw
