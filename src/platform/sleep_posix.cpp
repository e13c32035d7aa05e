// Alone in its file so that the fuzz targets can link a sleep of their own.
#include <chrono>
#include <thread>

#include "platform/platform.h"

void Sleep_micros(long long micros) {
  if (micros > 0) std::this_thread::sleep_for(std::chrono::microseconds(micros));
}
