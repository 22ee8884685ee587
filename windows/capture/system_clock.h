// The system's time of day as the raw-socket source reads it right after
// each receive: a FILETIME, the count of 100-nanosecond intervals since
// 1601-01-01 00:00:00 UTC. The program passes the system's clock
// (SystemClock); tests pass a fake, so that they can tell which time a
// receive delivers. Windows only.
//
// Threads: any.
#pragma once

#include <windows.h>

#include "engine/capture_time.h"

namespace pw {

class ClockCalls {
 public:
  // GetSystemTimePreciseAsFileTime or GetSystemTimeAsFileTime.
  virtual void get_system_time(FILETIME* time) = 0;

 protected:
  ~ClockCalls() = default;
};

// The type of both system functions that read the time of day.
using FileTimeFunction = void(WINAPI*)(LPFILETIME);

// `precise` as the function to read the time with, when there is one (what
// GetProcAddress found for GetSystemTimePreciseAsFileTime, which Windows
// has from version 8 on and earlier systems lack); GetSystemTimeAsFileTime
// when it is null.
FileTimeFunction PreciseOrCoarse(FARPROC precise);

// The best of the two that this system offers, looked up in kernel32 at
// run time: the program does not import the precise one, so that it also
// starts where that is missing.
FileTimeFunction BestFileTimeFunction();

// The system's clock over BestFileTimeFunction. One instance for the
// process.
ClockCalls& SystemClock();

// The same instant as a CaptureTime, exactly: whole seconds since 1970 (a
// time before 1970 has negative seconds) and the rest in nanoseconds, a
// multiple of 100.
CaptureTime CaptureTimeOfFileTime(const FILETIME& time);

}  // namespace pw
