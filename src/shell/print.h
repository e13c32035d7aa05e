// Typewriter output and pauses.
#pragma once

#include <string>

// Writes `s` to standard output one byte at a time, pausing 1 ms after every
// byte (not every character), then `nrow` line feeds in one write without a
// pause. A negative `nrow` writes none. Byte i is written no earlier than
// i ms after the first; each pause ends on that grid, which starts afresh
// after a wake-up more than 3 ms late.
void Print(std::string s, int nrow);

// The whole microseconds in `a` seconds, truncated toward zero; 0 for a
// negative, NaN or sub-microsecond duration, and at most INT32_MAX.
int Wait_micros(double a);

// Sleeps for `a` seconds counted in whole microseconds (see Wait_micros).
void Wait(double a);
