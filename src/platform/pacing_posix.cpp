// The typewriter's pace: precise short sleeps. Alone in its file so that the
// fuzz targets can take a pace of their own instead.
#include <time.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/platform.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

void Set_up_pacing() {
  // The default 50 us timer slack would stretch every 1 ms pause of the
  // typewriter by about 5%.
#ifdef __linux__
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

void Sleep_micros(long long micros) {
  if (micros > 0) std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

long long Now_micros() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

void Sleep_until_micros(long long deadline) {
  // An absolute deadline: a late wake-up does not push the next one back.
  const timespec t{static_cast<time_t>(deadline / 1'000'000),
                   static_cast<long>(deadline % 1'000'000) * 1000};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
  }
}
