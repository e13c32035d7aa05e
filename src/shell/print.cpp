#include "shell/print.h"

#include <cstdint>

#include "platform/platform.h"

namespace {

constexpr long long BYTE_MICROS = 1000;
// A wake-up this late (the process was stopped, the machine is busy) starts
// the grid afresh, so that no burst of catch-up bytes follows.
constexpr long long LATE_MICROS = 3000;

}  // namespace

void Print(std::string s, int nrow) {
  // Each pause ends on a 1 ms grid from the first byte, so that the
  // wake-ups' lateness does not add up.
  long long next = Now_micros();
  const std::size_t ls = s.size();
  for (std::size_t i = 0; i < ls; ++i) {
    Write_out(std::string_view(&s[i], 1));
    next += BYTE_MICROS;
    Sleep_until_micros(next);
    const long long woke = Now_micros();
    if (woke - next > LATE_MICROS) next = woke;
  }
  if (nrow > 0) Write_out(std::string(static_cast<std::size_t>(nrow), '\n'));
}

int Wait_micros(double a) {
  const double us = a * 1000000.0;
  if (!(us >= 1.0)) return 0;  // also NaN
  // A double beyond the range of int may not be converted at all.
  if (us >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return static_cast<int>(us);
}

void Wait(double a) { Sleep_micros(Wait_micros(a)); }
