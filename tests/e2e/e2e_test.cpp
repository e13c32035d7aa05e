// Whole transcripts of the real program, on Linux and as tavrel.exe under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/harness.h"

namespace {

namespace fs = std::filesystem;

enum Target { LINUX, WINE };

const std::string RULE = std::string(100, '-') + "\n";
const std::string MENU = std::string(43, ' ') + "C++ Tavrel\n" + RULE +
                         "1. 运行代码\n2. 设置\n3. 保存并退出\n\n";
const std::string SETTINGS_MENU = std::string(39, ' ') + "C++ Tavrel -- 设置\n" + RULE +
                                  "1. 修改编译器（g++.exe）路径\n2. 修改 ConsolePauser 路径\n"
                                  "3. 修改编译选项\n4. 程序信息\n5. 返回\n\n";
const std::string BAD = "输入不合法，请重新输入。\n";
const std::string BYE = "将在 3s 内退出……\n";

struct Scenario {
  const char* name;
  std::string input;
  std::string transcript;  // as on Linux; see For_target
  int status = 0;
  double min_seconds = 2.5;
};

const Scenario SCENARIOS[] = {
    {"LeaveAtOnce", "3\n", MENU + BYE},
    {"RejectedLines", "0\n4\n\n 1\n１\n0000000003\n" + std::string(6000, '7') + "\n3\n",
     MENU + BAD + BAD + BAD + BAD + BAD + BAD + BAD + BYE},
    {"SettingsPageRejectsSix", "2\n6\n5\n3\n", MENU + SETTINGS_MENU + BAD + MENU + BYE},
    {"EndOfInputLeaves", "", MENU + BYE},
    {"EndOfInputInSettings", "2\n", MENU + SETTINGS_MENU + MENU + BYE},
    {"LastLineWithoutNewline", "1\n3", MENU + MENU + BYE},
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

// Wine's cmd has its own pause prompt and the C runtime's text mode ends
// every line in CR LF.
std::string For_target(std::string s, Target target) {
  if (target == LINUX) return s;
  const std::string linux_pause = "请按任意键继续. . .\n";
  for (auto p = s.find(linux_pause); p != std::string::npos; p = s.find(linux_pause, p))
    s.replace(p, linux_pause.size(), "Press any key to continue... ");
  std::string crlf;
  for (char c : s) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

class Transcript : public ::testing::TestWithParam<std::tuple<Scenario, Target>> {};

TEST_P(Transcript, MatchesByteForByte) {
  const auto& [scenario, target] = GetParam();
  Launch launch;
  if (target == WINE) {
    if (std::string(TAVREL_WINE).empty()) GTEST_SKIP() << "mingw-w64 or wine64 is not installed";
    launch.argv = {TAVREL_WINE, TAVREL_EXE};
    launch.env = {"WINEPREFIX=" TAVREL_WINEPREFIX, "WINEDEBUG=-all", "LC_ALL=C.UTF-8"};
  } else {
    launch.argv = {TAVREL_BIN};
  }
  const std::string root = Make_test_dir(TAVREL_RUNS);
  launch.dir = root + "/cwd";
  fs::create_directory(launch.dir);
  launch.input = scenario.input;

  const Outcome o = Run_program(launch);
  EXPECT_EQ(o.out, For_target(scenario.transcript, target));
  EXPECT_EQ(o.status, scenario.status) << o.err;
  EXPECT_GE(o.seconds, scenario.min_seconds);
  if (!HasFailure()) fs::remove_all(root);
}

std::string Name(const ::testing::TestParamInfo<Transcript::ParamType>& info) {
  return std::string(std::get<0>(info.param).name) +
         (std::get<1>(info.param) == LINUX ? "_Linux" : "_Wine");
}

INSTANTIATE_TEST_SUITE_P(Shell, Transcript,
                         ::testing::Combine(::testing::ValuesIn(SCENARIOS),
                                            ::testing::Values(LINUX, WINE)),
                         Name);

}  // namespace
