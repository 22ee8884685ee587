// The raw-socket source's clock: FILETIME to CaptureTime, exactly, on both
// sides of 1970 and at the ends of the range; the choice between the
// precise function and its fallback; and that both read the time of day.
#include "capture/system_clock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace pw {
namespace {

FILETIME FileTimeOf(uint64_t ticks) {
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

uintptr_t Address(FileTimeFunction function) { return reinterpret_cast<uintptr_t>(function); }

TEST(SystemClock, FileTimeToCaptureTime) {
  struct Case {
    uint64_t ticks;  // 100 ns since 1601-01-01 00:00:00 UTC
    CaptureTime time;
  } cases[] = {
      {0, {-11'644'473'600, 0}},                                // 1601-01-01
      {1, {-11'644'473'600, 100}},
      {0x1'FFFF'FFFF, {-11'644'472'742, 993'459'100}},          // the low word full
      {116'444'735'999'999'999, {-1, 999'999'900}},             // the last tick before 1970
      {116'444'736'000'000'000, {0, 0}},                        // 1970-01-01
      {116'444'736'000'000'001, {0, 100}},
      {133'485'408'001'234'567, {1'704'067'200, 123'456'700}},  // 2024-01-01
      {0x01D9'FFFF'FFFF'FFFF, {1'697'440'296, 85'094'300}},     // the low word's top bit set
      {0xFFFF'FFFF'FFFF'FFFF, {1'833'029'933'770, 955'161'500}},
  };
  for (const Case& c : cases) {
    const CaptureTime got = CaptureTimeOfFileTime(FileTimeOf(c.ticks));
    EXPECT_EQ(got, c.time) << c.ticks << " gave " << got.seconds << "." << got.nanoseconds;
  }
}

TEST(SystemClock, ThePreciseFunctionWhereTheSystemHasItElseTheFallback) {
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(kernel32, nullptr);
  const FARPROC precise = GetProcAddress(kernel32, "GetSystemTimePreciseAsFileTime");
  std::printf("GetSystemTimePreciseAsFileTime: %s\n", precise ? "present" : "missing");

  EXPECT_EQ(Address(PreciseOrCoarse(nullptr)), Address(&GetSystemTimeAsFileTime));
  if (precise != nullptr) {
    EXPECT_EQ(Address(PreciseOrCoarse(precise)), reinterpret_cast<uintptr_t>(precise));
    EXPECT_EQ(Address(BestFileTimeFunction()), reinterpret_cast<uintptr_t>(precise));
  } else {
    EXPECT_EQ(Address(BestFileTimeFunction()), Address(&GetSystemTimeAsFileTime));
  }
}

// Each function the clock may use, and the clock itself, give the time of
// day that the C library gives (which counts whole seconds).
TEST(SystemClock, EveryChoiceReadsTheTimeOfDay) {
  struct Case {
    const char* name;
    FileTimeFunction read;
  } cases[] = {
      {"fallback", PreciseOrCoarse(nullptr)},
      {"best", BestFileTimeFunction()},
  };
  auto near_now = [](CaptureTime time) {
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    return time.seconds >= now - 5 && time.seconds <= now + 5;
  };
  for (const Case& c : cases) {
    FILETIME file_time{};
    c.read(&file_time);
    EXPECT_TRUE(near_now(CaptureTimeOfFileTime(file_time))) << c.name;
  }
  FILETIME file_time{};
  SystemClock().get_system_time(&file_time);
  EXPECT_TRUE(near_now(CaptureTimeOfFileTime(file_time)));
}

}  // namespace
}  // namespace pw
