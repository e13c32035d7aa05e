// Whole transcripts of the real program, on Linux and as tavrel.exe under
// Wine, with the doubles for the compiler, the program and the pauser.
#include <pwd.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <optional>

#include "e2e/shared.h"

namespace {

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
  bool read_only = false;       // nothing can be created in the working directory (0555)
  long file_size_limit = -1;
  bool nonblocking = false;  // output into a non-blocking pipe read late
  bool reader_gone = false;  // output into a pipe whose reader has left
  bool linux_only = false;
  bool wine_only = false;  // on Linux the linker replaces a running program's file
  // Placed first: "x/" a folder, "x@" a link to what its bytes name.
  std::vector<std::pair<std::string, std::string>> files = {};
  std::vector<std::string> env = {};   // NAME=value for the program
  std::vector<std::string> made = {};  // names the run adds beside the data file
  // What the doubles record, in order; "raw [...]" lines only on Windows;
  // {HERE} the working directory and a slash on Linux, where a new window
  // gets absolute paths.
  std::string log = "";
  bool noisy = false;    // something belongs on standard error (not checked)
  std::string err = "";  // else all of standard error on Linux
  bool unc = false;      // under Wine the working folder is reached as \\server\share
};

const std::pair<std::string, std::string> OLD_EXE{"a.exe", "old"};
const std::string HELLO = "#include <cstdio>\nint main() { std::puts(\"你好，世界\"); }\n";
const std::string ODD = "a;$(touch x1)`touch x2`&";

const std::string SET_ALL =
    "2\n1\nC:\\MinGW\\bin\\g++.exe\n2\nC:\\Tools\\ConsolePauser.exe\n"
    "3\n-O2 -Wall\n5\n3\n";
const std::string LONG_DATA = "C:\\" + std::string(5000, 'x') + "\r\n\r\n";

std::string Times(int n, const std::string& s) {
  std::string all;
  for (int i = 0; i < n; ++i) all += s;
  return all;
}

const Scenario SCENARIOS[] = {
    {.name = "LeaveAtOnce", .sessions = {{"3\n", MENU + BYE}}, .data_after = "\r\n\r\n"},
    {.name = "SetSaveReloadEdit",
     .sessions = {{SET_ALL, MENU + SETTINGS_PAGE + Com("<空>") + SETTINGS_PAGE + Con("<空>") +
                                SETTINGS_PAGE + Opts("<空>") + SETTINGS_PAGE + MENU + BYE},
                  {"2\n1\n\n3\n 中文 \"q\" \n1\n\n5\n3\n",
                   MENU + SETTINGS_PAGE + Com("C:\\MinGW\\bin\\g++.exe") + SETTINGS_PAGE +
                       Opts("-O2 -Wall") + SETTINGS_PAGE + Com("<空>") + SETTINGS_PAGE + MENU +
                       BYE}},
     .data_after = "\r\nC:\\Tools\\ConsolePauser.exe\r\n 中文 \"q\" "},
    {.name = "FullDirectoryInTheWay",
     .sessions = {{"3\n", MENU + UNSAVED + "{WHY}" + BYE, 1}},
     .full_directory = true},
    {.name = "ReadOnlyDirectory",
     .sessions = {{"2\n1\nnew\n5\n3\n",
                   MENU + SETTINGS_PAGE + Com("old") + SETTINGS_PAGE + MENU + UNSAVED + BYE, 1}},
     .data_before = "old\r\n\r\n",
     .data_after = "old\r\n\r\n",
     .read_only = true,
     .linux_only = true},
    {.name = "NetworkFolderNoticeOnce",
     .sessions = {{"1\na.cpp\n\n\n3\n", "{UNC}" + MENU + ASK + "\n" + ASK_COMPILE + SKIP_COMPILE +
                                            ASK_RUN + SKIP_RUN + MENU + BYE}},
     .data_before = CC_DATA,
     .data_after = CC_DATA,
     .files = {SOURCE, OLD_EXE},
     .unc = true},
    {.name = "RunCompilesAtOnceAndStartsDirectly",
     .sessions = {{"1\na.cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + STARTED + MENU + BYE}},
     .data_before = "{CC}\r\n.\r\n-O2 -Wall",  // the pauser path a folder
     .files = {SOURCE},
     .env = {"FAKE_INTERRUPT=1"},  // Ctrl+C ends it
     .made = {"a.exe"},
     .log = CC_LOG + "program\n"},
    {.name = "RunCompilerCrashes",
     .sessions = {{"1\na.cpp\n3\n", MENU + ASK + "\n" + AUTO + FAILED + MENU + BYE}},
     .data_before = CC_DATA,
     .files = {SOURCE},
     .env = {"FAKE_CRASH=1", "ASAN_OPTIONS=handle_segv=0"},
     .log = CC_LOG},
    // The program of the first session still runs while the second compiles.
    {.name = "RunCompileOverTheRunningProgram",
     .sessions = {{"1\na.cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + STARTED + MENU + BYE},
                  {"1\na.cpp\n1\n3\n",
                   MENU + ASK + "\n" + ASK_COMPILE + COMPILING + "编译失败！\n" +
                       "程序“a.exe”仍在运行，无法覆盖：关闭它的窗口后再编译。\n\n" + PAUSE + MENU +
                       BYE}},
     .data_before = CC_DATA,
     .wine_only = true,
     .files = {SOURCE},
     .env = {"FAKE_SLEEP_MS=8000"},
     .made = {"a.exe"},
     .log = CC_LOG + "program\n" + CC_LOG},
    {.name = "RunThroughPauser",
     .sessions = {{"1\na.cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + VIA + STARTED + MENU + BYE}},
     .data_before = "{CC}\r\n{PAUSER}\r\n-O2 -Wall",
     .files = {SOURCE},
     .made = {"a.exe"},
     .log = CC_LOG + "pauser <{HERE}a.exe>\nprogram\n"},
    {.name = "RunThroughPauserInFolderWithBlank",
     .sessions = {{"1\na.cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + VIA + STARTED + MENU + BYE}},
     .data_before = "{CC}\r\n{SPACED_PAUSER}\r\n-O2 -Wall",
     .files = {SOURCE},
     .made = {"a.exe"},
     .log = CC_LOG + "pauser <{HERE}a.exe>\nprogram\n"},
    {.name = "RunStartFails",
     .sessions = {{"1\na.cpp\n1\n3\n", MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT +
                                           NOT_STARTED + MENU + BYE}},
     .data_before = CC_DATA,
     .files = {SOURCE},
     .env = {"FAKE_NO_OUTPUT=1"},
     .log = CC_LOG,
     .err = "找不到程序，或它不可执行：a.exe\n"},
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
    // lnk/.. is real/, where the compiler writes; the start runs that file.
    {.name = "RunBehindALinkAndUp",
     .sessions = {{"1\nlnk/../a.cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + STARTED + MENU + BYE}},
     .data_before = CC_DATA,
     .linux_only = true,
     .files = {{"real/sub/", ""}, {"real/a.cpp", ""}, {"lnk@", "real/sub"}},
     .log = "compiler <-O2> <-Wall> <-g> <-o> <lnk/../a.exe> <lnk/../a.cpp>\nprogram\n"},
    {.name = "RunWithRealCompiler",
     .sessions = {{"1\n中文 目录/你好.cpp\n1\n1\nbad.cpp\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + DIRECT + "你好，世界\n" +
                       STARTED + MENU + ASK + "\n" + AUTO + FAILED + MENU + BYE}},
     .data_before = "/usr/bin/g++\r\n\r\n-O2 -Wall",
     .linux_only = true,
     .files = {{"中文 目录/", ""}, {"中文 目录/你好.cpp", HELLO}, {"bad.cpp", "int main( {\n"}},
     .noisy = true},
    {.name = "RunThroughOurPauser",
     .sessions = {{"1\na.cpp\n1\n3\n",
                   MENU + ASK + "\n" + AUTO + COMPILED + ASK_RUN + VIA + "{here}你好\n" +
                       Pauser_summary("程序已结束，返回值：0") + "{/here}" + STARTED + MENU + BYE}},
     .data_before = "{CC}\r\n{TAVREL_PAUSER}\r\n-O2 -Wall",
     .files = {SOURCE},
     .env = {"FAKE_SAY=你好"},
     .made = {"a.exe"},
     .log = CC_LOG + "program\n"},
    // A line of 100 MiB at every prompt, in one session: the prompt's
    // usual answer, kept in little memory except where an editor stores it.
    // Last, at the source-path prompt before the end of input.
    {.name = "BigLineAtEveryPrompt",
     .sessions = {{"{BIG}\n2\n{BIG}\n5\n1\na.cpp\n{BIG}\n0\n{BIG}\n0\n"
                   "2\n1\n{BIG}\n2\n{BIG}\n3\n{BIG}\n5\n1\n{BIG}\n",
                   MENU + BAD + SETTINGS_PAGE + BAD + MENU + ASK + "\n" + ASK_COMPILE + BAD +
                       SKIP_COMPILE + ASK_RUN + BAD + SKIP_RUN + MENU + SETTINGS_PAGE +
                       Com("{CC}") + SETTINGS_PAGE + Con("<空>") + SETTINGS_PAGE +
                       Opts("-O2 -Wall") + SETTINGS_PAGE + MENU + ASK + INVALID + MENU + BYE}},
     .data_before = CC_DATA,
     .data_after = "{BIG}\r\n{BIG}\r\n{BIG}",
     .linux_only = true,
     .files = {SOURCE, OLD_EXE}},
    // More than a pipe holds, into one left non-blocking and read late:
    // the output waits, and nothing is lost.
    {.name = "OutputIntoAFullPipe",
     .sessions = {{Times(2000, "x\n") + "3\n", MENU + Times(2000, BAD) + BYE}},
     .nonblocking = true,
     .linux_only = true},
    // Nobody reads the output: the run still goes to its end and saves.
    {.name = "OutputReaderGone",
     .sessions = {{"2\n1\nnew\n5\n3\n", ""}},
     .data_after = "new\r\n\r\n",
     .reader_gone = true,
     .linux_only = true},
    {.name = "FileTooLargeToWrite",
     .sessions = {{"3\n", MENU + UNSAVED + BYE, 1}},
     .data_before = LONG_DATA,
     .data_after = LONG_DATA,
     .file_size_limit = 4096,
     .linux_only = true},
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

// {BIG} stands for a line of 100 MiB, made only when a test runs.
std::string With_big_line(std::string s) {
  Replace_all(s, "{BIG}", std::string(std::size_t{100} << 20, 'x'));
  return s;
}

using Transcript = Row<std::tuple<Scenario, Target>>;

TEST_P(Transcript, MatchesByteForByte) {
  const auto& [scenario, target] = GetParam();
  if (target == WINE && scenario.linux_only) GTEST_SKIP() << "a Linux-only scenario";
  if (target == LINUX && scenario.wine_only) GTEST_SKIP() << "a Windows-only scenario";
  if (target == WINE) NEED_WINE();
  // The farewell's wait is seen in what the unpaced build was asked to
  // sleep on Linux, in time under Wine.
  Launch launch = Starting(target, TAVREL_UNPACED, TAVREL_EXE);
  const std::string root = dir_.string();
  launch.dir = root + "/cwd";
  fs::create_directory(launch.dir);
  const fs::path data = fs::path(launch.dir) / DATA;
  if (scenario.data_before) Write_file(data, With_doubles(*scenario.data_before, target));
  std::vector<std::string> expected_names = scenario.made;
  for (const auto& [name, bytes] : scenario.files) {
    if (name.back() == '/')
      fs::create_directories(fs::path(launch.dir) / name);
    else if (name.back() == '@')
      fs::create_symlink(bytes, fs::path(launch.dir) / name.substr(0, name.size() - 1));
    else
      Write_file(fs::path(launch.dir) / name, bytes);
    const std::string top = name.substr(0, name.find_first_of("/@"));
    if (std::find(expected_names.begin(), expected_names.end(), top) == expected_names.end())
      expected_names.push_back(top);
  }
  if (!scenario.log.empty()) expected_names.push_back("fake.log");
  if (scenario.full_directory) {
    fs::create_directories(data);
    Write_file((data / "kept").string(), "kept");
  }
  if (scenario.read_only) {
    // Root writes anywhere, so root runs the program as nobody, who must
    // still reach it: a copy beside the directory.
    if (geteuid() == 0) {
      const passwd* const nobody = getpwnam("nobody");
      if (nobody == nullptr) GTEST_SKIP() << "only root runs this, and there is no user nobody";
      const std::string bin = root + "/tavrel";
      fs::copy_file(launch.argv[0], bin);
      launch.argv = {bin};
      launch.as_uid = nobody->pw_uid;
      launch.as_gid = nobody->pw_gid;
      fs::permissions(root, fs::perms::all);
      fs::permissions(data, fs::perms::all);
    }
    fs::permissions(launch.dir,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  // Before the folder is removed, on every way out.
  const auto reopening = Scoped{[&launch] {
    std::error_code ec;
    fs::permissions(launch.dir, fs::perms::owner_all, fs::perm_options::add, ec);
  }};
  // Wine serves \\<test folder>\cwd from its prefix's dosdevices/unc.
  std::string unc;
  if (scenario.unc && target == WINE) {
    const fs::path link = fs::path(TAVREL_WINEPREFIX) / "dosdevices/unc" / dir_.filename();
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(dir_, link);
    unc = "\\\\" + dir_.filename().string() + "\\cwd";
    launch.argv = {TAVREL_WINE, "cmd", "/c", "cd /d " + unc + " && " + Windows_path(TAVREL_EXE)};
  }
  launch.file_size_limit = scenario.file_size_limit;
  launch.nonblocking = scenario.nonblocking;
  launch.reader_gone = scenario.reader_gone;
  launch.env.insert(launch.env.end(), scenario.env.begin(), scenario.env.end());

  for (const Session& session : scenario.sessions) {
    launch.input = With_big_line(session.input);
    const Outcome o = Run_program(launch);
    // The network folder's notice; the reason line of a failed save, in
    // Wine's words. Neither on Linux.
    std::string transcript = session.transcript;
    Replace_all(
        transcript, "{UNC}",
        unc.empty()
            ? ""
            : "当前文件夹 " + unc +
                  " 在网络上：cmd 在每条命令前给出警告，并改在 Windows "
                  "文件夹中运行，所以相对路径找不到；输入完整路径仍可编译和启动。\n"
                  "也可以把它映射为盘符（资源管理器的“映射网络驱动器”，或在 cmd 中输入 pushd " +
                  unc + "），再从那个盘符启动 Tavrel。\n\n");
    Replace_all(transcript, "{WHY}",
                target == LINUX ? ""
                                : "无法替换文件“" + Windows_path(launch.dir) + "\\" + DATA +
                                      "”：Directory is not empty.（错误 145）\n");
    EXPECT_EQ(Without_figures(o.out), For_target(With_doubles(transcript, target), target))
        << o.err;
    EXPECT_EQ(o.status, session.status) << o.err;
    EXPECT_GE(target == LINUX ? o.slept : o.seconds, 2.5);
    if (target == LINUX && !scenario.noisy) {
      EXPECT_EQ(o.err, scenario.err);
    }
  }
  std::string().swap(launch.input);  // up to 800 MiB, before the data file's 300 are read
  std::string log = With_doubles(scenario.log, target);
  Replace_all(log, "{HERE}", target == LINUX ? launch.dir + "/" : "");
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
  std::vector<std::string> names = Names_besides(launch.dir, DATA);
  std::sort(names.begin(), names.end());
  std::sort(expected_names.begin(), expected_names.end());
  EXPECT_EQ(names, expected_names);
}

INSTANTIATE_TEST_SUITE_P(Program, Transcript,
                         ::testing::Combine(::testing::ValuesIn(SCENARIOS),
                                            ::testing::Values(LINUX, WINE)),
                         Name<Scenario>);

}  // namespace
