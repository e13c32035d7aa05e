#include "settings/settings.h"

#include "platform/platform.h"
#include "shell/menu.h"

void Settings() {
  Run_command("cls");
  Settings_page();
}
