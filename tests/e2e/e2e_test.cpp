// Whole transcripts of the real program, on Linux and as tavrel.exe under Wine.
#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace {

namespace fs = std::filesystem;

enum Target { LINUX, WINE };

const std::string RULE = std::string(100, '-') + "\n";
const std::string MENU =
    std::string(43, ' ') + "C++ Tavrel\n" + RULE + "1. 运行代码\n2. 设置\n3. 保存并退出\n\n";
const std::string SETTINGS = std::string(39, ' ') + "C++ Tavrel -- 设置\n" + RULE +
                             "1. 修改编译器（g++.exe）路径\n2. 修改 ConsolePauser 路径\n"
                             "3. 修改编译选项\n4. 程序信息\n5. 返回\n\n";
const std::string BAD = "输入不合法，请重新输入。\n";
const std::string BYE = "将在 3s 内退出……\n";
const std::string UNSAVED = "保存设置失败！\n";
const std::string PAUSE = "请按任意键继续. . .\n";
const std::string INFO =
    "作者：Tavrel 开发组\n介绍：超轻量 C++ Tavrel\n版本：Alpha 1.0\n"
    "发布时间：2025/10/3\n\n" +
    PAUSE;
const char* const DATA = "tavrel_data.qv";

std::string Com(const std::string& shown) {
  return "当前编译器路径：" + shown + "\n请输入新编译器路径：\n设置成功！\n\n" + PAUSE;
}
std::string Con(const std::string& shown) {
  return "当前 ConsolePauser 路径：" + shown + "\n请输入新 ConsolePauser 路径：\n设置成功！\n\n" +
         PAUSE;
}
std::string Opts(const std::string& shown) {
  return "当前编译选项：" + shown + "\n请输入新编译选项：\n设置成功！\n\n" + PAUSE;
}

struct Session {
  std::string input;
  std::string transcript;  // as on Linux; see For_target
  int status = 0;
};

struct Scenario {
  const char* name = "";
  std::vector<Session> sessions = {};  // one start of the program each, in one directory
  std::optional<std::string> data_before = std::nullopt, data_after = std::nullopt;
  bool full_directory = false;  // a non-empty directory stands where the data file goes
  bool read_only = false;       // nothing can be created in the working directory
  long file_size_limit = -1;
  bool linux_only = false;
};

const std::string SET_ALL =
    "2\n1\nC:\\MinGW\\bin\\g++.exe\n2\nC:\\Tools\\ConsolePauser.exe\n"
    "3\n-O2 -Wall\n5\n3\n";
const std::string LONG_DATA = "C:\\" + std::string(5000, 'x') + "\r\n\r\n";

const Scenario SCENARIOS[] = {
    {.name = "LeaveAtOnce", .sessions = {{"3\n", MENU + BYE}}, .data_after = "\r\n\r\n"},
    {.name = "RejectedLines",
     .sessions = {{"0\n4\n\n 1\n１\n0000000003\n" + std::string(6000, '7') + "\n3\n",
                   MENU + BAD + BAD + BAD + BAD + BAD + BAD + BAD + BYE}}},
    {.name = "SettingsPageRejectsSix",
     .sessions = {{"2\n6\n5\n3\n", MENU + SETTINGS + BAD + MENU + BYE}}},
    {.name = "EndOfInputLeaves",
     .sessions = {{"", MENU + BYE}},
     .data_before = "a\r\nb\r\nc",
     .data_after = "a\r\nb\r\nc"},
    {.name = "EndOfInputInSettings", .sessions = {{"2\n", MENU + SETTINGS + MENU + BYE}}},
    {.name = "LastLineWithoutNewline", .sessions = {{"1\n3", MENU + MENU + BYE}}},
    {.name = "SetSaveReloadEdit",
     .sessions = {{SET_ALL, MENU + SETTINGS + Com("<空>") + SETTINGS + Con("<空>") + SETTINGS +
                                Opts("<空>") + SETTINGS + MENU + BYE},
                  {"2\n1\n\n3\n 中文 \"q\" \n1\n\n5\n3\n",
                   MENU + SETTINGS + Com("C:\\MinGW\\bin\\g++.exe") + SETTINGS + Opts("-O2 -Wall") +
                       SETTINGS + Com("<空>") + SETTINGS + MENU + BYE}},
     .data_after = "\r\nC:\\Tools\\ConsolePauser.exe\r\n 中文 \"q\" "},
    {.name = "InformationPage",
     .sessions = {{"2\n4\n5\n3\n", MENU + SETTINGS + INFO + SETTINGS + MENU + BYE}}},
    {.name = "EndOfInputInEditorKeepsValue",
     .sessions = {{"2\n2\n", MENU + SETTINGS + Con("  keep  ") + SETTINGS + MENU + BYE}},
     .data_before = "\r\n  keep  \r\n",
     .data_after = "\r\n  keep  \r\n"},
    {.name = "FullDirectoryInTheWay",
     .sessions = {{"3\n", MENU + UNSAVED + BYE, 1}},
     .full_directory = true},
    {.name = "ReadOnlyDirectory",
     .sessions = {{"2\n1\nnew\n5\n3\n",
                   MENU + SETTINGS + Com("old") + SETTINGS + MENU + UNSAVED + BYE, 1}},
     .data_before = "old\r\n\r\n",
     .data_after = "old\r\n\r\n",
     .read_only = true,
     .linux_only = true},
    {.name = "FileTooLargeToWrite",
     .sessions = {{"3\n", MENU + UNSAVED + BYE, 1}},
     .data_before = LONG_DATA,
     .data_after = LONG_DATA,
     .file_size_limit = 4096,
     .linux_only = true},
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

// Wine's cmd has its own pause prompt and the C runtime's text mode ends
// every line in CR LF.
std::string For_target(std::string s, Target target) {
  if (target == LINUX) return s;
  for (auto p = s.find(PAUSE); p != std::string::npos; p = s.find(PAUSE, p))
    s.replace(p, PAUSE.size(), "Press any key to continue... ");
  std::string crlf;
  for (char c : s) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

// Names in the directory beside what the test put there: leftovers.
std::vector<std::string> Leftovers(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename() != DATA) names.push_back(e.path().filename().string());
  return names;
}

class Transcript : public ::testing::TestWithParam<std::tuple<Scenario, Target>> {};

TEST_P(Transcript, MatchesByteForByte) {
  const auto& [scenario, target] = GetParam();
  Launch launch;
  if (target == WINE && scenario.linux_only) GTEST_SKIP() << "needs Linux process limits";
  if (target == WINE && std::string(TAVREL_WINE).empty())
    GTEST_SKIP() << "mingw-w64 or wine64 is not installed";
  if (target == WINE) {
    launch.argv = {TAVREL_WINE, TAVREL_EXE};
    launch.env = {"WINEPREFIX=" TAVREL_WINEPREFIX, "WINEDEBUG=-all", "LC_ALL=C.UTF-8"};
  } else {
    launch.argv = {TAVREL_BIN};
  }
  const std::string root = Make_test_dir((fs::temp_directory_path() / "tavrel-e2e").string());
  launch.dir = root + "/cwd";
  fs::create_directory(launch.dir);
  const fs::path data = fs::path(launch.dir) / DATA;
  if (scenario.data_before) Write_file(data.string(), *scenario.data_before);
  if (scenario.full_directory) {
    fs::create_directories(data);
    Write_file((data / "kept").string(), "kept");
  }
  if (scenario.read_only) {
    // Root writes anywhere, so the program runs as nobody; it must still
    // reach its binary, hence a copy beside the directory.
    const std::string bin = root + "/tavrel";
    fs::copy_file(TAVREL_BIN, bin);
    launch.argv = {bin};
    launch.as_nobody = true;
    fs::permissions(root, fs::perms::all);
    fs::permissions(launch.dir, fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    if (geteuid() == 0) fs::permissions(data, fs::perms::all);
  }
  launch.file_size_limit = scenario.file_size_limit;

  for (const Session& session : scenario.sessions) {
    launch.input = session.input;
    const Outcome o = Run_program(launch);
    EXPECT_EQ(o.out, For_target(session.transcript, target));
    EXPECT_EQ(o.status, session.status) << o.err;
    EXPECT_GE(o.seconds, 2.5);
  }
  if (scenario.data_after) {
    EXPECT_EQ(Read_file(data.string()), *scenario.data_after);
    if (target == WINE) {  // where Wine keeps the DOS attributes
      char attr[16] = {};
      if (getxattr(data.c_str(), "user.DOSATTRIB", attr, sizeof attr - 1) < 0 && errno == ENOTSUP) {
        std::cerr << "this file system keeps no DOS attributes; hidden not checked\n";
      } else {
        EXPECT_STREQ(attr, "0x2") << "hidden, and nothing else";
      }
    }
  }
  if (scenario.full_directory) {
    EXPECT_EQ(Read_file((data / "kept").string()), "kept");
  }
  EXPECT_EQ(Leftovers(launch.dir), std::vector<std::string>{});
  if (!HasFailure()) fs::remove_all(root);
}

std::string Name(const ::testing::TestParamInfo<Transcript::ParamType>& info) {
  return std::string(std::get<0>(info.param).name) +
         (std::get<1>(info.param) == LINUX ? "_Linux" : "_Wine");
}

INSTANTIATE_TEST_SUITE_P(Program, Transcript,
                         ::testing::Combine(::testing::ValuesIn(SCENARIOS),
                                            ::testing::Values(LINUX, WINE)),
                         Name);

}  // namespace
