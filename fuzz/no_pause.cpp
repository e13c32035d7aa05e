// The fuzz targets' pace, in place of the real one: the typewriter's pauses
// cost nothing, where a rejected line would take 36 ms.
#include "platform/platform.h"

void Set_up_pacing() {}

void Sleep_micros(long long /*micros*/) {}
