// The typewriter's pace: precise short sleeps. Alone in its file so that the
// fuzz targets can take a pace of their own instead.
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
