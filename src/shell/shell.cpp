#include "shell/shell.h"

#include <string>
#include <utility>

#include "build/run.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "settings/store.h"
#include "shell/menu.h"
#include "shell/print.h"

void Init() {
  Reset_child_signal();
  Set_console_utf8();
  Set_up_pacing();
  Run_command("title Tavrel");
  Load_settings();
}

int Main_loop() {
  // After the first cls, which would wipe it.
  std::string notice = Folder_notice();
  for (;;) {
    Run_command("cls");
    if (!notice.empty()) Print(std::exchange(notice, {}), 1);
    const int op = Main_page();
    if (op == 3) break;
    if (op == 2)
      Settings();
    else if (op == 1)
      Run();
  }
  Run_command("cls");
  std::string why;
  const bool saved = Save_settings(&why);
  if (!saved) Print("保存设置失败！", 1);
  if (!why.empty()) Print(why, 1);
  Print("将在 3s 内退出……", 1);
  Wait(2.5);
  return saved ? 0 : 1;
}
