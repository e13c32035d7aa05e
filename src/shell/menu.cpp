#include "shell/menu.h"

#include <string>

#include "platform/platform.h"
#include "shell/print.h"

namespace {

// Heading and rule go straight to the stream, without the typewriter.
void Heading(int blanks, const char* title) {
  Write_out(std::string(static_cast<std::size_t>(blanks), ' ') + title + "\n" +
            std::string(100, '-') + "\n");
}

}  // namespace

int Read_pint(std::unordered_set<int> a, int at_end) {
  for (;;) {
    std::string s;
    // Ten bytes are enough to tell a line that is too long.
    if (!Read_line(s, 10)) return a.contains(at_end) ? at_end : *a.begin();
    bool isn = s.size() <= 9;
    int ans = 0;
    for (std::size_t i = 0; isn && i < s.size(); ++i) {
      isn = s[i] >= '0' && s[i] <= '9';
      if (isn) ans = ans * 10 + (s[i] - '0');
    }
    if (isn && a.contains(ans)) return ans;
    Print("输入不合法，请重新输入。", 1);
  }
}

int Main_page() {
  Heading(43, "C++ Tavrel");
  Print("1. 运行代码", 1);
  Print("2. 设置", 1);
  Print("3. 保存并退出", 2);
  return Read_pint({1, 2, 3}, 3);
}

int Settings_page() {
  Heading(39, "C++ Tavrel -- 设置");
  Print("1. 修改编译器（g++.exe）路径", 1);
  Print("2. 修改 ConsolePauser 路径", 1);
  Print("3. 修改编译选项", 1);
  Print("4. 程序信息", 1);
  Print("5. 返回", 2);
  return Read_pint({1, 2, 3, 4, 5}, 5);
}
