#include "settings/settings.h"

#include <gtest/gtest.h>

#include "console.h"
#include "settings/store.h"

namespace {

const std::string PAUSE = "请按任意键继续. . .\n";

TEST(Editors, ShowReadStoreAndConfirm) {
  const struct {
    const char* what;
    void (*edit)();
    std::string* setting;
    std::string before, input, after, shown;
  } cases[] = {
      {"empty compiler path", Set_com_path, &COM_PATH, "", "C:\\g++.exe\n", "C:\\g++.exe",
       "当前编译器路径：<空>\n请输入新编译器路径：\n"},
      {"set pauser path", Set_con_path, &CON_PATH, "C:\\cp.exe", "\"D:\\x y\\cp.exe\"\n",
       "\"D:\\x y\\cp.exe\"",
       "当前 ConsolePauser 路径：C:\\cp.exe\n请输入新 ConsolePauser 路径：\n"},
      {"enter alone empties", Set_com_settings, &COM_SETTINGS, "-O2", "\n", "",
       "当前编译选项：-O2\n请输入新编译选项：\n"},
      {"blanks are a value", Set_com_settings, &COM_SETTINGS, "   ", "  -g  \n", "  -g  ",
       "当前编译选项：   \n请输入新编译选项：\n"},
      {"end of input keeps the value", Set_com_path, &COM_PATH, "old", "", "old",
       "当前编译器路径：old\n请输入新编译器路径：\n"},
      {"last line without newline", Set_com_path, &COM_PATH, "old", "new", "new",
       "当前编译器路径：old\n请输入新编译器路径：\n"},
  };
  for (const auto& c : cases) {
    *c.setting = c.before;
    Console con(c.input);
    c.edit();
    EXPECT_EQ(*c.setting, c.after) << c.what;
    EXPECT_EQ(con.out.str(), c.shown + "设置成功！\n\n" + PAUSE) << c.what;
  }
}

TEST(Settings, DispatchesUntilBack) {
  COM_PATH = CON_PATH = COM_SETTINGS = "";
  Console con("7\n3\n-O2\n4\n5\nleft\n");
  Settings();
  EXPECT_EQ(COM_SETTINGS, "-O2");
  const std::string out = con.out.str();
  EXPECT_NE(out.find("发布时间：2025/10/3\n\n" + PAUSE), std::string::npos);
  EXPECT_EQ(con.rest(), "left\n");
}

}  // namespace
