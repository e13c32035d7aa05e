// The pause's key at a Windows console.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32.h"

void Drop_typed_keys() {
  if (const HANDLE in = Console(STD_INPUT_HANDLE)) FlushConsoleInputBuffer(in);
}

void Wait_for_key() {
  const HANDLE in = Console(STD_INPUT_HANDLE);
  if (in == nullptr) return;
  for (;;) {
    INPUT_RECORD r;
    DWORD n = 0;
    if (!ReadConsoleInputW(in, &r, 1, &n)) return;
    if (n == 0 || r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown) continue;
    // As with cmd's pause, Shift, Ctrl, Alt and the lock keys alone do not count.
    const WORD vk = r.Event.KeyEvent.wVirtualKeyCode;
    if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU || vk == VK_CAPITAL ||
        vk == VK_NUMLOCK || vk == VK_SCROLL || vk == VK_LWIN || vk == VK_RWIN)
      continue;
    return;
  }
}
