// The interpreter's pause, over the system's own wait for a key.
#include "platform/platform.h"

const char* const PAUSE_PROMPT = "请按任意键继续. . .";

void Pause_for_key() {
  Write_out(PAUSE_PROMPT);
  Wait_for_key();
  Write_out("\n");
}
