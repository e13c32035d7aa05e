#include "shell/print.h"

#include <cstdint>

#include "platform/platform.h"

void Print(std::string s, int nrow) {
  const std::size_t ls = s.size();
  for (std::size_t i = 0; i < ls; ++i) {
    Write_out(std::string_view(&s[i], 1));
    Wait(0.001);
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
