// The typewriter's pace: precise short sleeps on Windows.
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <cstdlib>

#include "platform/platform.h"

namespace {

// Windows 10 1803 on: a waitable timer precise by itself.
HANDLE High_resolution_timer() {
  return CreateWaitableTimerExW(nullptr, nullptr, 0x00000002 /* HIGH_RESOLUTION */,
                                TIMER_ALL_ACCESS);
}

}  // namespace

void Set_up_pacing() {
  // Without such a timer the default 15.6 ms tick would turn each 1 ms
  // pause into 15.6 ms; with one, raising the whole system's resolution
  // would only cost power.
  if (const HANDLE probe = High_resolution_timer()) {
    CloseHandle(probe);
    return;
  }
  if (timeBeginPeriod(1) == TIMERR_NOERROR) std::atexit([] { timeEndPeriod(1); });
}

long long Now_micros() {
  static const long long per_second = [] {
    LARGE_INTEGER f;
    return QueryPerformanceFrequency(&f) ? f.QuadPart : 1;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // In two steps, so that the product cannot overflow.
  return now.QuadPart / per_second * 1'000'000 + now.QuadPart % per_second * 1'000'000 / per_second;
}

// The timer's absolute due times are wall-clock time, which the user or
// the time service may set back: the rest of the way on the steady clock is
// asked for instead, which is as exact and cannot wait an hour.
void Sleep_until_micros(long long deadline) { Sleep_micros(deadline - Now_micros()); }

void Sleep_micros(long long micros) {
  if (micros <= 0) return;
  static HANDLE timer = [] {
    const HANDLE t = High_resolution_timer();
    return t ? t : CreateWaitableTimerW(nullptr, TRUE, nullptr);
  }();
  LARGE_INTEGER due;
  due.QuadPart = -micros * 10;  // relative, in 100 ns units
  if (timer && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
    WaitForSingleObject(timer, INFINITE);
  } else {
    Sleep(static_cast<DWORD>((micros + 999) / 1000));
  }
}
