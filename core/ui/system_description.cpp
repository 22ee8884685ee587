#include "ui/system_description.h"

#include <cstdio>
#include <cstring>

namespace pw {
namespace {

// The service-pack text as a NUL-terminated text for the formatter.
struct ServicePack {
  char text[kSystemDescriptionMax + 1];
  explicit ServicePack(std::string_view sp) {
    size_t n = sp.size() < kSystemDescriptionMax ? sp.size() : kSystemDescriptionMax;
    if (n != 0) std::memcpy(text, sp.data(), n);  // an empty view may hold no pointer
    text[n] = '\0';
  }
};

char SecondCharacter(std::string_view text) { return text.size() >= 2 ? text[1] : '\0'; }

// The composed text is built with room to spare and then cut to the
// description's room.
struct Composed {
  char text[256] = {};
};

void Append(Composed& c, const char* tail) {
  size_t used = std::strlen(c.text);
  std::snprintf(c.text + used, sizeof c.text - used, "%s", tail);
}

}  // namespace

SystemDescription DescribeSystem(const SystemVersion& v) {
  SystemDescription d{};
  Composed c;
  // The record's numbers are printed as the signed values the system's own
  // formatter would show.
  const int major = static_cast<int>(v.major);
  const int minor = static_cast<int>(v.minor);
  const int build = static_cast<int>(v.build);
  const ServicePack sp(v.service_pack);
  if (v.platform_id == kPlatformNtFamily) {
    if (v.major > 5) {
      std::snprintf(c.text, sizeof c.text, "Microsoft Windows %d.%d build %d", major, minor, build);
    } else if (v.major == 5) {
      const char* name = v.minor == 2   ? "Server 2003 family"
                         : v.minor == 1 ? "XP"
                         : v.minor == 0 ? "2000"
                                        : nullptr;
      if (name != nullptr) {
        std::snprintf(c.text, sizeof c.text, "Microsoft Windows %s build %d %s", name, build, sp.text);
      }
    } else {
      Append(c, "Microsoft Windows NT");
    }
  } else if (v.platform_id == kPlatform95Family) {
    d.pre2000 = true;
    const char second = SecondCharacter(v.service_pack);
    if (v.major == 4 && v.minor == 0) {
      Append(c, "Microsoft Windows 95 ");
      if (second == 'C' || second == 'B') Append(c, "OSR2 ");
    } else if (v.major == 4 && v.minor == 10) {
      Append(c, "Microsoft Windows 98 ");
      if (second == 'A') Append(c, "SE ");
    } else if (v.major == 4 && v.minor == 90) {
      Append(c, "Microsoft Windows Millennium Edition");
    }
  }
  std::snprintf(d.text, sizeof d.text, "%.*s", static_cast<int>(kSystemDescriptionMax), c.text);
  return d;
}

}  // namespace pw
