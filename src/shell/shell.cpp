#include "shell/shell.h"

#include "build/run.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "shell/menu.h"
#include "shell/print.h"

void Init() {
  Set_console_utf8();
  Run_command("title Tavrel");
}

int Main_loop() {
  for (;;) {
    Run_command("cls");
    const int op = Main_page();
    if (op == 3) break;
    if (op == 2) Settings();
    else if (op == 1) Run();
  }
  Run_command("cls");
  Print("将在 3s 内退出……", 1);
  Wait(2.5);
  return 0;
}
