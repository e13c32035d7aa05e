// Built into the fuzz targets' platform library in place of the real sleep,
// so the typewriter's pauses cost nothing: a rejected line would take 36 ms.
#include "platform/platform.h"

void Sleep_micros(long long /*micros*/) {}
