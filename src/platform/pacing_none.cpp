// The pace of the builds that must not wait, in place of pacing_*.cpp: the
// fuzz targets (a rejected line would take 36 ms) and tavrel_unpaced, the
// test build for the rows that measure no time. Nothing sleeps; the sleeps
// asked for are added up and, at a normal exit, written in microseconds to
// the file that TAVREL_SLEEPS names, so that those rows still see the
// farewell's wait.
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace {

long long asked = 0;

void Report() {
  const char* file = std::getenv("TAVREL_SLEEPS");
  if (file == nullptr || *file == '\0') return;
  if (std::FILE* f = std::fopen(file, "w")) {
    std::fprintf(f, "%lld\n", asked);
    std::fclose(f);
  }
}

}  // namespace

void Set_up_pacing() { std::atexit(Report); }

void Sleep_micros(long long micros) {
  if (micros > 0) asked += micros;
}

// Time passes only in what was asked to sleep.
long long Now_micros() { return asked; }

void Sleep_until_micros(long long deadline) { Sleep_micros(deadline - asked); }
