#include "settings/settings.h"

#include "platform/platform.h"
#include "settings/store.h"
#include "shell/menu.h"
#include "shell/print.h"

namespace {

void Edit(std::string& value, const std::string& label, const std::string& prompt) {
  Run_command("cls");
  Print(label + (value.empty() ? "<空>" : value), 1);
  Print(prompt, 1);
  std::string line;
  if (Read_line(line)) value = std::move(line);
  Print("设置成功！", 2);
  Run_command("pause");
}

}  // namespace

void Settings() {
  for (;;) {
    Run_command("cls");
    const int op = Settings_page();
    if (op == 1)
      Set_com_path();
    else if (op == 2)
      Set_con_path();
    else if (op == 3)
      Set_com_settings();
    else if (op == 4)
      Print_message();
    else
      return;
  }
}

void Set_com_path() { Edit(COM_PATH, "当前编译器路径：", "请输入新编译器路径："); }

void Set_con_path() {
  Edit(CON_PATH, "当前 ConsolePauser 路径：", "请输入新 ConsolePauser 路径：");
}

void Set_com_settings() { Edit(COM_SETTINGS, "当前编译选项：", "请输入新编译选项："); }

void Print_message() {
  Run_command("cls");
  Print("作者：Tavrel 开发组", 1);
  Print("介绍：超轻量 C++ Tavrel", 1);
  Print("版本：Alpha 1.0", 1);
  Print("发布时间：2025/10/3", 2);
  Run_command("pause");
}
