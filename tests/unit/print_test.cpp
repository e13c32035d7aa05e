#include "shell/print.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "doubles/seam.h"

namespace {

struct Printed {
  std::string text;
  int nrow;
  std::string shown;
};

TEST(Print, WritesTextThenNewlinesAndPausesOneMsPerByte) {
  const Printed cases[] = {
      {"", 1, "\n"},
      {"", 0, ""},
      {"abc", 0, "abc"},
      {"启动成功！", 1, "启动成功！\n"},
      {"3. 保存并退出", 2, "3. 保存并退出\n\n"},
      {"x", -1, "x"},
  };
  for (const Printed& c : cases) {
    seam::Reset();
    Print(c.text, c.nrow);
    EXPECT_EQ(seam::out, c.shown) << c.text;
    // One pause per byte, not per character; newlines add none.
    EXPECT_EQ(seam::sleeps, std::vector<long long>(c.text.size(), 1000)) << c.text;
  }
}

TEST(Wait, CountsWholeMicrosecondsTruncated) {
  const struct {
    double a;
    int micros;
  } cases[] = {
      {0.001, 1000},  {2.5, 2500000},  {0.0000015, 1},
      {0.0000009, 0}, {0.0, 0},        {-1.0, 0},
      {NAN, 0},       {1e12, INT_MAX}, {2147.483647, 2147483647},
  };
  for (const auto& c : cases) EXPECT_EQ(Wait_micros(c.a), c.micros) << c.a;
}

}  // namespace
