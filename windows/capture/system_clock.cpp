#include "capture/system_clock.h"

#include <cstdint>

namespace pw {

namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint32_t kNanosecondsPerTick = 100;
// From 1601-01-01 to 1970-01-01: 369 years, 89 of them leap years.
constexpr int64_t kSecondsFrom1601To1970 = 11'644'473'600;
static_assert((int64_t{369} * 365 + 89) * 86'400 == kSecondsFrom1601To1970);

class FunctionClock final : public ClockCalls {
 public:
  explicit FunctionClock(FileTimeFunction read) : read_(read) {}
  void get_system_time(FILETIME* time) override { read_(time); }

 private:
  const FileTimeFunction read_;
};

}  // namespace

FileTimeFunction PreciseOrCoarse(FARPROC precise) {
  if (precise == nullptr) return &GetSystemTimeAsFileTime;
  // FARPROC stands for any export; this one has the signature above. The
  // step through void (*)() is the conversion that GCC takes for meant.
  return reinterpret_cast<FileTimeFunction>(reinterpret_cast<void (*)()>(precise));
}

FileTimeFunction BestFileTimeFunction() {
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (kernel32 == nullptr) return PreciseOrCoarse(nullptr);
  return PreciseOrCoarse(GetProcAddress(kernel32, "GetSystemTimePreciseAsFileTime"));
}

ClockCalls& SystemClock() {
  static FunctionClock clock(BestFileTimeFunction());
  return clock;
}

CaptureTime CaptureTimeOfFileTime(const FILETIME& time) {
  const uint64_t ticks = uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
  // Below 2^64 / 10^7, so the seconds fit with room to spare.
  const auto seconds = static_cast<int64_t>(ticks / kTicksPerSecond);
  const auto rest = static_cast<uint32_t>(ticks % kTicksPerSecond);
  return {seconds - kSecondsFrom1601To1970, rest * kNanosecondsPerTick};
}

}  // namespace pw
