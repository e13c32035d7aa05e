// Whole transcripts of the real program, on Linux and as tavrel.exe under Wine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "e2e/harness.h"

namespace {

namespace fs = std::filesystem;

enum Target { LINUX, WINE };

// Skips a test that cannot run here, with the true reason; with CI set, a
// missing tool fails it instead, so that nothing passes by not running.
#define NEED(ready, reason, tool_missing)                                     \
  do {                                                                        \
    if (!(ready)) {                                                           \
      if ((tool_missing) && std::getenv("CI") != nullptr) FAIL() << (reason); \
      GTEST_SKIP() << (reason);                                               \
    }                                                                         \
  } while (0)
#define NEED_WINE() NEED(*TAVREL_WINE != '\0', TAVREL_WINE_ABSENT, TAVREL_WINE_TOOL_MISSING)
#define NEED_FILE(path) NEED(fs::exists(path), std::string(path) + " is not installed", true)

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

// The run-code operation's texts.
const std::string ASK = "请输入 C++ 文件的完整路径：\n";
const std::string INVALID = "路径无效或文件不合法！请重新输入。\n";
const std::string NO_CC = "编译器路径无效！请重新设置。\n\n" + PAUSE;
const std::string AUTO = "未找到对应程序的 exe 文件，自动为你编译。\n正在编译……\n";
const std::string ASK_COMPILE = "是否需要编译？（0/1）\n";
const std::string COMPILING = "正在编译……\n";
const std::string SKIP_COMPILE = "跳过编译。\n\n";
const std::string FAILED = "编译失败！\n\n" + PAUSE;
const std::string COMPILED = "编译成功！\n\n";
const std::string ASK_RUN = "是否需要运行？（0/1）\n";
const std::string SKIP_RUN = "跳过运行。\n\n" + PAUSE;
const std::string DIRECT = "ConsolePauser 路径无效。即将直接启动程序。\n";
const std::string VIA = "正在通过 ConsolePauser 启动程序……\n";
const std::string STARTED = "启动成功！\n\n" + PAUSE;
// What Wine's start says before it fails stands where the placeholder is.
const std::string NOT_STARTED = "{START_ERROR}启动失败！\n\n" + PAUSE;

// What tavrel-pauser prints after a program that ended as `ended` says.
std::string Summary(const std::string& ended) {
  return "\n" + std::string(40, '-') + "\n" + ended + "\n运行时间：T 秒\n峰值内存：M MiB\n" + PAUSE;
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
  std::vector<std::pair<std::string, std::string>> files = {};  // placed first; "x/" a folder
  std::vector<std::string> env = {};                            // NAME=value for the program
  std::vector<std::string> made = {};  // names the run adds beside the data file
  // What the doubles record, in order; "raw [...]" lines only on Windows.
  std::string log = "";
  bool noisy = false;  // something belongs on standard error (checked on Linux)
};

// Placeholders in data files and records: the doubles' paths.
const std::string CC_DATA = "{CC}\r\n\r\n-O2 -Wall";
const std::pair<std::string, std::string> SOURCE{"a.cpp", "int main() {}\n"};
const std::pair<std::string, std::string> OLD_EXE{"a.exe", "old"};
const std::string CC_LOG =
    "raw [\"{CC}\" -O2 -Wall -g -o \"a.exe\" \"a.cpp\"]\n"
    "compiler <-O2> <-Wall> <-g> <-o> <a.exe> <a.cpp>\n";
const std::string HELLO = "#include <cstdio>\nint main() { std::puts(\"你好，世界\"); }\n";
const std::string ODD = "a;$(touch x1)`touch x2`&";

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
    {.name = "LastLineWithoutNewline", .sessions = {{"0\n3", MENU + BAD + BYE}}},
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
    {.name = "RunWithoutCompiler",
     .sessions = {{"1\na.c\na.cpp\n3\n", MENU + ASK + INVALID + "\n" + NO_CC + MENU + BYE}},
     .files = {SOURCE, OLD_EXE}},
    {.name = "RunWithFolderAsCompiler",
     .sessions = {{"1\na.cpp\n3\n", MENU + ASK + "\n" + NO_CC + MENU + BYE}},
     .data_before = ".\r\n\r\n",
     .files = {SOURCE}},
    {.name = "RunCompilesAtOnceAndStartsDirectly",
     .sessions = {{"1\na.cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + STARTED + MENU + BYE}},
     .data_before = "{CC}\r\n.\r\n-O2 -Wall",  // the pauser path a folder
     .files = {SOURCE},
     .made = {"a.exe"},
     .log = CC_LOG + "program\n"},
    {.name = "RunEmptyAnswersSkip",
     .sessions = {{"1\na.cpp\n\n\n3\n", MENU + ASK + "\n" + ASK_COMPILE + SKIP_COMPILE + ASK_RUN +
                                            SKIP_RUN + MENU + BYE}},
     .data_before = CC_DATA,
     .files = {SOURCE, OLD_EXE}},
    {.name = "RunAnswersZeroAndZeroOne",
     .sessions = {{"1\na.cpp\n01\n0\n1\na.cpp\n0\n01\n3\n",
                   MENU + ASK + "\n" + ASK_COMPILE + COMPILING + COMPILED + ASK_RUN + SKIP_RUN +
                       MENU + ASK + "\n" + ASK_COMPILE + SKIP_COMPILE + ASK_RUN + DIRECT + STARTED +
                       MENU + BYE}},
     .data_before = CC_DATA,
     .files = {SOURCE, OLD_EXE},
     .log = CC_LOG + "program\n"},
    {.name = "RunCompileFails",
     .sessions = {{"1\na.cpp\n3\n", MENU + ASK + "\n" + AUTO + FAILED + MENU + BYE}},
     .data_before = CC_DATA,
     .files = {SOURCE},
     .env = {"FAKE_STATUS=1"},
     .log = CC_LOG},
    {.name = "RunCompilerCrashes",
     .sessions = {{"1\na.cpp\n3\n", MENU + ASK + "\n" + AUTO + FAILED + MENU + BYE}},
     .data_before = CC_DATA,
     .files = {SOURCE},
     .env = {"FAKE_CRASH=1", "ASAN_OPTIONS=handle_segv=0"},
     .log = CC_LOG},
    {.name = "RunExecutablePathIsAFolder",
     .sessions = {{"1\na.cpp\n3\n", MENU + ASK + "\n" + AUTO + FAILED + MENU + BYE}},
     .data_before = CC_DATA,
     .files = {SOURCE, {"a.exe/", ""}},
     .log = CC_LOG},
    {.name = "RunThroughPauser",
     .sessions = {{"1\na.cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + VIA + STARTED + MENU + BYE}},
     .data_before = "{CC}\r\n{PAUSER}\r\n-O2 -Wall",
     .files = {SOURCE},
     .made = {"a.exe"},
     .log = CC_LOG + "pauser <a.exe>\nprogram\n"},
    {.name = "RunThroughPauserInFolderWithBlank",
     .sessions = {{"1\na.cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + VIA + STARTED + MENU + BYE}},
     .data_before = "{CC}\r\n{SPACED_PAUSER}\r\n-O2 -Wall",
     .files = {SOURCE},
     .made = {"a.exe"},
     .log = CC_LOG + "pauser <a.exe>\nprogram\n"},
    {.name = "RunStartFails",
     .sessions = {{"1\na.cpp\n1\n3\n", MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT +
                                           NOT_STARTED + MENU + BYE}},
     .data_before = CC_DATA,
     .files = {SOURCE},
     .env = {"FAKE_NO_OUTPUT=1"},
     .log = CC_LOG,
     .noisy = true},
    {.name = "RunEndOfInput",
     .sessions = {{"1\n", MENU + ASK + MENU + BYE},
                  {"1\na.cpp\n", MENU + ASK + "\n" + ASK_COMPILE + SKIP_COMPILE + ASK_RUN +
                                     SKIP_RUN + MENU + BYE}},
     .data_before = CC_DATA,
     .data_after = CC_DATA,
     .files = {SOURCE, OLD_EXE}},
    {.name = "RunPassesNoShell",
     .sessions = {{"1\n" + ODD + ".cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + STARTED + MENU + BYE}},
     .data_before = "{CC}\r\n\r\n-DX=$(touch x3);& `touch x4`",
     .linux_only = true,  // cmd itself gives & and quotes their meaning
     .files = {{ODD + ".cpp", ""}},
     .made = {ODD + ".exe"},
     .log = "compiler <-DX=$(touch> <x3);&> <`touch> <x4`> <-g> <-o> <" + ODD + ".exe> <" + ODD +
            ".cpp>\nprogram\n"},
    // Only names: one cmd parses the compile line, with the paths in quotes.
    {.name = "RunInFoldersCmdWouldSplit",
     .sessions = {{"1\nR&D x^y/a.cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + STARTED + MENU + BYE}},
     .data_before = "{ODD_CC}\r\n\r\n-O2 -Wall",
     .files = {{"R&D x^y/", ""}, {"R&D x^y/a.cpp", ""}},
     .log = "raw [\"{ODD_CC}\" -O2 -Wall -g -o \"R&D x^y/a.exe\" \"R&D x^y/a.cpp\"]\n"
            "compiler <-O2> <-Wall> <-g> <-o> <R&D x^y/a.exe> <R&D x^y/a.cpp>\nprogram\n"},
    {.name = "RunWithRealCompiler",
     .sessions = {{"1\n中文 目录/你好.cpp\n1\n1\nbad.cpp\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + "你好，世界\n" +
                       STARTED + MENU + ASK + "\n" + AUTO + FAILED + MENU + BYE}},
     .data_before = "/usr/bin/g++\r\n\r\n-O2 -Wall",
     .linux_only = true,
     .files = {{"中文 目录/", ""}, {"中文 目录/你好.cpp", HELLO}, {"bad.cpp", "int main( {\n"}},
     .noisy = true},
    {.name = "RunThroughOurPauser",
     .sessions = {{"1\na.cpp\n1\n3\n", MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + VIA +
                                           "{here}你好\n" + Summary("程序已结束，返回值：0") +
                                           "{/here}" + STARTED + MENU + BYE}},
     .data_before = "{CC}\r\n{TAVREL_PAUSER}\r\n-O2 -Wall",
     .files = {SOURCE},
     .env = {"FAKE_SAY=你好"},
     .made = {"a.exe"},
     .log = CC_LOG + "program\n"},
    // A line of 100 MiB at every prompt: the prompt's usual answer, kept in
    // little memory except where an editor stores it.
    {.name = "BigLineAtMainMenu",
     .sessions = {{"{BIG}\n3\n", MENU + BAD + BYE}},
     .linux_only = true},
    {.name = "BigLineAtSettingsMenu",
     .sessions = {{"2\n{BIG}\n5\n3\n", MENU + SETTINGS + BAD + MENU + BYE}},
     .linux_only = true},
    {.name = "BigLineAsSourcePath",
     .sessions = {{"1\n{BIG}\n", MENU + ASK + INVALID + MENU + BYE}},
     .linux_only = true},
    {.name = "BigLineAtCompileQuestion",
     .sessions = {{"1\na.cpp\n{BIG}\n0\n0\n3\n", MENU + ASK + "\n" + ASK_COMPILE + BAD +
                                                     SKIP_COMPILE + ASK_RUN + SKIP_RUN + MENU +
                                                     BYE}},
     .data_before = CC_DATA,
     .linux_only = true,
     .files = {SOURCE, OLD_EXE}},
    {.name = "BigLineAtRunQuestion",
     .sessions = {{"1\na.cpp\n0\n{BIG}\n0\n3\n", MENU + ASK + "\n" + ASK_COMPILE + SKIP_COMPILE +
                                                     ASK_RUN + BAD + SKIP_RUN + MENU + BYE}},
     .data_before = CC_DATA,
     .linux_only = true,
     .files = {SOURCE, OLD_EXE}},
    {.name = "BigLineInEditors",
     .sessions = {{"2\n1\n{BIG}\n2\n{BIG}\n3\n{BIG}\n5\n3\n",
                   MENU + SETTINGS + Com("<空>") + SETTINGS + Con("<空>") + SETTINGS +
                       Opts("<空>") + SETTINGS + MENU + BYE}},
     .data_after = "{BIG}\r\n{BIG}\r\n{BIG}",
     .linux_only = true},
    {.name = "FileTooLargeToWrite",
     .sessions = {{"3\n", MENU + UNSAVED + BYE, 1}},
     .data_before = LONG_DATA,
     .data_after = LONG_DATA,
     .file_size_limit = 4096,
     .linux_only = true},
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

void Replace_all(std::string& s, const std::string& from, const std::string& to) {
  for (auto p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
    s.replace(p, from.size(), to);
}

// Wine's cmd has its own pause prompt and the C runtime's text mode ends
// every line in CR LF.
// `cmd_pause`: the transcript's pauses are the interpreter's, not ours.
std::string For_target(std::string s, Target target, bool cmd_pause = true) {
  // What a program shows in a window of its own stands between {here} and
  // {/here}: on Linux, without a display, the window is this console.
  for (std::size_t p; (p = s.find("{here}")) != std::string::npos;) {
    const std::size_t end = s.find("{/here}", p);
    if (target == LINUX)
      s.erase(end, 7).erase(p, 6);
    else
      s.erase(p, end + 7 - p);
  }
  if (target == LINUX) {
    Replace_all(s, "{START_ERROR}", "");
    return s;
  }
  if (cmd_pause) Replace_all(s, PAUSE, "Press any key to continue... ");
  std::string crlf;
  for (char c : s) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  Replace_all(crlf, "{START_ERROR}",
              "Application could not be started, or no application associated with the "
              "specified file.\nShellExecuteEx failed: File not found.\r\n\n");
  return crlf;
}

// Wine's name for an absolute Linux path.
std::string Windows_path(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return "Z:" + path;
}

// The doubles' paths in place of {CC} and {PAUSER}; records of the raw
// command line exist on Windows only.
std::string With_doubles(const std::string& s, Target target) {
  std::string out;
  for (std::size_t i = 0, end; i < s.size(); i = end) {
    end = std::min(s.find('\n', i), s.size() - 1) + 1;
    const std::string line = s.substr(i, end - i);
    if (target == WINE || line.rfind("raw [", 0) != 0) out += line;
  }
  const std::string dir = target == LINUX ? TAVREL_DOUBLES : Windows_path(TAVREL_WIN_DOUBLES);
  const std::string ext = target == LINUX ? "" : ".exe";
  const std::string sep = target == LINUX ? "/" : "\\";
  Replace_all(out, "{CC}", dir + sep + "fake_compiler" + ext);
  Replace_all(out, "{ODD_CC}", dir + sep + "R&D x^y (2)" + sep + "fake_compiler" + ext);
  Replace_all(out, "{PAUSER}", dir + sep + "fake_pauser" + ext);
  Replace_all(out, "{SPACED_PAUSER}", dir + sep + "my tools (x86)" + sep + "fake_pauser" + ext);
  Replace_all(out, "{PROGRAM}", dir + sep + "fake_program" + ext);
  Replace_all(out, "{TAVREL_PAUSER}",
              target == LINUX ? TAVREL_PAUSER : Windows_path(TAVREL_WIN_PAUSER));
  return out;
}

// The pauser's figures vary from run to run: T seconds, M MiB.
std::string Without_figures(const std::string& s) {
  static const std::regex time("运行时间：[0-9]+\\.[0-9]{3} 秒"),
      memory("峰值内存：[0-9]+\\.[0-9] MiB");
  return std::regex_replace(std::regex_replace(s, time, "运行时间：T 秒"), memory,
                            "峰值内存：M MiB");
}

// {BIG} stands for a line of 100 MiB, made only when a test runs.
std::string With_big_line(std::string s) {
  Replace_all(s, "{BIG}", std::string(std::size_t{100} << 20, 'x'));
  return s;
}

// A program started in a new window under Wine runs on after Tavrel; its
// record is waited for.
std::string Wait_for_log(const fs::path& log, std::size_t size) {
  for (int i = 0; i < 100 && Read_file(log).size() < size; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return Read_file(log);
}

// Names in the directory beside what the test put there: leftovers.
std::vector<std::string> Leftovers(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename() != DATA) names.push_back(e.path().filename().string());
  return names;
}

// Runs the Linux program, or the Windows one under Wine in the run's prefix.
Launch Starting(Target target, const char* linux_program, const char* windows_program) {
  Launch launch;
  if (target == LINUX) {
    launch.argv = {linux_program};
  } else {
    launch.argv = {TAVREL_WINE, windows_program};
    launch.env = {"WINEPREFIX=" TAVREL_WINEPREFIX, "WINEDEBUG=-all", "LC_ALL=C.UTF-8"};
  }
  return launch;
}

class Transcript : public ::testing::TestWithParam<std::tuple<Scenario, Target>> {};

TEST_P(Transcript, MatchesByteForByte) {
  const auto& [scenario, target] = GetParam();
  if (target == WINE && scenario.linux_only) GTEST_SKIP() << "a Linux-only scenario";
  if (target == WINE) NEED_WINE();
  Launch launch = Starting(target, TAVREL_BIN, TAVREL_EXE);
  const std::string root = Make_test_dir();
  launch.dir = root + "/cwd";
  fs::create_directory(launch.dir);
  const fs::path data = fs::path(launch.dir) / DATA;
  if (scenario.data_before) Write_file(data, With_doubles(*scenario.data_before, target));
  std::vector<std::string> expected_names = scenario.made;
  for (const auto& [name, bytes] : scenario.files) {
    if (name.back() == '/')
      fs::create_directories(fs::path(launch.dir) / name);
    else
      Write_file(fs::path(launch.dir) / name, bytes);
    const std::string top = name.substr(0, name.find('/'));
    if (std::find(expected_names.begin(), expected_names.end(), top) == expected_names.end())
      expected_names.push_back(top);
  }
  if (!scenario.log.empty()) expected_names.push_back("fake.log");
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
  launch.env.insert(launch.env.end(), scenario.env.begin(), scenario.env.end());

  for (const Session& session : scenario.sessions) {
    launch.input = With_big_line(session.input);
    const Outcome o = Run_program(launch);
    EXPECT_EQ(Without_figures(o.out), For_target(session.transcript, target)) << o.err;
    EXPECT_EQ(o.status, session.status) << o.err;
    EXPECT_GE(o.seconds, 2.5);
    if (target == LINUX && !scenario.noisy) {
      EXPECT_EQ(o.err, "");
    }
  }
  const std::string log = With_doubles(scenario.log, target);
  EXPECT_EQ(Wait_for_log(fs::path(launch.dir) / "fake.log", log.size()), log);
  if (scenario.data_after) {
    EXPECT_TRUE(Read_file(data) == With_big_line(With_doubles(*scenario.data_after, target)))
        << "the data file differs";
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
  std::vector<std::string> names = Leftovers(launch.dir);
  std::sort(names.begin(), names.end());
  std::sort(expected_names.begin(), expected_names.end());
  EXPECT_EQ(names, expected_names);
  if (!HasFailure()) fs::remove_all(root);
}

template <class Case>
std::string Name(const ::testing::TestParamInfo<std::tuple<Case, Target>>& info) {
  return std::string(std::get<0>(info.param).name) +
         (std::get<1>(info.param) == LINUX ? "_Linux" : "_Wine");
}

INSTANTIATE_TEST_SUITE_P(Program, Transcript,
                         ::testing::Combine(::testing::ValuesIn(SCENARIOS),
                                            ::testing::Values(LINUX, WINE)),
                         Name<Scenario>);

struct Paused {
  const char* name;
  std::vector<std::string> args;  // after the pauser's own name
  std::vector<std::string> env;
  std::string out;  // on Linux; {HEX} stands for what Windows adds to the code
  int status, wine_status;
  std::string log;
  std::string wine_ended = "";      // how Windows tells the end, where it differs
  double min_mib = 0, max_mib = 0;  // the peak memory shown on Linux, when given
};

const Paused PAUSED[] = {
    {"PrintsAndReturnsThree",
     {"{PROGRAM}", "a b", "\"q\"", "中文", ""},
     {"FAKE_SAY=你好，世界", "FAKE_EXIT=3"},
     "你好，世界\n" + Summary("程序已结束，返回值：3{HEX}"),
     3,
     3,
     "program <a b> <\"q\"> <中文> <>\n"},
    {"Crashes",
     {"{PROGRAM}"},
     {"FAKE_CRASH=1", "ASAN_OPTIONS=handle_segv=0"},
     Summary("程序被信号终止：11（SIGSEGV，段错误）"),
     128 + 11,
     0xC0000005 & 0xFF,
     "program\n",
     "程序已结束，返回值：3221225477（0xC0000005，访问冲突）"},
    // The program's own peak, not the pauser's: a static program far
    // smaller than the pauser, and one that touches 40 MiB.
    {"SmallProgramsOwnPeak",
     {"{PROGRAM}"},
     {},
     Summary("程序已结束，返回值：0"),
     0,
     0,
     "program\n",
     "程序已结束，返回值：0（0x00000000）",
     0.5,
     2},
    {"BigProgramsOwnPeak",
     {"{PROGRAM}"},
     {"FAKE_TOUCH_MIB=40"},
     Summary("程序已结束，返回值：0"),
     0,
     0,
     "program\n",
     "程序已结束，返回值：0（0x00000000）",
     38,
     45},
    {"MissingProgram",
     {"nosuch"},
     {},
     "找不到要运行的程序：nosuch\n" + PAUSE,
     127,
     9009 & 0xFF,
     ""},
};

void PrintTo(const Paused& p, std::ostream* os) { *os << p.name; }

class Pauser : public ::testing::TestWithParam<std::tuple<Paused, Target>> {};

TEST_P(Pauser, RunsTheProgramAndTellsHowItEnded) {
  const auto& [c, target] = GetParam();
  if (target == WINE) NEED_WINE();
  Launch launch = Starting(target, TAVREL_PAUSER, TAVREL_WIN_PAUSER);
  for (const std::string& a : c.args) launch.argv.push_back(With_doubles(a, target));
  launch.env.insert(launch.env.end(), c.env.begin(), c.env.end());
  const std::string root = Make_test_dir();
  launch.dir = root + "/cwd";
  fs::create_directory(launch.dir);
  const Outcome o = Run_program(launch);
  std::string out = c.out;
  if (target == WINE && !c.wine_ended.empty()) out = Summary(c.wine_ended);
  Replace_all(out, "{HEX}", target == WINE ? "（0x00000003）" : "");
  EXPECT_EQ(Without_figures(o.out), For_target(out, target, false));
  EXPECT_EQ(o.status, target == LINUX ? c.status : c.wine_status) << o.err;
  if (target == LINUX) {
    EXPECT_EQ(o.err, "");
  }
  EXPECT_EQ(Read_file(fs::path(launch.dir) / "fake.log"), c.log);
  std::smatch peak;
  if (target == LINUX && c.max_mib > 0 && !TAVREL_SANITIZED &&
      std::regex_search(o.out, peak, std::regex("峰值内存：([0-9.]+) MiB"))) {
    const double mib = std::stod(peak[1]);
    EXPECT_TRUE(mib >= c.min_mib && mib <= c.max_mib) << mib << " MiB";
  }
  if (!HasFailure()) fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(Ours, Pauser,
                         ::testing::Combine(::testing::ValuesIn(PAUSED),
                                            ::testing::Values(LINUX, WINE)),
                         Name<Paused>);

// Tavrel and the pauser on a pseudo-terminal: what only a terminal shows,
// and under Wine what only a real console does (line input, whole
// characters, the console's own cls, title and pause).
struct Terminal_output {
  std::string text;  // as the terminal got it, CR dropped
  std::vector<std::pair<std::chrono::steady_clock::time_point, std::size_t>>
      arrivals;  // size after
};

// The text a reader sees: escape sequences dropped, except that Wine's
// "cursor right" stands for the blanks it skips.
std::string Plain(const std::string& raw) {
  std::string s;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\x1b' || i + 1 == raw.size()) {
      s += raw[i];
    } else if (raw[i + 1] == ']') {  // OSC ... BEL
      i = std::min(raw.find('\a', i), raw.size() - 1);
    } else if (raw[i + 1] == '[') {  // CSI parameters final
      std::size_t j = i + 2;
      while (j < raw.size() && !(raw[j] >= 0x40 && raw[j] <= 0x7E)) ++j;
      if (j < raw.size() && raw[j] == 'C')
        s.append(static_cast<std::size_t>(std::max(1, std::atoi(raw.c_str() + i + 2))), ' ');
      i = j;
    }
  }
  return s;
}

// Reads until `needle` has arrived in the plain text after `from`, or
// `limit` has passed: false then, or at the end of the output.
bool Read_until(int fd, Terminal_output& out, const std::string& needle, std::size_t from = 0,
                std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  using std::chrono::steady_clock;
  const auto deadline = steady_clock::now() + limit;
  while (Plain(out.text).find(needle, from) == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::clamp<long long>(left.count(), 0, 100))) <= 0) {
      if (left.count() <= 0) return false;
      continue;
    }
    char buf[256];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    for (ssize_t i = 0; i < n; ++i)
      if (buf[i] != '\r') out.text += buf[i];
    out.arrivals.emplace_back(steady_clock::now(), out.text.size());
  }
  return true;
}

// When the text first held `size` bytes.
std::chrono::steady_clock::time_point Arrived(const Terminal_output& out, std::size_t size) {
  for (const auto& [when, had] : out.arrivals)
    if (had >= size) return when;
  return {};
}

// Starts a program on a new pseudo-terminal of 120 columns, in `dir`.
// A `raw` terminal is so from the start, as Wine's console sets it once it
// reads: keys typed ahead then reach it as typed (Enter as CR). Otherwise
// Ctrl+C is the terminal's signal, which Wine hands on as Ctrl+C.
pid_t Start_on_terminal(const Launch& launch, bool raw, int& fd) {
  winsize size{};
  size.ws_col = 120;
  size.ws_row = 40;
  const pid_t pid = forkpty(&fd, nullptr, nullptr, &size);
  if (pid == 0) {
    if (chdir(launch.dir.c_str()) != 0) _exit(126);
    // What reaches the terminal comes through standard output.
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDERR_FILENO) < 0) _exit(126);
    for (const char* name : {"TMUX", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    for (const std::string& e : launch.env) putenv(const_cast<char*>(e.c_str()));
    termios t{};
    if (raw && tcgetattr(STDIN_FILENO, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(STDIN_FILENO, TCSANOW, &t);
    }
    std::vector<char*> argv;
    for (const std::string& a : launch.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

class Terminal : public ::testing::TestWithParam<Target> {};

TEST_P(Terminal, ClearsTitlesTypesOutAndPausesForOneKey) {
  const Target target = GetParam();
  if (target == WINE) NEED_WINE();
  Launch launch = Starting(target, TAVREL_BIN, TAVREL_EXE);
  launch.dir = Make_test_dir();
  Write_file(fs::path(launch.dir) / SOURCE.first, SOURCE.second);
  Write_file(fs::path(launch.dir) / DATA, With_doubles(CC_DATA, target));
  // The program spoils the terminal, then sends Ctrl+C's signal (Linux).
  launch.env.push_back("FAKE_TERMINAL=1");
  int fd = -1;
  const pid_t pid = Start_on_terminal(launch, target == WINE, fd);
  ASSERT_GE(pid, 0);
  Terminal_output out;
  ASSERT_TRUE(Read_until(fd, out, "3. 保存并退出\n\n")) << out.text;
  EXPECT_NE(out.text.find("\x1b]0;Tavrel\a"), std::string::npos);
  EXPECT_NE(out.text.find(target == LINUX ? "\x1b[H\x1b[2J\x1b[3J" : "\x1b[H"), std::string::npos);
  // The settings page's items come one by one, 1 ms a byte at least: 111
  // ms from the first (修) to the last (回) of 112 bytes.
  const std::size_t menu = out.text.size();
  ASSERT_EQ(write(fd, "2\r", 2), 2);
  ASSERT_TRUE(Read_until(fd, out, "5. 返回\n\n")) << Plain(out.text);
  const std::size_t first = out.text.find("修", menu), last = out.text.find("回", first) + 3;
  EXPECT_GE(Arrived(out, last) - Arrived(out, first + 1), std::chrono::milliseconds(111));
  std::size_t reads = 0;
  for (const auto& [when, had] : out.arrivals) reads += had > first && had < last;
  EXPECT_GE(reads, 10u) << "not shown character by character";

  // The information page's pause holds until a key comes.
  ASSERT_EQ(write(fd, "4\r", 2), 2);
  const std::string prompt = target == LINUX ? PAUSE.substr(0, PAUSE.size() - 1) : "continue...";
  ASSERT_TRUE(Read_until(fd, out, prompt));
  std::size_t paused = Plain(out.text).size();
  EXPECT_FALSE(Read_until(fd, out, "1. 修改", paused, std::chrono::milliseconds(300)))
      << "went on past the pause without a key";

  // One key, Delete (ESC [ 3 ~; Wine's cmd takes it for several): what
  // follows it is the settings menu's next answer.
  const std::string key = target == LINUX ? "\x1b[3~" : "x";
  ASSERT_EQ(write(fd, (key + "5\r").data(), key.size() + 2), static_cast<ssize_t>(key.size() + 2));
  ASSERT_TRUE(Read_until(fd, out, "3. 保存并退出\n\n", paused)) << Plain(out.text).substr(paused);
  paused = Plain(out.text).size();

  if (target == LINUX) {
    // A program in this terminal that leaves it raw and non-blocking, and
    // Ctrl+C meant for it: Tavrel lives on, and its terminal is as it was.
    ASSERT_EQ(write(fd, "1\r", 2), 2);
    ASSERT_TRUE(Read_until(fd, out, ASK, paused));
    EXPECT_NE(out.text.find("\x1b[H\x1b[2J\x1b[3J" + ASK), std::string::npos);
    ASSERT_EQ(write(fd, "a.cpp\r1\r", 8), 8);
    ASSERT_TRUE(Read_until(fd, out, STARTED.substr(0, STARTED.size() - 1), paused));
    EXPECT_EQ(Read_file(fs::path(launch.dir) / "fake.log"),
              With_doubles(CC_LOG, LINUX) + "program\nterminal spoilt\n");
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_TRUE((t.c_oflag & OPOST) && (t.c_iflag & ICRNL) && (t.c_lflag & ISIG)) << "left raw";
    paused = Plain(out.text).size();
    ASSERT_EQ(write(fd, "x", 1), 1);
    ASSERT_TRUE(Read_until(fd, out, "3. 保存并退出\n\n", paused));
    EXPECT_FALSE(Read_until(fd, out, BYE, paused, std::chrono::milliseconds(300)))
        << "left without being asked";
    paused = Plain(out.text).size();
  }

  // A Chinese path typed into an editor is stored as its UTF-8 bytes.
  ASSERT_EQ(write(fd, "2\r1\r", 4), 4);
  ASSERT_TRUE(Read_until(fd, out, "请输入新编译器路径：", paused));
  const std::string typed = "C:\\编译器\\g++.exe\r";
  ASSERT_EQ(write(fd, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  ASSERT_TRUE(Read_until(fd, out, "设置成功！", paused));
  ASSERT_TRUE(Read_until(fd, out, prompt, paused));
  ASSERT_EQ(write(fd, "x", 1), 1);
  ASSERT_TRUE(Read_until(fd, out, "5. 返回\n\n", Plain(out.text).find("设置成功！", paused)));
  paused = Plain(out.text).size();
  ASSERT_EQ(write(fd, "5\r", 2), 2);
  ASSERT_TRUE(Read_until(fd, out, "3. 保存并退出\n\n", paused));
  ASSERT_EQ(write(fd, "3\r", 2), 2);
  EXPECT_TRUE(Read_until(fd, out, BYE.substr(0, BYE.size() - 1), paused));
  int status = -1;
  waitpid(pid, &status, 0);
  if (target == LINUX) {
    EXPECT_NE(out.text.find("\x1b[H\x1b[2J\x1b[3J" + BYE.substr(0, BYE.size() - 1)),
              std::string::npos);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_TRUE((t.c_lflag & ICANON) && (t.c_lflag & ECHO) && (t.c_oflag & OPOST));
  }
  close(fd);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(Read_file(fs::path(launch.dir) / DATA), "C:\\编译器\\g++.exe\r\n\r\n-O2 -Wall");
  if (!HasFailure()) fs::remove_all(launch.dir);
}

TEST_P(Terminal, PauserShowsTheSummaryAndWaitsForOneKey) {
  const Target target = GetParam();
  if (target == WINE) NEED_WINE();
  Launch launch = Starting(target, TAVREL_PAUSER, TAVREL_WIN_PAUSER);
  launch.argv.push_back(With_doubles("{PROGRAM}", target));
  launch.dir = Make_test_dir();
  launch.env.insert(launch.env.end(), {"FAKE_SAY=ready", "FAKE_SLEEP_MS=1500"});
  int fd = -1;
  const pid_t pid = Start_on_terminal(launch, false, fd);
  ASSERT_GE(pid, 0);
  Terminal_output out;
  ASSERT_TRUE(Read_until(fd, out, "ready"));
  // Keys typed while the program runs are dropped (Linux: a terminal drops
  // them, where Wine's console hands them to the next read). Under Wine,
  // then Ctrl+C: the program's, not ours. (A terminal's Ctrl+C would drop
  // the typed keys itself.)
  ASSERT_EQ(write(fd, "abc\r", 4), 4);
  if (target == WINE) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(write(fd, "\x03", 1), 1);
  }
  ASSERT_TRUE(Read_until(fd, out, "峰值内存：")) << Plain(out.text);
  const std::string prompt = PAUSE.substr(0, PAUSE.size() - 1);
  ASSERT_TRUE(Read_until(fd, out, prompt));
  if (target == LINUX) {
    const std::size_t paused = Plain(out.text).size();
    EXPECT_FALSE(Read_until(fd, out, "\n", paused, std::chrono::milliseconds(300)))
        << "did not wait for a key";
  }
  ASSERT_EQ(write(fd, "x", 1), 1);
  int status = -1;
  for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  close(fd);
  EXPECT_TRUE(WIFEXITED(status)) << status;
  if (!HasFailure()) fs::remove_all(launch.dir);
}

// What a program sees of its console's code pages: the same started
// directly, through the pauser, and after Tavrel has left.
TEST_P(Terminal, LeavesTheCodePagesAsTheyWere) {
  if (GetParam() == LINUX) GTEST_SKIP() << "code pages belong to a Windows console";
  NEED_WINE();
  const std::string probe = With_doubles("{PROGRAM}", WINE);
  Launch launch = Starting(WINE, "", "cmd");
  launch.argv.insert(launch.argv.end(),
                     {"/c", probe + " & " + Windows_path(TAVREL_WIN_PAUSER) + " " + probe + " & " +
                                Windows_path(TAVREL_EXE) + " & " + probe});
  launch.env.push_back("FAKE_CODE_PAGES=1");
  launch.dir = Make_test_dir();
  int fd = -1;
  const pid_t pid = Start_on_terminal(launch, true, fd);
  ASSERT_GE(pid, 0);
  Terminal_output out;
  ASSERT_TRUE(Read_until(fd, out, PAUSE.substr(0, PAUSE.size() - 1))) << Plain(out.text);
  ASSERT_EQ(write(fd, "x", 1), 1);
  ASSERT_TRUE(Read_until(fd, out, "3. 保存并退出\n\n")) << Plain(out.text);
  ASSERT_EQ(write(fd, "3\r", 2), 2);
  const std::size_t left = Plain(out.text).size();
  ASSERT_TRUE(Read_until(fd, out, "code pages", left)) << Plain(out.text);
  ASSERT_TRUE(Read_until(fd, out, "\n", Plain(out.text).find("code pages", left)));
  int status = -1;
  waitpid(pid, &status, 0);
  close(fd);
  static const std::regex line("code pages [0-9]+ [0-9]+");
  const std::string text = Plain(out.text);
  std::vector<std::string> seen;
  for (std::sregex_iterator i(text.begin(), text.end(), line), end; i != end; ++i)
    seen.push_back(i->str());
  ASSERT_EQ(seen.size(), 3u) << text;
  EXPECT_EQ(seen[1], seen[0]) << "through the pauser";
  EXPECT_EQ(seen[2], seen[0]) << "after Tavrel";
  if (!HasFailure()) fs::remove_all(launch.dir);
}

INSTANTIATE_TEST_SUITE_P(Console, Terminal, ::testing::Values(LINUX, WINE),
                         [](const ::testing::TestParamInfo<Target>& info) {
                           return std::string(info.param == LINUX ? "Linux" : "Wine");
                         });

// System-call faults injected with strace, none of them seams in the code:
// the run is made once to find which call of its kind the fault hits, then
// again with the fault.
struct Fault {
  const char* name;
  const char* call;     // the system call
  const char* after;    // the call to fail is the first after a traced line matching this
  const char* pattern;  // and matching this itself
  const char* inject;   // error=... or signal=SIGKILL
  std::string input;
  std::string shows;  // the transcript holds this
  int status;
  bool in_the_way = false;  // an empty folder stands where the data file goes
  std::string data = "";    // what the data file holds afterwards, when given
};

const std::string OLD_DATA = "old\r\n\r\n", NEW_DATA = "new\r\n\r\n", SET_NEW = "2\n1\nnew\n5\n3\n";
const char* const TMP = "\\.tmp\"";
const int KILLED = 128 + 9;

const Fault FAULTS[] = {
    {"OpenTemporary", "openat", "", TMP, "error=EACCES", SET_NEW, UNSAVED, 1},
    {"WriteTemporary", "write", TMP, "", "error=ENOSPC", SET_NEW, UNSAVED, 1},
    {"SyncTemporary", "fsync", "", "", "error=EIO", SET_NEW, UNSAVED, 1},
    {"CloseTemporary", "close", TMP, "", "error=EIO", SET_NEW, UNSAVED, 1},
    {"Rename", "rename", "", "", "error=EXDEV", SET_NEW, UNSAVED, 1},
    {"RemoveFolderInTheWay", "rmdir", "", "", "error=EBUSY", "3\n", UNSAVED, 1, true},
    {"KilledAtOpen", "openat", "", TMP, "signal=SIGKILL", SET_NEW, "", KILLED},
    {"KilledAtWrite", "write", TMP, "", "signal=SIGKILL", SET_NEW, "", KILLED},
    {"KilledAtSync", "fsync", "", "", "signal=SIGKILL", SET_NEW, "", KILLED},
    {"KilledAtClose", "close", TMP, "", "signal=SIGKILL", SET_NEW, "", KILLED},
    {"KilledAtRename", "rename", "", "", "signal=SIGKILL", SET_NEW, "", KILLED},
    // Only the compiler's path: -P, not a count, since counts are per process.
    {"CompilerWillNotStart", "execve", "", "{CC}", "error=ENOENT", "1\na.cpp\n3\n",
     AUTO + "编译失败！", 0},
    {"WaitForCompilerFails", "wait4", "", "", "error=ECHILD", "1\na.cpp\n3\n",
     "编译失败！\n\n" + PAUSE + MENU + BYE + "无法得知程序如何结束", 0},
    {"TermAtSync", "fsync", "", "", "signal=SIGTERM", SET_NEW, "", 128 + 15, false, NEW_DATA},
    {"DataFileWillNotRead", "read", "\"tavrel_data.qv\", O_RDONLY", "", "error=EIO", "2\n1\n",
     "当前编译器路径：<空>", 0, false, OLD_DATA},
    {"DataFileWillNotReadThenSet", "read", "\"tavrel_data.qv\", O_RDONLY", "", "error=EIO", SET_NEW,
     "当前编译器路径：<空>", 0, false, NEW_DATA},
    {"DataFileWillNotOpen", "openat", "", "\"tavrel_data.qv\", O_RDONLY", "error=EACCES", "2\n1\n",
     "当前编译器路径：<空>", 0},
};

void PrintTo(const Fault& f, std::ostream* os) { *os << f.name; }

class Injected : public ::testing::TestWithParam<Fault> {};

TEST_P(Injected, LeavesTheDataFileWholeAndTellsTheFailure) {
  const Fault& f = GetParam();
  const std::string strace = "/usr/bin/strace";
  NEED_FILE(strace);
  const std::string root = Make_test_dir();
  Launch launch;
  launch.dir = root + "/cwd";
  launch.input = f.input;
  launch.env = {"ASAN_OPTIONS=detect_leaks=0"};  // LeakSanitizer cannot work under ptrace
  const fs::path data = fs::path(launch.dir) / DATA;
  const fs::path trace = fs::path(root) / "trace";
  const bool by_path = f.call == std::string("execve");
  const auto run = [&](const std::string& fault) {
    fs::remove_all(launch.dir);
    fs::create_directory(launch.dir);
    if (f.in_the_way)
      fs::create_directory(data);
    else  // a run of code needs the compiler
      Write_file(data, f.input[0] == '1' ? With_doubles(CC_DATA, LINUX) : OLD_DATA);
    Write_file(fs::path(launch.dir) / SOURCE.first, SOURCE.second);
    launch.argv = {strace, "-f", "-o", trace.string(), "-e", std::string("trace=openat,") + f.call};
    if (by_path) launch.argv.insert(launch.argv.end(), {"-P", With_doubles(f.pattern, LINUX)});
    if (!fault.empty()) launch.argv.insert(launch.argv.end(), {"-e", fault});
    launch.argv.push_back(TAVREL_BIN);
    return Run_program(launch);
  };
  std::string when;
  if (!by_path) {  // which call of its kind is the one to fail
    run("");
    std::istringstream lines(Read_file(trace));
    const std::regex call(std::string("^[0-9]+ +") + f.call + "\\("), after(f.after),
        target(f.pattern);
    bool armed = *f.after == '\0', found = false;
    for (std::string line; !found && std::getline(lines, line);) {
      const bool is_call = std::regex_search(line, call);
      if (is_call) when = std::to_string(std::stoi(when.empty() ? "0" : when) + 1);
      if (is_call && armed) found = std::regex_search(line, target);
      armed = armed || std::regex_search(line, after);
    }
    ASSERT_TRUE(found) << Read_file(trace);
    when = ":when=" + when;
  }
  const Outcome o = run("inject=" + std::string(f.call) + ":" + f.inject + when);
  EXPECT_EQ(o.status, f.status) << o.out << o.err;
  EXPECT_NE((o.out + o.err).find(f.shows), std::string::npos) << o.out << o.err;
  if (!f.data.empty()) {
    EXPECT_EQ(Read_file(data), f.data);
  } else if (f.in_the_way) {
    EXPECT_TRUE(fs::is_directory(data));
  } else if (f.status == KILLED) {
    const std::string now = Read_file(data);
    EXPECT_TRUE(now == OLD_DATA || now == NEW_DATA) << now;
  } else if (f.status == 1 || f.call == std::string("openat")) {
    EXPECT_EQ(Read_file(data), OLD_DATA);  // also when it could not be read
  }
  if (f.status != KILLED && f.input[0] != '1') {  // SIGKILL cannot wait for the save
    std::vector<std::string> names = Leftovers(launch.dir);
    EXPECT_EQ(names, std::vector<std::string>{SOURCE.first});
  }
  if (!HasFailure()) fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(Strace, Injected, ::testing::ValuesIn(FAULTS),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                           return std::string(info.param.name);
                         });

// A working directory holding a.cpp and a data file; the input runs it.
Launch Prepared(const std::string& data) {
  Launch launch;
  launch.argv = {TAVREL_BIN};
  const std::string root = Make_test_dir();
  // A shell between Tavrel and the program would trip over this name, and
  // tmux would run or expand its formats.
  launch.dir = root + "/my work;$(x) #H #(touch pwned)";
  fs::create_directory(launch.dir);
  Write_file(fs::path(launch.dir) / SOURCE.first, SOURCE.second);
  Write_file(fs::path(launch.dir) / DATA, With_doubles(data, LINUX));
  launch.input = "1\na.cpp\n1\n3\n";
  return launch;
}

TEST(NewWindow, InsideTmuxOpensAWindowInTheWorkingDirectory) {
  const std::string tmux = "/usr/bin/tmux";
  NEED_FILE(tmux);
  Launch launch = Prepared(CC_DATA);
  const std::string server = "tavrel-e2e-" + std::to_string(getpid());
  const auto tool = [&](const std::vector<std::string>& args) {
    Launch t;
    t.argv = {tmux, "-L", server, "-f", "/dev/null"};
    t.argv.insert(t.argv.end(), args.begin(), args.end());
    t.dir = fs::path(launch.dir).parent_path().string();
    return Run_program(t).out;
  };
  tool({"new-session", "-d", "-s", "t", "sleep", "600"});
  tool({"set-option", "-g", "remain-on-exit", "on"});
  std::string socket = tool({"display-message", "-p", "-t", "t", "#{socket_path}"});
  ASSERT_FALSE(socket.empty());
  socket.pop_back();
  launch.env = {"TMUX=" + socket + ",1,0"};
  const Outcome o = Run_program(launch);
  const std::string expected_log = With_doubles(CC_LOG + "program\n", LINUX);
  const std::string log = Wait_for_log(fs::path(launch.dir) / "fake.log", expected_log.size());
  const std::string windows = tool({"list-windows", "-t", "t", "-F", "#{window_name}"});
  tool({"kill-server"});
  EXPECT_EQ(o.out, MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + STARTED + MENU + BYE);
  EXPECT_EQ(log, expected_log);
  EXPECT_NE(windows.find("a.cpp\n"), std::string::npos) << windows;
  EXPECT_FALSE(fs::exists(fs::path(launch.dir).parent_path() / "pwned"));
  EXPECT_FALSE(fs::exists(fs::path(launch.dir) / "pwned"));
  if (!HasFailure()) fs::remove_all(fs::path(launch.dir).parent_path());
}

// A stand-in terminal on PATH: one that opens its window and stays until
// the test has seen Tavrel end (a Tavrel that waited for it would hang),
// and one that finds no display and fails at once.
struct Display {
  const char* name;
  std::string xterm;  // the script
  std::string runs;   // what the doubles record after the compiler
  std::string xterm_log;
};

const Display DISPLAYS[] = {
    {"OpensAWindow",
     "for a in \"$@\"; do printf '<%s>' \"$a\"; done > xterm.log\nshift\n\"$@\"\n"
     "for i in $(/usr/bin/seq 600); do [ -e window-closed ] || [ ! -e xterm.log ] && exit; "
     "/bin/sleep 0.1; done\n",
     "pauser <a.exe>\nprogram\n", "<-e><{PAUSER}><a.exe>"},
    {"NoDisplayThere", "echo \"xterm: Xt error: Can't open display: :99\" >&2\nexit 1\n",
     "pauser <a.exe>\nprogram\n", ""},
};

void PrintTo(const Display& d, std::ostream* os) { *os << d.name; }

class NewWindowWithDisplay : public ::testing::TestWithParam<Display> {};

TEST_P(NewWindowWithDisplay, StartsDetachedOrFallsBackToThisConsole) {
  const Display& d = GetParam();
  Launch launch = Prepared("{CC}\r\n{PAUSER}\r\n-O2 -Wall");
  const fs::path bin = fs::path(launch.dir).parent_path() / "bin";
  fs::create_directory(bin);
  Write_file(bin / "xterm", "#!/bin/sh\n" + d.xterm);
  fs::permissions(bin / "xterm", fs::perms::owner_all);
  launch.env = {"DISPLAY=:99", "PATH=" + bin.string()};
  launch.deadline = 30;
  const Outcome o = Run_program(launch);
  Write_file(fs::path(launch.dir) / "window-closed", "");
  EXPECT_EQ(o.out, MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + VIA + STARTED + MENU + BYE);
  const std::string log = With_doubles(CC_LOG + d.runs, LINUX);
  EXPECT_EQ(Wait_for_log(fs::path(launch.dir) / "fake.log", log.size()), log);
  EXPECT_EQ(Read_file(fs::path(launch.dir) / "xterm.log"), With_doubles(d.xterm_log, LINUX));
  if (!HasFailure()) fs::remove_all(fs::path(launch.dir).parent_path());
}

INSTANTIATE_TEST_SUITE_P(Launcher, NewWindowWithDisplay, ::testing::ValuesIn(DISPLAYS),
                         [](const ::testing::TestParamInfo<Display>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
