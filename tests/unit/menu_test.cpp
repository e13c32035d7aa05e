#include "shell/menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "doubles/seam.h"

namespace {

const std::string REJECTED = "输入不合法，请重新输入。\n";

int Count(const std::string& hay, const std::string& needle) {
  int n = 0;
  for (auto p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
  return n;
}

struct Reading {
  const char* what;
  std::string input;
  std::unordered_set<int> allowed;
  int value;
  int rejections;
  std::string left;  // input still unread afterwards
};

TEST(ReadPint, AcceptsOnlyShortDigitLinesInTheSet) {
  const std::unordered_set<int> main{1, 2, 3}, settings{1, 2, 3, 4, 5}, yes_no{0, 1};
  const Reading cases[] = {
      {"plain", "2\n", main, 2, 0, ""},
      {"leading zero", "01\n", main, 1, 0, ""},
      {"nine bytes", "000000003\n", main, 3, 0, ""},
      {"ten bytes", "0000000003\n1\n", main, 1, 1, ""},
      {"empty is 0, rejected", "\n3\n", main, 3, 1, ""},
      {"empty is 0, accepted", "\n", yes_no, 0, 0, ""},
      {"out of set", "0\n4\n2\n", main, 2, 2, ""},
      {"settings take 4", "6\n4\n", settings, 4, 1, ""},
      {"no sign, blank or point", "+1\n-1\n 1\n1 \n1.0\n3\n", main, 3, 5, ""},
      {"full-width digit", "１\n1\n", main, 1, 1, ""},
      // '/' and ':' read as digits would give 9 and 10.
      {"bytes beside the digits", "1/\n:\n1\n", {1, 9, 10}, 1, 2, ""},
      {"carriage return", "1\r\n2\n", main, 2, 1, ""},
      {"nine nines", "999999999\n3\n", main, 3, 1, ""},
      {"huge line is one line", std::string(5000, '1') + "\n2\nrest\n", main, 2, 1, "rest\n"},
      {"stops after its line", "1\n2\n", main, 1, 0, "2\n"},
      {"last line without newline", "3", main, 3, 0, ""},
      {"end of input after a bad line", "x\n", main, 3, 1, ""},
      {"end of input gives 0 in a question", "", yes_no, 0, 0, ""},
      {"stray bytes", std::string("\xff\x00\x1b", 3) + "\n1\n", main, 1, 1, ""},
  };
  for (const Reading& c : cases) {
    seam::Reset();
    seam::input = c.input;
    // The main menu's way out at the end of input is 3.
    const int at_end = c.allowed.count(0) ? 0 : 3;
    EXPECT_EQ(Read_pint(c.allowed, at_end), c.value) << c.what;
    EXPECT_EQ(Count(seam::out, REJECTED), c.rejections) << c.what;
    EXPECT_EQ(seam::out.size(), REJECTED.size() * c.rejections) << c.what;
    EXPECT_EQ(seam::input.substr(std::min(seam::read_at, seam::input.size())), c.left) << c.what;
  }
}

std::string Page(int blanks, const std::string& title) {
  return std::string(blanks, ' ') + title + "\n" + std::string(100, '-') + "\n";
}

TEST(Pages, DrawHeadingRuleAndItemsThenRead) {
  {
    seam::Reset();
    seam::input = "9\n2\n";
    EXPECT_EQ(Main_page(), 2);
    EXPECT_EQ(seam::out,
              Page(43, "C++ Tavrel") + "1. 运行代码\n2. 设置\n3. 保存并退出\n\n" + REJECTED);
  }
  {
    seam::Reset();
    EXPECT_EQ(Settings_page(), 5);  // end of input goes back
    EXPECT_EQ(seam::out, Page(39, "C++ Tavrel -- 设置") +
                             "1. 修改编译器（g++.exe）路径\n2. 修改 ConsolePauser 路径\n"
                             "3. 修改编译选项\n4. 程序信息\n5. 返回\n\n");
  }
  {
    seam::Reset();
    EXPECT_EQ(Main_page(), 3);  // end of input leaves
  }
}

}  // namespace
