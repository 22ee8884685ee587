// Capture time: when a datagram was captured, as the capture store keeps it
// beside each stored datagram and as the capture files carry it.
//
// Whole seconds since 1970-01-01 00:00:00 UTC and the nanoseconds within
// that second. A time before 1970 has negative seconds and still counts its
// nanoseconds forward: {-1, 500'000'000} is half a second before 1970.
#pragma once

#include <compare>
#include <cstdint>
#include <limits>

namespace pw {

inline constexpr uint32_t kNanosecondsPerSecond = 1'000'000'000;

struct CaptureTime {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;  // 0 to 999,999,999

  friend constexpr auto operator<=>(const CaptureTime&, const CaptureTime&) = default;
};

// `seconds` plus `nanoseconds` (any count of them), with the whole seconds
// among the nanoseconds carried over. Saturates at the latest time a
// CaptureTime holds instead of overflowing.
constexpr CaptureTime NormalisedTime(int64_t seconds, uint64_t nanoseconds) {
  const uint64_t carry = nanoseconds / kNanosecondsPerSecond;
  const auto rest = static_cast<uint32_t>(nanoseconds % kNanosecondsPerSecond);
  constexpr int64_t kLatest = std::numeric_limits<int64_t>::max();
  if (carry > static_cast<uint64_t>(kLatest) ||
      seconds > kLatest - static_cast<int64_t>(carry)) {
    return {kLatest, kNanosecondsPerSecond - 1};
  }
  return {seconds + static_cast<int64_t>(carry), rest};
}

}  // namespace pw
